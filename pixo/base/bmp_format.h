// The BMP file layout: sizes and headers of a device-independent bitmap. Pure computation.
#pragma once
#include <cstdint>
#include <vector>

#include "pixo/base/image.h"
#include "pixo/base/stream.h"

namespace pixo {

// What a BMP file's header says beyond the image itself.
struct BmpFields {
  uint32_t compression = 0;  // 0 = BI_RGB, 3 = BI_BITFIELDS
  uint32_t sizeImage = 0;    // 0: computed from the size
  uint32_t masks[3] = {0, 0, 0};
};

struct BmpLayout {
  uint32_t headerSize;  // info header plus colour table (or masks)
  uint32_t imageSize;
  uint32_t fileSize;
  uint32_t offBits;
};

BmpLayout ComputeBmpLayout(const ImageView& image, const BmpFields& fields);

// Writes the file header, the info header (a top-down image gets a negative height), the
// masks (bit fields only), the colour table and image-size bytes of pixel rows as they
// lie in memory.
void WriteBmp(OutStream& out, const ImageView& image, const BmpFields& fields);
// The same without the pixel rows (image.bits is not read): a writer that reads the rows
// in bands writes them itself, image-size bytes of them. Returns the layout.
BmpLayout WriteBmpHeaders(OutStream& out, const ImageView& image, const BmpFields& fields);

}  // namespace pixo
