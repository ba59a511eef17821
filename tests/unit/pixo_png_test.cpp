#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "pixo/base/errors.h"
#include "pixo/imaging/png_encoder.h"
#include "pixo/imaging/png_image.h"
#include "tests/support/decoders.h"

using namespace pixo;

namespace {

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

uint32_t BE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Splits a PNG file into chunks, checking every CRC.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& f) {
  std::vector<Chunk> out;
  EXPECT_EQ(std::memcmp(f.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  size_t i = 8;
  while (i + 12 <= f.size()) {
    const uint32_t n = BE32(&f[i]);
    Chunk c{std::string(reinterpret_cast<const char*>(&f[i + 4]), 4), {f.begin() + i + 8, f.begin() + i + 8 + n}};
    const uint32_t crc = uint32_t(crc32(0, &f[i + 4], 4 + n));
    EXPECT_EQ(crc, BE32(&f[i + 8 + n])) << c.type;
    out.push_back(std::move(c));
    i += 12 + n;
  }
  EXPECT_EQ(i, f.size());
  return out;
}

std::string Sequence(const std::vector<Chunk>& cs) {
  std::string s;
  for (const auto& c : cs) {
    if (!s.empty() && c.type == "IDAT" && s.size() >= 4 && s.compare(s.size() - 4, 4, "IDAT") == 0) continue;
    s += (s.empty() ? "" : " ") + c.type;
  }
  return s;
}

// Decodes with libpng into RGB(A) rows or palette indexes.
using Decoded = testsupport::PngPicture;

Decoded Decode(const std::vector<uint8_t>& f) {
  Decoded d;
  std::string error;
  if (!testsupport::DecodePng(f, d, error)) ADD_FAILURE() << error;
  return d;
}

// A bottom-up 24-bit DIB with a pattern.
struct Dib24 {
  int w, h, stride;
  std::vector<uint8_t> bits;
  Dib24(int w_, int h_, unsigned seed) : w(w_), h(h_), stride(DibStride(w_, 24)), bits(size_t(stride) * h_) {
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k)
          bits[size_t(y) * stride + x * 3 + k] = uint8_t((x * (k + 1) + y * 3) ^ (rng() % 4 == 0 ? rng() : 0));
  }
  ImageView Source() const {
    ImageView s;
    s.width = w;
    s.height = h;
    s.bitCount = 24;
    s.bits = bits.data();
    s.stride = stride;
    return s;
  }
};

std::vector<uint8_t> Encode(const ImageView& s, PngOptions o = {}) {
  MemoryStream m;
  EncodePng(m, s, o);
  return m.bytes;
}

}  // namespace

TEST(PngEncoder, ChunkOrderOfATrueColourCapture) {
  Dib24 img(37, 23, 1);
  const auto file = Encode(img.Source());
  const auto cs = Chunks(file);
  EXPECT_EQ(Sequence(cs), "IHDR vqRb pHYs IDAT IEND");
  ASSERT_EQ(cs[0].data.size(), 13u);
  EXPECT_EQ(BE32(&cs[0].data[0]), 37u);
  EXPECT_EQ(BE32(&cs[0].data[4]), 23u);
  EXPECT_EQ(cs[0].data[8], 8);
  EXPECT_EQ(cs[0].data[9], 2);
  EXPECT_EQ(cs[0].data[12], 0);
  ASSERT_EQ(cs[1].data.size(), 64u);
  EXPECT_STREQ(reinterpret_cast<const char*>(cs[1].data.data()), kPngWriterId);
  const std::vector<uint8_t> phys = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  EXPECT_EQ(cs[2].data, phys);
}

TEST(PngEncoder, LibpngDecodesTheVeryPixels) {
  Dib24 img(61, 40, 2);
  const Decoded d = Decode(Encode(img.Source()));
  ASSERT_EQ(d.width, 61);
  ASSERT_EQ(d.height, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 61; ++x) {
      const uint8_t* bgr = &img.bits[size_t(39 - y) * img.stride + x * 3];
      ASSERT_EQ(d.rows[y][x * 3], bgr[2]);
      ASSERT_EQ(d.rows[y][x * 3 + 1], bgr[1]);
      ASSERT_EQ(d.rows[y][x * 3 + 2], bgr[0]);
    }
}

