#include "pixo/imaging/dib_image.h"

#include <cfenv>
#include <cmath>
#include <cstring>
#include <string>

#include "pixo/base/errors.h"

namespace pixo {

namespace {

[[noreturn]] void RaiseDib(const std::string& text) { Raise(ErrorKind::DibImage, text); }

std::shared_ptr<DibData> NewData(int32_t width, int32_t height, int bitCount) {
  if (width <= 0 || height == 0 || !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24))
    RaiseDib("TDibImage: Invalid Parameters");
  auto d = std::make_shared<DibData>();
  d->width = width;
  d->height = height < 0 ? -height : height;
  d->header.biWidth = width;
  d->header.biHeight = d->height;
  d->header.biBitCount = uint16_t(bitCount);
  const int32_t size = CheckedMul(DibStride(width, bitCount), d->height);
  d->pixels = PixelBlock(size_t(size));
  return d;
}

// A new image with the old one's header and colour table, in another bit count.
std::shared_ptr<DibData> NewLike(const DibData& src, int bitCount) {
  auto d = NewData(src.width, src.height, bitCount);
  d->header = src.header;
  d->header.biBitCount = uint16_t(bitCount);
  d->header.biCompression = 0;
  d->header.biSizeImage = 0;
  std::memcpy(d->colours, src.colours, sizeof d->colours);
  return d;
}

inline int IndexAt(const uint8_t* row, int32_t x, int bits) {
  switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    default: return row[x];
  }
}

}  // namespace

void DibImage::Assign(const DibImage& other) {
  if (this == &other) return;
  data_ = other.data_;
}

void DibImage::CreateNew(int32_t width, int32_t height, int bitCount) {
  data_ = NewData(width, height, bitCount);
}

std::vector<Rgb4> DibImage::Colours() const {
  if (!data_) return {};
  const uint32_t n = data_->header.biClrUsed > 256 ? 256 : data_->header.biClrUsed;
  return std::vector<Rgb4>(data_->colours, data_->colours + n);
}

ImageView DibImage::View() const {
  ImageView v;
  if (!data_) return v;
  v.width = data_->width;
  v.height = data_->height;
  v.bitCount = data_->header.biBitCount;
  v.colours = Colours();
  v.bits = data_->pixels.data();
  v.stride = data_->Stride();
  v.topDown = data_->header.biHeight < 0;
  return v;
}

void DibImage::UniqueDIB() {
  if (!data_ || data_.use_count() == 1) return;
  auto copy = std::make_shared<DibData>();
  copy->width = data_->width;
  copy->height = data_->height;
  copy->header = data_->header;
  std::memcpy(copy->colours, data_->colours, sizeof copy->colours);
  copy->pixels = PixelBlock(data_->pixels.size());
  if (data_->pixels.size()) std::memcpy(copy->pixels.data(), data_->pixels.data(), data_->pixels.size());
  data_ = std::move(copy);
}

int DibImage::PixelFormat() const {
  if (!data_) RaiseDib("TDibImage: Invalid DIB");
  const auto& h = data_->header;
  switch (h.biBitCount) {
    case 1: if (h.biCompression == 0) return dib1Bit; break;
    case 4: if (h.biCompression == 0) return dib4Bit; if (h.biCompression == 2) return dib4BitRLE; break;
    case 8: if (h.biCompression == 0) return dib8Bit; if (h.biCompression == 1) return dib8BitRLE; break;
    case 24: if (h.biCompression == 0) return dib24Bit; break;
  }
  RaiseDib("TDibImage: Invalid DIB");
}

void DibImage::SetPixelFormat(int code) {
  const int current = PixelFormat();
  if (current == code) return;
  std::shared_ptr<DibData> converted;
  if (current == dib24Bit && code == dib8Bit) {
    converted = ConvertTrueColorTo8BitRGBLow(*data_);
  } else if (current == dib1Bit && code == dib8Bit) {
    converted = ConvertIndexedTo8Bit(*data_, "Convert1BitRGBTo8BitRGB", 1);
  } else if (current == dib4Bit && code == dib8Bit) {
    converted = ConvertIndexedTo8Bit(*data_, "Convert4BitRGBTo8BitRGB", 4);
  } else if (current == dib8Bit && code == dib24Bit) {
    converted = ConvertIndexedToTrueColor(*data_, "Convert8BitRGBToTrueColor", 8);
  } else if (current == dib4Bit && code == dib24Bit) {
    converted = ConvertIndexedToTrueColor(*data_, "Convert4BitRGBToTrueColor", 4);
  } else if (current == dib1Bit && code == dib24Bit) {
    converted = ConvertIndexedToTrueColor(*data_, "Convert1BitRGBToTrueColor", 1);
  } else {
    RaiseDib("TDibImage.SetPixelFormat: Unsupported PixelFormat Conversion");
  }
  // The conversion succeeded: only now does the new image replace the old one, so a
  // failure above leaves the old image in place.
  data_ = std::move(converted);
}

