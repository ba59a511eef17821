// The one description of an image in memory that every writer reads: its size, its bits
// per pixel, its colour table, and rows of `stride` bytes lying top row first or bottom
// row first. It owns nothing; the pixels belong to whoever made the view.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixo {

struct Rgb4 {  // colour-table entry as stored: blue, green, red, reserved
  uint8_t blue, green, red, reserved;
};

// Bytes per row, padded to a multiple of 4 (raises EIntOverflow for absurd sizes).
int32_t DibStride(int32_t width, int32_t bitCount);

// Which memory row holds picture row y (0 = top). The one place row order is decided.
inline size_t MemoryRowOf(int32_t y, int32_t height, bool topDown) {
  return size_t(topDown ? y : height - 1 - y);
}

// Rows that land from the top down while a writer reads them (a capture being read from
// the screen band after band): a view with a gate hands out a row only once it is there.
class RowGate {
 public:
  virtual ~RowGate() = default;
  // Returns once picture rows 0 to y have landed; raises what stopped them from landing.
  virtual void WaitFor(int32_t y) const = 0;
};

struct ImageView {
  int32_t width = 0;
  int32_t height = 0;  // rows; always positive
  int bitCount = 24;   // 1, 4, 8 (palette), 16, 24 (BGR) or 32 (BGRX)
  std::vector<Rgb4> colours;
  const uint8_t* bits = nullptr;
  int32_t stride = 0;
  bool topDown = false;
  const RowGate* gate = nullptr;  // none: every row is there

  // Picture row y, 0 the top one.
  const uint8_t* Row(int32_t y) const {
    if (gate) gate->WaitFor(y);
    return bits + MemoryRowOf(y, height, topDown) * size_t(stride);
  }
};

}  // namespace pixo
