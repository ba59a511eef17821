// The GDI side of the image writers: the capture bitmap seen as an image description,
// copied into the writers' own images and back.
#include <windows.h>

#include <cstring>

#include "pixo/base/errors.h"
#include "pixo/capture/gdi_imaging.h"
#include "pixo/capture/tbitmap.h"
#include "pixo/base/stream.h"
#include "pixo/imaging/gif_encoder.h"
#include "pixo/imaging/png_image.h"

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

// The bit count the writers' own images use for a bitmap: 16 and 32 bits become 24.
int WriterBitCount(const TBitmap& bitmap) {
  const int bitCount = BitCountOf(bitmap.Handle());
  return bitCount == 16 || bitCount == 32 ? 24 : bitCount;
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
  if (GetDIBits(screen.get(), bitmap.Handle(), 0, UINT(bitmap.Height()), bits, reinterpret_cast<BITMAPINFO*>(&info),
                DIB_RGB_COLORS) == 0)
    RaiseOutOfResources();
}

Rgb4 Entry(const RGBQUAD& q) { return Rgb4{q.rgbBlue, q.rgbGreen, q.rgbRed, 0}; }

}  // namespace

void PngFromBitmap(const TBitmap& bitmap, PngImage& png) {
  if (bitmap.Empty()) {
    png.DropImage();
    return;
  }
  ImageView section;
  if (SectionView(bitmap, section) && (section.bitCount == 1 || section.bitCount == 4 || section.bitCount == 8 ||
                                       section.bitCount == 24 || section.bitCount == 32)) {
    png.NewImage(section.width, section.height, section.bitCount);
    const ImageView target = png.View();
    uint8_t* pixels = png.Pixels();
    for (int32_t y = 0; y < section.height; ++y) {
      std::memcpy(pixels + MemoryRowOf(y, target.height, target.topDown) * size_t(target.stride), section.Row(y),
                  size_t(target.stride));
    }
    if (section.bitCount <= 8) {
      RGBQUAD table[256];
      BitmapCanvas canvas(bitmap);
      const UINT n = GetDIBColorTable(canvas.dc(), 0, 256, table);
      std::vector<Rgb4>& colours = png.Colours();
      for (UINT i = 0; i < n && i < colours.size(); ++i) colours[i] = Entry(table[i]);
      if (n > 0) colours.resize(n);
    }
    return;
  }
  const int bitCount = WriterBitCount(bitmap);
  png.NewImage(bitmap.Width(), bitmap.Height(), bitCount);
  InfoWithTable info;
  ReadBits(bitmap, bitCount, png.Pixels(), info);
  std::vector<Rgb4>& colours = png.Colours();
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = Entry(info.colours[i]);
}

TGIFSubImage GifFrameFromBitmap(const TBitmap& bitmap) {
  TGIFSubImage frame;
  ImageView section;
  if (SectionView(bitmap, section) && section.bitCount == 8) {
    frame = GifFrameFrom(section);
  } else {
    // Not an 8-bit section: read it through a DibImage widened to 8 bits.
    DibImage dib = DibFromBitmap(bitmap);
    if (dib.PixelFormat() != dib8Bit) dib.SetPixelFormat(dib8Bit);
    frame = GifFrameFrom(dib.View());
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

// The capture as a DibImage: its pixels through GetDIBits, at 24 bits for 16- and 32-bit
// bitmaps, with the colour table of palette formats.
DibImage DibFromBitmap(const TBitmap& bitmap) {
  DibImage dib;
  if (bitmap.Empty()) return dib;
  const int bitCount = WriterBitCount(bitmap);
  dib.CreateNew(bitmap.Width(), bitmap.Height(), bitCount);
  DibData* d = dib.MutableData();
  InfoWithTable info;
  ReadBits(bitmap, bitCount, d->pixels.data(), info);
  d->header.biClrUsed = bitCount <= 8 ? info.header.biClrUsed : 0;
  if (bitCount <= 8) {
    for (int i = 0; i < 256; ++i) d->colours[i] = Entry(info.colours[i]);
    if (d->header.biClrUsed == 0) d->header.biClrUsed = 1u << bitCount;
  }
  return dib;
}

// Replaces the bitmap by a DIB section holding the image.
void DibToBitmap(const DibImage& dib, TBitmap& bitmap) {
  int bitCount;
  switch (dib.PixelFormat()) {
    case dib1Bit: bitCount = 1; break;
    case dib4Bit: case dib4BitRLE: bitCount = 4; break;
    case dib8Bit: case dib8BitRLE: bitCount = 8; break;
    case dib24Bit: bitCount = 24; break;
    default: Raise(ErrorKind::DibImage, "TDibImage.AssignTo: Illegal PixelFormat");
  }
  bitmap.SetFromDib(dib.Width(), dib.Height(), bitCount, dib.Colours(), dib.Data()->pixels.data());
}

}  // namespace pixo
