// One writer per format: a shot's picture, in the format the run asks for, written to a
// stream the caller gives and commits. The early path (rows pushed while the screen is
// read) and the late one (the whole bitmap) both come here.
#pragma once
#include "pixo/base/image.h"
#include "pixo/base/stream.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/tbitmap.h"
#include "pixo/imaging/png_deflate.h"

namespace pixo {

using ImageFormat = RunOptions::Format;

struct WriteOptions {
  int jpegQuality = 70;           // 1 to 100
  ParallelIdatWriter::Lend lend;  // PNG: a thread that is there already (PngOptions::lend)
};

// Whether a format can be written while the screen is read. GIF cannot: its colours are
// chosen from the whole capture.
inline bool WrittenWhileRead(ImageFormat format) { return format != ImageFormat::Gif; }

// A capture's 32-bit rows of blue, green, red and a padding byte, whole or landing through
// the view's gate, as BMP, JPEG or PNG.
void WriteImage(ImageFormat format, const ImageView& capture, const WriteOptions& options, OutStream& out);

// A whole bitmap, in any format. This is the one place where a capture held as a 32-bit
// section is told from other bitmaps: such a capture is written where it lies, by the
// writer above; any other bitmap goes through the format's own copy of it. GIF reduces the
// bitmap itself to 256 colours, and the bitmap keeps the reduced image (what is printed).
void WriteImage(ImageFormat format, TBitmap& image, const WriteOptions& options, OutStream& out);

}  // namespace pixo