TEST(PngEncoder, InterlacedOutputDecodesToTheSamePixels) {
  for (int size : {1, 2, 3, 4, 5, 9, 17}) {
    Dib24 img(size, size + 1, 3);
    PngOptions o;
    o.interlace = 1;
    const auto file = Encode(img.Source(), o);
    const Decoded plain = Decode(Encode(img.Source()));
    const Decoded inter = Decode(file);
    EXPECT_EQ(inter.interlace, 1);
    EXPECT_EQ(plain.rows, inter.rows) << size;
  }
}

TEST(PngEncoder, PaddedThirtyTwoBitPixelsGiveTheTwentyFourBitFile) {
  // A capture's BGRX rows, with noise in the padding byte, encode to the very file of the
  // same picture at 24 bits: plain and interlaced, on one thread and on four.
  Dib24 img(300, 97, 4);
  const int stride32 = DibStride(img.w, 32);
  std::vector<uint8_t> bits32(size_t(stride32) * img.h);
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      std::memcpy(&bits32[size_t(y) * stride32 + x * 4], &img.bits[size_t(y) * img.stride + x * 3], 3);
      bits32[size_t(y) * stride32 + x * 4 + 3] = uint8_t(x * 7 + y);
    }
  ImageView padded = img.Source();
  padded.bitCount = 32;
  padded.bits = bits32.data();
  padded.stride = stride32;
  for (int interlace : {0, 1})
    for (uint32_t threads : {1u, 4u}) {
      PngOptions o;
      o.interlace = interlace;
      o.threads = threads;
      const auto expected = Encode(img.Source(), o);
      o.padded = true;
      EXPECT_EQ(Encode(padded, o), expected) << interlace << " " << threads;
    }
}

// A picture whose rows land from the top down on another thread, a band at a time, as a
// capture's rows do while the screen is read; the memory holds nothing before a row lands.
// The landing thread runs the job lent to it, if any, once it has landed the rows.
// A band lands once a row not yet there is asked for (or after 20 ms), so that the writer
// always gets ahead of the rows.
class LandingPicture : public RowGate {
 public:
  explicit LandingPicture(const ImageView& whole) : whole_(whole), bits_(size_t(whole.stride) * whole.height, 0) {
    view_ = whole;
    view_.bits = bits_.data();
    view_.gate = this;
    lander_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (landed_ < whole_.height) {
        changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return asked_ >= landed_; });
        const int32_t end = std::min(whole_.height, landed_ + 7);
        for (int32_t y = landed_; y < end; ++y)
          std::memcpy(&bits_[MemoryRowOf(y, whole_.height, whole_.topDown) * size_t(whole_.stride)], whole_.Row(y),
                      size_t(whole_.stride));
        landed_ = end;
        changed_.notify_all();
      }
      std::function<void()> job;
      job.swap(afterLanding_);
      lock.unlock();
      if (job) job();
    });
  }
  ~LandingPicture() override { lander_.join(); }
  const ImageView& View() const { return view_; }
  void WaitFor(int32_t y) const override {
    std::unique_lock<std::mutex> lock(mutex_);
    asked_ = std::max(asked_, y);
    changed_.notify_all();
    changed_.wait(lock, [&] { return landed_ > y; });
  }
  bool AfterLanding(std::function<void()> job) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (landed_ == whole_.height) return false;  // the lander may be gone
    afterLanding_ = std::move(job);
    ++lent;
    return true;
  }
  mutable int lent = 0;

 private:
  ImageView whole_, view_;
  std::vector<uint8_t> bits_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int32_t landed_ = 0;
  mutable int32_t asked_ = -1;
  mutable std::function<void()> afterLanding_;
  std::thread lander_;
};

TEST(PngEncoder, RowsThatLandWhileTheFileIsWrittenGiveTheSameFile) {
  // A writer that read a row before it landed would find zeros there. With more than one
  // thread the landing thread is borrowed for one of them once it has landed the rows.
  const Dib24 img(400, 300, 9);
  for (uint32_t threads : {1u, 2u, 3u}) {
    PngOptions o;
    o.threads = threads;
    LandingPicture landing(img.Source());
    PngOptions lending = o;
    lending.lend = [&landing](std::function<void()> job) { return landing.AfterLanding(std::move(job)); };
    EXPECT_EQ(Encode(landing.View(), lending), Encode(img.Source(), o)) << threads;
    EXPECT_EQ(landing.lent, threads > 1 ? 1 : 0) << threads;
  }
}