uint32_t DibImage::GetPixels(int32_t x, int32_t y) const {
  if (!data_ || x < 0 || y < 0 || x >= data_->width || y >= data_->height)
    RaiseDib("TDibImage.GetPixels: Pixel Position is Out of Range");
  const auto& h = data_->header;
  if (h.biCompression == 1 || h.biCompression == 2) RaiseDib("TDibImage.GetPixels: Bad DIB Type");
  const uint8_t* row = data_->Row(y);
  switch (h.biBitCount) {
    case 24: {
      const uint8_t* p = row + size_t(x) * 3;
      return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
    }
    case 8: case 4: case 1: return uint32_t(IndexAt(row, x, h.biBitCount));
  }
  RaiseDib("TDibImage.GetPixels: GetPixel supports only Uncompressed DIB");
}

void DibImage::SetPixels(int32_t x, int32_t y, uint32_t value) {
  if (!data_ || x < 0 || y < 0 || x >= data_->width || y >= data_->height)
    RaiseDib("TDibImage.SetPixels: Pixel Position is Out of Range");
  const auto& h = data_->header;
  if (h.biCompression == 1 || h.biCompression == 2) RaiseDib("TDibImage.SetPixels: Bad DIB Type");
  if (!(h.biBitCount == 24 || h.biBitCount == 8 || h.biBitCount == 4 || h.biBitCount == 1))
    RaiseDib("TDibImage.SetPixels: GetPixel supports only Uncompressed 8 or 24 bit DIB");
  UniqueDIB();
  uint8_t* row = data_->Row(y);
  switch (h.biBitCount) {
    case 24: {
      uint8_t* p = row + size_t(x) * 3;
      p[0] = uint8_t(value >> 16);
      p[1] = uint8_t(value >> 8);
      p[2] = uint8_t(value);
      break;
    }
    case 8: row[x] = uint8_t(value); break;
    case 4: {
      uint8_t& b = row[x / 2];
      b = (x & 1) ? uint8_t((b & 0xF0) | (value & 0x0F)) : uint8_t((b & 0x0F) | (value & 0x0F) << 4);
      break;
    }
    case 1: {
      const uint8_t bit = uint8_t(0x80 >> (x % 8));
      row[x / 8] = value ? uint8_t(row[x / 8] | bit) : uint8_t(row[x / 8] & ~bit);
      break;
    }
  }
}

// ---- the 24-bit to 8-bit reduction ----

namespace {

struct Cell {  // red, green, blue, count (later palette index), cell number
  int32_t c[5];
};

struct Splitter {
  Cell* cells;
  Rgb4* palette;
  int colours = 0;
  static constexpr int kMaxDepth = 8;

  void Split(int start, int end, int depth) {
    if (start >= end) {
      if (depth < kMaxDepth) {
        Split(start, end, depth + 1);
        Split(start, end, depth + 1);
      }
      return;
    }
    long double n = 0, sr = 0, sg = 0, sb = 0, qr = 0, qg = 0, qb = 0;
    for (int i = start; i < end; ++i) {
      const long double w = cells[i].c[3];
      const long double r = cells[i].c[0], g = cells[i].c[1], b = cells[i].c[2];
      n += w;
      sr += w * r;
      sg += w * g;
      sb += w * b;
      qr += w * r * r;
      qg += w * g * g;
      qb += w * b * b;
    }
    const long double mr = sr / n, mg = sg / n, mb = sb / n;
    if (depth >= kMaxDepth) {
      const int index = colours++;
      palette[index] = Rgb4{uint8_t(std::llrint(mb)), uint8_t(std::llrint(mg)),
                            uint8_t(std::llrint(mr)), 0};
      for (int i = start; i < end; ++i) cells[i].c[3] = index;
      return;
    }
    const long double vr = 3 * (qr / n - mr * mr);
    const long double vg = 4 * (qg / n - mg * mg);
    const long double vb = 2 * (qb / n - mb * mb);
    int axis;
    long double mean;
    if (vr >= vg && vr >= vb) {
      axis = 0, mean = mr;
    } else if (vg >= vb) {
      axis = 1, mean = mg;
    } else {
      axis = 2, mean = mb;
    }
    int i = start, j = end;
    while (i < j) {
      while (i < j && cells[i].c[axis] <= mean) ++i;
      while (i < j && cells[j - 1].c[axis] > mean) --j;
      if (i != j) std::swap(cells[i], cells[j - 1]);
    }
    Split(i, end, depth + 1);
    Split(start, i, depth + 1);
  }
};

inline uint32_t CellOf(const uint8_t* bgr) {
  return uint32_t(bgr[2] >> 3) << 11 | uint32_t(bgr[1] >> 2) << 5 | uint32_t(bgr[0] >> 3);
}

// Reduces the true-colour picture (24 bits, or 32 with an unused fourth byte) into out, an
// 8-bit image of its size whose rows lie bottom-up, and sets out's colour table.
void ReduceInto(const ImageView& in, DibData& out) {
  const size_t step = size_t(in.bitCount / 8);
  std::unique_ptr<Cell[]> cells(new Cell[65536]());
  for (int i = 0; i < 65536; ++i) cells[i].c[4] = i;
  const int32_t w = in.width, h = in.height;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = in.Row(y);
    for (int32_t x = 0; x < w; ++x, p += step) {
      Cell& c = cells[CellOf(p)];
      c.c[0] += p[2] & 7;
      c.c[1] += p[1] & 3;
      c.c[2] += p[0] & 7;
      c.c[3] += 1;
    }
  }
  int m = 0;
  for (int i = 0; i < 65536; ++i) {
    Cell c = cells[i];
    if (c.c[3] == 0) continue;
    const int n = c.c[3];
    c.c[0] = c.c[0] / n + ((i >> 11) & 31) * 8;
    c.c[1] = c.c[1] / n + ((i >> 5) & 63) * 4;
    c.c[2] = c.c[2] / n + (i & 31) * 8;
    cells[m++] = c;
  }
  Rgb4 palette[256] = {};
  const int savedRounding = std::fegetround();
  std::fesetround(FE_TONEAREST);
  Splitter splitter{cells.get(), palette};
  splitter.Split(0, m, 0);
  std::fesetround(savedRounding);

