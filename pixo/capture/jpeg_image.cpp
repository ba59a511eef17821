#include "pixo/capture/jpeg_image.h"

#include <algorithm>

#include "pixo/capture/jpeg_codec.h"

namespace pixo {

namespace {

// Rows of a 32-bit bitmap, fetched from GDI a band at a time as blue, green, red and an
// unused byte: the same colours a 24-bit copy holds, without making that copy.
class BandReader {
 public:
  static constexpr int kBand = 16;
  BandReader(const TBitmap& bitmap, HDC dc)
      : bitmap_(bitmap.Handle()), dc_(dc), height_(bitmap.Height()), stride_(size_t(bitmap.Width()) * 4),
        buffer_(stride_ * kBand) {}
  static const uint8_t* Row(void* ctx, int y) { return static_cast<BandReader*>(ctx)->RowAt(y); }

 private:
  const uint8_t* RowAt(int y) {
    if (y < first_ || y >= first_ + count_) Fetch(y);
    // A band lies bottom-up: its last picture row comes first.
    return &buffer_[size_t(count_ - 1 - (y - first_)) * stride_];
  }
  void Fetch(int y) {
    const int n = std::min(kBand, height_ - y);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(stride_ / 4);
    info.bmiHeader.biHeight = height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Scan lines count from the bottom of the picture.
    if (GetDIBits(dc_, bitmap_, UINT(height_ - y - n), UINT(n), buffer_.data(), &info, DIB_RGB_COLORS) != n) {
      RaiseOutOfResources();
    }
    first_ = y;
    count_ = n;
  }

  HBITMAP bitmap_;
  HDC dc_;
  int height_;
  size_t stride_;
  std::vector<uint8_t> buffer_;
  int first_ = 0;
  int count_ = 0;
};

const uint8_t* ViewRow(void* ctx, int y) { return static_cast<const ImageView*>(ctx)->Row(y); }

}  // namespace

std::vector<uint8_t> CompressBgrx(const ImageView& capture, int quality) {
  ImageView rows = capture;
  return CompressJpeg(rows.width, rows.height, quality, JpegPixels::Bgrx, ViewRow, &rows);
}

std::vector<uint8_t> CompressJpegThrough24Bit(const TBitmap& bitmap, int quality) {
  TBitmap copy;
  copy.Assign(bitmap);
  copy.SetPixelFormat24();
  ImageView rows;
  SectionView(copy, rows);
  return CompressJpeg(copy.Width(), copy.Height(), quality, JpegPixels::Bgr, ViewRow, &rows);
}

void TJPEGImage::Compress() {
  data_.clear();
  compressed_ = true;
  if (bitmap_.Width() <= 0 || bitmap_.Height() <= 0) return;
  ImageView section;
  if (CaptureView(bitmap_, section)) {
    // A capture held as a 32-bit section: the library reads its rows where they lie.
    data_ = CompressBgrx(section, Quality);
    return;
  }
  if (bitmap_.BitsPerPixel() == 32) {
    // A 32-bit bitmap already holds 8 bits of each colour: the library takes its rows
    // as they are, and the result is the one a 24-bit copy would give.
    WindowDC screen(nullptr, false);
    BandReader rows(bitmap_, screen.get());
    data_ = CompressJpeg(bitmap_.Width(), bitmap_.Height(), Quality, JpegPixels::Bgrx, BandReader::Row, &rows);
    return;
  }
  // Other captures become 24 bits in a copy; the assigned image is not changed.
  data_ = CompressJpegThrough24Bit(bitmap_, Quality);
}

void WriteJpeg(const ImageView& capture, int quality, const std::wstring& name) {
  const std::vector<uint8_t> data = CompressBgrx(capture, quality);
  FileStream file(name);
  file.Write(data.data(), data.size());
  file.Commit();
}

void TJPEGImage::SaveToFile(const std::wstring& name) {
  if (!compressed_) Compress();
  FileStream file(name);
  if (!data_.empty()) file.Write(data_.data(), data_.size());
  file.Commit();
}

}  // namespace pixo
