// Printing a shot on the default printer.
#pragma once
#include "pixo/capture/cmdline.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

// Raises the missing printer error when there is no default printer.
void RequireDefaultPrinter();
// Prints the image on the default printer, fitted to the page.
void PrintImage(TBitmap& image, PrintMode mode);

}  // namespace pixo
