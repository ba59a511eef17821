// The writers and the printing that a capture run hands its bitmap to.
#pragma once
#include <string>

#include "pixo/capture/cmdline.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

// PNG at zlib's default level.
void WritePng(const TBitmap& image, const std::wstring& name);
// PNG of a capture's 32-bit rows of blue, green, red and an unused byte, as RGB.
void WritePng(const ImageView& capture, const std::wstring& name);
// Reduces the image to 256 colours (the bitmap keeps the reduced image) and writes GIF.
void WriteGif(TBitmap& image, const std::wstring& name);
// Raises the missing printer error when there is no default printer.
void RequireDefaultPrinter();
// Prints the image on the default printer, fitted to the page.
void PrintImage(TBitmap& image, PrintMode mode);

}  // namespace pixo
