#include "pixo/capture/jpeg_image.h"

#include "pixo/capture/jpeg_codec.h"
#include "pixo/capture/shot_writer.h"

namespace pixo {

std::vector<uint8_t> CompressJpegThrough24Bit(const TBitmap& bitmap, int quality) {
  TBitmap copy;
  copy.Assign(bitmap);
  copy.SetPixelFormat24();
  ImageView rows;
  SectionView(copy, rows);
  return CompressJpeg(rows, quality);
}

void TJPEGImage::Compress() {
  MemoryStream data;
  WriteOptions options;
  options.jpegQuality = Quality;
  WriteImage(ImageFormat::Jpeg, bitmap_, options, data);
  data_ = std::move(data.bytes);
  compressed_ = true;
}

void TJPEGImage::SaveToStream(OutStream& out) {
  if (!compressed_) Compress();
  if (!data_.empty()) out.Write(data_.data(), data_.size());
}

}  // namespace pixo