  std::unique_ptr<uint8_t[]> table(new uint8_t[65536]());
  for (int i = 0; i < m; ++i) table[cells[i].c[4]] = uint8_t(cells[i].c[3]);
  cells.reset();

  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = in.Row(y);
    uint8_t* o = out.Row(y);
    for (int32_t x = 0; x < w; ++x, p += step) o[x] = table[CellOf(p)];
  }
  out.header.biClrUsed = uint32_t(splitter.colours);
  std::memset(out.colours, 0, sizeof out.colours);
  std::memcpy(out.colours, palette, sizeof(Rgb4) * size_t(splitter.colours));
}

}  // namespace

std::shared_ptr<DibData> ConvertTrueColorTo8BitRGBLow(const DibData& src) {
  if (src.header.biBitCount != 24 || src.header.biCompression != 0)
    RaiseDib("ConvertTrueColorTo8BitRGBLow: Invalid Bitcount");
  auto out = NewLike(src, 8);
  ImageView in;
  in.width = src.width;
  in.height = src.height;
  in.bits = src.pixels.data();
  in.stride = src.Stride();
  in.topDown = src.header.biHeight < 0;
  ReduceInto(in, *out);
  return out;
}

DibImage DibImage::ReducedFrom(const ImageView& trueColour) {
  if (trueColour.bitCount != 24 && trueColour.bitCount != 32) RaiseDib("ConvertTrueColorTo8BitRGBLow: Invalid Bitcount");
  DibImage reduced;
  reduced.data_ = NewData(trueColour.width, trueColour.height, 8);
  ReduceInto(trueColour, *reduced.data_);
  return reduced;
}

std::shared_ptr<DibData> ConvertIndexedTo8Bit(const DibData& src, const char* name, int sourceBits) {
  if (src.header.biBitCount != sourceBits || src.header.biCompression != 0)
    RaiseDib(std::string(name) + ": Invalid Bitcount & Compression Combination");
  auto out = NewLike(src, 8);
  const size_t inStride = size_t(src.Stride()), outStride = size_t(out->Stride());
  for (int32_t y = 0; y < src.height; ++y) {
    const uint8_t* in = src.pixels.data() + size_t(y) * inStride;
    uint8_t* o = out->pixels.data() + size_t(y) * outStride;
    for (int32_t x = 0; x < src.width; ++x) o[x] = uint8_t(IndexAt(in, x, sourceBits));
  }
  return out;
}

std::shared_ptr<DibData> ConvertIndexedToTrueColor(const DibData& src, const char* name, int sourceBits) {
  if (src.header.biBitCount != sourceBits || src.header.biCompression != 0)
    RaiseDib(std::string(name) + ": Invalid Bitcount & Compression Combination");
  auto out = NewLike(src, 24);
  const size_t inStride = size_t(src.Stride()), outStride = size_t(out->Stride());
  for (int32_t y = 0; y < src.height; ++y) {
    const uint8_t* in = src.pixels.data() + size_t(y) * inStride;
    uint8_t* o = out->pixels.data() + size_t(y) * outStride;
    for (int32_t x = 0; x < src.width; ++x, o += 3) {
      const Rgb4& c = src.colours[IndexAt(in, x, sourceBits)];
      o[0] = c.blue;
      o[1] = c.green;
      o[2] = c.red;
    }
  }
  return out;
}

}  // namespace pixo
