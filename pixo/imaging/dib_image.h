// The capture tool's device-independent bitmap: an uncompressed DIB shared by reference
// count (copy on write), its pixel accessors and its pixel-format changes, including the
// reduction of a true-colour image to a palette of at most 256 colours.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "pixo/base/image.h"
#include "pixo/base/pixel_block.h"

namespace pixo {

enum DibPixelFormat : uint8_t {
  dib1Bit = 0,
  dib4Bit = 1,
  dib4BitRLE = 2,
  dib8Bit = 3,
  dib8BitRLE = 4,
  dib24Bit = 5,
};

struct DibHeader {
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: bottom-up rows
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

struct DibData {
  int32_t width = 0;
  int32_t height = 0;  // magnitude
  DibHeader header;
  Rgb4 colours[256] = {};
  PixelBlock pixels;

  int32_t Stride() const { return DibStride(width, header.biBitCount); }
  // Start of picture row y (0 = top), whatever the row order in memory.
  uint8_t* Row(int32_t y) const {
    return pixels.data() + MemoryRowOf(y, height, header.biHeight < 0) * size_t(Stride());
  }
};

class DibImage {
 public:
  DibImage() = default;

  // Shares the other image's data and copies its settings.
  void Assign(const DibImage& other);
  // Becomes a new zero-filled bottom-up image; bit count 1, 4, 8 or 24.
  void CreateNew(int32_t width, int32_t height, int bitCount);
  void Clear() { data_.reset(); }

  int32_t Width() const { return data_ ? data_->width : 0; }
  int32_t Height() const { return data_ ? data_->height : 0; }
  bool Empty() const { return !data_; }
  const DibData* Data() const { return data_.get(); }
  DibData* MutableData() {
    UniqueDIB();
    return data_.get();
  }
  // The colour table entries in use.
  std::vector<Rgb4> Colours() const;
  // The image as the writers see it (empty while there is none).
  ImageView View() const;
  // How many images share the data (tests check the copy on write with it).
  long UseCount() const { return data_.use_count(); }

  int PixelFormat() const;
  void SetPixelFormat(int code);
  // A true-colour picture (24 bits, or 32 whose fourth byte is unused) reduced to at most
  // 256 colours: the 8-bit image that SetPixelFormat(dib8Bit) makes of its 24-bit copy,
  // made without that copy.
  static DibImage ReducedFrom(const ImageView& trueColour);

  uint32_t GetPixels(int32_t x, int32_t y) const;
  void SetPixels(int32_t x, int32_t y, uint32_t value);

  void UniqueDIB();

 private:
  std::shared_ptr<DibData> data_;
};

// The conversions of SetPixelFormat, each making a new image from an old one.
std::shared_ptr<DibData> ConvertTrueColorTo8BitRGBLow(const DibData& src);
std::shared_ptr<DibData> ConvertIndexedTo8Bit(const DibData& src, const char* name, int sourceBits);
std::shared_ptr<DibData> ConvertIndexedToTrueColor(const DibData& src, const char* name, int sourceBits);

}  // namespace pixo
