#include "pixo/imaging/png_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "pixo/base/errors.h"

namespace pixo {

namespace {

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

[[noreturn]] void RaisePng(const char* text) { Raise(ErrorKind::Png, text); }

// v as a signed byte, in absolute value: v below 128 scores v, else 256 - v.
inline uint32_t Score(uint8_t v) {
  const int8_t sv = int8_t(v);
  return uint32_t(sv < 0 ? -sv : sv);
}

// Copies picture row y of the image into raw (after its type byte) in PNG byte order, at
// pixelBits bits per pixel (24 for 32-bit pixels whose fourth byte is padding).
void ConvertRow(const ImageView& img, int y, int colStart, int colStep, int pixelBits, std::vector<uint8_t>& raw) {
  const uint8_t* src = img.Row(y);
  uint8_t* dst = raw.data() + 1;
  const int w = img.width;
  if (img.bitCount == 24 || img.bitCount == 32) {
    const int n = img.bitCount / 8, m = pixelBits / 8;
    for (int x = colStart; x < w; x += colStep) {
      const uint8_t* s = src + size_t(x) * n;
      dst[0] = s[2];
      dst[1] = s[1];
      dst[2] = s[0];
      if (m == 4) dst[3] = s[3];
      dst += m;
    }
    return;
  }
  const int bits = img.bitCount;
  if (colStart == 0 && colStep == 1) {
    const size_t bytes = (size_t(w) * bits + 7) / 8;
    std::memcpy(dst, src, bytes);
    const int used = int((size_t(w) * bits) % 8);
    if (used) dst[bytes - 1] &= uint8_t(0xFF << (8 - used));
    return;
  }
  std::memset(dst, 0, raw.size() - 1);
  int out = 0;
  const int mask = (1 << bits) - 1;
  for (int x = colStart; x < w; x += colStep, ++out) {
    const size_t bitPos = size_t(x) * bits;
    const int v = (src[bitPos / 8] >> (8 - bits - int(bitPos % 8))) & mask;
    const size_t o = size_t(out) * bits;
    dst[o / 8] |= uint8_t(v << (8 - bits - int(o % 8)));
  }
}

}  // namespace

int ZlibLevel(int32_t option) { return option == 1 ? 1 : option == 2 ? 9 : -1; }

void ChunkWriter::Write(const char type[4], const void* data, uint32_t size) {
  uint8_t head[8];
  PutBE32(head, size);
  std::memcpy(head + 4, type, 4);
  out_.Write(head, 8);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (size) {
    out_.Write(data, size);
    crc = crc32(crc, static_cast<const Bytef*>(data), size);
  }
  uint8_t tail[4];
  PutBE32(tail, uint32_t(crc));
  out_.Write(tail, 4);
}

void RowFilter::Reset(size_t rowBytes, int bytesPerPixel) {
  bpp_ = bytesPerPixel;
  for (int t = 1; t < 5; ++t) {
    filtered_[t].assign(rowBytes + 1, 0);
    filtered_[t][0] = uint8_t(t);
  }
}

namespace {

// Fills the four filtered rows and adds up the five scores in one pass over the row.
// No branch depends on the data: the Paeth choice is made of selects, so the compiler
// turns the loop into vector code (the file is built with -O3 for it).
#if defined(__GNUC__)
#define PIXO_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define PIXO_ALWAYS_INLINE inline
#endif
PIXO_ALWAYS_INLINE void FilterAndScoreBody(const uint8_t* __restrict r, const uint8_t* __restrict u, size_t n,
                                           size_t bpp, uint8_t* __restrict sub, uint8_t* __restrict up,
                                           uint8_t* __restrict avg, uint8_t* __restrict paeth, uint32_t sums[5]) {
  uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0;
  for (size_t i = 0; i < bpp; ++i) {  // no pixel to the left
    const uint8_t x = r[i], b = u[i];
    sub[i] = x;
    up[i] = uint8_t(x - b);
    avg[i] = uint8_t(x - (b >> 1));
    paeth[i] = uint8_t(x - b);
    s0 += Score(x);
    s1 += Score(sub[i]);
    s2 += Score(up[i]);
    s3 += Score(avg[i]);
    s4 += Score(paeth[i]);
  }
  for (size_t i = bpp; i < n; ++i) {
    const int x = r[i], a = r[i - bpp], b = u[i], c = u[i - bpp];
    const int pa = b > c ? b - c : c - b;                          // |p - a| with p = a + b - c
    const int pb = a > c ? a - c : c - a;                          // |p - b|
    const int pc = a + b > 2 * c ? a + b - 2 * c : 2 * c - a - b;  // |p - c|
    const int nearest = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    const uint8_t fs = uint8_t(x - a), fu = uint8_t(x - b), fa = uint8_t(x - ((a + b) >> 1));
    const uint8_t fp = uint8_t(x - nearest);
    sub[i] = fs;
    up[i] = fu;
    avg[i] = fa;
    paeth[i] = fp;
    s0 += Score(uint8_t(x));
    s1 += Score(fs);
    s2 += Score(fu);
    s3 += Score(fa);
    s4 += Score(fp);
  }
  sums[0] = s0;
  sums[1] = s1;
  sums[2] = s2;
  sums[3] = s3;
  sums[4] = s4;
}

using FilterFn = void (*)(const uint8_t*, const uint8_t*, size_t, size_t, uint8_t*, uint8_t*, uint8_t*, uint8_t*,
                          uint32_t*);

void FilterAndScorePlain(const uint8_t* r, const uint8_t* u, size_t n, size_t bpp, uint8_t* sub, uint8_t* up,
                         uint8_t* avg, uint8_t* paeth, uint32_t sums[5]) {
  FilterAndScoreBody(r, u, n, bpp, sub, up, avg, paeth, sums);
}

#if defined(__GNUC__) && defined(__i386__) && !defined(__SSE2__)
// The 32-bit build runs on processors without SSE2 too: the vector copy is chosen at
// run time.
__attribute__((target("sse2"))) void FilterAndScoreSse2(const uint8_t* r, const uint8_t* u, size_t n, size_t bpp,
                                                        uint8_t* sub, uint8_t* up, uint8_t* avg, uint8_t* paeth,
                                                        uint32_t sums[5]) {
  FilterAndScoreBody(r, u, n, bpp, sub, up, avg, paeth, sums);
}
const FilterFn kFilterAndScore = __builtin_cpu_supports("sse2") ? FilterAndScoreSse2 : FilterAndScorePlain;
#else
const FilterFn kFilterAndScore = FilterAndScorePlain;
#endif

}  // namespace

const std::vector<uint8_t>& RowFilter::Choose(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& prev) {
  const size_t n = raw.size() - 1;
  const size_t bpp = size_t(bpp_) < n ? size_t(bpp_) : n;
  uint32_t sums[5];
  kFilterAndScore(raw.data() + 1, prev.data() + 1, n, bpp, filtered_[1].data() + 1, filtered_[2].data() + 1,
                  filtered_[3].data() + 1, filtered_[4].data() + 1, sums);
  // The lowest score; on a tie the earlier filter.
  int chosen = 0;
  for (int t = 1; t < 5; ++t)
    if (sums[t] < sums[chosen]) chosen = t;
  return chosen == 0 ? raw : filtered_[chosen];
}

namespace {

// What the image's bit count is as a PNG: bit depth and colour type.
struct PngFormat {
  uint8_t depth;
  uint8_t colourType;  // 3 palette, 2 true colour, 6 true colour with alpha
};

PngFormat FormatOf(int bitCount) {
  switch (bitCount) {
    case 1:
    case 4:
    case 8: return PngFormat{uint8_t(bitCount), 3};
    case 24: return PngFormat{8, 2};
    case 32: return PngFormat{8, 6};
    default: RaisePng("PNG SaveStream: support BitCount");
  }
}

// One pass over the image: its first column and row, their steps, and the size of the
// rows it holds. A plain image is one pass of every pixel; an interlaced one has the seven
// passes of Adam7, of which those that hold no pixel (in a tiny image) are left out.
struct Pass {
  int colStart, colStep, rowStart, rowStep;
  size_t rows, rowBytes;  // rowBytes without the filter byte
  int pixelBits;          // of the written pixels
};

std::vector<Pass> PassesOf(const ImageView& img, bool interlaced, int pixelBits) {
  static const int kColStart[7] = {0, 4, 0, 2, 0, 1, 0};
  static const int kColStep[7] = {8, 8, 4, 4, 2, 2, 1};
  static const int kRowStart[7] = {0, 0, 4, 0, 2, 0, 1};
  static const int kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
  std::vector<Pass> passes;
  for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
    Pass pass = interlaced ? Pass{kColStart[p], kColStep[p], kRowStart[p], kRowStep[p], 0, 0, pixelBits}
                           : Pass{0, 1, 0, 1, 0, 0, pixelBits};
    if (img.width <= pass.colStart || img.height <= pass.rowStart) continue;
    const size_t cols = size_t(img.width - pass.colStart + pass.colStep - 1) / size_t(pass.colStep);
    pass.rows = size_t(img.height - pass.rowStart + pass.rowStep - 1) / size_t(pass.rowStep);
    pass.rowBytes = (cols * size_t(pixelBits) + 7) / 8;
    passes.push_back(pass);
  }
  return passes;
}

// The size of the filtered stream: every row of every pass with its filter byte.
size_t StreamBytes(const std::vector<Pass>& passes) {
  size_t bytes = 0;
  for (const Pass& p : passes) bytes += p.rows * (p.rowBytes + 1);
  return bytes;
}

// The signature and every chunk before the image data: IHDR, the writer's own chunk, the
// palette of a palette image, and pHYs when a resolution is given.
void WriteChunksBeforeIdat(OutStream& out, ChunkWriter& chunks, const ImageView& img, const PngOptions& options,
                           PngFormat format) {
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  out.Write(kSignature, 8);

  uint8_t ihdr[13];
  PutBE32(ihdr, uint32_t(img.width));
  PutBE32(ihdr + 4, uint32_t(img.height));
  ihdr[8] = format.depth;
  ihdr[9] = format.colourType;
  ihdr[10] = 0;
  ihdr[11] = 0;
  ihdr[12] = uint8_t(options.interlace == 1 ? 1 : 0);
  chunks.Write("IHDR", ihdr, 13);

  uint8_t id[64] = {};
  std::strncpy(reinterpret_cast<char*>(id), kPngWriterId, 40);
  chunks.Write("vqRb", id, 64);

  if (format.colourType == 3) {
    size_t n = img.colours.size();
    if (n == 0) n = size_t(1) << format.depth;
    if (n > 256) n = 256;
    std::vector<uint8_t> plte(3 * n, 0);
    for (size_t i = 0; i < n && i < img.colours.size(); ++i) {
      plte[3 * i] = img.colours[i].red;
      plte[3 * i + 1] = img.colours[i].green;
      plte[3 * i + 2] = img.colours[i].blue;
    }
    chunks.Write("PLTE", plte.data(), uint32_t(plte.size()));
  }

  if (options.pixelsPerUnitX != 0 && options.pixelsPerUnitY != 0) {
    uint8_t phys[9];
    PutBE32(phys, options.pixelsPerUnitX);
    PutBE32(phys + 4, options.pixelsPerUnitY);
    phys[8] = options.unit;
    chunks.Write("pHYs", phys, 9);
  }
}

// Converts and filters the rows [first, end) of a pass, in order, handing each filtered row
// (its filter byte first) to take. The row before the first is converted too, as the
// first row's "up" neighbour: so a block of rows filters alike whichever thread runs it.
template <typename Take>
void FilterRows(const ImageView& img, const Pass& pass, size_t first, size_t end, bool adaptive, Take take) {
  const int bytesPerPixel = (pass.pixelBits + 7) / 8;
  std::vector<uint8_t> raw(pass.rowBytes + 1, 0), prev(pass.rowBytes + 1, 0);
  const auto imageRow = [&pass](size_t r) { return pass.rowStart + int(r) * pass.rowStep; };
  if (first > 0) ConvertRow(img, imageRow(first - 1), pass.colStart, pass.colStep, pass.pixelBits, prev);
  RowFilter filter;
  filter.Reset(pass.rowBytes, bytesPerPixel);
  for (size_t r = first; r < end; ++r) {
    ConvertRow(img, imageRow(r), pass.colStart, pass.colStep, pass.pixelBits, raw);
    const std::vector<uint8_t>& row = adaptive ? filter.Choose(raw, prev) : raw;
    take(row);
    raw.swap(prev);
  }
}

// The image data of a plain image on several threads: blocks of rows, each converted,
// filtered and deflated as it goes on a thread of its own, primed with the rows before it
// filtered once more there; so no block waits for another, and none holds its rows whole.
// The blocks are larger than the least for large images, so that the stream does not grow
// by a block boundary every 128 KiB of a well compressing screen. Rows that are still
// landing come with the thread that lands them, and it is one of the threads once it has
// landed them all: while they land it reads and this one writes, one core each.
void WriteIdatInBlocks(ChunkWriter& chunks, const ImageView& img, const Pass& pass, const PngOptions& options,
                       unsigned threads, size_t streamBytes) {
  ParallelIdatWriter idat(chunks, ZlibLevel(options.level), threads, options.lend);
  const bool adaptive = options.filter == 0;
  const size_t rowBytes = pass.rowBytes + 1;
  const size_t blockBytes = std::max(ParallelIdatWriter::kBlockSize, streamBytes / (4 * threads));
  const size_t rowsPerBlock = std::max<size_t>(1, blockBytes / rowBytes);
  const size_t windowRows = (ParallelIdatWriter::kWindow + rowBytes - 1) / rowBytes;
  for (size_t r0 = 0; r0 < pass.rows; r0 += rowsPerBlock) {
    const size_t r1 = std::min(pass.rows, r0 + rowsPerBlock);
    idat.Submit(
        [&img, &pass, r0, r1, adaptive, windowRows, rowBytes](BlockDeflater& d) {
          const size_t w0 = r0 - std::min(r0, windowRows);
          std::vector<uint8_t> window;
          window.reserve((r0 - w0) * rowBytes);
          FilterRows(img, pass, w0, r0, adaptive,
                     [&window](const std::vector<uint8_t>& row) { window.insert(window.end(), row.begin(), row.end()); });
          d.Prime(window.data(), window.size());
          FilterRows(img, pass, r0, r1, adaptive,
                     [&d](const std::vector<uint8_t>& row) { d.Feed(row.data(), row.size()); });
        },
        r1 == pass.rows);
  }
  idat.Finish();
}

// The image data with every row filtered here, pass after pass, into one sink: deflated on
// this thread, or in blocks on workers.
void WriteIdatInOrder(IdatSink& idat, const ImageView& img, const std::vector<Pass>& passes, bool adaptive) {
  for (const Pass& pass : passes)
    FilterRows(img, pass, 0, pass.rows, adaptive,
               [&idat](const std::vector<uint8_t>& row) { idat.Feed(row.data(), row.size()); });
  idat.Finish();
}

}  // namespace

