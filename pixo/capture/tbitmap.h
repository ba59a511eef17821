// The capture program's bitmap object: one GDI bitmap (a screen-compatible bitmap or a
// DIB section), shared between TBitmap objects by reference count and copied before a
// change.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "pixo/base/bmp_format.h"
#include "pixo/capture/win_handles.h"

namespace pixo {

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  TBitmap(TBitmap&&) = default;
  TBitmap& operator=(TBitmap&&) = default;

  // Shares the other bitmap's image.
  void Assign(const TBitmap& other) { image_ = other.image_; }

  // Recreates the bitmap as a screen-compatible bitmap of the new size, filled white,
  // with the old content copied to its top-left corner; no bitmap while a size is 0.
  void SetSize(int width, int height);
  // A new picture of the size for a capture to land in: a top-down DIB section that
  // the writers read in place where the screen has 32 bits per pixel (as a device-
  // dependent bitmap of that screen would hold them), else as SetSize (white). The
  // section is not filled: the capture is to cover all of it.
  void SetSizeForCapture(int width, int height);

  // Adopts a bitmap handle; this object deletes it in the end.
  void TakeHandle(BitmapHandle handle);
  // Gives the handle away without deleting it.
  HBITMAP ReleaseHandle();

  int Width() const { return image_ ? image_->width : 0; }
  int Height() const { return image_ ? image_->height : 0; }
  bool Empty() const { return !image_ || !image_->bitmap; }
  int BitsPerPixel() const { return image_ ? image_->bitsPerPixel : 0; }
  bool IsDibSection() const { return image_ && image_->isDib; }
  HBITMAP Handle() const { return image_ ? image_->bitmap.get() : nullptr; }
  HPALETTE Palette() const { return image_ ? image_->palette.get() : nullptr; }
  // Pixel memory and header of a DIB section (null otherwise).
  const DIBSECTION* Section() const { return IsDibSection() ? &image_->section : nullptr; }
  // Whether a DIB section's rows lie top row first in memory.
  bool TopDown() const { return image_ && image_->topDown; }
  // Whether the bitmap is a 32-bit DIB section of blue, green, red and a padding byte,
  // as a capture is, whose rows the writers read where they lie.
  bool IsBgrxSection() const;

  // Replaces the bitmap by a 24-bit DIB section of the same size.
  void SetPixelFormat24();

  // Replaces the bitmap by a DIB section of the given format, with a palette made from
  // the colour table (palette formats), and draws the given bottom-up pixels into it.
  void SetFromDib(int width, int height, int bitCount, const std::vector<Rgb4>& colours,
                  const void* bits);

  // The BMP file's bytes (nothing for an empty bitmap), by the shot writer.
  void SaveToStream(OutStream& out);
  // The BMP file of any bitmap but a top-down capture section (which the shot writer
  // writes itself): as its section describes it, or read in bands.
  void SaveAsDescribed(OutStream& out);

 private:
  struct Image {
    BitmapHandle bitmap;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    bool isDib = false;
    bool topDown = false;
    DIBSECTION section{};
    BitmapHandle saveCopy;  // DIB-section copy of a screen-compatible bitmap, for saving
    DIBSECTION saveSection{};
    PaletteHandle palette;
  };
  static std::shared_ptr<Image> Describe(HBITMAP handle);
  const DIBSECTION& SectionForSaving();
  // Writes a device-dependent bitmap of 16 bits or more as BMP, its rows read in bands.
  void SaveInBands(OutStream& file);

  std::shared_ptr<Image> image_;
};

// A memory device context with a bitmap selected, as the source of drawing.
class BitmapCanvas {
 public:
  explicit BitmapCanvas(const TBitmap& bitmap);
  HDC dc() const { return dc_.get(); }

 private:
  MemoryDC dc_;
  SelectGuard select_;
};

// A DIB section in an uncompressed format the writers read directly, as an image view
// (pixels only); false for anything else.
bool SectionView(const TBitmap& bitmap, ImageView& view);
// The same for a capture held as a 32-bit section of blue, green, red and a padding byte
// (IsBgrxSection); false for any other bitmap.
bool CaptureView(const TBitmap& bitmap, ImageView& view);

// Writes a capture's 32-bit rows as the bottom-up BI_RGB file a capture has always been:
// to a file, band after band from the top as the rows come (through the view's gate, if it
// has one), each band at its place in the file; to memory or standard output, from the
// bottom row up.
void WriteCaptureBmp(const ImageView& capture, OutStream& file);

// Creates a DIB section on the screen's device context; raises EOutOfResources on failure.
HBITMAP CreateSection(const BITMAPINFO* info, void** bits);

// A palette with the colours of a colour table (null for an empty table).
HPALETTE CreatePaletteFrom(const std::vector<Rgb4>& colours);

}  // namespace pixo
