// GIF87a writing: colour maps, the LZW encoder (string table, bit packer, sub-block
// writer) and the file structure. Pure computation.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../capture/stream.h"

namespace pixo {

struct GifRgb {
  uint8_t red, green, blue;
};

class TGIFColorMap {
 public:
  std::vector<GifRgb> colours;
  bool optimized = false;
  int Count() const { return int(colours.size()); }
  // Capacity as the map grows: 16 up to 16 colours, else a multiple of 32, at most 256.
  int Capacity() const;
  // 0 for an empty map, else the smallest n (1..8) with 2^n >= count.
  int BitsPerPixel() const;
};

// Open-addressing table of LZW strings: 8009 slots of key << 12 | code.
class LzwStringTable {
 public:
  static constexpr int kSize = 8009;
  LzwStringTable() : slots_(kSize) { Clear(); }
  void Clear();
  // The code of key, or -1.
  int Find(uint32_t key) const;
  void Insert(uint32_t key, int code);
  // The slot that holds key, or the empty slot where key belongs: one probe sequence
  // serves the lookup and the insertion that follows a miss.
  uint32_t* Probe(uint32_t key) { return ProbeIn(slots_.data(), key); }
  static uint32_t* ProbeIn(uint32_t* slots, uint32_t key) {
    uint32_t index = (key ^ (key >> 4)) % uint32_t(kSize);
    uint32_t* slot = slots + index;
    if (*slot == 0xFFFFFFFFu || (*slot >> 12) == key) return slot;
    const uint32_t step = index == 0 ? 1 : uint32_t(kSize) - index;
    for (;;) {
      index = index >= step ? index - step : index + uint32_t(kSize) - step;
      slot = slots + index;
      if (*slot == 0xFFFFFFFFu || (*slot >> 12) == key) return slot;
    }
  }
  uint32_t* Slots() { return slots_.data(); }

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
