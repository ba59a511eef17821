// The pixel conversions and the page arithmetic of printing. Pure computation.
#pragma once
#include <cstdint>

#include "pixo/imaging/dib_image.h"

namespace pixo {

// Black and white by error diffusion over the inclusive rectangle; the intensity is the
// green component, and each pixel's error goes 3/8 right, 3/8 down and 2/8 down-right.
void DiffuseToBlackWhite(DibImage& dib, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Grey levels (77 R + 151 G + 28 B) / 256 over the inclusive rectangle.
void ConvertToGray(DibImage& dib, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

inline constexpr int kPrintMargin = 100;

struct PrintPlacement {
  long double scale;
  int32_t left, top, right, bottom;  // the stretched picture's rectangle
};

// Fits a w x h picture into the page's printable area (horzRes x vertRes) less the margin.
PrintPlacement ComputePlacement(int32_t horzRes, int32_t vertRes, int32_t w, int32_t h);

}  // namespace pixo
