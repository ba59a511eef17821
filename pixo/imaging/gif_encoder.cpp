#include "pixo/imaging/gif_encoder.h"

#include <algorithm>
#include <cstring>

#include "pixo/base/errors.h"

namespace pixo {

namespace {
[[noreturn]] void RaiseGif(const char* text) { Raise(ErrorKind::GifException, text); }
}  // namespace

int TGIFColorMap::BitsPerPixel() const {
  const int n = Count();
  if (n == 0) return 0;
  for (int b = 1; b <= 8; ++b) {
    if ((1 << b) >= n) return b;
  }
  return 8;
}

void LzwStringTable::Clear() { std::fill(slots_.begin(), slots_.end(), kEmpty); }

int LzwStringTable::Find(uint32_t key) const {
  const uint32_t slot = slots_[Probe(key)];
  return slot == kEmpty ? -1 : int(slot & 0xFFF);
}

size_t LzwStringTable::Extend(const uint8_t* pixels, size_t i, size_t count, uint32_t colours, uint32_t& prefix,
                              uint32_t& index) const {
  const uint32_t* const slots = slots_.data();
  uint32_t code = prefix;
  for (; i < count; ++i) {
    const uint32_t k = pixels[i];
    if (k >= colours) RaiseGif("Color not in color table");
    const uint32_t key = code << 8 | k;
    uint32_t at = FirstIndex(code, k);
    uint32_t slot = slots[at];
    // An empty slot never matches: its key part would be 0xFFFFF, and no prefix code
    // reaches 4095. So a hit at the first probe costs one comparison.
    if ((slot >> 12) != key) {
      at = Reduce(at);
      if (slot != kEmpty) {
        at = ProbeFrom(key, at);
        slot = slots[at];
      }
      if (slot == kEmpty) {
        index = at;
        break;
      }
    }
    code = slot & 0xFFF;
  }
  prefix = code;
  return i;
}

void SubBlockWriter::FlushBlock() {
  if (count_ == 0) return;
  block_[0] = uint8_t(count_);
  out_.Write(block_, size_t(count_) + 1);
  count_ = 0;
}

void SubBlockWriter::Finish() {
  FlushBlock();
  out_.WriteByte(0);
}

void TLZWEncoder::Encode(OutStream& out, const uint8_t* pixels, size_t count, int colourCount,
                         int bitsPerPixel) {
  const int m = std::max(2, bitsPerPixel);
  out.WriteByte(uint8_t(m));
  const int clear = 1 << m, end = clear + 1;
  SubBlockWriter blocks(out);
  BitPacker packer(blocks);
  int width = m + 1;
  int nextCode = clear + 2;
  auto table = std::make_unique<LzwStringTable>();

  auto output = [&](int code) {
    packer.Put(uint32_t(code), width);
    if (code == clear) {
      width = m + 1;
    } else if (width < 12 && nextCode > (1 << width) - 1) {
      ++width;
    }
  };

  if (count == 0) {
    output(end);
    packer.Flush();
    blocks.Finish();
    return;
  }
  output(clear);
  if (pixels[0] >= colourCount) RaiseGif("Color not in color table");
  uint32_t prefix = pixels[0];
  size_t i = 1;
  while (i < count) {
    uint32_t index = 0;
    i = table->Extend(pixels, i, count, uint32_t(colourCount), prefix, index);
    if (i == count) break;
    // pixels[i] does not extend the string: write its code, start a new one.
    const uint32_t k = pixels[i++];
    output(int(prefix));
    if (nextCode >= 4095) {
      output(clear);
      table->Clear();
      nextCode = clear + 2;
    } else {
      table->Store(index, prefix << 8 | k, nextCode++);
    }
    prefix = k;
  }
  output(int(prefix));
  output(end);
  packer.Flush();
  blocks.Finish();
}

void TGIFImage::Clear() {
  Frames.clear();
  Header.globalMap.colours.clear();
  Header.width = 0;
  Header.height = 0;
}

void TGIFImage::AddFrame(TGIFSubImage frame) {
  // Enlargements of the logical screen would be reported as warnings to a handler
  // that this program does not install.
  Header.width = std::max<uint16_t>(Header.width, uint16_t(frame.left + frame.width));
  Header.height = std::max<uint16_t>(Header.height, uint16_t(frame.top + frame.height));
  Frames.push_back(std::move(frame));
}

void TGIFImage::SaveToStream(OutStream& out) {
  if (Frames.empty()) RaiseGif("Unsupported GIF version");
  bool needs89a = Header.globalMap.optimized;
  for (const auto& f : Frames) needs89a = needs89a || f.localMap.optimized;
  out.Write(needs89a ? "GIF89a" : "GIF87a", 6);

  int bits = Header.globalMap.BitsPerPixel();
  for (const auto& f : Frames) bits = std::max(bits, f.localMap.BitsPerPixel());
  uint8_t packed = 0;
  if (Header.globalMap.Count() > 0) packed |= 0x80;
  if (Header.globalMap.optimized) packed |= 0x08;
  if (bits > 0) packed |= uint8_t(((bits - 1) << 4) | (bits - 1));
  Header.packed = packed;
  out.WriteLE16(Header.width);
  out.WriteLE16(Header.height);
  out.WriteByte(packed);
  out.WriteByte(0);
  out.WriteByte(0);
  if (Header.globalMap.Count() > 0) {
    const int gb = Header.globalMap.BitsPerPixel();
    std::vector<GifRgb> table(size_t(1) << gb, GifRgb{0, 0, 0});
    std::copy(Header.globalMap.colours.begin(), Header.globalMap.colours.end(), table.begin());
    out.Write(table.data(), table.size() * 3);
  }

  for (auto& f : Frames) {
    const int fb = f.localMap.BitsPerPixel();
    if (f.localMap.Count() > 0) {
      f.packed = uint8_t((f.localMap.optimized ? 0xA0 : 0x80) | (fb - 1));
    } else {
      f.packed &= 0x58;  // only the interlace bit and the reserved bits stay
    }
    out.WriteByte(0x2C);
    out.WriteLE16(f.left);
    out.WriteLE16(f.top);
    out.WriteLE16(f.width);
    out.WriteLE16(f.height);
    out.WriteByte(f.packed);
    if (f.localMap.Count() > 0) {
      std::vector<GifRgb> table(size_t(1) << fb, GifRgb{0, 0, 0});
      std::copy(f.localMap.colours.begin(), f.localMap.colours.end(), table.begin());
      out.Write(table.data(), table.size() * 3);
    }
    TLZWEncoder encoder;
    encoder.Encode(out, f.pixels.data(), size_t(f.width) * size_t(f.height), f.localMap.Count(), fb);
  }
  out.WriteByte(0x3B);
}

void TGIFImage::SaveToFile(const std::wstring& name) {
  FileStream file(name);
  SaveToStream(file);
  file.Commit();
}

TGIFSubImage GifFrameFrom(const ImageView& eightBit) {
  if (eightBit.bitCount != 8) Raise(ErrorKind::Gif, "GIF frame: not an 8-bit image");
  TGIFSubImage frame;
  frame.width = uint16_t(eightBit.width);
  frame.height = uint16_t(eightBit.height);
  frame.pixels.resize(size_t(frame.width) * frame.height);
  for (int y = 0; y < frame.height; ++y)
    std::memcpy(frame.pixels.data() + size_t(y) * frame.width, eightBit.Row(y), frame.width);
  return frame;
}

}  // namespace pixo
