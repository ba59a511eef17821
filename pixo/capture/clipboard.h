// Putting the capture on the clipboard.
#pragma once
#include "pixo/capture/tbitmap.h"

namespace pixo {

// Replaces the clipboard's contents by the image as a DIB (the BMP file without its file
// header); raises EClipboardError when the clipboard cannot be had.
void CopyToClipboard(TBitmap& image);

}  // namespace pixo
