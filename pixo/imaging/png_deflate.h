// The IDAT stream of a PNG file: filtered rows deflated into one zlib stream, cut into
// IDAT chunks of exactly 32,768 bytes but the last. One thread, or several, each
// deflating a block of the rows primed with the 32 KiB before it, the blocks joined into
// the same single stream. Pure computation.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pixo {

class ChunkWriter;

// Collects stream bytes into IDAT chunks of exactly kChunkSize bytes, but the last.
class IdatChunker {
 public:
  static constexpr size_t kChunkSize = 32768;
  explicit IdatChunker(ChunkWriter& chunks) : chunks_(chunks) { buffer_.reserve(kChunkSize); }
  void Put(const uint8_t* data, size_t size);
  // Writes the last chunk, if any bytes are left.
  void Finish();

 private:
  ChunkWriter& chunks_;
  std::vector<uint8_t> buffer_;
};

// Takes the filtered rows in order and writes the IDAT chunks.
class IdatSink {
 public:
  virtual ~IdatSink() = default;
  virtual void Feed(const uint8_t* data, size_t size) = 0;
  virtual void Finish() = 0;
};

// One deflate stream on the calling thread.
class IdatWriter : public IdatSink {
 public:
  static constexpr size_t kBufferSize = IdatChunker::kChunkSize;
  IdatWriter(ChunkWriter& chunks, int zlibLevel);
  ~IdatWriter() override;
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;
  void Feed(const uint8_t* data, size_t size) override;
  void Finish() override;

 private:
  void Drain();
  IdatChunker chunker_;
  z_stream zs_{};
  bool open_ = false;
  std::vector<uint8_t> buffer_;
};

// One block of a stream deflated on several threads: raw deflate (no header) primed with
// the data before the block, fed the block's data in pieces, ended by a sync flush or, for
// the stream's last block, by the end of the stream.
class BlockDeflater {
 public:
  explicit BlockDeflater(int zlibLevel);
  ~BlockDeflater();
  BlockDeflater(const BlockDeflater&) = delete;
  BlockDeflater& operator=(const BlockDeflater&) = delete;
  // The data before the block (its last 32 KiB count); before the first Feed.
  void Prime(const uint8_t* data, size_t size);
  void Feed(const uint8_t* data, size_t size);
  // Ends the block; its deflated bytes, and the Adler-32 and length of the data fed.
  struct Result {
    std::vector<uint8_t> bytes;
    uLong adler = 1;
    size_t length = 0;
  };
  Result Finish(bool last);

 private:
  void Deflate(int flush);
  z_stream zs_{};
  Result result_;
};

// Blocks deflated on up to `threads` threads at once, joined into one stream behind one
// zlib header; the Adler-32 of the whole data is combined from the blocks'. A block comes
// from Feed (cut every kBlockSize bytes, primed with the 32 KiB before it) or from a maker
// that primes and feeds a BlockDeflater on the block's own thread (filtering its rows, and
// the rows before it for the dictionary, say), so that no block waits for another and none
// holds its data whole. The threads are started once and take the blocks in order (a
// thread per block cost more than small blocks gain under Wine); the calling thread is
// one of them, taking blocks while it waits for the oldest to finish. A thread that is
// there already may be lent for one of them (`lend` runs the job on it, or says it
// cannot): the thread that reads a capture, say, takes blocks once it has read the rows.
class ParallelIdatWriter : public IdatSink {
 public:
  static constexpr size_t kBlockSize = 128 * 1024;
  static constexpr size_t kWindow = 32 * 1024;
  using Maker = std::function<void(BlockDeflater&)>;
  using Lend = std::function<bool(std::function<void()> job)>;
  ParallelIdatWriter(ChunkWriter& chunks, int zlibLevel, unsigned threads, const Lend& lend = nullptr);
  // Lets the threads finish the blocks they were given and ends them.
  ~ParallelIdatWriter() override;
  ParallelIdatWriter(const ParallelIdatWriter&) = delete;
  ParallelIdatWriter& operator=(const ParallelIdatWriter&) = delete;
  void Feed(const uint8_t* data, size_t size) override;
  // A block made by the maker; `last` for the stream's last block (Finish then adds
  // nothing more).
  void Submit(Maker make, bool last);
  void Finish() override;

 private:
  using Result = BlockDeflater::Result;
  void SubmitFed(bool last);
  void WriteOldest();
  // The oldest block no thread has taken yet, waiting for one if asked (until the writer
  // stops); none (not valid) when there is none.
  std::packaged_task<Result()> TakeQueued(bool wait);
  void Work();

  IdatChunker chunker_;
  int level_;
  size_t inFlight_;
  std::vector<uint8_t> block_;   // fed data not yet in a block
  std::vector<uint8_t> window_;  // the last kWindow bytes fed before block_
  std::deque<std::future<Result>> pending_;
  uLong adler_ = 1;
  bool headerWritten_ = false;
  bool lastSubmitted_ = false;
  // The blocks not yet taken by a thread, oldest first.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<Result()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  bool lent_ = false;      // a thread was lent
  bool lentDone_ = false;  // and its work has ended
};

// The two bytes of a zlib header for the level, as zlib writes them.
uint16_t ZlibHeader(int zlibLevel);

// How many threads to deflate `bytes` bytes of filtered rows with: as many as the machine
// has cores, but only one for a stream of fewer than two blocks, where threads do not pay.
unsigned DeflateThreads(size_t bytes, unsigned cores);

}  // namespace pixo
