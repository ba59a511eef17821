// The GDI side of the image writers: copying a capture bitmap into the writers' own
// images and back.
#include <windows.h>

#include <cstring>

#include "../capture/errors.h"
#include "../capture/output_writers.h"
#include "../capture/tbitmap.h"
#include "dib_image.h"
#include "gif_encoder.h"
#include "png_image.h"

namespace pixo {

namespace {

struct InfoWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

// Bit count of a bitmap as planes x bits per pixel.
int BitCountOf(HBITMAP handle) {
  BITMAP bm{};
  if (GetObjectW(handle, sizeof bm, &bm) == 0) RaiseOutOfResources();
  return bm.bmPlanes * bm.bmBitsPixel;
}

// Reads all rows of a bitmap as a bottom-up DIB of the given bit count into bits,
// filling the colour table of palette formats.
void ReadBits(const TBitmap& bitmap, int bitCount, void* bits, InfoWithTable& info) {
  info = InfoWithTable{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = bitmap.Width();
  info.header.biHeight = bitmap.Height();
  info.header.biPlanes = 1;
  info.header.biBitCount = WORD(bitCount);
  info.header.biCompression = BI_RGB;
  WindowDC screen(nullptr, false);
  PaletteGuard palette(screen.get(), bitmap.Palette());
  GetDIBits(screen.get(), bitmap.Handle(), 0, UINT(bitmap.Height()), bits,
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
}

}  // namespace

void DibImage::AssignFrom(const TBitmap& bitmap) {
  if (bitmap.Empty()) {
    Clear();
    return;
  }
  int bitCount = BitCountOf(bitmap.Handle());
  if (bitCount == 16 || bitCount == 32) bitCount = 24;
  DibImage fresh;
  fresh.CreateNew(bitmap.Width(), bitmap.Height(), bitCount);
  DibData* d = fresh.data_.get();
  InfoWithTable info;
  ReadBits(bitmap, bitCount, d->pixels.data(), info);
  d->header.biClrUsed = bitCount <= 8 ? info.header.biClrUsed : 0;
  if (bitCount <= 8) {
    for (int i = 0; i < 256; ++i)
      d->colours[i] = Rgb4{info.colours[i].rgbBlue, info.colours[i].rgbGreen, info.colours[i].rgbRed, 0};
    if (d->header.biClrUsed == 0) d->header.biClrUsed = 1u << bitCount;
  }
  d->paletteChanged = true;
  data_ = std::move(fresh.data_);
  ++changes_;
}

void DibImage::AssignTo(TBitmap& bitmap) const {
  const int format = PixelFormat();
  int bitCount;
  switch (format) {
    case dib1Bit: bitCount = 1; break;
    case dib4Bit: case dib4BitRLE: bitCount = 4; break;
    case dib8Bit: case dib8BitRLE: bitCount = 8; break;
    case dib24Bit: bitCount = 24; break;
    default: Raise("EDibImageError", "TDibImage.AssignTo: Illegal PixelFormat");
  }
  bitmap.SetFromDib(Width(), Height(), bitCount, Colours(), data_->pixels.data());
}

void PngImage::Assign(const TBitmap& bitmap) {
  if (bitmap.Empty()) {
    image_.reset();
    return;
  }
  if (const DIBSECTION* ds = bitmap.Section()) {
    const int bits = ds->dsBmih.biBitCount;
    if ((bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32) && ds->dsBmih.biCompression == BI_RGB) {
      GdiFlush();
      NewImage(bitmap.Width(), bitmap.Height(), bits);
      PngInternalImage& img = *image_;
      const int32_t rowBytes = img.Stride();
      const auto* src = static_cast<const uint8_t*>(ds->dsBm.bmBits);
      const bool bottomUp = !bitmap.TopDown();
      for (int32_t y = 0; y < img.height; ++y) {  // y counts memory rows, bottom-up
        const int32_t from = bottomUp ? y : img.height - 1 - y;
        std::memcpy(img.pixels.data() + size_t(y) * size_t(rowBytes),
                    src + size_t(from) * size_t(ds->dsBm.bmWidthBytes), size_t(rowBytes));
      }
      if (bits <= 8) {
        RGBQUAD table[256];
        BitmapCanvas canvas(bitmap);
        const UINT n = GetDIBColorTable(canvas.dc(), 0, 256, table);
        for (UINT i = 0; i < n; ++i)
          img.colours[i] = Rgb4{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed, 0};
        if (n > 0) img.colourCount = int(n);
      }
      return;
    }
  }
  int bitCount = BitCountOf(bitmap.Handle());
  if (bitCount == 16 || bitCount == 32) bitCount = 24;
  NewImage(bitmap.Width(), bitmap.Height(), bitCount);
  InfoWithTable info;
  ReadBits(bitmap, bitCount, image_->pixels.data(), info);
  if (bitCount <= 8) {
    for (int i = 0; i < 256; ++i)
      image_->colours[i] = Rgb4{info.colours[i].rgbBlue, info.colours[i].rgbGreen, info.colours[i].rgbRed, 0};
  }
}

// A GIF frame from an 8-bit (or 1- or 4-bit) bitmap: colours from its palette, pixels
// from its scan lines, top row first.
TGIFSubImage GifFrameFrom(const TBitmap& bitmap) {
  TGIFSubImage frame;
  frame.width = uint16_t(bitmap.Width());
  frame.height = uint16_t(bitmap.Height());
  frame.pixels.resize(size_t(frame.width) * frame.height);
  const DIBSECTION* ds = bitmap.Section();
  if (ds && ds->dsBmih.biBitCount == 8 && ds->dsBmih.biCompression == BI_RGB) {
    GdiFlush();
    const auto* bits = static_cast<const uint8_t*>(ds->dsBm.bmBits);
    const bool bottomUp = !bitmap.TopDown();
    for (int y = 0; y < frame.height; ++y) {
      const int row = bottomUp ? frame.height - 1 - y : y;
      std::memcpy(frame.pixels.data() + size_t(y) * frame.width, bits + size_t(row) * size_t(ds->dsBm.bmWidthBytes),
                  frame.width);
    }
  } else {
    // Not an 8-bit section: read it through a DibImage widened to 8 bits.
    DibImage dib;
    dib.AssignFrom(bitmap);
    if (dib.PixelFormat() != dib8Bit) dib.SetPixelFormat(dib8Bit);
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(frame.pixels.data() + size_t(y) * frame.width, dib.Data()->Row(y), frame.width);
    if (!bitmap.Palette()) {
      for (const Rgb4& c : dib.Colours()) frame.localMap.colours.push_back(GifRgb{c.red, c.green, c.blue});
    }
  }
  if (HPALETTE pal = bitmap.Palette()) {
    PALETTEENTRY entries[256];
    const UINT n = GetPaletteEntries(pal, 0, 256, entries);
    for (UINT i = 0; i < n; ++i)
      frame.localMap.colours.push_back(GifRgb{entries[i].peRed, entries[i].peGreen, entries[i].peBlue});
  }
  return frame;
}

void WritePng(const TBitmap& image, const std::wstring& name) {
  PngImage png;
  png.Assign(image);
  png.SetCompressionLevel(0);
  png.SaveToFile(name);
}

void WriteGif(TBitmap& image, const std::wstring& name) {
  TGIFImage gif;
  DibImage dib;
  dib.AssignFrom(image);
  dib.SetPixelFormat(dib8Bit);
  dib.AssignTo(image);
  gif.Clear();
  gif.AddFrame(GifFrameFrom(image));
  gif.Compression = 0;
  gif.SaveToFile(name);
}

}  // namespace pixo
