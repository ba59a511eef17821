#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "pixo/base/errors.h"
#include "pixo/imaging/dib_image.h"

using namespace pixo;

namespace {
DibImage Make24(int w, int h, const std::vector<uint32_t>& colours) {
  DibImage d;
  d.CreateNew(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) d.SetPixels(x, y, colours[size_t(y * w + x) % colours.size()]);
  return d;
}
uint32_t ColourOf(const DibImage& d, int x, int y) {
  const Rgb4& c = d.Data()->colours[d.GetPixels(x, y)];
  return uint32_t(c.red) | uint32_t(c.green) << 8 | uint32_t(c.blue) << 16;
}
}  // namespace

TEST(DibImage, PixelAccessTopLeftOriginInEveryFormat) {
  for (int bits : {1, 4, 8, 24}) {
    DibImage d;
    d.CreateNew(11, 3, bits);
    const uint32_t v = bits == 24 ? 0x123456 : bits == 8 ? 200 : bits == 4 ? 9 : 1;
    d.SetPixels(0, 0, v);
    d.SetPixels(10, 2, v);
    EXPECT_EQ(d.GetPixels(0, 0), v);
    EXPECT_EQ(d.GetPixels(10, 2), v);
    EXPECT_EQ(d.GetPixels(1, 0), 0u);
    // The top row is the last one in memory (bottom-up).
    const uint8_t* lastRow = d.Data()->pixels.data() + 2 * size_t(d.Data()->Stride());
    EXPECT_NE(lastRow[0], 0) << bits;
  }
  DibImage d4;
  d4.CreateNew(2, 1, 4);
  d4.SetPixels(0, 0, 0xA);
  d4.SetPixels(1, 0, 0x5);
  EXPECT_EQ(d4.Data()->pixels.data()[0], 0xA5);
  DibImage d1;
  d1.CreateNew(9, 1, 1);
  d1.SetPixels(0, 0, 7);
  d1.SetPixels(8, 0, 1);
  EXPECT_EQ(d1.Data()->pixels.data()[0], 0x80);
  EXPECT_EQ(d1.Data()->pixels.data()[1], 0x80);
  DibImage d24;
  d24.CreateNew(1, 1, 24);
  d24.SetPixels(0, 0, 0xFF112233);  // the high byte is ignored
  EXPECT_EQ(d24.GetPixels(0, 0), 0x112233u);
  EXPECT_EQ(d24.Data()->pixels.data()[0], 0x11);  // stored blue first
}

TEST(DibImage, OutOfRangeAndBadFormats) {
  DibImage d;
  d.CreateNew(2, 2, 8);
  try {
    d.GetPixels(2, 0);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "TDibImage.GetPixels: Pixel Position is Out of Range");
  }
  try {
    d.SetPixels(0, -1, 0);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "TDibImage.SetPixels: Pixel Position is Out of Range");
  }
  EXPECT_THROW(d.CreateNew(0, 5, 8), Error);
  EXPECT_THROW(d.CreateNew(5, 5, 16), Error);
}

TEST(DibImage, SharingCopiesBeforeChange) {
  DibImage a = Make24(4, 4, {0x010203});
  DibImage b;
  b.Assign(a);
  EXPECT_EQ(a.UseCount(), 2);
  b.SetPixels(0, 0, 0xFFFFFF);
  EXPECT_EQ(a.UseCount(), 1);
  EXPECT_EQ(a.GetPixels(0, 0), 0x010203u);
  EXPECT_EQ(b.GetPixels(0, 0), 0xFFFFFFu);
  b.Assign(a);
  b.SetPixelFormat(dib8Bit);
  EXPECT_EQ(a.PixelFormat(), dib24Bit);
}

TEST(Reduction, SingleColourGivesOneEntryAndZeros) {
  DibImage d = Make24(13, 7, {0x3366CC});
  d.SetPixelFormat(dib8Bit);
  EXPECT_EQ(d.PixelFormat(), dib8Bit);
  EXPECT_EQ(d.Data()->header.biClrUsed, 1u);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(d.GetPixels(x, y), 0u);
  EXPECT_EQ(ColourOf(d, 0, 0), 0x3366CCu);
}

TEST(Reduction, ColoursOfOneCellShareAnEntry) {
  // red 8 and red 15 differ only in the bits dropped by the 5-6-5 cell
  DibImage d = Make24(4, 4, {0x000008, 0x00000F, 0xFF0000});
  d.SetPixelFormat(dib8Bit);
  EXPECT_EQ(d.GetPixels(0, 0), d.GetPixels(1, 0));
  EXPECT_NE(d.GetPixels(0, 0), d.GetPixels(2, 0));
  EXPECT_EQ(d.Data()->header.biClrUsed, 2u);
  // The entry is the cell's mean colour: (8 + 15) / 2 in its weighted mean, red 8 + 3 = 11.
  // Pixels: 6 of red 8, 5 of red 15 (16 pixels cycling over three colours).
  const Rgb4& c = d.Data()->colours[d.GetPixels(0, 0)];
  EXPECT_EQ(c.red, 8 + (6 * 0 + 5 * 7) / 11);
}

TEST(Reduction, NineColoursInCellsOfTheirOwnAreKeptExactly) {
  const std::vector<uint32_t> nine = {0x000000, 0xFFFFFF, 0x0000F8, 0x00FC00, 0xF80000,
                                      0x808080, 0x20C040, 0xF8FC00, 0x4040F8};
  DibImage d = Make24(9, 9, nine);
  d.SetPixelFormat(dib8Bit);
  EXPECT_EQ(d.Data()->header.biClrUsed, 9u);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(ColourOf(d, x, y), nine[size_t(y * 9 + x) % 9]);
}

