#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "pixo/base/errors.h"
#include "pixo/imaging/gif_encoder.h"
#include "tests/support/decoders.h"

using namespace pixo;

namespace {

using GifDecoded = testsupport::GifPicture;

GifDecoded Decode(const std::vector<uint8_t>& f) {
  GifDecoded d;
  std::string error;
  if (!testsupport::DecodeGif(f, d, error)) ADD_FAILURE() << error;
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

// LZW as the file format describes it, with a dictionary that has nothing to do with
// the encoder's table: the bytes must come out the same, since codes are given out in
// order and the clear comes when code 4095 would be assigned.
std::vector<uint8_t> ReferenceLzw(const std::vector<uint8_t>& pixels, int bitsPerPixel) {
  const int m = std::max(2, bitsPerPixel), clear = 1 << m, end = clear + 1;
  std::vector<uint8_t> bytes;
  uint64_t buffer = 0;
  int bits = 0, width = m + 1, next = clear + 2;
  std::map<std::pair<int, int>, int> strings;
  auto put = [&](int code) {
    buffer |= uint64_t(code) << bits;
    for (bits += width; bits >= 8; bits -= 8, buffer >>= 8) bytes.push_back(uint8_t(buffer));
    if (code == clear)
      width = m + 1;
    else if (width < 12 && next > (1 << width) - 1)
      ++width;
  };
  put(clear);
  int prefix = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    const auto found = strings.find({prefix, pixels[i]});
    if (found != strings.end()) {
      prefix = found->second;
      continue;
    }
    put(prefix);
    if (next >= 4095) {
      put(clear);
      strings.clear();
      next = clear + 2;
    } else {
      strings[{prefix, pixels[i]}] = next++;
    }
    prefix = pixels[i];
  }
  put(prefix);
  put(end);
  if (bits > 0) bytes.push_back(uint8_t(buffer));
  std::vector<uint8_t> framed{uint8_t(m)};
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    framed.push_back(uint8_t(n));
    framed.insert(framed.end(), bytes.begin() + long(at), bytes.begin() + long(at + n));
  }
  framed.push_back(0);
  return framed;
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

TEST(GifColorMap, BitsPerPixel) {
  TGIFColorMap m;
  EXPECT_EQ(m.BitsPerPixel(), 0);
  const int expected[] = {0, 1, 1, 2, 2, 3};
  for (int n = 1; n <= 5; ++n) {
    m.colours.push_back({0, 0, 0});
    EXPECT_EQ(m.BitsPerPixel(), expected[n]);
  }
  m.colours.resize(17);
  EXPECT_EQ(m.BitsPerPixel(), 5);
  m.colours.resize(200);
  EXPECT_EQ(m.BitsPerPixel(), 8);
}

TEST(LzwStringTable, InsertFindAndClear) {
  LzwStringTable t;
  for (uint32_t k = 0; k < 3000; ++k) t.Insert(k * 7919 % 1048576, int(k + 258));
  for (uint32_t k = 0; k < 3000; ++k) ASSERT_EQ(t.Find(k * 7919 % 1048576), int(k + 258));
  EXPECT_EQ(t.Find(1048575), -1);
  t.Clear();
  EXPECT_EQ(t.Find(7919), -1);
}

TEST(LzwStringTable, EncoderFirstProbeIsTheTablesOwn) {
  // The encoder finds the first slot of prefix << 8 | k without a division; it must be
  // the slot of (key ^ key >> 4) mod 8009 for every prefix code and pixel.
  for (uint32_t prefix = 0; prefix < 4096; ++prefix) {
    for (uint32_t k = 0; k < 256; ++k) {
      const uint32_t key = prefix << 8 | k;
      ASSERT_EQ(LzwStringTable::Reduce(LzwStringTable::FirstIndex(prefix, k)), (key ^ (key >> 4)) % 8009u)
          << prefix << " " << k;
    }
  }
}

TEST(LzwEncoder, SameBytesAsAPlainDictionary) {
  std::mt19937 rng(7);
  struct Input {
    const char* what;
    int bits;
    std::vector<uint8_t> pixels;
  };
  std::vector<Input> inputs;
  auto make = [&](const char* what, int bits, size_t n, auto pixel) {
    Input in{what, bits, {}};
    for (size_t i = 0; i < n; ++i) in.pixels.push_back(uint8_t(pixel(i)));
    inputs.push_back(in);
  };
  make("noise, 256 colours", 8, 300000, [&](size_t) { return rng() % 256; });
  make("noise, 3 colours", 2, 300000, [&](size_t) { return rng() % 3; });
  make("runs of 131 colours", 8, 600000, [&](size_t) {
    static int c = 0, left = 0;
    if (left-- <= 0) {
      c = int(rng() % 131);
      left = int(rng() % 40);
    }
    return c;
  });
  make("one colour", 1, 200000, [](size_t) { return 0; });
  make("ramp", 8, 400000, [](size_t i) { return (i / 7) % 256; });
  make("one pixel", 4, 1, [](size_t) { return 9; });
  for (const auto& in : inputs) {
    MemoryStream m;
    TLZWEncoder().Encode(m, in.pixels.data(), in.pixels.size(), 1 << in.bits, in.bits);
    const auto expected = ReferenceLzw(in.pixels, in.bits);
    ASSERT_EQ(m.bytes.size(), expected.size()) << in.what;
    EXPECT_TRUE(m.bytes == expected) << in.what;
  }
}
