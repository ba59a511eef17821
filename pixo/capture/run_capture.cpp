#include "pixo/capture/run_capture.h"

#include <windows.h>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/grabber.h"
#include "pixo/capture/jpeg_image.h"
#include "pixo/capture/output_writers.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

void JiggleCursor() {
  SYSTEMTIME t{};
  GetSystemTime(&t);
  CursorRandom random(CursorSeed(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds));
  uint32_t r = random.Next(100);
  SetCursorPos(int(r), int(r));
  r = random.Next(600);
  SetCursorPos(int(r), int(r));
  r = random.Next(600);
  SetCursorPos(int(r), int(r));
  Sleep(3000);
}

void RunCapture(const std::vector<std::wstring>& args) {
  if (args.empty()) return;
  RunOptions o = ParseArguments(args);
  if (o.outputName.empty() && !o.print) return;
  // A name too long to be an argument is refused before anything is captured.
  if (o.outputName.size() > kMaxArgument) RaiseFCreate(ToUtf8(o.outputName));
  if (o.jpeg && o.jpegQuality == 0) o.jpegQuality = 70;
  if (o.jiggle) JiggleCursor();

  ScreenGrabber grabber;
  grabber.ActiveWindow = o.activeWindow;
  grabber.IncludeMouseCursor = false;

  TBitmap image;
  image.TakeHandle(grabber.Capture());
  if (image.Width() <= 0 || image.Height() <= 0) return;

  if (o.outputName.empty()) {
    // A print run without a name writes its file only when it can print: no stray
    // file is left behind for a printer that is not there.
    RequireDefaultPrinter();
    o.outputName = args.front();
    if (o.outputName.size() > kMaxArgument) RaiseFCreate(ToUtf8(o.outputName));
  }

  switch (o.OutputFormat()) {
    case RunOptions::Format::Jpeg: {
      TJPEGImage jpeg;
      jpeg.Assign(image);
      jpeg.Quality = o.jpegQuality;
      jpeg.Compress();
      jpeg.SaveToFile(o.outputName);
      break;
    }
    case RunOptions::Format::Png: WritePng(image, o.outputName); break;
    case RunOptions::Format::Gif: WriteGif(image, o.outputName); break;
    case RunOptions::Format::Bmp: image.SaveToFile(o.outputName); break;
  }

  if (o.print) PrintImage(image, o.Mode());
}

}  // namespace pixo
