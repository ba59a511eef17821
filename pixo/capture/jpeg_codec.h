// Baseline JPEG compression over libjpeg, with an error manager that raises EJPEG and a
// destination manager that collects the bytes in memory.
#pragma once
#include <cstdint>
#include <vector>

namespace pixo {

// How the pixels of a row lie: blue, green, red (24-bit rows) or blue, green, red and an
// unused byte (32-bit rows). The library reads either as the same red, green, blue.
enum class JpegPixels { Bgr, Bgrx };

// Compresses a picture. rowAt(y) gives picture row y (0 = top), asked for in order.
// Quality 0..100 as libjpeg takes it; everything else stays at the library's defaults.
std::vector<uint8_t> CompressJpeg(int width, int height, int quality, JpegPixels pixels,
                                  const uint8_t* (*rowAt)(void* ctx, int y), void* ctx);

}  // namespace pixo
