// libFuzzer target: the GIF path of a capture over random small pictures. A true-colour
// picture is reduced to at most 256 colours, an indexed one widened to 8 bits; the frame
// is written and read back by giflib, and every pixel must show its colour. A picture
// whose indexes pass its colour table must be refused, and only such a picture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/imaging/dib_image.h"
#include "pixo/imaging/gif_encoder.h"
#include "tests/support/decoders.h"

using namespace pixo;

namespace {

[[noreturn]] void Fail(const char* what, int x, int y) {
  std::fprintf(stderr, "%s at %d,%d\n", what, x, y);
  std::abort();
}

bool Same(const std::vector<Rgb4>& a, const std::vector<Rgb4>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].red != b[i].red || a[i].green != b[i].green || a[i].blue != b[i].blue) return false;
  return true;
}

}  // namespace

// Input: width, height, kind (source bit count, colours in its table), then the pixel
// bytes, repeated to fill the picture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const int kBits[] = {1, 4, 8, 24};
  const int width = data[0] % 48 + 1, height = data[1] % 48 + 1;
  const int bits = kBits[data[2] % 4];
  DibImage dib;
  dib.CreateNew(width, height, bits);
  DibData* d = dib.MutableData();
  const size_t fillSize = size - 4;
  for (size_t i = 0; i < d->pixels.size() && fillSize; ++i) d->pixels.data()[i] = data[4 + i % fillSize];
  if (bits <= 8) {
    const uint32_t count = 1 + data[3] % (1u << bits);
    d->header.biClrUsed = count;
    for (uint32_t i = 0; i < count; ++i) d->colours[i] = Rgb4{uint8_t(i * 5), uint8_t(i ^ 0x5A), uint8_t(i * 3), 0};
  }
  const std::vector<Rgb4> sourceColours = dib.Colours();
  DibImage source;
  source.Assign(dib);
  bool uniform = true;
  for (int y = 0; y < height && uniform; ++y)
    for (int x = 0; x < width && uniform; ++x) uniform = source.GetPixels(x, y) == source.GetPixels(0, 0);

  dib.SetPixelFormat(dib8Bit);
  const std::vector<Rgb4> colours = dib.Colours();
  if (colours.size() > 256 || (bits <= 8 && !Same(colours, sourceColours))) Fail("colour table", 0, 0);
  TGIFSubImage frame = GifFrameFrom(dib.View());
  for (const Rgb4& c : colours) frame.localMap.colours.push_back(GifRgb{c.red, c.green, c.blue});
  bool outside = false;
  for (uint8_t index : frame.pixels) outside = outside || index >= colours.size();
  if (outside && bits == 24) Fail("reduction gave an index outside its table", 0, 0);

  TGIFImage gif;
  gif.Compression = data[3] >> 7;
  gif.AddFrame(frame);
  MemoryStream file;
  try {
    gif.SaveToStream(file);
  } catch (const Error& e) {
    if (!outside || e.Message() != "Color not in color table") Fail(e.Message().c_str(), 0, 0);
    return 0;
  }
  if (outside) Fail("an index outside the table was written", 0, 0);

  testsupport::GifPicture g;
  std::string error;
  if (!testsupport::DecodeGif(file.bytes, g, error)) {
    std::fprintf(stderr, "giflib: %s\n", error.c_str());
    std::abort();
  }
  if (g.width != width || g.height != height) Fail("size", 0, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t index = g.indexes[size_t(y) * size_t(width) + size_t(x)];
      if (index >= colours.size()) Fail("index", x, y);
      const GifColorType& c = g.colours[index];
      const Rgb4& want = colours[index];
      if (c.Red != want.red || c.Green != want.green || c.Blue != want.blue) Fail("colour", x, y);
      // An indexed source keeps its colours exactly.
      const uint32_t s = source.GetPixels(x, y);
      if (bits <= 8 && s != index) Fail("source index", x, y);
      // A picture of one colour keeps it exactly.
      if (bits == 24 && uniform && s != (uint32_t(want.red) | uint32_t(want.green) << 8 | uint32_t(want.blue) << 16))
        Fail("single colour", x, y);
    }
  }
  return 0;
}
