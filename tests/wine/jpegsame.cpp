// Compresses pictures held in screen-compatible bitmaps twice: with TJPEGImage as the
// capture run does, and through a 24-bit copy of the bitmap. Prints one line per case
// and exits with 1 when any pair of results differs.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "pixo/capture/jpeg_image.h"
#include "pixo/capture/tbitmap.h"

namespace {

void Paint(pixo::TBitmap& image, int w, int h, unsigned seed) {
  image.SetSize(w, h);
  std::vector<uint8_t> bgr(size_t(pixo::DibStride(w, 24)) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bgr[size_t(y) * pixo::DibStride(w, 24) + size_t(x) * 3];
      seed = seed * 1103515245u + 12345u;
      if ((x / 9 + y / 5) % 4 == 0) {
        p[0] = uint8_t(seed >> 16), p[1] = uint8_t(seed >> 8), p[2] = uint8_t(seed >> 24);  // noise
      } else {
        p[0] = uint8_t(x * 3), p[1] = uint8_t(y * 5), p[2] = uint8_t(x + y);  // gradients
      }
    }
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  pixo::BitmapCanvas canvas(image);
  StretchDIBits(canvas.dc(), 0, 0, w, h, 0, 0, w, h, bgr.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

int main() {
  const int cases[][3] = {{1, 1, 50}, {17, 3, 90}, {101, 37, 70}, {640, 480, 100}, {333, 16, 80}, {64, 33, 60}};
  int failures = 0;
  for (const auto& c : cases) {
    pixo::TBitmap image;
    Paint(image, c[0], c[1], unsigned(c[0] * 31 + c[1]));
    pixo::TJPEGImage jpeg;
    jpeg.Assign(image);
    jpeg.Quality = c[2];
    jpeg.Compress();
    const std::vector<uint8_t> expected = pixo::CompressJpegThrough24Bit(image, c[2]);
    const bool same = !expected.empty() && jpeg.Data() == expected;
    std::printf("%dx%d q%d, %d bits per pixel: %zu and %zu bytes, %s\n", c[0], c[1], c[2], image.BitsPerPixel(),
                jpeg.Data().size(), expected.size(), same ? "same" : "DIFFERENT");
    if (!same) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
