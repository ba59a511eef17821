#include "pixo/capture/shot_writer.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/capture/gdi_imaging.h"
#include "pixo/capture/jpeg_codec.h"
#include "pixo/capture/jpeg_image.h"
#include "pixo/imaging/gif_encoder.h"
#include "pixo/imaging/png_encoder.h"
#include "pixo/imaging/png_image.h"

namespace pixo {

namespace {

// Rows of a 32-bit bitmap, fetched from GDI a band at a time as blue, green, red and an
// unused byte: the same colours a 24-bit copy holds, without making that copy.
class BandReader {
 public:
  static constexpr int kBand = 16;
  BandReader(const TBitmap& bitmap, HDC dc)
      : bitmap_(bitmap.Handle()),
        dc_(dc),
        height_(bitmap.Height()),
        stride_(size_t(bitmap.Width()) * 4),
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

void WriteBytes(const std::vector<uint8_t>& data, OutStream& out) {
  if (!data.empty()) out.Write(data.data(), data.size());
}

// JPEG of a bitmap that is not a capture section.
std::vector<uint8_t> CompressOtherBitmap(const TBitmap& bitmap, int quality) {
  if (bitmap.BitsPerPixel() == 32) {
    // A 32-bit bitmap already holds 8 bits of each colour: the library takes its rows
    // as they are, and the result is the one a 24-bit copy would give.
    WindowDC screen(nullptr, false);
    BandReader rows(bitmap, screen.get());
    return CompressJpeg(bitmap.Width(), bitmap.Height(), quality, JpegPixels::Bgrx, BandReader::Row, &rows);
  }
  // Other bitmaps become 24 bits in a copy; the bitmap is not changed.
  return CompressJpegThrough24Bit(bitmap, quality);
}

// GIF: the capture reduced to 256 colours (where it lies, when it is a capture section),
// the bitmap replaced by the reduced image.
void WriteGif(TBitmap& image, const ImageView* capture, OutStream& out) {
  DibImage dib;
  if (capture) {
    dib = DibImage::ReducedFrom(*capture);
  } else {
    dib = DibFromBitmap(image);
    dib.SetPixelFormat(dib8Bit);
  }
  DibToBitmap(dib, image);
  TGIFImage gif;
  gif.AddFrame(GifFrameFromBitmap(image));
  gif.Compression = 0;
  gif.SaveToStream(out);
}

}  // namespace

void WriteImage(ImageFormat format, const ImageView& capture, const WriteOptions& options, OutStream& out) {
  switch (format) {
    case ImageFormat::Bmp: WriteCaptureBmp(capture, out); return;
    case ImageFormat::Jpeg: WriteBytes(CompressJpeg(capture, options.jpegQuality), out); return;
    case ImageFormat::Png: {
      // The padding bytes are left out: the file of a 24-bit copy, without the copy.
      PngOptions png;
      png.padded = true;
      png.lend = options.lend;
      EncodePng(out, capture, png);
      return;
    }
    case ImageFormat::Gif: break;
  }
  Raise(ErrorKind::Other, "GIF is written from the whole bitmap");
}

void WriteImage(ImageFormat format, TBitmap& image, const WriteOptions& options, OutStream& out) {
  if (image.Empty()) return;
  ImageView capture;
  // A bottom-up section (one adopted as it was made) is saved as BMP as it describes itself.
  const bool section = CaptureView(image, capture) && (format != ImageFormat::Bmp || capture.topDown);
  if (format == ImageFormat::Gif) {
    WriteGif(image, section ? &capture : nullptr, out);
  } else if (section) {
    WriteImage(format, capture, options, out);
  } else if (format == ImageFormat::Bmp) {
    image.SaveAsDescribed(out);
  } else if (format == ImageFormat::Jpeg) {
    WriteBytes(CompressOtherBitmap(image, options.jpegQuality), out);
  } else {
    PngImage png;
    PngFromBitmap(image, png);
    png.SetCompressionLevel(0);
    png.SaveToStream(out);
  }
}

}  // namespace pixo
