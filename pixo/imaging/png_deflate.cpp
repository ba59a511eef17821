#include "pixo/imaging/png_deflate.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "pixo/base/errors.h"
#include "pixo/imaging/png_encoder.h"

namespace pixo {

namespace {

[[noreturn]] void RaiseZlib() { Raise(ErrorKind::Png, "PNG SaveStream: error ZLIB"); }

}  // namespace

void IdatChunker::Put(const uint8_t* data, size_t size) {
  while (size > 0) {
    const size_t n = std::min(size, kChunkSize - buffer_.size());
    buffer_.insert(buffer_.end(), data, data + n);
    data += n;
    size -= n;
    if (buffer_.size() == kChunkSize) {
      chunks_.Write("IDAT", buffer_.data(), uint32_t(kChunkSize));
      buffer_.clear();
    }
  }
}

void IdatChunker::Finish() {
  if (!buffer_.empty()) chunks_.Write("IDAT", buffer_.data(), uint32_t(buffer_.size()));
  buffer_.clear();
}

// ---- one thread ----

IdatWriter::IdatWriter(ChunkWriter& chunks, int zlibLevel) : chunker_(chunks), buffer_(kBufferSize) {
  const int rc = deflateInit2(&zs_, zlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) RaiseZlib();
  open_ = true;
}

IdatWriter::~IdatWriter() {
  if (open_) deflateEnd(&zs_);
}

void IdatWriter::Drain() {
  chunker_.Put(buffer_.data(), kBufferSize - zs_.avail_out);
  zs_.next_out = buffer_.data();
  zs_.avail_out = uInt(kBufferSize);
}

void IdatWriter::Feed(const uint8_t* data, size_t size) {
  zs_.next_in = const_cast<Bytef*>(data);
  zs_.avail_in = uInt(size);
  while (zs_.avail_in > 0) {
    zs_.next_out = buffer_.data();
    zs_.avail_out = uInt(kBufferSize);
    if (deflate(&zs_, Z_NO_FLUSH) < 0) RaiseZlib();
    Drain();
  }
}

void IdatWriter::Finish() {
  for (;;) {
    zs_.next_out = buffer_.data();
    zs_.avail_out = uInt(kBufferSize);
    const int rc = deflate(&zs_, Z_FINISH);
    if (rc < 0) RaiseZlib();
    Drain();
    if (rc == Z_STREAM_END) break;
  }
  chunker_.Finish();
}

// ---- several threads ----

uint16_t ZlibHeader(int zlibLevel) {
  const int level = zlibLevel < 0 ? 6 : zlibLevel;
  const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (flags << 6);
  header += 31 - header % 31;
  return uint16_t(header);
}

unsigned DeflateThreads(size_t bytes, unsigned cores) {
  if (cores == 0 || bytes < 2 * ParallelIdatWriter::kBlockSize) return 1;
  const size_t blocks = (bytes + ParallelIdatWriter::kBlockSize - 1) / ParallelIdatWriter::kBlockSize;
  return unsigned(std::min<size_t>(cores, blocks));
}

BlockDeflater::BlockDeflater(int zlibLevel) {
  const int rc = deflateInit2(&zs_, zlibLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) RaiseZlib();
}

BlockDeflater::~BlockDeflater() { deflateEnd(&zs_); }

void BlockDeflater::Prime(const uint8_t* data, size_t size) {
  if (size > ParallelIdatWriter::kWindow) {
    data += size - ParallelIdatWriter::kWindow;
    size = ParallelIdatWriter::kWindow;
  }
  if (size && deflateSetDictionary(&zs_, data, uInt(size)) != Z_OK) RaiseZlib();
}

void BlockDeflater::Feed(const uint8_t* data, size_t size) {
  result_.adler = adler32(result_.adler, data, uInt(size));
  result_.length += size;
  zs_.next_in = const_cast<Bytef*>(data);
  zs_.avail_in = uInt(size);
  Deflate(Z_NO_FLUSH);
}

// Deflates what is fed into the bytes, which grow as needed (a screen deflates to little).
void BlockDeflater::Deflate(int flush) {
  std::vector<uint8_t>& out = result_.bytes;
  for (;;) {
    if (out.capacity() - out.size() < 4096) out.reserve(std::max<size_t>(2 * out.capacity(), 65536));
    const size_t used = out.size(), room = out.capacity() - used;
    out.resize(out.capacity());
    zs_.next_out = out.data() + used;
    zs_.avail_out = uInt(room);
    const int r = deflate(&zs_, flush);
    out.resize(out.size() - zs_.avail_out);
    if (r < 0 && r != Z_BUF_ERROR) RaiseZlib();
    if (flush == Z_FINISH ? r == Z_STREAM_END : (zs_.avail_in == 0 && zs_.avail_out > 0)) return;
  }
}

BlockDeflater::Result BlockDeflater::Finish(bool last) {
  zs_.next_in = nullptr;
  zs_.avail_in = 0;
  Deflate(last ? Z_FINISH : Z_SYNC_FLUSH);
  return std::move(result_);
}

ParallelIdatWriter::ParallelIdatWriter(ChunkWriter& chunks, int zlibLevel, unsigned threads, const Lend& lend)
    : chunker_(chunks), level_(zlibLevel), inFlight_(threads ? threads : 1) {
  // The level is checked here, as the one-thread writer does, not first on a worker.
  BlockDeflater probe(zlibLevel);
  // The calling thread is one of them: it takes blocks while it waits for the oldest.
  size_t helpers = inFlight_ - 1;
  // A lent thread's work ends only once the writer stops, so it is told that it has ended
  // (under the lock: once the lock is let go, the writer may be gone).
  lent_ = helpers > 0 && lend && lend([this] {
            Work();
            std::lock_guard<std::mutex> lock(mutex_);
            lentDone_ = true;
            wake_.notify_all();
          });
  if (lent_) --helpers;
  try {
    for (size_t i = 0; i < helpers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked, or none: with none, each block is made where it is given.
  }
}

// The blocks given to the threads are finished before anything they use goes away; a
// lent thread that has not come yet finds the writer stopping and gives itself back.
ParallelIdatWriter::~ParallelIdatWriter() {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  wake_.notify_all();
  lock.unlock();
  for (std::thread& t : threads_) t.join();
  lock.lock();
  wake_.wait(lock, [this] { return !lent_ || lentDone_; });
}

std::packaged_task<ParallelIdatWriter::Result()> ParallelIdatWriter::TakeQueued(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait) wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
  if (queue_.empty()) return {};
  std::packaged_task<Result()> task = std::move(queue_.front());
  queue_.pop_front();
  return task;
}

void ParallelIdatWriter::Work() {
  // A block's failure goes to its future.
  for (auto task = TakeQueued(true); task.valid(); task = TakeQueued(true)) task();
}

void ParallelIdatWriter::Feed(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (block_.capacity() < kBlockSize) block_.reserve(kBlockSize);
    const size_t n = std::min(size, kBlockSize - block_.size());
    block_.insert(block_.end(), data, data + n);
    data += n;
    size -= n;
    if (block_.size() == kBlockSize) SubmitFed(false);
  }
}

