#include "tests/support/decoders.h"

#include <csetjmp>
#include <cstring>

namespace testsupport {

namespace {

struct MemoryReader {
  const std::vector<uint8_t>* file;
  size_t pos;
};

}  // namespace

bool DecodePng(const std::vector<uint8_t>& file, PngPicture& d, std::string& error) {
  d = PngPicture();
  png_structp png = png_create_read_struct(
      PNG_LIBPNG_VER_STRING, &error,
      [](png_structp p, png_const_charp message) {
        *static_cast<std::string*>(png_get_error_ptr(p)) = message;
        png_longjmp(p, 1);
      },
      nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&file, 0};
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
    if (n > r->file->size() - r->pos) png_error(p, "the file ends early");
    std::memcpy(out, r->file->data() + r->pos, n);
    r->pos += n;
  });
  std::vector<png_bytep> pointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (error.empty()) error = "libpng failed";
    return false;
  }
  png_read_info(png, info);
  d.width = int(png_get_image_width(png, info));
  d.height = int(png_get_image_height(png, info));
  d.colourType = png_get_color_type(png, info);
  d.depth = png_get_bit_depth(png, info);
  d.interlace = png_get_interlace_type(png, info);
  if (d.colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal;
    int n;
    png_get_PLTE(png, info, &pal, &n);
    d.palette.assign(pal, pal + n);
    if (d.depth < 8) png_set_packing(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  d.rows.assign(size_t(d.height), std::vector<uint8_t>(png_get_rowbytes(png, info)));
  for (auto& r : d.rows) pointers.push_back(r.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool DecodeGif(const std::vector<uint8_t>& file, GifPicture& d, std::string& error) {
  d = GifPicture();
  MemoryReader reader{&file, 0};
  int err = 0;
  GifFileType* gif = DGifOpen(
      &reader,
      [](GifFileType* g, GifByteType* out, int n) {
        auto* r = static_cast<MemoryReader*>(g->UserData);
        const size_t left = r->file->size() - r->pos;
        if (size_t(n) > left) n = int(left);
        std::memcpy(out, r->file->data() + r->pos, size_t(n));
        r->pos += size_t(n);
        return n;
      },
      &err);
  if (!gif) {
    error = std::string("DGifOpen: ") + GifErrorString(err);
    return false;
  }
  bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0;
  if (!ok) {
    error = std::string("DGifSlurp: ") + (gif->Error ? GifErrorString(gif->Error) : "no image");
  } else {
    const SavedImage& im = gif->SavedImages[0];
    d.width = im.ImageDesc.Width;
    d.height = im.ImageDesc.Height;
    d.indexes.assign(im.RasterBits, im.RasterBits + size_t(d.width) * size_t(d.height));
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    if (map) {
      d.colourBits = map->BitsPerPixel;
      d.colours.assign(map->Colors, map->Colors + map->ColorCount);
    }
  }
  DGifCloseFile(gif, &err);
  return ok;
}

}  // namespace testsupport
