#include "bmp_format.h"

#include <cstdlib>

#include "errors.h"

namespace pixo {

int32_t DibStride(int32_t width, int32_t bitCount) {
  const int32_t bitsPerRow = CheckedAdd(CheckedMul(width, bitCount), 31);
  return (bitsPerRow / 32) * 4;
}

BmpLayout ComputeBmpLayout(const DibHeaderInfo& h) {
  BmpLayout l{};
  if (h.bitCount <= 8) {
    l.headerSize = 40 + 4 * (1u << h.bitCount);
  } else {
    l.headerSize = h.compression == 3 ? 52 : 40;
  }
  if (h.sizeImage != 0) {
    l.imageSize = h.sizeImage;
  } else {
    l.imageSize = uint32_t(CheckedMul(DibStride(h.width, h.bitCount), std::abs(h.height)));
  }
  l.offBits = 14 + l.headerSize;
  l.fileSize = uint32_t(CheckedAdd(int32_t(l.offBits), int32_t(l.imageSize)));
  return l;
}

void WriteBmp(OutStream& out, const DibHeaderInfo& h, const std::vector<Rgb4>& colours,
              const uint8_t* bits) {
  const BmpLayout l = ComputeBmpLayout(h);
  out.WriteLE16(0x4D42);
  out.WriteLE32(l.fileSize);
  out.WriteLE16(0);
  out.WriteLE16(0);
  out.WriteLE32(l.offBits);
  out.WriteLE32(40);
  out.WriteLE32(uint32_t(h.width));
  out.WriteLE32(uint32_t(h.height));
  out.WriteLE16(1);
  out.WriteLE16(h.bitCount);
  out.WriteLE32(h.compression);
  out.WriteLE32(h.sizeImage);
  out.WriteLE32(0);
  out.WriteLE32(0);
  out.WriteLE32(h.bitCount <= 8 ? (1u << h.bitCount) : 0);
  out.WriteLE32(0);
  if (h.bitCount > 8 && h.compression == 3) {
    for (uint32_t m : h.masks) out.WriteLE32(m);
  }
  if (h.bitCount <= 8) {
    // The table always has 2^bitCount entries; entries the section lacks are black.
    std::vector<Rgb4> table(size_t(1) << h.bitCount, Rgb4{0, 0, 0, 0});
    for (size_t i = 0; i < colours.size() && i < table.size(); ++i) table[i] = colours[i];
    for (auto& c : table) c.reserved = 0;
    out.Write(table.data(), table.size() * sizeof(Rgb4));
  }
  out.Write(bits, l.imageSize);
}

}  // namespace pixo
