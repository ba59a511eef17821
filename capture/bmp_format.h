// The BMP file layout: sizes and headers of a device-independent bitmap. Pure computation.
#pragma once
#include <cstdint>
#include <vector>

#include "stream.h"

namespace pixo {

struct Rgb4 {  // colour-table entry as stored: blue, green, red, reserved
  uint8_t blue, green, red, reserved;
};

struct DibHeaderInfo {
  int32_t width = 0;
  int32_t height = 0;  // positive: rows bottom-up
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // 0 = BI_RGB, 3 = BI_BITFIELDS
  uint32_t sizeImage = 0;
  uint32_t masks[3] = {0, 0, 0};
};

// Bytes per row, padded to a multiple of 4.
int32_t DibStride(int32_t width, int32_t bitCount);

struct BmpLayout {
  uint32_t headerSize;  // info header plus colour table (or masks)
  uint32_t imageSize;
  uint32_t fileSize;
  uint32_t offBits;
};

BmpLayout ComputeBmpLayout(const DibHeaderInfo& h);

// Writes the file header, the info header, the masks (bit fields only), the colour
// table and image-size bytes of pixel rows as they lie in memory (bottom row first).
void WriteBmp(OutStream& out, const DibHeaderInfo& h, const std::vector<Rgb4>& colours,
              const uint8_t* bits);

}  // namespace pixo
