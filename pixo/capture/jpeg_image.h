// The JPEG image object of the "/J" output.
#pragma once
#include <string>
#include <vector>

#include "pixo/capture/tbitmap.h"

namespace pixo {

// The JPEG data of a bitmap made from a 24-bit copy of it; the bitmap is not changed.
std::vector<uint8_t> CompressJpegThrough24Bit(const TBitmap& bitmap, int quality);

class TJPEGImage {
 public:
  int Quality = 90;
  bool Grayscale = false;
  bool Progressive = false;

  void Assign(const TBitmap& bitmap) {
    bitmap_.Assign(bitmap);
    data_.clear();
  }
  // Turns the bitmap into JPEG data held in memory (the shot writer's JPEG); the assigned
  // image is not changed.
  void Compress();
  // Writes the data, compressing first when there is none yet.
  void SaveToStream(OutStream& out);
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  TBitmap bitmap_;
  std::vector<uint8_t> data_;
  bool compressed_ = false;
};

}  // namespace pixo
