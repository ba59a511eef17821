// A shot's file written from the capture's first rows on, on the capturing thread while
// another reads the later ones: the file is written as the screen is read (on a second
// core), and the capture is still read from the top down in one go, no slower than alone.
//
// Threads, while a shot is read and written:
// - the capturing thread (the run's own): Started, then WhileReading runs the write, which
//   takes each row through WaitFor as it lands; after the capture, Finish;
// - the reading thread (the grabber's): copies the screen band after band, calls Landed
//   after each band and Stopped when the copy fails; last, ReaderEnds runs the one job
//   the PNG writer lent it (AfterLanding), so that it deflates instead of idling.
// The pixels of a row are written by the reader before Landed and read by the writer
// only after WaitFor has seen them landed.
#pragma once
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

#include "pixo/base/image.h"
#include "pixo/capture/grabber.h"
#include "pixo/imaging/png_deflate.h"

namespace pixo {

class EarlyWriter : public CaptureListener, public RowGate {
 public:
  // Writes the capture; `lend` hands a job to the reading thread (see AfterLanding).
  using Write = std::function<void(const ImageView& capture, const ParallelIdatWriter::Lend& lend)>;
  explicit EarlyWriter(Write write) : write_(std::move(write)) {}
  EarlyWriter(const EarlyWriter&) = delete;
  EarlyWriter& operator=(const EarlyWriter&) = delete;

  // Whether the capture started the writer.
  bool Writing() const { return started_; }
  // After the capture: raises what kept the file from being written.
  void Finish();

  void Started(const TBitmap& image) override;
  void WhileReading() override;
  void Landed(int rows) override;
  void Stopped() override;
  void ReaderEnds() override;
  void WaitFor(int32_t y) const override;
  // Has the reading thread run the job once it has read every row (or no more will
  // come), before it ends; false when it has ended already, and the job is not run.
  bool AfterLanding(std::function<void()> job) const;

 private:
  Write write_;
  ImageView capture_;  // read only in WhileReading, while the capture holds the pixels
  bool started_ = false;
  std::exception_ptr failure_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::atomic<int> landed_{0};  // read without the lock while the rows are there
  bool stopped_ = false;
  mutable bool readerEnded_ = false;
  mutable std::function<void()> afterLanding_;  // the one job the reader runs last
};

}  // namespace pixo
