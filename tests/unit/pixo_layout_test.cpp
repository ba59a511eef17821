#include <gtest/gtest.h>

#include <cstring>

#include "pixo/base/bmp_format.h"
#include "pixo/capture/clip.h"
#include "pixo/capture/print_convert.h"

using namespace pixo;

namespace {
uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
}  // namespace

TEST(BmpLayout, ScreenCaptureAt32Bits) {
  ImageView v;
  v.width = 1024;
  v.height = 768;
  v.bitCount = 32;
  const BmpLayout l = ComputeBmpLayout(v, BmpFields{});
  EXPECT_EQ(l.fileSize, 3145782u);
  EXPECT_EQ(l.offBits, 54u);
  EXPECT_EQ(l.imageSize, 3145728u);
}

TEST(BmpLayout, PaddedRowsAnd8BitTable) {
  EXPECT_EQ(DibStride(101, 24), 304);
  EXPECT_EQ(DibStride(1, 1), 4);
  EXPECT_EQ(DibStride(33, 1), 8);
  ImageView v;
  v.width = 640;
  v.height = 480;
  v.bitCount = 8;
  EXPECT_EQ(ComputeBmpLayout(v, BmpFields{}).offBits, 1078u);
  v.bitCount = 16;
  BmpFields bitFields;
  bitFields.compression = 3;
  EXPECT_EQ(ComputeBmpLayout(v, bitFields).headerSize, 52u);
}

TEST(BmpWriter, FieldsColourTableAndRows) {
  ImageView v;
  v.width = 3;
  v.height = 2;
  v.bitCount = 8;
  v.colours = {{1, 2, 3, 9}, {4, 5, 6, 9}};
  std::vector<uint8_t> bits(8, 0);
  bits[0] = 1;
  v.bits = bits.data();
  v.stride = 4;
  MemoryStream out;
  WriteBmp(out, v, BmpFields{});
  const auto& b = out.bytes;
  ASSERT_EQ(b.size(), 14u + 40 + 1024 + 8);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(LE32(b, 2), b.size());
  EXPECT_EQ(LE32(b, 10), 1078u);
  EXPECT_EQ(LE32(b, 14), 40u);
  EXPECT_EQ(LE32(b, 14 + 32), 256u);  // biClrUsed
  EXPECT_EQ(b[54], 1);                 // blue of entry 0
  EXPECT_EQ(b[54 + 3], 0);             // reserved is written as 0
  EXPECT_EQ(b[58 + 2], 6);             // red of entry 1
  EXPECT_EQ(b[62], 0);                 // entries beyond the section's are black
  EXPECT_EQ(b[1078], 1);
}

TEST(ClipToScreen, WindowsPartlyAndWhollyOffTheScreen) {
  ClipResult c = ClipToScreen({-4, -4, 1028, 772}, 1024, 768);  // maximised with its frame outside
  EXPECT_EQ(c.offsetX, 4);
  EXPECT_EQ(c.offsetY, 4);
  EXPECT_EQ(c.width, 1024);
  EXPECT_EQ(c.height, 768);
  c = ClipToScreen({900, 700, 1200, 900}, 1024, 768);
  EXPECT_EQ(c.width, 124);
  EXPECT_EQ(c.height, 68);
  c = ClipToScreen({1100, 100, 1400, 300}, 1024, 768);  // on a second monitor
  EXPECT_LE(c.width, 0);
}

TEST(PrintPlacement, PortraitAndLandscapePages) {
  PrintPlacement p = ComputePlacement(4800, 6600, 1024, 768);
  EXPECT_EQ(p.scale, 4.58984375L);
  EXPECT_EQ(p.left, 100);
  EXPECT_EQ(p.top, 100);
  EXPECT_EQ(p.right, 4700);
  EXPECT_EQ(p.bottom, 3525);
  p = ComputePlacement(6600, 4800, 1024, 768);
  EXPECT_EQ(p.right, 6266);
  EXPECT_EQ(p.bottom, 4700);
  // Equal ratios take the height rule.
  p = ComputePlacement(1100, 850, 1000, 750);
  EXPECT_EQ(p.scale, 1.0L);
}

namespace {
DibImage Filled(int w, int h, uint32_t colour) {
  DibImage d;
  d.CreateNew(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) d.SetPixels(x, y, colour);
  return d;
}
}  // namespace

TEST(DiffuseToBlackWhite, OnlyGreenCountsAndExtremesStay) {
  DibImage red = Filled(8, 4, 0x0000FF);
  DiffuseToBlackWhite(red, 0, 0, 7, 3);
  DibImage green = Filled(8, 4, 0x00FF00);
  DiffuseToBlackWhite(green, 0, 0, 7, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(red.GetPixels(x, y), 0u);
      EXPECT_EQ(green.GetPixels(x, y), 0xFFFFFFu);
    }
}

TEST(DiffuseToBlackWhite, MidGreyMixesAndSpreadsErrorInItsWeights) {
  DibImage g = Filled(4, 2, 0x808080);
  DiffuseToBlackWhite(g, 0, 0, 3, 1);
  // (0,0): v=128 -> white, d=-127: E[1]=-381, E[4]=-381, E[5]=-254.
  EXPECT_EQ(g.GetPixels(0, 0), 0xFFFFFFu);
  // (1,0): v = 128 + (-381)/8 = 128 - 47 = 81 -> black, d = 81.
  EXPECT_EQ(g.GetPixels(1, 0), 0u);
  // (2,0): E = 243 -> v = 128 + 30 = 158 -> white, d = -97.
  EXPECT_EQ(g.GetPixels(2, 0), 0xFFFFFFu);
  // (3,0): E = -291 -> v = 128 - 36 = 92 -> black.
  EXPECT_EQ(g.GetPixels(3, 0), 0u);
  // (0,1): E = -381 -> v = 81 -> black: nothing came down-left.
  EXPECT_EQ(g.GetPixels(0, 1), 0u);
  int whites = 0;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) whites += g.GetPixels(x, y) == 0xFFFFFFu;
  EXPECT_GT(whites, 1);
  EXPECT_LT(whites, 7);
}

TEST(DiffuseToBlackWhite, OnlyTheRectangleChanges) {
  DibImage g = Filled(6, 6, 0x404040);
  DiffuseToBlackWhite(g, 2, 2, 3, 3);
  EXPECT_EQ(g.GetPixels(1, 1), 0x404040u);
  EXPECT_EQ(g.GetPixels(4, 4), 0x404040u);
  EXPECT_EQ(g.GetPixels(4, 2), 0x404040u);
  const uint32_t v = g.GetPixels(2, 2);
  EXPECT_TRUE(v == 0 || v == 0xFFFFFF);
}

TEST(ConvertToGray, Weights) {
  DibImage d;
  d.CreateNew(5, 1, 24);
  d.SetPixels(0, 0, 0x0000FF);
  d.SetPixels(1, 0, 0x00FF00);
  d.SetPixels(2, 0, 0xFF0000);
  d.SetPixels(3, 0, 0xFFFFFF);
  d.SetPixels(4, 0, 0x000000);
  ConvertToGray(d, 0, 0, 4, 0);
  EXPECT_EQ(d.GetPixels(0, 0), 76u * 0x010101);
  EXPECT_EQ(d.GetPixels(1, 0), 150u * 0x010101);
  EXPECT_EQ(d.GetPixels(2, 0), 27u * 0x010101);
  EXPECT_EQ(d.GetPixels(3, 0), 0xFFFFFFu);
  EXPECT_EQ(d.GetPixels(4, 0), 0u);
}
