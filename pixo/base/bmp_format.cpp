#include "pixo/base/bmp_format.h"

#include "pixo/base/errors.h"

namespace pixo {

int32_t DibStride(int32_t width, int32_t bitCount) {
  const int32_t bitsPerRow = CheckedAdd(CheckedMul(width, bitCount), 31);
  return (bitsPerRow / 32) * 4;
}

BmpLayout ComputeBmpLayout(const ImageView& image, const BmpFields& fields) {
  BmpLayout l{};
  if (image.bitCount <= 8) {
    l.headerSize = 40 + 4 * (1u << image.bitCount);
  } else {
    l.headerSize = fields.compression == 3 ? 52 : 40;
  }
  if (fields.sizeImage != 0) {
    l.imageSize = fields.sizeImage;
  } else {
    l.imageSize = uint32_t(CheckedMul(DibStride(image.width, image.bitCount), image.height));
  }
  l.offBits = 14 + l.headerSize;
  l.fileSize = uint32_t(CheckedAdd(int32_t(l.offBits), int32_t(l.imageSize)));
  return l;
}

void WriteBmp(OutStream& out, const ImageView& image, const BmpFields& h) {
  const BmpLayout l = WriteBmpHeaders(out, image, h);
  out.Write(image.bits, l.imageSize);
}

BmpLayout WriteBmpHeaders(OutStream& out, const ImageView& image, const BmpFields& h) {
  const BmpLayout l = ComputeBmpLayout(image, h);
  out.WriteLE16(0x4D42);
  out.WriteLE32(l.fileSize);
  out.WriteLE16(0);
  out.WriteLE16(0);
  out.WriteLE32(l.offBits);
  out.WriteLE32(40);
  out.WriteLE32(uint32_t(image.width));
  out.WriteLE32(uint32_t(image.topDown ? -image.height : image.height));
  out.WriteLE16(1);
  out.WriteLE16(uint16_t(image.bitCount));
  out.WriteLE32(h.compression);
  out.WriteLE32(h.sizeImage);
  out.WriteLE32(0);
  out.WriteLE32(0);
  out.WriteLE32(image.bitCount <= 8 ? (1u << image.bitCount) : 0);
  out.WriteLE32(0);
  if (image.bitCount > 8 && h.compression == 3) {
    for (uint32_t m : h.masks) out.WriteLE32(m);
  }
  if (image.bitCount <= 8) {
    // The table always has 2^bitCount entries; entries the section lacks are black.
    std::vector<Rgb4> table(size_t(1) << image.bitCount, Rgb4{0, 0, 0, 0});
    for (size_t i = 0; i < image.colours.size() && i < table.size(); ++i) table[i] = image.colours[i];
    for (auto& c : table) c.reserved = 0;
    out.Write(table.data(), table.size() * sizeof(Rgb4));
  }
  return l;
}

}  // namespace pixo
