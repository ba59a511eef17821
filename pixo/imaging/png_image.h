// The graphic that writes a capture as PNG: its own copy of the pixels (rows bottom-up,
// each padded to 4 bytes) and the writer's options.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixo/base/image.h"
#include "pixo/base/pixel_block.h"
#include "pixo/base/stream.h"
#include "pixo/imaging/png_encoder.h"

namespace pixo {

class PngImage {
 public:
  PngImage() { NewImage(8, 8, 1); }  // an 8 x 8 one-bit placeholder

  // A new zero-filled image; bit count 1, 4, 8, 24 or 32. Palette formats get a table of
  // 2, 16 or 256 black entries.
  void NewImage(int32_t width, int32_t height, int bitCount);
  // Takes the image away: an empty capture leaves the writer with none, and saving then
  // fails.
  void DropImage() { image_.reset(); }
  bool HasImage() const { return image_ != nullptr; }
  // The image to fill: pixels and colour table (the table may be cut to the entries a
  // source has). Only while there is an image.
  uint8_t* Pixels() { return image_->pixels.data(); }
  std::vector<Rgb4>& Colours() { return image_->colours; }
  ImageView View() const;

  // Accepts 0 (zlib's default), 1 (fastest) or 2 (best); anything else is refused.
  void SetCompressionLevel(int level);
  int CompressionLevel() const { return options_.level; }

  void SaveToStream(OutStream& out);
  void SaveToFile(const std::wstring& name);

 private:
  struct Stored {
    int32_t width = 0;
    int32_t height = 0;
    int bitCount = 0;
    std::vector<Rgb4> colours;
    PixelBlock pixels;
  };
  std::shared_ptr<Stored> image_;
  PngOptions options_;
};

}  // namespace pixo
