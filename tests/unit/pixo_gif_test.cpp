#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "capture/errors.h"
#include "imaging/gif_encoder.h"

using namespace pixo;

namespace {

struct GifDecoded {
  int width = 0, height = 0, colourBits = 0;
  std::vector<uint8_t> indexes;
  std::vector<GifColorType> colours;
};

GifDecoded Decode(const std::vector<uint8_t>& f) {
  struct Reader {
    const std::vector<uint8_t>* f;
    size_t pos;
  } reader{&f, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(&reader, [](GifFileType* g, GifByteType* out, int n) {
    auto* r = static_cast<Reader*>(g->UserData);
    const int left = int(r->f->size() - r->pos);
    if (n > left) n = left;
    std::memcpy(out, r->f->data() + r->pos, size_t(n));
    r->pos += size_t(n);
    return n;
  }, &err);
  GifDecoded d;
  if (!gif) {
    ADD_FAILURE() << "DGifOpen " << err;
    return d;
  }
  if (DGifSlurp(gif) != GIF_OK) {
    ADD_FAILURE() << "DGifSlurp " << gif->Error;
  } else {
    const SavedImage& im = gif->SavedImages[0];
    d.width = im.ImageDesc.Width;
    d.height = im.ImageDesc.Height;
    d.indexes.assign(im.RasterBits, im.RasterBits + d.width * d.height);
    if (im.ImageDesc.ColorMap) {
      d.colourBits = im.ImageDesc.ColorMap->BitsPerPixel;
      d.colours.assign(im.ImageDesc.ColorMap->Colors, im.ImageDesc.ColorMap->Colors + im.ImageDesc.ColorMap->ColorCount);
    }
  }
  DGifCloseFile(gif, &err);
  return d;
}

std::vector<uint8_t> Save(int w, int h, int colours, const std::vector<uint8_t>& pixels) {
  TGIFImage gif;
  TGIFSubImage f;
  f.width = uint16_t(w);
  f.height = uint16_t(h);
  for (int i = 0; i < colours; ++i) f.localMap.colours.push_back(GifRgb{uint8_t(i), uint8_t(i * 2), uint8_t(255 - i)});
  f.pixels = pixels;
  gif.AddFrame(f);
  gif.Compression = 0;
  MemoryStream m;
  gif.SaveToStream(m);
  return m.bytes;
}

// Offset of the image data (the minimum code size byte).
size_t DataOffset(const std::vector<uint8_t>& f) {
  const int tableBits = (f[13 + 10 - 1] & 7) + 1;  // descriptor packed byte
  return 13 + 10 + 3 * (size_t(1) << tableBits);
}

}  // namespace

TEST(GifWriter, FullPaletteCapture) {
  std::mt19937 rng(1);
  const int w = 97, h = 31;
  std::vector<uint8_t> px(size_t(w) * h);
  for (auto& p : px) p = uint8_t(rng());
  const auto f = Save(w, h, 256, px);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
  EXPECT_EQ(f[6] | f[7] << 8, w);
  EXPECT_EQ(f[8] | f[9] << 8, h);
  EXPECT_EQ(f[10], 0x77);  // no global table, 8 bits
  EXPECT_EQ(f[11], 0);
  EXPECT_EQ(f[12], 0);
  EXPECT_EQ(f[13], 0x2C);
  EXPECT_EQ(f[13 + 9], 0x87);
  EXPECT_EQ(f[DataOffset(f)], 8);
  EXPECT_EQ(f.back(), 0x3B);
  const auto d = Decode(f);
  EXPECT_EQ(d.indexes, px);
  EXPECT_EQ(d.colourBits, 8);
  EXPECT_EQ(d.colours[5].Red, 5);
  EXPECT_EQ(d.colours[5].Blue, 250);
}

TEST(GifWriter, OneColourGivesTableOfTwoAndCodeSizeTwo) {
  const std::vector<uint8_t> px(40, 0);
  const auto f = Save(8, 5, 1, px);
  EXPECT_EQ(f[13 + 9], 0x80);  // local table of 2 entries
  const size_t table = 13 + 10;
  EXPECT_EQ(f[table + 3], 0);  // the padding entry is black
  EXPECT_EQ(f[table + 4], 0);
  EXPECT_EQ(f[table + 5], 0);
  const size_t data = table + 6;
  EXPECT_EQ(f[data], 2);
  EXPECT_EQ(f[data + 2] & 7, 4);  // the clear code, 3 bits wide
  const auto d = Decode(f);
  EXPECT_EQ(d.indexes, px);
  EXPECT_EQ(d.colours.size(), 2u);
}

TEST(GifWriter, SeventeenColoursArePaddedToThirtyTwo) {
  std::vector<uint8_t> px(17 * 3);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i % 17);
  const auto f = Save(17, 3, 17, px);
  EXPECT_EQ(f[10], 0x44);
  EXPECT_EQ(f[13 + 9], 0x84);
  const size_t table = 13 + 10;
  for (int i = 17; i < 32; ++i) {
    EXPECT_EQ(f[table + 3 * i], 0);
    EXPECT_EQ(f[table + 3 * i + 2], 0);
  }
  EXPECT_EQ(f[table + 96], 5);  // minimum code size
  EXPECT_EQ(Decode(f).indexes, px);
}