TEST(Reduction, ManyColoursStayWithin256AndNearTheOriginal) {
  std::mt19937 rng(2);
  std::vector<uint32_t> colours(5000);
  for (auto& c : colours) c = rng() & 0xFFFFFF;
  DibImage d = Make24(100, 50, colours);
  DibImage original;
  original.Assign(d);
  d.SetPixelFormat(dib8Bit);
  EXPECT_LE(d.Data()->header.biClrUsed, 256u);
  EXPECT_GE(d.Data()->header.biClrUsed, 200u);
  double error = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      const uint32_t a = original.GetPixels(x, y), b = ColourOf(d, x, y);
      for (int s = 0; s < 24; s += 8) error += std::abs(int((a >> s) & 255) - int((b >> s) & 255));
    }
  EXPECT_LT(error / (5000 * 3), 40.0);
}

TEST(Reduction, A32BitPictureReducesAsIts24BitCopyDoes) {
  // A capture (32 bits, top-down or bottom-up, the fourth byte anything) is reduced where
  // it lies: the same palette and indices as SetPixelFormat gives its 24-bit copy.
  std::mt19937 rng(5);
  std::vector<uint32_t> colours(3000);
  for (auto& c : colours) c = rng() & 0xFFFFFF;
  const int w = 37, h = 23;
  DibImage copy = Make24(w, h, colours);
  copy.SetPixelFormat(dib8Bit);
  for (const bool topDown : {true, false}) {
    std::vector<uint8_t> bits(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t c = colours[size_t(y * w + x) % colours.size()];  // 0xBBGGRR
        uint8_t* p = &bits[(size_t(topDown ? y : h - 1 - y) * w + x) * 4];
        p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(rng());
      }
    ImageView view;
    view.width = w, view.height = h, view.bitCount = 32, view.bits = bits.data(), view.stride = w * 4;
    view.topDown = topDown;
    const DibImage reduced = DibImage::ReducedFrom(view);
    ASSERT_EQ(reduced.Colours().size(), copy.Colours().size()) << topDown;
    EXPECT_EQ(0, std::memcmp(reduced.Data()->colours, copy.Data()->colours, sizeof copy.Data()->colours)) << topDown;
    EXPECT_EQ(0, std::memcmp(reduced.Data()->pixels.data(), copy.Data()->pixels.data(), copy.Data()->pixels.size()))
        << topDown;
  }
}

TEST(Reduction, DeterministicPaletteOrderUpperHalfFirst) {
  // Two colours far apart in green: the split puts the upper half (green above the mean)
  // first, so the brighter green gets entry 0.
  DibImage d = Make24(2, 1, {0x000000, 0x00FF00});
  d.SetPixelFormat(dib8Bit);
  EXPECT_EQ(d.GetPixels(1, 0), 0u);
  EXPECT_EQ(d.GetPixels(0, 0), 1u);
}

TEST(PixelFormat, SameFormatChangesNothing) {
  DibImage d = Make24(3, 3, {0x112233});
  const DibData* before = d.Data();
  d.SetPixelFormat(dib24Bit);
  EXPECT_EQ(d.Data(), before);
  d.SetPixelFormat(dib8Bit);
  const DibData* after = d.Data();
  EXPECT_NE(after, before);
  d.SetPixelFormat(dib8Bit);
  EXPECT_EQ(d.Data(), after);
}

TEST(PixelFormat, ExpansionsKeepTableAndColours) {
  for (int bits : {1, 4, 8}) {
    DibImage d;
    d.CreateNew(7, 2, bits);
    DibData* data = d.MutableData();
    const int n = 1 << bits;
    data->header.biClrUsed = uint32_t(n);
    for (int i = 0; i < n; ++i) data->colours[i] = Rgb4{uint8_t(i), uint8_t(i * 2), uint8_t(255 - i), 0};
    for (int x = 0; x < 7; ++x) d.SetPixels(x, 1, uint32_t(x % n));
    DibImage wide;
    wide.Assign(d);
    wide.SetPixelFormat(dib24Bit);
    EXPECT_EQ(wide.PixelFormat(), dib24Bit);
    EXPECT_EQ(wide.Data()->header.biClrUsed, uint32_t(n));
    for (int x = 0; x < 7; ++x) {
      const int i = x % n;
      EXPECT_EQ(wide.GetPixels(x, 1), uint32_t(255 - i) | uint32_t(i * 2) << 8 | uint32_t(i) << 16);
    }
    if (bits < 8) {
      DibImage eight;
      eight.Assign(d);
      eight.SetPixelFormat(dib8Bit);
      for (int x = 0; x < 7; ++x) EXPECT_EQ(eight.GetPixels(x, 1), uint32_t(x % n));
    }
  }
}

TEST(PixelFormat, UnsupportedPairLeavesTheImage) {
  DibImage d = Make24(3, 3, {0x112233});
  EXPECT_THROW(d.SetPixelFormat(dib1Bit), Error);
  EXPECT_EQ(d.PixelFormat(), dib24Bit);
  EXPECT_EQ(d.GetPixels(1, 1), 0x112233u);
  DibData* data = d.MutableData();
  data->header.biCompression = 1;
  try {
    d.GetPixels(0, 0);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "TDibImage.GetPixels: Bad DIB Type");
  }
  EXPECT_THROW(d.PixelFormat(), Error);
}
