#include "pixo/capture/tbitmap.h"

#include <algorithm>
#include <cstring>

#include "pixo/base/errors.h"
#include "pixo/capture/shot_writer.h"

namespace pixo {

namespace {

// BITMAPINFO with room for a full colour table.
struct InfoWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

// An uncompressed DIB of the size and bit count (a negative height: top-down), its colour
// table black.
InfoWithTable DibInfo(int width, int height, int bitCount) {
  InfoWithTable info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = WORD(bitCount);
  info.header.biCompression = BI_RGB;
  return info;
}

HDC CreateScreenMemoryDC() {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) RaiseOutOfResources();
  return dc;
}

}  // namespace

void RaiseOutOfResources() { RaiseOutOfResources(GetLastError()); }

void RaiseOutOfResources(DWORD code) {
  std::string text;
  if (code != 0) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const LocalMemory owner(buffer);
    if (n && buffer) {
      std::wstring w(buffer, n);
      while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
      text = ToUtf8(w);
    }
  }
  if (text.empty()) text = msg::kOutOfResources;
  Raise(ErrorKind::OutOfResources, text);
}

HBITMAP CreateSection(const BITMAPINFO* info, void** bits) {
  WindowDC screen(nullptr, false);
  HBITMAP h = CreateDIBSection(screen.get(), info, DIB_RGB_COLORS, bits, nullptr, 0);
  if (!h || !*bits) RaiseOutOfResources();
  return h;
}

HPALETTE CreatePaletteFrom(const std::vector<Rgb4>& colours) {
  if (colours.empty()) return nullptr;
  struct {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
  } lp{};
  lp.version = 0x300;
  lp.count = WORD(colours.size() > 256 ? 256 : colours.size());
  for (WORD i = 0; i < lp.count; ++i) {
    lp.entries[i] = PALETTEENTRY{colours[i].red, colours[i].green, colours[i].blue, 0};
  }
  HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
  if (!pal) RaiseOutOfResources();
  return pal;
}

std::shared_ptr<TBitmap::Image> TBitmap::Describe(HBITMAP handle) {
  auto img = std::make_shared<Image>();
  img->bitmap.reset(handle);
  DIBSECTION ds{};
  const int got = GetObjectW(handle, sizeof ds, &ds);
  if (got == 0) RaiseOutOfResources();
  img->width = ds.dsBm.bmWidth;
  img->height = ds.dsBm.bmHeight;
  img->bitsPerPixel = ds.dsBm.bmPlanes * ds.dsBm.bmBitsPixel;
  img->isDib = got == int(sizeof ds) && ds.dsBm.bmBits != nullptr;
  if (img->isDib) {
    img->section = ds;
    img->topDown = ds.dsBmih.biHeight < 0;
  }
  return img;
}

bool TBitmap::IsBgrxSection() const {
  const DIBSECTION* ds = Section();
  if (!ds || ds->dsBmih.biBitCount != 32) return false;
  // A section made as BI_RGB may describe itself with its default colour masks.
  const DWORD* m = ds->dsBitfields;
  return ds->dsBmih.biCompression == BI_RGB ||
         (ds->dsBmih.biCompression == BI_BITFIELDS && m[0] == 0xFF0000 && m[1] == 0x00FF00 && m[2] == 0x0000FF);
}

void TBitmap::TakeHandle(BitmapHandle handle) {
  if (!handle) {
    image_.reset();
    return;
  }
  image_ = Describe(handle.release());
}

HBITMAP TBitmap::ReleaseHandle() {
  if (!image_) return nullptr;
  if (image_.use_count() > 1) {
    // Others still share the image: give away a copy of it instead.
    TBitmap copy;
    copy.SetSize(Width(), Height());
    {
      BitmapCanvas from(*this);
      BitmapCanvas to(copy);
      BitBlt(to.dc(), 0, 0, Width(), Height(), from.dc(), 0, 0, SRCCOPY);
    }
    return copy.ReleaseHandle();
  }
  HBITMAP h = image_->bitmap.release();
  image_.reset();
  return h;
}

