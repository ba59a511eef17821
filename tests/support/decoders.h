// Independent decoders for the writers' output: libpng and giflib read a file from
// memory into plain rows, for the unit tests and the fuzz targets alike.
#pragma once
#include <gif_lib.h>
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct PngPicture {
  int width = 0, height = 0, colourType = 0, depth = 0, interlace = 0;
  // Rows as libpng gives them after expanding packed indexes to a byte each.
  std::vector<std::vector<uint8_t>> rows;
  std::vector<png_color> palette;
};

// Decodes a whole PNG file; false with the reason in error when libpng refuses it or it
// ends early.
bool DecodePng(const std::vector<uint8_t>& file, PngPicture& out, std::string& error);

struct GifPicture {
  int width = 0, height = 0, colourBits = 0;
  std::vector<uint8_t> indexes;  // the first frame's, rows top first
  std::vector<GifColorType> colours;
};

// Decodes the first frame of a GIF file; false with the reason in error.
bool DecodeGif(const std::vector<uint8_t>& file, GifPicture& out, std::string& error);

}  // namespace testsupport
