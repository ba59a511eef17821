// Baseline JPEG compression over libjpeg, with an error manager that raises EJPEG and a
// destination manager that collects the bytes in memory.
#pragma once
#include <cstdint>
#include <vector>

#include "pixo/base/image.h"

namespace pixo {

// How the pixels of a row lie: blue, green, red (24-bit rows) or blue, green, red and an
// unused byte (32-bit rows). The library reads either as the same red, green, blue.
enum class JpegPixels { Bgr, Bgrx };

// Compresses a picture. rowAt(y) gives picture row y (0 = top), asked for in order.
// Quality 0..100 as libjpeg takes it; everything else stays at the library's defaults.
std::vector<uint8_t> CompressJpeg(int width, int height, int quality, JpegPixels pixels,
                                  const uint8_t* (*rowAt)(void* ctx, int y), void* ctx);

// Compresses the rows of a 24- or 32-bit view, read in order from the top (through the
// view's gate, if it has one).
inline std::vector<uint8_t> CompressJpeg(const ImageView& view, int quality) {
  const auto row = [](void* ctx, int y) { return static_cast<const ImageView*>(ctx)->Row(y); };
  ImageView rows = view;
  return CompressJpeg(rows.width, rows.height, quality, rows.bitCount == 32 ? JpegPixels::Bgrx : JpegPixels::Bgr,
                      row, &rows);
}

}  // namespace pixo
