// The graphic that writes a capture as PNG: an internal DIB with the metadata a PNG file
// can carry (DibGraphic) and the writer's options (PngImage).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "../capture/bmp_format.h"
#include "../capture/stream.h"
#include "pixel_block.h"

namespace pixo {

class TBitmap;

struct PngInternalImage {
  int32_t width = 0;
  int32_t height = 0;
  int bitCount = 0;  // 1, 4, 8, 24 or 32
  int colourCount = 0;
  Rgb4 colours[256] = {};
  uint8_t alpha[256] = {};
  PixelBlock pixels;  // bottom-up rows, each padded to 4 bytes
  uint8_t flags = 0;  // transparency mode bits 0-1, background mode 2-3, alpha flag 4-6
  double gamma = 0;
  uint8_t unitSpecifier = 0;
  uint32_t pixelsPerUnitX = 1, pixelsPerUnitY = 1;
  int32_t transparentColour = -1, backgroundColour = -1;

  int32_t Stride() const { return DibStride(width, bitCount); }
};

class DibGraphic {
 public:
  // A new zero-filled image; bit count 1, 4, 8, 24 or 32.
  void NewImage(int32_t width, int32_t height, int bitCount);
  PngInternalImage* Image() const { return image_.get(); }
  std::string Comment;

 protected:
  std::shared_ptr<PngInternalImage> image_;
};

class PngImage : public DibGraphic {
 public:
  PngImage() { NewImage(8, 8, 1); }  // an 8 x 8 one-bit placeholder
  int32_t Options[5] = {0, 0, 0, 0, 0};

  // Accepts 0 (zlib's default), 1 (fastest) or 2 (best); anything else is refused.
  void SetCompressionLevel(int level);
  void SetInterlace(bool on) { Options[2] = on ? 1 : 0; }

  // Windows only: takes the pixels of a capture bitmap.
  void Assign(const TBitmap& bitmap);

  void SaveToStream(OutStream& out);
  void SaveToFile(const std::wstring& name);

  void DropImage() { image_.reset(); }
};

}  // namespace pixo
