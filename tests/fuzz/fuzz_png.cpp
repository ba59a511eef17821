// libFuzzer target: the PNG writer over random small pictures (every bit count, row
// order, filter, interlace and compression setting), each file decoded again by libpng
// and compared pixel for pixel with the picture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pixo/imaging/png_encoder.h"
#include "tests/support/decoders.h"

using namespace pixo;

namespace {

[[noreturn]] void Fail(const char* what, int x, int y) {
  std::fprintf(stderr, "%s at %d,%d\n", what, x, y);
  std::abort();
}

int IndexAt(const uint8_t* row, int x, int bits) {
  const size_t pos = size_t(x) * size_t(bits);
  return (row[pos / 8] >> (8 - bits - int(pos % 8))) & ((1 << bits) - 1);
}

}  // namespace

// Input: width, height, kind (bit count, row order, palette), options, then the pixel
// bytes, repeated to fill the picture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const int kBits[] = {1, 4, 8, 24, 32};
  ImageView view;
  view.width = data[0] % 64 + 1;
  view.height = data[1] % 64 + 1;
  view.bitCount = kBits[data[2] % 5];
  view.topDown = (data[2] & 0x80) != 0;
  const bool withPalette = view.bitCount <= 8 && (data[2] & 0x40) != 0;
  PngOptions options;
  options.filter = data[3] & 1;
  options.interlace = (data[3] >> 1) & 1;
  options.level = (data[3] >> 2) % 3;
  view.stride = DibStride(view.width, view.bitCount);
  std::vector<uint8_t> pixels(size_t(view.stride) * size_t(view.height));
  const uint8_t* fill = data + 4;
  const size_t fillSize = size - 4;
  for (size_t i = 0; i < pixels.size() && fillSize; ++i) pixels[i] = fill[i % fillSize];
  view.bits = pixels.data();
  if (withPalette) {
    for (int i = 0; i < (1 << view.bitCount); ++i)
      view.colours.push_back(Rgb4{uint8_t(i * 7), uint8_t(i * 13), uint8_t(255 - i), 0});
  }

  MemoryStream file;
  EncodePng(file, view, options);
  testsupport::PngPicture d;
  std::string error;
  if (!testsupport::DecodePng(file.bytes, d, error)) {
    std::fprintf(stderr, "libpng: %s\n", error.c_str());
    std::abort();
  }
  if (d.width != view.width || d.height != view.height || d.interlace != options.interlace) Fail("header", 0, 0);
  for (int y = 0; y < view.height; ++y) {
    const uint8_t* src = view.Row(y);
    const uint8_t* got = d.rows[size_t(y)].data();
    for (int x = 0; x < view.width; ++x) {
      if (view.bitCount <= 8) {
        const int index = IndexAt(src, x, view.bitCount);
        if (got[x] != index) Fail("index", x, y);
        const png_color& c = d.palette.at(size_t(index));
        const Rgb4 want = withPalette ? view.colours[size_t(index)] : Rgb4{0, 0, 0, 0};
        if (c.red != want.red || c.green != want.green || c.blue != want.blue) Fail("palette", x, y);
      } else {
        const int n = view.bitCount / 8;
        const uint8_t* s = src + size_t(x) * size_t(n);
        const uint8_t* g = got + size_t(x) * size_t(n);
        if (g[0] != s[2] || g[1] != s[1] || g[2] != s[0] || (n == 4 && g[3] != s[3])) Fail("pixel", x, y);
      }
    }
  }
  return 0;
}