void EncodePng(OutStream& out, const ImageView& img, const PngOptions& options) {
  // 32-bit pixels whose fourth byte is padding are written as RGB.
  const int pixelBits = img.bitCount == 32 && options.padded ? 24 : img.bitCount;
  const PngFormat format = FormatOf(pixelBits);
  ChunkWriter chunks(out);
  WriteChunksBeforeIdat(out, chunks, img, options, format);

  const bool interlaced = options.interlace == 1;
  const std::vector<Pass> passes = PassesOf(img, interlaced, pixelBits);
  const size_t streamBytes = StreamBytes(passes);
  const unsigned cores = options.threads ? options.threads : std::thread::hardware_concurrency();
  const unsigned threads = DeflateThreads(streamBytes, cores);
  const bool adaptive = options.filter == 0;
  // The one place that picks how the image data is made:
  // - one thread for a small image (and the bytes are those it always had);
  // - a plain image worth several threads: blocks of rows, each converted, filtered and
  //   deflated on a worker, since a block needs nothing but the row before it;
  // - an interlaced one worth several threads: its rows are filtered here, in order (the
  //   seven passes do not cut into independent blocks of the image), and only deflating
  //   runs on the workers, in blocks of the filtered stream.
  if (threads > 1 && !interlaced && !passes.empty()) {
    WriteIdatInBlocks(chunks, img, passes.front(), options, threads, streamBytes);
  } else if (threads > 1) {
    ParallelIdatWriter idat(chunks, ZlibLevel(options.level), threads);
    WriteIdatInOrder(idat, img, passes, adaptive);
  } else {
    IdatWriter idat(chunks, ZlibLevel(options.level));
    WriteIdatInOrder(idat, img, passes, adaptive);
  }
  chunks.Write("IEND", nullptr, 0);
}

}  // namespace pixo
