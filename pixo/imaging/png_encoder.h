// PNG encoding in layers: chunk framing, row filtering, and one deflate stream cut into
// IDAT chunks. Pure computation over an in-memory DIB.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pixo/base/image.h"
#include "pixo/base/stream.h"
#include "pixo/imaging/png_deflate.h"

namespace pixo {

struct PngOptions {
  int32_t filter = 0;     // 0: adaptive over all five filter types
  int32_t interlace = 0;  // 0: none, 1: Adam7
  int32_t level = 0;      // 0: zlib default, 1: level 1, 2: level 9
  // The pHYs chunk: pixels per unit (none written when either is 0) and the unit.
  uint32_t pixelsPerUnitX = 1, pixelsPerUnitY = 1;
  uint8_t unit = 0;
  // Threads that deflate: 0 for as many as the machine has cores (one for small images).
  uint32_t threads = 0;
  // 32-bit pixels: their fourth byte is padding (BGRX, a capture), written as RGB; else
  // it is alpha (RGBA).
  bool padded = false;
  // A thread that is there already and would be idle (the one that lands a capture's
  // rows): runs a deflating job once it has landed them, or says it cannot. None: the
  // writer's own threads alone.
  ParallelIdatWriter::Lend lend;
};

// Maps the writer's compression option to a zlib level.
int ZlibLevel(int32_t option);

// Writes chunks: length, type, data and the CRC-32 over type and data.
class ChunkWriter {
 public:
  explicit ChunkWriter(OutStream& out) : out_(out) {}
  void Write(const char type[4], const void* data, uint32_t size);

 private:
  OutStream& out_;
};

// Chooses a filter for one row by the minimum sum of absolute differences and fills
// the chosen filtered row (type byte first). raw and prev hold the type byte too.
class RowFilter {
 public:
  void Reset(size_t rowBytes, int bytesPerPixel);
  // Returns the filtered row (type byte and data), valid until the next call.
  const std::vector<uint8_t>& Choose(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& prev);

 private:
  int bpp_ = 1;
  std::vector<uint8_t> filtered_[5];
};

// Writes a whole PNG file: signature, IHDR, the writer's identification chunk, PLTE
// for palette images, pHYs, IDAT chunks and IEND.
void EncodePng(OutStream& out, const ImageView& image, const PngOptions& options);

// The identification text in the private chunk after IHDR.
inline constexpr const char* kPngWriterId = "pixo PNG writer 1.0";

}  // namespace pixo
