#include "pixo/capture/print_convert.h"

#include <vector>

#include "pixo/base/errors.h"

namespace pixo {

void DiffuseToBlackWhite(DibImage& dib, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (x1 < x0 || y1 < y0) return;
  const int32_t n = x1 - x0 + 1;
  const int32_t rows = y1 - y0 + 1;
  std::vector<int32_t> e(size_t(CheckedMul(n, rows)), 0);
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) {
      const uint32_t c = dib.GetPixels(x, y);
      const int32_t g = int32_t((c >> 8) & 0xFF);
      const size_t i = size_t(x - x0) + size_t(y - y0) * size_t(n);
      const int32_t v = g + e[i] / 8;
      const int32_t out = v >= 128 ? 255 : 0;
      const int32_t d = v - out;
      if (x < x1) e[i + 1] += 3 * d;
      if (y < y1) {
        e[i + size_t(n)] += 3 * d;
        if (x < x1) e[i + size_t(n) + 1] += 2 * d;
      }
      dib.SetPixels(x, y, uint32_t(out) * 0x010101u);
    }
  }
}

void ConvertToGray(DibImage& dib, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) {
      const uint32_t c = dib.GetPixels(x, y);
      const uint32_t v = (77 * (c & 0xFF) + 151 * ((c >> 8) & 0xFF) + 28 * ((c >> 16) & 0xFF)) / 256;
      dib.SetPixels(x, y, v * 0x010101u);
    }
  }
}

PrintPlacement ComputePlacement(int32_t horzRes, int32_t vertRes, int32_t w, int32_t h) {
  PrintPlacement p{};
  const long double H = vertRes - kPrintMargin;
  const long double W = horzRes - kPrintMargin;
  const long double pageRatio = W / H;
  const long double imageRatio = static_cast<long double>(w) / h;
  p.scale = pageRatio >= imageRatio ? H / h : W / w;
  p.left = kPrintMargin;
  p.top = kPrintMargin;
  p.right = int32_t(w * p.scale);   // truncation toward zero
  p.bottom = int32_t(h * p.scale);
  return p;
}

}  // namespace pixo
