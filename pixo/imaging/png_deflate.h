// The IDAT stream of a PNG file: filtered rows deflated into one zlib stream, cut into
// IDAT chunks of exactly 32,768 bytes but the last. One thread, or several, each
// deflating a block of the rows primed with the 32 KiB before it, the blocks joined into
// the same single stream. Pure computation.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
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

// Blocks deflated on up to `threads` threads at once. Each block is raw deflate primed
// with the 32 KiB of data before it and ended by a sync flush (the last one by the
// stream's end), so the blocks follow each other in one stream behind one zlib header,
// and the Adler-32 of the whole data is combined from the blocks'. A block's data comes
// from Feed (cut every kBlockSize bytes) or from a producer that makes it on the block's
// own thread (filtering its rows, say); the next block's dictionary is taken from it as
// soon as it is made, before it is deflated.
class ParallelIdatWriter : public IdatSink {
 public:
  static constexpr size_t kBlockSize = 128 * 1024;
  static constexpr size_t kWindow = 32 * 1024;
  using Producer = std::function<std::vector<uint8_t>()>;
  ParallelIdatWriter(ChunkWriter& chunks, int zlibLevel, unsigned threads);
  ~ParallelIdatWriter() override;
  ParallelIdatWriter(const ParallelIdatWriter&) = delete;
  ParallelIdatWriter& operator=(const ParallelIdatWriter&) = delete;
  void Feed(const uint8_t* data, size_t size) override;
  // A block made by the producer; `last` for the stream's last block (Finish then adds
  // nothing more).
  void Submit(Producer produce, bool last);
  void Finish() override;

 private:
  using Window = std::shared_ptr<const std::vector<uint8_t>>;
  struct Result {
    std::vector<uint8_t> bytes;
    uLong adler = 1;
    size_t length = 0;
  };
  void WriteOldest();

  IdatChunker chunker_;
  int level_;
  size_t inFlight_;
  std::vector<uint8_t> block_;
  std::shared_future<Window> window_;  // the last kWindow bytes before the next block
  std::deque<std::future<Result>> pending_;
  uLong adler_ = 1;
  bool headerWritten_ = false;
  bool lastSubmitted_ = false;
};

// Deflates one block as raw deflate (no header), primed with the dictionary, ended by a
// sync flush or, for the last block, by the end of the stream.
std::vector<uint8_t> DeflateBlock(const uint8_t* data, size_t size, const uint8_t* dictionary, size_t dictionarySize,
                                  int zlibLevel, bool last);

// The two bytes of a zlib header for the level, as zlib writes them.
uint16_t ZlibHeader(int zlibLevel);

// How many threads to deflate `bytes` bytes of filtered rows with: as many as the machine
// has cores, but only one for a stream of fewer than two blocks, where threads do not pay.
unsigned DeflateThreads(size_t bytes, unsigned cores);

}  // namespace pixo