void TBitmap::SetSize(int width, int height) {
  if (width == Width() && height == Height() && !Empty()) return;
  if (width <= 0 || height <= 0) {
    // While a size is 0 no bitmap exists; the other size is forgotten with it.
    image_.reset();
    return;
  }
  BitmapHandle bmp;
  DWORD error = 0;
  {
    WindowDC screen(nullptr, false);
    bmp.reset(CreateCompatibleBitmap(screen.get(), width, height));
    if (!bmp) error = GetLastError();  // before ReleaseDC runs
  }
  if (!bmp) RaiseOutOfResources(error);
  {
    MemoryDC dc(CreateScreenMemoryDC());
    SelectGuard sel(dc.get(), bmp.get());
    PatBlt(dc.get(), 0, 0, width, height, WHITENESS);
    if (!Empty()) {
      BitmapCanvas old(*this);
      BitBlt(dc.get(), 0, 0, Width(), Height(), old.dc(), 0, 0, SRCCOPY);
    }
  }
  image_ = Describe(bmp.release());
}

void TBitmap::SetSizeForCapture(int width, int height) {
  int screenBits;
  {
    WindowDC screen(nullptr, false);
    screenBits = GetDeviceCaps(screen.get(), BITSPIXEL) * GetDeviceCaps(screen.get(), PLANES);
  }
  if (screenBits != 32 || width <= 0 || height <= 0) {
    SetSize(width, height);
    return;
  }
  // Top-down: printer drivers draw bottom-up sections upside down.
  InfoWithTable info = DibInfo(width, -height, 32);
  void* bits = nullptr;
  // Not filled: the copy of the screen covers every pixel of it, and a fill would only
  // touch every page once more before the copy does.
  BitmapHandle section(CreateSection(reinterpret_cast<BITMAPINFO*>(&info), &bits));
  auto img = Describe(section.release());
  img->topDown = true;  // made top-down above, whatever the description says
  image_ = std::move(img);
}

void TBitmap::SetPixelFormat24() {
  if (Empty()) return;
  InfoWithTable info = DibInfo(Width(), Height(), 24);
  void* bits = nullptr;
  BitmapHandle section(CreateSection(reinterpret_cast<BITMAPINFO*>(&info), &bits));
  {
    WindowDC screen(nullptr, false);
    PaletteGuard pal(screen.get(), Palette());
    if (GetDIBits(screen.get(), Handle(), 0, UINT(Height()), bits, reinterpret_cast<BITMAPINFO*>(&info),
                  DIB_RGB_COLORS) == 0)
      RaiseOutOfResources();
  }
  image_ = Describe(section.release());
}

