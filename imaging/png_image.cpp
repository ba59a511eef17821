#include "png_image.h"

#include "../capture/errors.h"
#include "png_encoder.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace pixo {

void DibGraphic::NewImage(int32_t width, int32_t height, int bitCount) {
  auto img = std::make_shared<PngInternalImage>();
  img->width = width;
  img->height = height;
  img->bitCount = bitCount;
  img->colourCount = bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0;
  img->pixels = PixelBlock(size_t(CheckedMul(DibStride(width, bitCount), height)));
  image_ = std::move(img);
}

void PngImage::SetCompressionLevel(int level) {
  if (level < 0 || level > 2) Raise("EPngError", "PNG SetCompressionLevel: invalid compression level");
  Options[4] = level;
}

void PngImage::SaveToStream(OutStream& out) {
  if (!image_) Raise("EPngError", "SaveToStream: not Image");
#ifdef _WIN32
  GdiFlush();
#endif
  const PngInternalImage& img = *image_;
  PngSource src;
  src.width = img.width;
  src.height = img.height;
  src.bitCount = img.bitCount;
  if (img.bitCount <= 8) src.colours.assign(img.colours, img.colours + img.colourCount);
  src.bits = img.pixels.data();
  src.stride = img.Stride();
  src.pixelsPerUnitX = img.pixelsPerUnitX;
  src.pixelsPerUnitY = img.pixelsPerUnitY;
  src.unit = img.unitSpecifier;
  PngOptions options;
  options.filter = Options[1];
  options.interlace = Options[2];
  options.level = Options[4];
  EncodePng(out, src, options);
}

void PngImage::SaveToFile(const std::wstring& name) {
  FileStream file(name);
  SaveToStream(file);
}

}  // namespace pixo
