// Benchmark under Wine: the BMP save and the JPEG compression of screen-like images,
// against a plain file write of the same bytes and a direct libjpeg-turbo call on the
// same pixels at the same settings.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdio>
#include <vector>

#include "pixo/capture/jpeg_image.h"
#include "pixo/capture/tbitmap.h"
#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A screen-like picture: flat areas, text-like stripes and a gradient.
void Paint(std::vector<uint8_t>& bgr, int w, int h) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bgr[(size_t(y) * w + x) * 3];
      if (y < 40) {
        p[0] = 160, p[1] = 90, p[2] = 30;
      } else if ((y / 16) % 2 == 0 && (x / 7 + y / 3) % 5 == 0) {
        p[0] = p[1] = p[2] = 20;
      } else if (x > w * 2 / 3) {
        p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x + y);
      } else {
        p[0] = p[1] = p[2] = 240;
      }
    }
  }
}

std::vector<uint8_t> DirectJpeg(const std::vector<uint8_t>& bgr, int w, int h, int quality) {
  jpeg_compress_struct c{};
  jpeg_error_mgr e{};
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&bgr[size_t(c.next_scanline) * w * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> result(out, out + size);
  jpeg_destroy_compress(&c);
  free(out);
  return result;
}

}  // namespace

int main() {
  const int sizes[2][2] = {{1920, 1080}, {3840, 2160}};
  std::printf("%-10s %9s %9s %6s %9s %9s %6s %19s\n", "image", "bmp ms", "write ms", "ratio", "jpeg ms",
              "direct ms", "ratio", "via 24-bit copy ms");
  for (const auto& s : sizes) {
    const int w = s[0], h = s[1];
    std::vector<uint8_t> bgr(size_t(w) * h * 3);
    Paint(bgr, w, h);
    // A 32-bit screen-compatible bitmap holding the picture, as a capture would be.
    pixo::TBitmap image;
    image.SetSize(w, h);
    {
      BITMAPINFO bi{};
      bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      bi.bmiHeader.biWidth = w;
      bi.bmiHeader.biHeight = -h;
      bi.bmiHeader.biPlanes = 1;
      bi.bmiHeader.biBitCount = 24;
      pixo::BitmapCanvas canvas(image);
      std::vector<uint8_t> padded(size_t(pixo::DibStride(w, 24)) * h);
      for (int y = 0; y < h; ++y) memcpy(&padded[size_t(y) * pixo::DibStride(w, 24)], &bgr[size_t(y) * w * 3], size_t(w) * 3);
      StretchDIBits(canvas.dc(), 0, 0, w, h, 0, 0, w, h, padded.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
    }
    const int rounds = 11;
    double bmp = 1e9, write = 1e9, ours = 1e9, direct = 1e9, viaCopy = 1e9;
    for (int r = 0; r < rounds; ++r) {
      auto t0 = Clock::now();
      {
        pixo::FileStream f(L"bench.bmp");
        image.SaveToStream(f);
        f.Commit();
      }
      auto t1 = Clock::now();
      bmp = std::min(bmp, Seconds(t0, t1));
      std::vector<uint8_t> bytes(size_t(w) * h * 4 + 54);
      t0 = Clock::now();
      {
        pixo::FileStream f(L"bench_plain.bin");
        f.Write(bytes.data(), bytes.size());
        f.Commit();
      }
      t1 = Clock::now();
      write = std::min(write, Seconds(t0, t1));
      pixo::TJPEGImage jpeg;
      jpeg.Assign(image);
      jpeg.Quality = 70;
      t0 = Clock::now();
      jpeg.Compress();
      t1 = Clock::now();
      ours = std::min(ours, Seconds(t0, t1));
      // The same compression through a 24-bit copy of the capture, for comparison.
      t0 = Clock::now();
      pixo::CompressJpegThrough24Bit(image, 70);
      t1 = Clock::now();
      viaCopy = std::min(viaCopy, Seconds(t0, t1));
      t0 = Clock::now();
      auto d = DirectJpeg(bgr, w, h, 70);
      t1 = Clock::now();
      direct = std::min(direct, Seconds(t0, t1));
    }
    std::printf("%4dx%-5d %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f %19.1f\n", w, h, bmp * 1e3, write * 1e3,
                bmp / write, ours * 1e3, direct * 1e3, ours / direct, viaCopy * 1e3);
  }
  DeleteFileW(L"bench.bmp");
  DeleteFileW(L"bench_plain.bin");
  return 0;
}
