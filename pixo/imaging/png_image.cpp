#include "pixo/imaging/png_image.h"

#include "pixo/base/errors.h"

namespace pixo {

void PngImage::NewImage(int32_t width, int32_t height, int bitCount) {
  auto img = std::make_shared<Stored>();
  img->width = width;
  img->height = height;
  img->bitCount = bitCount;
  img->colours.assign(bitCount == 1 ? 2 : bitCount == 4 ? 16 : bitCount == 8 ? 256 : 0, Rgb4{0, 0, 0, 0});
  img->pixels = PixelBlock(size_t(CheckedMul(DibStride(width, bitCount), height)));
  image_ = std::move(img);
}

ImageView PngImage::View() const {
  ImageView v;
  if (!image_) return v;
  v.width = image_->width;
  v.height = image_->height;
  v.bitCount = image_->bitCount;
  if (v.bitCount <= 8) v.colours = image_->colours;
  v.bits = image_->pixels.data();
  v.stride = DibStride(v.width, v.bitCount);
  v.topDown = false;
  return v;
}

void PngImage::SetCompressionLevel(int level) {
  if (level < 0 || level > 2) Raise(ErrorKind::Png, "PNG SetCompressionLevel: invalid compression level");
  options_.level = level;
}

void PngImage::SaveToStream(OutStream& out) {
  if (!image_) Raise(ErrorKind::Png, "SaveToStream: not Image");
  EncodePng(out, View(), options_);
}

void PngImage::SaveToFile(const std::wstring& name) {
  FileStream file(name);
  SaveToStream(file);
  file.Commit();
}

}  // namespace pixo
