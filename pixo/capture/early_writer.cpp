#include "pixo/capture/early_writer.h"

#include "pixo/base/errors.h"

namespace pixo {

void EarlyWriter::Finish() {
  if (failure_) std::rethrow_exception(failure_);
}

void EarlyWriter::Started(const TBitmap& image) {
  if (!CaptureView(image, capture_)) return;
  capture_.gate = this;
  started_ = true;
}

void EarlyWriter::WhileReading() {
  if (!started_) return;
  try {
    write_(capture_, [this](std::function<void()> job) { return AfterLanding(std::move(job)); });
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void EarlyWriter::Landed(int rows) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    landed_ = rows;
  }
  changed_.notify_all();
}

void EarlyWriter::Stopped() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

void EarlyWriter::ReaderEnds() {
  std::function<void()> job;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readerEnded_ = true;
    job.swap(afterLanding_);
  }
  if (job) job();
}

bool EarlyWriter::AfterLanding(std::function<void()> job) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (readerEnded_ || afterLanding_) return false;
  afterLanding_ = std::move(job);
  return true;
}

void EarlyWriter::WaitFor(int32_t y) const {
  if (landed_.load(std::memory_order_acquire) > y) return;  // asked for every row: no lock then
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return landed_ > y || stopped_; });
  // Stopped: the reading failed, and its own error is the one the run reports.
  if (landed_ <= y) Raise(ErrorKind::Write, msg::kWriteError);
}

}  // namespace pixo