TEST(PngEncoder, PaletteImagesKeepIndexesAndPackBits) {
  for (int bits : {1, 4, 8}) {
    const int w = 13, h = 5;
    const int stride = DibStride(w, bits);
    std::vector<uint8_t> data(size_t(stride) * h, 0);
    ImageView s;
    s.width = w;
    s.height = h;
    s.bitCount = bits;
    s.stride = stride;
    s.bits = data.data();
    const int colours = 1 << bits;
    for (int i = 0; i < colours; ++i) s.colours.push_back(Rgb4{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0});
    auto set = [&](int x, int picY, int v) {
      uint8_t* row = &data[size_t(h - 1 - picY) * stride];
      const int pos = x * bits;
      row[pos / 8] |= uint8_t(v << (8 - bits - pos % 8));
    };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) set(x, y, (x + y * 3) % colours);
    // Stray bits after the last pixel of a row must not reach the file.
    for (int y = 0; y < h; ++y) data[size_t(y) * stride + stride - 1] |= 0x01;
    const auto file = Encode(s);
    const auto cs = Chunks(file);
    EXPECT_EQ(Sequence(cs), "IHDR vqRb PLTE pHYs IDAT IEND");
    EXPECT_EQ(cs[2].data.size(), size_t(3 * colours));
    EXPECT_EQ(cs[0].data[9], 3);
    EXPECT_EQ(cs[0].data[8], bits);
    const Decoded d = Decode(file);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(d.rows[y][x], (x + y * 3) % colours) << bits;
    EXPECT_EQ(d.palette[1].red, 3);  // entries are stored blue, green, red
    EXPECT_EQ(d.palette[1].blue, 1);
    EXPECT_EQ(d.palette[1].green, 254);
  }
}

TEST(PngEncoder, UnsupportedBitCount) {
  ImageView s;
  s.width = 1;
  s.height = 1;
  s.bitCount = 16;
  MemoryStream m;
  try {
    EncodePng(m, s, {});
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "PNG SaveStream: support BitCount");
  }
}

TEST(RowFilter, UniformFirstRowChoosesSub) {
  RowFilter f;
  const size_t n = 30;
  f.Reset(n, 3);
  std::vector<uint8_t> raw(n + 1, 77), prev(n + 1, 0);
  raw[0] = 0;
  EXPECT_EQ(f.Choose(raw, prev)[0], 1);
}

TEST(RowFilter, TiesKeepTheEarlierFilter) {
  RowFilter f;
  f.Reset(6, 3);
  std::vector<uint8_t> zeros(7, 0);
  // All zero: every filter scores 0, None stays.
  EXPECT_EQ(f.Choose(zeros, zeros)[0], 0);
  // A row equal to the previous one: Up scores 0, Average and Paeth cannot beat it.
  std::vector<uint8_t> prev = {0, 10, 200, 30, 40, 250, 60};
  std::vector<uint8_t> raw = prev;
  EXPECT_EQ(f.Choose(raw, prev)[0], 2);
}

TEST(RowFilter, ScoresWrapAroundAsSignedBytes) {
  RowFilter f;
  f.Reset(4, 1);
  // Raw bytes near 255 score low (256 - v): None wins against Sub here.
  std::vector<uint8_t> raw = {0, 255, 1, 255, 1}, prev(5, 0);
  EXPECT_EQ(f.Choose(raw, prev)[0], 0);
}

