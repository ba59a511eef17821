// Adapters between the capture bitmap (GDI) and the pure DIB image of imaging/.
#pragma once
#include "pixo/capture/tbitmap.h"
#include "pixo/imaging/dib_image.h"

namespace pixo {

// The capture as a DibImage: its pixels through GetDIBits, at 24 bits for 16- and 32-bit
// bitmaps, with the colour table of palette formats; empty for an empty bitmap.
DibImage DibFromBitmap(const TBitmap& bitmap);
// Replaces the bitmap by a DIB section holding the image.
void DibToBitmap(const DibImage& dib, TBitmap& bitmap);

}  // namespace pixo