// Submits the data fed since the last block, primed with the window before it.
void ParallelIdatWriter::SubmitFed(bool last) {
  auto data = std::make_shared<std::vector<uint8_t>>(std::move(block_));
  auto dictionary = std::make_shared<std::vector<uint8_t>>(window_);
  block_ = std::vector<uint8_t>();
  // The next block's window: the last kWindow bytes up to the end of this one.
  if (data->size() >= kWindow) {
    window_.assign(data->end() - ptrdiff_t(kWindow), data->end());
  } else {
    window_.insert(window_.end(), data->begin(), data->end());
    if (window_.size() > kWindow) window_.erase(window_.begin(), window_.end() - ptrdiff_t(kWindow));
  }
  Submit(
      [data, dictionary](BlockDeflater& d) {
        d.Prime(dictionary->data(), dictionary->size());
        d.Feed(data->data(), data->size());
      },
      last);
}

void ParallelIdatWriter::Submit(Maker make, bool last) {
  if (!headerWritten_) {
    const uint16_t h = ZlibHeader(level_);
    const uint8_t bytes[2] = {uint8_t(h >> 8), uint8_t(h)};
    chunker_.Put(bytes, 2);
    headerWritten_ = true;
  }
  while (pending_.size() >= inFlight_) WriteOldest();
  const int level = level_;
  std::packaged_task<Result()> task([make = std::move(make), level, last] {
    BlockDeflater d(level);
    make(d);
    return d.Finish(last);
  });
  pending_.push_back(task.get_future());
  if (threads_.empty() && !lent_) {
    task();  // no thread to be had: the block is made here and now, in order
  } else {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(task));
    }
    wake_.notify_one();
  }
  lastSubmitted_ = last;
}

void ParallelIdatWriter::WriteOldest() {
  std::future<Result> oldest = std::move(pending_.front());
  pending_.pop_front();
  // This thread makes blocks no thread has taken yet while the oldest is not done.
  while (oldest.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    auto task = TakeQueued(false);
    if (!task.valid()) break;
    task();
  }
  const Result r = oldest.get();
  chunker_.Put(r.bytes.data(), r.bytes.size());
  adler_ = adler32_combine(adler_, r.adler, z_off_t(r.length));
}

void ParallelIdatWriter::Finish() {
  if (!lastSubmitted_) SubmitFed(true);
  while (!pending_.empty()) WriteOldest();
  const uint8_t tail[4] = {uint8_t(adler_ >> 24), uint8_t(adler_ >> 16), uint8_t(adler_ >> 8), uint8_t(adler_)};
  chunker_.Put(tail, 4);
  chunker_.Finish();
}

}  // namespace pixo