void TBitmap::SetFromDib(int width, int height, int bitCount, const std::vector<Rgb4>& colours,
                         const void* bits) {
  InfoWithTable info = DibInfo(width, height, bitCount);
  info.header.biClrUsed = bitCount <= 8 ? DWORD(colours.size()) : 0;
  for (size_t i = 0; i < colours.size() && i < 256; ++i) {
    info.colours[i] = RGBQUAD{colours[i].blue, colours[i].green, colours[i].red, 0};
  }
  // The section itself is top-down: the printer driver draws bottom-up sections
  // upside down. The source pixels stay bottom-up.
  InfoWithTable sectionInfo = info;
  sectionInfo.header.biHeight = -height;
  void* sectionBits = nullptr;
  BitmapHandle section(CreateSection(reinterpret_cast<BITMAPINFO*>(&sectionInfo), &sectionBits));
  PaletteHandle palette(bitCount <= 8 ? CreatePaletteFrom(colours) : nullptr);
  {
    MemoryDC dc(CreateScreenMemoryDC());
    SelectGuard sel(dc.get(), section.get());
    StretchDIBits(dc.get(), 0, 0, width, height, 0, 0, width, height, bits,
                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
  }
  GdiFlush();
  auto img = Describe(section.release());
  img->topDown = true;  // made top-down above, whatever the description says
  img->palette = std::move(palette);
  image_ = std::move(img);
}

const DIBSECTION& TBitmap::SectionForSaving() {
  if (image_->isDib) return image_->section;
  if (image_->saveCopy) return image_->saveSection;
  InfoWithTable info = DibInfo(Width(), Height(), BitsPerPixel());
  if (BitsPerPixel() == 1) {
    info.colours[0] = RGBQUAD{0, 0, 0, 0};
    info.colours[1] = RGBQUAD{255, 255, 255, 0};
  } else if (BitsPerPixel() <= 8) {
    MemoryDC dc(CreateScreenMemoryDC());
    PaletteGuard pal(dc.get(), Palette());
    // Only the colour table is read here; a failure leaves the table as it was (black).
    GetDIBits(dc.get(), Handle(), 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    // GetDIBits may have filled in sizes of its own; keep the header as described.
    info.header.biSizeImage = 0;
    info.header.biClrUsed = 0;
    info.header.biClrImportant = 0;
    info.header.biCompression = BI_RGB;
  }
  void* bits = nullptr;
  BitmapHandle section(CreateSection(reinterpret_cast<BITMAPINFO*>(&info), &bits));
  if (BitsPerPixel() > 8) {
    WindowDC screen(nullptr, false);
    if (GetDIBits(screen.get(), Handle(), 0, UINT(Height()), bits, reinterpret_cast<BITMAPINFO*>(&info),
                  DIB_RGB_COLORS) == 0)
      RaiseOutOfResources();
  } else {
    MemoryDC dc(CreateScreenMemoryDC());
    SelectGuard sel(dc.get(), section.get());
    PatBlt(dc.get(), 0, 0, Width(), Height(), WHITENESS);
    BitmapCanvas from(*this);
    BitBlt(dc.get(), 0, 0, Width(), Height(), from.dc(), 0, 0, SRCCOPY);
  }
  GdiFlush();
  DIBSECTION ds{};
  if (GetObjectW(section.get(), sizeof ds, &ds) != int(sizeof ds)) RaiseOutOfResources();
  image_->saveSection = ds;
  image_->saveCopy = std::move(section);
  return image_->saveSection;
}

void WriteCaptureBmp(const ImageView& capture, OutStream& file) {
  ImageView image;  // as the file describes it
  image.width = capture.width;
  image.height = capture.height;
  image.bitCount = 32;
  image.stride = capture.stride;
  BmpFields fields;
  fields.sizeImage = uint32_t(CheckedMul(image.stride, image.height));
  const BmpLayout layout = WriteBmpHeaders(file, image, fields);
  const size_t stride = size_t(capture.stride);
  if (!file.Seekable()) {  // memory or standard output: from the bottom row up, once it is there
    for (int32_t y = capture.height - 1; y >= 0; --y) file.Write(capture.Row(y), stride);
    return;
  }
  constexpr int32_t kBandRows = 64;
  std::vector<uint8_t> band(size_t(std::min(kBandRows, capture.height)) * stride);
  for (int32_t top = 0; top < capture.height; top += kBandRows) {
    const int32_t rows = std::min(kBandRows, capture.height - top);
    for (int32_t i = 0; i < rows; ++i)  // the band's bottom row first, as the file has it
      std::memcpy(&band[size_t(i) * stride], capture.Row(top + rows - 1 - i), stride);
    file.WriteAt(layout.offBits + uint64_t(capture.height - top - rows) * stride, band.data(), size_t(rows) * stride);
  }
}

void TBitmap::SaveToStream(OutStream& file) { WriteImage(ImageFormat::Bmp, *this, WriteOptions{}, file); }

void TBitmap::SaveAsDescribed(OutStream& file) {
  if (Empty()) return;
  if (!image_->isDib && BitsPerPixel() > 8 && !image_->saveCopy) {
    SaveInBands(file);
    return;
  }
  const DIBSECTION& ds = SectionForSaving();
  HBITMAP sectionHandle = image_->isDib ? image_->bitmap.get() : image_->saveCopy.get();

  ImageView image;
  image.width = ds.dsBmih.biWidth;
  image.height = ds.dsBmih.biHeight < 0 ? -ds.dsBmih.biHeight : ds.dsBmih.biHeight;
  image.topDown = ds.dsBmih.biHeight < 0 || (image_->isDib && image_->topDown);
  image.bitCount = ds.dsBmih.biBitCount;
  image.bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
  image.stride = ds.dsBm.bmWidthBytes;
  BmpFields fields;
  fields.compression = ds.dsBmih.biCompression;
  fields.sizeImage = ds.dsBmih.biSizeImage;
  for (int i = 0; i < 3; ++i) fields.masks[i] = ds.dsBitfields[i];
  // A section made as BI_RGB may describe itself with its (default) colour masks; the
  // file then says BI_RGB, as the section was made.
  const uint32_t* m = fields.masks;
  const bool defaultMasks = (image.bitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) ||
                            (image.bitCount == 32 && m[0] == 0xFF0000 && m[1] == 0x00FF00 && m[2] == 0x0000FF);
  if (fields.compression == BI_BITFIELDS && (defaultMasks || !image_->isDib)) fields.compression = BI_RGB;

  if (image.bitCount <= 8) {
    RGBQUAD table[256];
    MemoryDC dc(CreateScreenMemoryDC());
    SelectGuard sel(dc.get(), sectionHandle);
    const UINT n = GetDIBColorTable(dc.get(), 0, 256, table);
    for (UINT i = 0; i < n; ++i)
      image.colours.push_back(Rgb4{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed, 0});
  }
  GdiFlush();
  WriteBmp(file, image, fields);
}

void TBitmap::SaveInBands(OutStream& file) {
  // The file holds the rows bottom-up, as a bottom-up DIB of the bitmap's own bit count
  // holds them in memory; they are read into it band by band, so that the capture is
  // never copied whole.
  ImageView image;
  image.width = Width();
  image.height = Height();
  image.bitCount = BitsPerPixel();
  image.stride = DibStride(image.width, image.bitCount);
  BmpFields fields;
  fields.sizeImage = uint32_t(CheckedMul(image.stride, image.height));
  WriteBmpHeaders(file, image, fields);
  constexpr int32_t kBandBytes = 4 << 20;
  const int32_t bandRows = std::max<int32_t>(1, std::min<int32_t>(image.height, kBandBytes / image.stride));
  std::vector<uint8_t> band(size_t(bandRows) * size_t(image.stride));
  InfoWithTable info = DibInfo(image.width, image.height, image.bitCount);
  WindowDC screen(nullptr, false);
  for (int32_t first = 0; first < image.height; first += bandRows) {
    const int32_t rows = std::min(bandRows, image.height - first);
    if (GetDIBits(screen.get(), Handle(), UINT(first), UINT(rows), band.data(), reinterpret_cast<BITMAPINFO*>(&info),
                  DIB_RGB_COLORS) != rows)
      RaiseOutOfResources();
    file.Write(band.data(), size_t(rows) * size_t(image.stride));
  }
}

bool SectionView(const TBitmap& bitmap, ImageView& view) {
  const DIBSECTION* ds = bitmap.Section();
  if (!ds || (ds->dsBmih.biCompression != BI_RGB && !bitmap.IsBgrxSection())) return false;
  view.width = bitmap.Width();
  view.height = bitmap.Height();
  view.bitCount = ds->dsBmih.biBitCount;
  view.bits = static_cast<const uint8_t*>(ds->dsBm.bmBits);
  view.stride = ds->dsBm.bmWidthBytes;
  view.topDown = bitmap.TopDown();
  GdiFlush();
  return true;
}

bool CaptureView(const TBitmap& bitmap, ImageView& view) { return bitmap.IsBgrxSection() && SectionView(bitmap, view); }

BitmapCanvas::BitmapCanvas(const TBitmap& bitmap)
    : dc_(CreateScreenMemoryDC()), select_(dc_.get(), bitmap.Handle()) {}

}  // namespace pixo
