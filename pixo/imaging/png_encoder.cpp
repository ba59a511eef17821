#include "pixo/imaging/png_encoder.h"

#include <cstring>

#include "pixo/base/errors.h"

namespace pixo {

namespace {

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

[[noreturn]] void RaisePng(const char* text) { Raise("EPngError", text); }

// v as a signed byte, in absolute value: v below 128 scores v, else 256 - v.
inline uint32_t Score(uint8_t v) { const int8_t sv = int8_t(v); return uint32_t(sv < 0 ? -sv : sv); }

inline uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  if (pb <= pc) return uint8_t(b);
  return uint8_t(c);
}

// Copies picture row y of the image into raw (after its type byte) in PNG byte order.
void ConvertRow(const ImageView& img, int y, int colStart, int colStep, std::vector<uint8_t>& raw) {
  const uint8_t* src = img.Row(y);
  uint8_t* dst = raw.data() + 1;
  const int w = img.width;
  if (img.bitCount == 24 || img.bitCount == 32) {
    const int n = img.bitCount / 8;
    for (int x = colStart; x < w; x += colStep) {
      const uint8_t* s = src + size_t(x) * n;
      dst[0] = s[2];
      dst[1] = s[1];
      dst[2] = s[0];
      if (n == 4) dst[3] = s[3];
      dst += n;
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

const std::vector<uint8_t>& RowFilter::Choose(const std::vector<uint8_t>& raw,
                                              const std::vector<uint8_t>& prev) {
  const size_t n = raw.size() - 1;
  const uint8_t* r = raw.data() + 1;
  const uint8_t* u = prev.data() + 1;
  const size_t bpp = size_t(bpp_) < n ? size_t(bpp_) : n;

  uint32_t best = 0;
  for (size_t i = 0; i < n; ++i) best += Score(r[i]);
  int chosen = 0;

  // Each candidate stops as soon as its running sum exceeds the best so far.
  {  // Sub
    uint8_t* f = filtered_[1].data() + 1;
    uint32_t sum = 0;
    size_t i = 0;
    for (; i < bpp && sum <= best; ++i) sum += Score(f[i] = r[i]);
    for (; i < n && sum <= best; ++i) sum += Score(f[i] = uint8_t(r[i] - r[i - bpp]));
    if (i == n && sum < best) best = sum, chosen = 1;
  }
  {  // Up
    uint8_t* f = filtered_[2].data() + 1;
    uint32_t sum = 0;
    size_t i = 0;
    for (; i < n && sum <= best; ++i) sum += Score(f[i] = uint8_t(r[i] - u[i]));
    if (i == n && sum < best) best = sum, chosen = 2;
  }
  {  // Average
    uint8_t* f = filtered_[3].data() + 1;
    uint32_t sum = 0;
    size_t i = 0;
    for (; i < bpp && sum <= best; ++i) sum += Score(f[i] = uint8_t(r[i] - (u[i] >> 1)));
    for (; i < n && sum <= best; ++i) sum += Score(f[i] = uint8_t(r[i] - ((r[i - bpp] + u[i]) >> 1)));
    if (i == n && sum < best) best = sum, chosen = 3;
  }
  {  // Paeth
    uint8_t* f = filtered_[4].data() + 1;
    uint32_t sum = 0;
    size_t i = 0;
    for (; i < bpp && sum <= best; ++i) sum += Score(f[i] = uint8_t(r[i] - u[i]));
    for (; i < n && sum <= best; ++i)
      sum += Score(f[i] = uint8_t(r[i] - Paeth(r[i - bpp], u[i], u[i - bpp])));
    if (i == n && sum < best) best = sum, chosen = 4;
  }
  return chosen == 0 ? raw : filtered_[chosen];
}

IdatWriter::IdatWriter(ChunkWriter& chunks, int zlibLevel) : chunks_(chunks), buffer_(kBufferSize) {
  const int rc = deflateInit2(&zs_, zlibLevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) RaisePng("PNG SaveStream: error ZLIB");
  open_ = true;
  zs_.next_out = buffer_.data();
  zs_.avail_out = uInt(kBufferSize);
}

IdatWriter::~IdatWriter() {
  if (open_) deflateEnd(&zs_);
}

void IdatWriter::FlushBuffer() {
  chunks_.Write("IDAT", buffer_.data(), uint32_t(kBufferSize - zs_.avail_out));
  zs_.next_out = buffer_.data();
  zs_.avail_out = uInt(kBufferSize);
}

void IdatWriter::Feed(const uint8_t* data, size_t size) {
  zs_.next_in = const_cast<Bytef*>(data);
  zs_.avail_in = uInt(size);
  while (zs_.avail_in > 0) {
    if (deflate(&zs_, Z_NO_FLUSH) < 0) RaisePng("PNG SaveStream: error ZLIB");
    if (zs_.avail_out == 0) FlushBuffer();
  }
}

void IdatWriter::Finish() {
  for (;;) {
    const int rc = deflate(&zs_, Z_FINISH);
    if (rc < 0) RaisePng("PNG SaveStream: error ZLIB");
    if (zs_.avail_out == 0) FlushBuffer();
    if (rc == Z_STREAM_END) break;
  }
  if (zs_.avail_out < kBufferSize) FlushBuffer();
}

void EncodePng(OutStream& out, const ImageView& img, const PngOptions& options) {
  uint8_t depth, colourType;
  switch (img.bitCount) {
    case 1: case 4: case 8: depth = uint8_t(img.bitCount); colourType = 3; break;
    case 24: depth = 8; colourType = 2; break;
    case 32: depth = 8; colourType = 6; break;
    default: RaisePng("PNG SaveStream: support BitCount");
  }
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  out.Write(kSignature, 8);
  ChunkWriter chunks(out);

  uint8_t ihdr[13];
  PutBE32(ihdr, uint32_t(img.width));
  PutBE32(ihdr + 4, uint32_t(img.height));
  ihdr[8] = depth;
  ihdr[9] = colourType;
  ihdr[10] = 0;
  ihdr[11] = 0;
  ihdr[12] = uint8_t(options.interlace == 1 ? 1 : 0);
  chunks.Write("IHDR", ihdr, 13);

  uint8_t id[64] = {};
  std::strncpy(reinterpret_cast<char*>(id), kPngWriterId, 40);
  chunks.Write("vqRb", id, 64);

  if (colourType == 3) {
    size_t n = img.colours.size();
    if (n == 0) n = size_t(1) << depth;
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

  {
    IdatWriter idat(chunks, ZlibLevel(options.level));
    RowFilter filter;
    const int bitsPerPixel = img.bitCount;
    const int bytesPerPixel = (bitsPerPixel + 7) / 8;
    static const int kColStart[7] = {0, 4, 0, 2, 0, 1, 0};
    static const int kColStep[7] = {8, 8, 4, 4, 2, 2, 1};
    static const int kRowStart[7] = {0, 0, 4, 0, 2, 0, 1};
    static const int kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
    const int passes = options.interlace == 1 ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int cs = passes == 1 ? 0 : kColStart[pass], cstep = passes == 1 ? 1 : kColStep[pass];
      const int rs = passes == 1 ? 0 : kRowStart[pass], rstep = passes == 1 ? 1 : kRowStep[pass];
      if (img.width <= cs || img.height <= rs) continue;
      const size_t cols = size_t(img.width - cs + cstep - 1) / size_t(cstep);
      const size_t rowBytes = (cols * size_t(bitsPerPixel) + 7) / 8;
      std::vector<uint8_t> raw(rowBytes + 1, 0), prev(rowBytes + 1, 0);
      filter.Reset(rowBytes, bytesPerPixel);
      for (int y = rs; y < img.height; y += rstep) {
        ConvertRow(img, y, cs, cstep, raw);
        const std::vector<uint8_t>& row = options.filter == 0 ? filter.Choose(raw, prev) : raw;
        idat.Feed(row.data(), row.size());
        raw.swap(prev);
      }
    }
    idat.Finish();
  }
  chunks.Write("IEND", nullptr, 0);
}

}  // namespace pixo