TEST(IdatWriter, FullChunksOfExactly32768AndNoEmptyChunk) {
  // Random bytes do not compress: the stream is longer than one chunk.
  std::mt19937 rng(7);
  std::vector<uint8_t> data(100000);
  for (auto& b : data) b = uint8_t(rng());
  MemoryStream m;
  {
    ChunkWriter cw(m);
    IdatWriter w(cw, 0);
    w.Feed(data.data(), data.size());
    w.Finish();
  }
  m.bytes.insert(m.bytes.begin(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
  const auto cs = Chunks(m.bytes);
  ASSERT_GE(cs.size(), 4u);
  std::vector<uint8_t> stream;
  for (size_t i = 0; i < cs.size(); ++i) {
    if (i + 1 < cs.size()) EXPECT_EQ(cs[i].data.size(), 32768u);
    EXPECT_GT(cs[i].data.size(), 0u);
    stream.insert(stream.end(), cs[i].data.begin(), cs[i].data.end());
  }
  std::vector<uint8_t> back(data.size());
  uLongf n = uLongf(back.size());
  ASSERT_EQ(uncompress(back.data(), &n, stream.data(), uLong(stream.size())), Z_OK);
  EXPECT_EQ(back, data);

  // A stream of exactly 32768 bytes makes one full chunk and no empty one after it.
  // Level 1 over random bytes stores them; search the input size that gives 32768.
  for (size_t size = 32600; size < 32768; ++size) {
    std::vector<uint8_t> in(size);
    for (auto& b : in) b = uint8_t(rng());
    MemoryStream exact;
    {
      ChunkWriter cw(exact);
      IdatWriter w(cw, 1);
      w.Feed(in.data(), in.size());
      w.Finish();
    }
    size_t chunks = 0, total = 0;
    for (size_t i = 0; i < exact.bytes.size(); ++chunks) {
      const uint32_t n = BE32(&exact.bytes[i]);
      total += n;
      i += 12 + n;
    }
    if (total != 32768) continue;
    EXPECT_EQ(chunks, 1u);
    return;
  }
  FAIL() << "no input size gave a stream of exactly 32768 bytes";
}

TEST(PngImage, CompressionLevelsMapToZlib) {
  EXPECT_EQ(ZlibLevel(0), -1);
  EXPECT_EQ(ZlibLevel(1), 1);
  EXPECT_EQ(ZlibLevel(2), 9);
  PngImage p;
  p.SetCompressionLevel(2);
  EXPECT_EQ(p.CompressionLevel(), 2);
  EXPECT_THROW(p.SetCompressionLevel(3), Error);
  EXPECT_EQ(p.CompressionLevel(), 2);
  // The zlib header's level bits tell the levels apart: 1 -> fastest, 9 -> maximum.
  Dib24 img(50, 50, 4);
  auto levelBits = [&](int option) {
    PngOptions o;
    o.level = option;
    const auto cs = Chunks(Encode(img.Source(), o));
    for (const auto& c : cs)
      if (c.type == "IDAT") return c.data[1] >> 6;
    return -1;
  };
  EXPECT_EQ(levelBits(1), 0);
  EXPECT_EQ(levelBits(0), 2);
  EXPECT_EQ(levelBits(2), 3);
}

TEST(PngImage, SaveWithoutImageAndPlaceholder) {
  PngImage p;
  MemoryStream m;
  p.SaveToStream(m);  // the 8 x 8 one-bit placeholder
  const auto cs = Chunks(m.bytes);
  EXPECT_EQ(cs[0].data[8], 1);
  p.DropImage();
  try {
    p.SaveToStream(m);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "SaveToStream: not Image");
  }
}

namespace {

// The IDAT data of a file as one zlib stream, and the chunk sizes.
std::vector<uint8_t> IdatStream(const std::vector<uint8_t>& file, std::vector<size_t>& sizes) {
  std::vector<uint8_t> stream;
  for (const auto& c : Chunks(file)) {
    if (c.type != "IDAT") continue;
    sizes.push_back(c.data.size());
    stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  return stream;
}

// Inflates a whole zlib stream; zlib checks the Adler-32 at its end. False unless the
// stream ends exactly where the data does.
bool InflateWhole(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(stream.data());
  zs.avail_in = uInt(stream.size());
  uint8_t buffer[65536];
  int rc;
  do {
    zs.next_out = buffer;
    zs.avail_out = sizeof buffer;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
  } while (rc == Z_OK);
  const bool whole = rc == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  return whole;
}

}  // namespace

TEST(ParallelPng, SamePixelsAsOneThreadForEveryShapeAndLevel) {
  struct Shape {
    int w, h;
  };
  // One long row (several blocks within it), fewer rows than a block, many blocks, widths
  // that are multiples of nothing.
  const Shape shapes[] = {{150001, 1}, {33, 7}, {1021, 389}, {977, 601}, {4097, 3}};
  for (const Shape& s : shapes) {
    Dib24 img(s.w, s.h, unsigned(s.w + s.h));
    for (int interlace = 0; interlace < 2; ++interlace) {
      for (int level = 0; level < 3; ++level) {
        PngOptions one, many;
        one.threads = 1;
        many.threads = 3;
        one.interlace = many.interlace = interlace;
        one.level = many.level = level;
        const auto serial = Encode(img.Source(), one);
        const auto parallel = Encode(img.Source(), many);
        const std::string what = std::to_string(s.w) + "x" + std::to_string(s.h) + " interlace " +
                                 std::to_string(interlace) + " level " + std::to_string(level);
        ASSERT_EQ(Decode(serial).rows, Decode(parallel).rows) << what;
        std::vector<size_t> sizes;
        const std::vector<uint8_t> stream = IdatStream(parallel, sizes);
        for (size_t i = 0; i + 1 < sizes.size(); ++i) ASSERT_EQ(sizes[i], 32768u) << what;
        ASSERT_GT(sizes.back(), 0u) << what;
        std::vector<uint8_t> inflated;
        ASSERT_TRUE(InflateWhole(stream, inflated)) << what;
        // The header is zlib's own for the level.
        EXPECT_EQ(stream[0] << 8 | stream[1], ZlibHeader(ZlibLevel(level))) << what;
        // Several blocks really were joined when there are rows enough for them.
        if (s.h > 1 && inflated.size() >= 2 * ParallelIdatWriter::kBlockSize) {
          EXPECT_GT(DeflateThreads(inflated.size(), 3), 1u) << what;
          EXPECT_NE(serial, parallel) << what;
        }
      }
    }
  }
}

TEST(ParallelPng, ZlibHeadersAndThreadChoice) {
  for (int level : {-1, 1, 2, 5, 6, 7, 9}) {
    const uint8_t in[1] = {0};
    uint8_t out[64];
    uLongf n = sizeof out;
    ASSERT_EQ(compress2(out, &n, in, 1, level), Z_OK);
    EXPECT_EQ(out[0] << 8 | out[1], ZlibHeader(level)) << level;
  }
  const size_t block = ParallelIdatWriter::kBlockSize;
  EXPECT_EQ(DeflateThreads(2 * block - 1, 8), 1u);
  EXPECT_EQ(DeflateThreads(2 * block, 8), 2u);
  EXPECT_EQ(DeflateThreads(100 * block, 8), 8u);
  EXPECT_EQ(DeflateThreads(100 * block, 0), 1u);
}

TEST(ParallelPng, ABlockThatFailsEndsTheStreamWithItsError) {
  // A block that fails on a thread (its rows cannot be read, say) reaches the caller as
  // that error, whether a later block is still running, waiting or not yet given.
  for (unsigned threads : {1u, 2u, 4u}) {
    MemoryStream m;
    ChunkWriter cw(m);
    int made = 0;
    EXPECT_THROW(
        {
          ParallelIdatWriter w(cw, -1, threads);
          for (int b = 0; b < 12; ++b)
            w.Submit(
                [b](BlockDeflater& d) {
                  if (b == 3) Raise(ErrorKind::Png, "rows not read");
                  const std::vector<uint8_t> rows(50000, uint8_t(b));
                  d.Feed(rows.data(), rows.size());
                },
                b == 11);
          w.Finish();
          made = 1;
        },
        Error)
        << threads;
    EXPECT_EQ(made, 0);
  }
}

TEST(ParallelPng, ABlockIsPrimedWithTheDataBeforeIt) {
  // Data that repeats a random 16 KiB pattern compresses to little more than one pattern
  // only when each block sees the data before it; else every block pays it in full.
  std::mt19937 rng(11);
  std::vector<uint8_t> pattern(16384);
  for (auto& b : pattern) b = uint8_t(rng());
  std::vector<uint8_t> data;
  while (data.size() < 8 * ParallelIdatWriter::kBlockSize) data.insert(data.end(), pattern.begin(), pattern.end());
  MemoryStream m;
  {
    ChunkWriter cw(m);
    ParallelIdatWriter w(cw, -1, 4);
    w.Feed(data.data(), data.size());
    w.Finish();
  }
  m.bytes.insert(m.bytes.begin(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
  std::vector<size_t> sizes;
  const std::vector<uint8_t> stream = IdatStream(m.bytes, sizes);
  std::vector<uint8_t> inflated;
  ASSERT_TRUE(InflateWhole(stream, inflated));
  EXPECT_EQ(inflated, data);
  EXPECT_LT(stream.size(), 2 * pattern.size());
}
