#include "pixo/imaging/png_deflate.h"

#include <algorithm>
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

std::vector<uint8_t> DeflateBlock(const uint8_t* data, size_t size, const uint8_t* dictionary, size_t dictionarySize,
                                  int zlibLevel, bool last) {
  z_stream zs{};
  const int rc = deflateInit2(&zs, zlibLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) RaiseZlib();
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&zs, deflateEnd);
  if (dictionarySize && deflateSetDictionary(&zs, dictionary, uInt(dictionarySize)) != Z_OK) RaiseZlib();
  // Room for the block stored as it is, its flush marker and the end of the stream.
  std::vector<uint8_t> out(deflateBound(&zs, uLong(size)) + 64);
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = uInt(size);
  size_t used = 0;
  for (;;) {
    zs.next_out = out.data() + used;
    zs.avail_out = uInt(out.size() - used);
    const int r = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    if (r < 0 && r != Z_BUF_ERROR) RaiseZlib();
    used = out.size() - zs.avail_out;
    if (last ? r == Z_STREAM_END : (zs.avail_in == 0 && zs.avail_out > 0)) break;
    out.resize(out.size() * 2);
  }
  out.resize(used);
  return out;
}

ParallelIdatWriter::ParallelIdatWriter(ChunkWriter& chunks, int zlibLevel, unsigned threads)
    : chunker_(chunks), level_(zlibLevel), inFlight_(threads ? threads : 1) {
  // The level is checked here, as the one-thread writer does, not first on a worker.
  z_stream probe{};
  const int rc = deflateInit2(&probe, zlibLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) RaiseZlib();
  deflateEnd(&probe);
  std::promise<Window> none;
  none.set_value(std::make_shared<const std::vector<uint8_t>>());
  window_ = none.get_future().share();
}

// Pending blocks are finished by their futures' destructors before anything they use
// goes away.
ParallelIdatWriter::~ParallelIdatWriter() = default;

void ParallelIdatWriter::Feed(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (block_.capacity() < kBlockSize) block_.reserve(kBlockSize);
    const size_t n = std::min(size, kBlockSize - block_.size());
    block_.insert(block_.end(), data, data + n);
    data += n;
    size -= n;
    if (block_.size() == kBlockSize) {
      auto full = std::make_shared<std::vector<uint8_t>>(std::move(block_));
      block_ = std::vector<uint8_t>();
      Submit([full] { return std::move(*full); }, false);
    }
  }
}

void ParallelIdatWriter::Submit(Producer produce, bool last) {
  if (!headerWritten_) {
    const uint16_t h = ZlibHeader(level_);
    const uint8_t bytes[2] = {uint8_t(h >> 8), uint8_t(h)};
    chunker_.Put(bytes, 2);
    headerWritten_ = true;
  }
  while (pending_.size() >= inFlight_) WriteOldest();
  auto next = std::make_shared<std::promise<Window>>();
  std::shared_future<Window> before = window_;
  window_ = next->get_future().share();
  const int level = level_;
  auto job = [produce = std::move(produce), before, next, level, last] {
    std::vector<uint8_t> data;
    Window dictionary;
    try {
      data = produce();
      dictionary = before.get();
      // The next block's dictionary: the last kWindow bytes up to the end of this one.
      auto after = std::make_shared<std::vector<uint8_t>>();
      if (data.size() < kWindow) {
        const size_t keep = std::min(dictionary->size(), kWindow - data.size());
        after->assign(dictionary->end() - ptrdiff_t(keep), dictionary->end());
      }
      after->insert(after->end(), data.end() - ptrdiff_t(std::min(data.size(), kWindow)), data.end());
      next->set_value(std::move(after));
    } catch (...) {
      next->set_exception(std::current_exception());  // the blocks after it fail too
      throw;
    }
    Result r;
    r.bytes = DeflateBlock(data.data(), data.size(), dictionary->data(), dictionary->size(), level, last);
    r.adler = adler32(1, data.data(), uInt(data.size()));
    r.length = data.size();
    return r;
  };
  try {
    pending_.push_back(std::async(std::launch::async, std::move(job)));
  } catch (const std::system_error&) {
    // No thread to be had: the block is made here and now, in order.
    std::promise<Result> done;
    try {
      done.set_value(job());
    } catch (...) {
      done.set_exception(std::current_exception());
    }
    pending_.push_back(done.get_future());
  }
  lastSubmitted_ = last;
}

void ParallelIdatWriter::WriteOldest() {
  std::future<Result> oldest = std::move(pending_.front());
  pending_.pop_front();
  const Result r = oldest.get();
  chunker_.Put(r.bytes.data(), r.bytes.size());
  adler_ = adler32_combine(adler_, r.adler, z_off_t(r.length));
}

void ParallelIdatWriter::Finish() {
  if (!lastSubmitted_) {
    auto rest = std::make_shared<std::vector<uint8_t>>(std::move(block_));
    block_ = std::vector<uint8_t>();
    Submit([rest] { return std::move(*rest); }, true);
  }
  while (!pending_.empty()) WriteOldest();
  const uint8_t tail[4] = {uint8_t(adler_ >> 24), uint8_t(adler_ >> 16), uint8_t(adler_ >> 8), uint8_t(adler_)};
  chunker_.Put(tail, 4);
  chunker_.Finish();
}

}  // namespace pixo
