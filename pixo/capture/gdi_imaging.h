// Adapters between the capture bitmap (GDI) and the pure DIB image of imaging/.
#pragma once
#include "pixo/capture/tbitmap.h"
#include "pixo/imaging/dib_image.h"
#include "pixo/imaging/gif_encoder.h"
#include "pixo/imaging/png_image.h"

namespace pixo {

// The capture as a DibImage: its pixels through GetDIBits, at 24 bits for 16- and 32-bit
// bitmaps, with the colour table of palette formats; empty for an empty bitmap.
DibImage DibFromBitmap(const TBitmap& bitmap);
// Replaces the bitmap by a DIB section holding the image.
void DibToBitmap(const DibImage& dib, TBitmap& bitmap);
// The PNG writer's copy of a bitmap: the rows of a DIB section as they are (with its
// colour table), anything else through GetDIBits.
void PngFromBitmap(const TBitmap& bitmap, PngImage& png);
// A GIF frame from an 8-bit (or 1- or 4-bit) bitmap: colours from its palette, pixels
// from its scan lines, top row first.
TGIFSubImage GifFrameFromBitmap(const TBitmap& bitmap);

}  // namespace pixo
