// GIF87a writing: colour maps, the LZW encoder (string table, bit packer, sub-block
// writer) and the file structure. Pure computation.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixo/base/image.h"
#include "pixo/base/stream.h"

namespace pixo {

struct GifRgb {
  uint8_t red, green, blue;
};

class TGIFColorMap {
 public:
  std::vector<GifRgb> colours;
  bool optimized = false;
  int Count() const { return int(colours.size()); }
  // 0 for an empty map, else the smallest n (1..8) with 2^n >= count.
  int BitsPerPixel() const;
};

// ((p ^ p >> 4) << 8) mod 8009 for every prefix code p.
struct LzwHighRemainders {
  uint16_t value[4096];
  constexpr LzwHighRemainders() : value() {
    for (uint32_t p = 0; p < 4096; ++p) value[p] = uint16_t(((p ^ (p >> 4)) << 8) % 8009u);
  }
};
inline constexpr LzwHighRemainders kLzwHighRemainders{};

// Open-addressing table of LZW strings: 8009 slots of key << 12 | code, all bits set
// when empty. The first probe of a key is (key ^ key >> 4) mod 8009; a collision moves
// the index down by 8009 - index (by 1 from index 0), wrapping around.
//
// 256 more slots after the last repeat the first 256, so a first probe may be read at
// (key ^ key >> 4) mod 8009 + 8009 as well: the encoder then finds it without reducing
// the index, which keeps the lookup of one pixel short.
class LzwStringTable {
 public:
  static constexpr uint32_t kSize = 8009;
  static constexpr uint32_t kMirrored = 256;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  LzwStringTable() : slots_(kSize + kMirrored) { Clear(); }
  void Clear();
  // The code of key, or -1.
  int Find(uint32_t key) const;
  void Insert(uint32_t key, int code) { Store(Probe(key), key, code); }

  // The first probe of prefix << 8 | k, unreduced (below kSize + kMirrored): with
  // y = prefix ^ (prefix >> 4), key ^ (key >> 4) is (y << 8) + ((prefix & 15) << 4 ^ k ^ k >> 4),
  // and the remainder of y << 8 is looked up by prefix code.
  static uint32_t FirstIndex(uint32_t prefix, uint32_t k) {
    return kLzwHighRemainders.value[prefix] + ((((prefix & 15) << 4) ^ k ^ (k >> 4)));
  }
  static uint32_t Reduce(uint32_t index) { return index >= kSize ? index - kSize : index; }
  // The index of the slot that holds key, or of the empty slot where it belongs, from
  // the key's first probe (reduced) on: one probe sequence serves a lookup and the
  // insertion that follows a miss.
  uint32_t ProbeFrom(uint32_t key, uint32_t index) const {
    const uint32_t* slots = slots_.data();
    if (slots[index] == kEmpty || (slots[index] >> 12) == key) return index;
    const uint32_t step = index == 0 ? 1 : kSize - index;
    for (;;) {
      index = index >= step ? index - step : index + kSize - step;
      if (slots[index] == kEmpty || (slots[index] >> 12) == key) return index;
    }
  }
  uint32_t Probe(uint32_t key) const { return ProbeFrom(key, (key ^ (key >> 4)) % kSize); }
  // Walks from the string `prefix` through pixels[i], pixels[i + 1], ... while the table
  // knows the longer string. Returns the index of the first pixel that makes an unknown
  // string (count when there is none), with prefix set to the code of the longest known
  // string and index to the empty slot where the unknown one belongs. A pixel not below
  // `colours` raises "Color not in color table".
  size_t Extend(const uint8_t* pixels, size_t i, size_t count, uint32_t colours, uint32_t& prefix,
                uint32_t& index) const;
  void Store(uint32_t index, uint32_t key, int code) {
    slots_[index] = key << 12 | uint32_t(code);
    if (index < kMirrored) slots_[kSize + index] = slots_[index];
  }

 private:
  std::vector<uint32_t> slots_;
};

// Collects bytes into data sub-blocks of at most 255 bytes.
class SubBlockWriter {
 public:
  explicit SubBlockWriter(OutStream& out) : out_(out) {}
  void Put(uint8_t b) {
    block_[++count_] = b;
    if (count_ == 255) FlushBlock();
  }
  // Writes the pending block, if any, and the zero-length terminator.
  void Finish();

 private:
  void FlushBlock();
  OutStream& out_;
  uint8_t block_[256] = {};
  int count_ = 0;
};

// Packs codes least significant bit first.
class BitPacker {
 public:
  explicit BitPacker(SubBlockWriter& blocks) : blocks_(blocks) {}
  void Put(uint32_t code, int width) {
    buffer_ |= uint64_t(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      blocks_.Put(uint8_t(buffer_));
      buffer_ >>= 8;
      bits_ -= 8;
    }
  }
  void Flush() {
    if (bits_ > 0) blocks_.Put(uint8_t(buffer_));
    buffer_ = 0;
    bits_ = 0;
  }

 private:
  SubBlockWriter& blocks_;
  uint64_t buffer_ = 0;
  int bits_ = 0;
};

class TLZWEncoder {
 public:
  // Writes the minimum code size byte and the data sub-blocks of one frame's pixels.
  void Encode(OutStream& out, const uint8_t* pixels, size_t count, int colourCount, int bitsPerPixel);
};

struct TGIFSubImage {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  uint8_t packed = 0;
  TGIFColorMap localMap;
  std::vector<uint8_t> pixels;  // one index per pixel, rows top to bottom
  bool interlaced = false;
};

// A frame with the pixels of an 8-bit image, rows top first; no colour map yet.
TGIFSubImage GifFrameFrom(const ImageView& eightBit);

struct TGIFHeader {
  uint16_t width = 0, height = 0;
  uint8_t packed = 0, background = 0, aspect = 0;
  TGIFColorMap globalMap;
};

class TGIFImage {
 public:
  uint8_t Compression = 1;  // 0: LZW, 1: run-length
  TGIFHeader Header;
  std::vector<TGIFSubImage> Frames;

  void Clear();
  // Adds a frame, enlarging the logical screen where it is smaller.
  void AddFrame(TGIFSubImage frame);
  void SaveToStream(OutStream& out);
  void SaveToFile(const std::wstring& name);
};

}  // namespace pixo