TEST(GifWriter, LongInputsFillTheTableAndClear) {
  // Random pixels over 256 colours fill the 4094 codes quickly; a long uniform run after
  // them checks that decoding stays in step across clears.
  std::mt19937 rng(3);
  const int w = 640, h = 200;
  std::vector<uint8_t> px(size_t(w) * h);
  for (size_t i = 0; i < px.size(); ++i) px[i] = i < px.size() / 2 ? uint8_t(rng()) : uint8_t((i / 700) % 256);
  const auto f = Save(w, h, 256, px);
  EXPECT_EQ(Decode(f).indexes, px);
  // Few colours with low entropy too.
  for (auto& p : px) p = uint8_t(rng() % 3);
  EXPECT_EQ(Decode(Save(w, h, 3, px)).indexes, px);
}

TEST(GifWriter, SubBlocksOf255AndTheTerminator) {
  // Find a frame whose compressed data is exactly 255 bytes: one full block, then 0.
  std::mt19937 rng(5);
  for (int n = 200; n < 400; ++n) {
    std::vector<uint8_t> px(static_cast<size_t>(n));
    std::mt19937 local(9);
    for (auto& p : px) p = uint8_t(local());
    const auto f = Save(n, 1, 256, px);
    const size_t data = DataOffset(f) + 1;
    if (f[data] != 255) continue;
    if (f[data + 256] != 0) continue;
    // exactly one full block followed by the terminator and the trailer
    EXPECT_EQ(f.size(), data + 256 + 2);
    EXPECT_EQ(f.back(), 0x3B);
    EXPECT_EQ(Decode(f).indexes, px);
    return;
  }
  FAIL() << "no frame size gave exactly 255 bytes of data";
}

TEST(GifWriter, BlockStructureOfLongData) {
  std::mt19937 rng(11);
  std::vector<uint8_t> px(5000);
  for (auto& p : px) p = uint8_t(rng());
  const auto f = Save(100, 50, 256, px);
  size_t i = DataOffset(f) + 1;
  int blocks = 0;
  while (f[i] != 0) {
    const size_t n = f[i];
    if (f[i + n + 1] != 0) EXPECT_EQ(n, 255u) << "only the last block may be short";
    i += n + 1;
    ++blocks;
  }
  EXPECT_GT(blocks, 10);
  EXPECT_EQ(i + 2, f.size());
}

TEST(GifWriter, Errors) {
  std::vector<uint8_t> px = {0, 1, 2, 3};
  try {
    Save(2, 2, 3, px);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "Color not in color table");
  }
  TGIFImage empty;
  MemoryStream m;
  try {
    empty.SaveToStream(m);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "Unsupported GIF version");
  }
}

TEST(GifColorMap, BitsPerPixelAndCapacity) {
  TGIFColorMap m;
  EXPECT_EQ(m.BitsPerPixel(), 0);
  const int expected[] = {0, 1, 1, 2, 2, 3};
  for (int n = 1; n <= 5; ++n) {
    m.colours.push_back({0, 0, 0});
    EXPECT_EQ(m.BitsPerPixel(), expected[n]);
  }
  m.colours.resize(17);
  EXPECT_EQ(m.BitsPerPixel(), 5);
  EXPECT_EQ(m.Capacity(), 32);
  m.colours.resize(200);
  EXPECT_EQ(m.BitsPerPixel(), 8);
  EXPECT_EQ(m.Capacity(), 224);
}

TEST(LzwStringTable, InsertFindAndClear) {
  LzwStringTable t;
  for (uint32_t k = 0; k < 3000; ++k) t.Insert(k * 7919 % 1048576, int(k + 258));
  for (uint32_t k = 0; k < 3000; ++k) ASSERT_EQ(t.Find(k * 7919 % 1048576), int(k + 258));
  EXPECT_EQ(t.Find(1048575), -1);
  t.Clear();
  EXPECT_EQ(t.Find(7919), -1);
}
