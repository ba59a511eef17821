#include "jpeg_image.h"

#include "jpeg_codec.h"

namespace pixo {

namespace {
struct Rows {
  const uint8_t* bits;
  int stride;
  int height;
};
const uint8_t* RowAt(const void* ctx, int y) {
  const auto* r = static_cast<const Rows*>(ctx);
  return r->bits + size_t(r->height - 1 - y) * size_t(r->stride);  // rows lie bottom-up
}
}  // namespace

void TJPEGImage::Compress() {
  data_.clear();
  compressed_ = true;
  if (bitmap_.Width() <= 0 || bitmap_.Height() <= 0) return;
  TBitmap copy;
  copy.Assign(bitmap_);
  copy.SetPixelFormat24();
  GdiFlush();
  const DIBSECTION* ds = copy.Section();
  Rows rows{static_cast<const uint8_t*>(ds->dsBm.bmBits), ds->dsBm.bmWidthBytes, copy.Height()};
  data_ = CompressJpegBgr(copy.Width(), copy.Height(), Quality, RowAt, &rows);
}

void TJPEGImage::SaveToFile(const std::wstring& name) {
  if (!compressed_) Compress();
  FileStream file(name);
  if (!data_.empty()) file.Write(data_.data(), data_.size());
}

}  // namespace pixo
