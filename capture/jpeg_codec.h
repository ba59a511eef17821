// Baseline JPEG compression of 24-bit rows over libjpeg, with an error manager that
// raises EJPEG and a destination manager that collects the bytes in memory.
#pragma once
#include <cstdint>
#include <vector>

namespace pixo {

// Compresses a picture of blue-green-red pixels. rowAt(y) gives picture row y (0 = top).
// Quality 0..100 as libjpeg takes it; everything else stays at the library's defaults.
std::vector<uint8_t> CompressJpegBgr(int width, int height, int quality,
                                     const uint8_t* (*rowAt)(const void* ctx, int y), const void* ctx);

}  // namespace pixo
