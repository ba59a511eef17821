#include "pixo/capture/run_capture.h"

#include <windows.h>

#include <memory>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/clipboard.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/console.h"
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

namespace {

// /L: one line per monitor on standard output.
void ListMonitors() {
  std::wstring text;
  int index = 1;
  for (const MonitorArea& m : Monitors()) text += MonitorLine(index++, m) + L"\r\n";
  if (!WriteText(STD_OUTPUT_HANDLE, text)) Raise(ErrorKind::Write, msg::kNoStandardOutput);
}

// /LW: one line per shown top-level window, top down, on standard output.
void ListWindows() {
  std::wstring text;
  for (const WindowEntry& w : Windows()) text += WindowLine(w) + L"\r\n";
  if (!WriteText(STD_OUTPUT_HANDLE, text)) Raise(ErrorKind::Write, msg::kNoStandardOutput);
}

}  // namespace

void RunCapture(const std::vector<std::wstring>& args) {
  if (args.empty()) return;
  RunOptions o = ParseArguments(args);
  if (!o.badSwitch.empty()) Raise(ErrorKind::InvalidArgument, FormatOne(msg::kBadSwitch, ToUtf8(o.badSwitch)));
  if (o.list || o.listWindows) {
    if (o.list) ListMonitors();
    if (o.listWindows) ListWindows();
    return;
  }
  if (o.outputName.empty() && !o.print && !o.clipboard) return;
  // A name too long to be an argument is refused before anything is captured.
  if (o.outputName.size() > kMaxArgument) RaiseFCreate(ToUtf8(o.outputName));
  if (o.jpeg && o.jpegQuality == 0) o.jpegQuality = 70;
  if (o.delayMs > 0) Sleep(DWORD(o.delayMs));
  if (o.jiggle) JiggleCursor();

  ScreenGrabber grabber;
  grabber.target = o.target;
  grabber.monitor = o.monitor;
  grabber.title = o.title;
  grabber.rect = o.rect;
  grabber.handle = o.handle;
  grabber.program = o.program;
  grabber.ownPixels = o.ownPixels;
  grabber.clientArea = o.clientArea;
  grabber.drawCursor = o.cursor;

  TBitmap image;
  image.TakeHandle(grabber.Capture());
  if (image.Width() <= 0 || image.Height() <= 0) return;
  // The clipboard gets the capture itself, before a format changes it. When it cannot be
  // had (another program holds it), the file is written all the same and the clipboard's
  // failure is reported after it.
  std::unique_ptr<Error> clipboardFailure;
  if (o.clipboard) {
    try {
      CopyToClipboard(image);
    } catch (const Error& e) {
      clipboardFailure = std::make_unique<Error>(e);
    }
  }

  if (o.outputName.empty()) {
    if (!o.print) {  // the clipboard only
      if (clipboardFailure) throw *clipboardFailure;
      return;
    }
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
  if (clipboardFailure) throw *clipboardFailure;
}

}  // namespace pixo
