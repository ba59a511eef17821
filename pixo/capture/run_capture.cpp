#include "pixo/capture/run_capture.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"
#include "pixo/capture/clipboard.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/console.h"
#include "pixo/capture/early_writer.h"
#include "pixo/capture/grabber.h"
#include "pixo/capture/printing.h"
#include "pixo/capture/series.h"
#include "pixo/capture/shot_writer.h"
#include "pixo/capture/tbitmap.h"
#include "version.h"

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

std::wstring WideFromAscii(const char* text) { return std::wstring(text, text + std::strlen(text)); }

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

namespace {

// The file name of a shot: as typed, or made from the pattern.
std::wstring ShotName(const RunOptions& o, int shot, int width, int height, const std::wstring& title) {
  if (!o.namePattern) return o.outputName;
  SYSTEMTIME t{};
  GetLocalTime(&t);
  const NameFields fields{t.wYear,         t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                          t.wMilliseconds, shot,     width,  height,  title};
  std::wstring name;
  ExpandNamePattern(o.outputName, fields, name);  // checked before the first shot
  if (name.size() > kMaxArgument) RaiseFCreate(ToUtf8(name));
  return name;
}

ScreenGrabber GrabberFor(const RunOptions& o) {
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
  return grabber;
}

// The clipboard gets the capture itself, before a format changes it. When it cannot be
// had (another program holds it), the file is written all the same and the clipboard's
// failure is reported after it.
std::unique_ptr<Error> CopyForClipboard(TBitmap& image) {
  try {
    CopyToClipboard(image);
  } catch (const Error& e) {
    return std::make_unique<Error>(e);
  }
  return nullptr;
}

// One shot: capture, then the clipboard, the file and the printer as the switches say.
// The file has one stream: opened once the capture's size is known, written early (while
// the screen is read, the writer on this thread and the reading on another) or from the
// whole bitmap, and committed here.
void TakeShot(const RunOptions& o, int shot) {
  ScreenGrabber grabber = GrabberFor(o);
  const ImageFormat format = o.OutputFormat();
  WriteOptions options;
  options.jpegQuality = o.jpegQuality;
  std::unique_ptr<FileStream> file;
  const auto open = [&](const std::wstring& name) -> FileStream& {
    file =
        std::make_unique<FileStream>(name, o.keepExisting ? FileStream::Existing::Keep : FileStream::Existing::Replace);
    return *file;
  };
  EarlyWriter early([&](const ImageView& capture, const ParallelIdatWriter::Lend& lend) {
    WriteOptions now = options;
    now.lend = lend;
    WriteImage(format, capture, now, open(ShotName(o, shot, capture.width, capture.height, grabber.CapturedTitle())));
  });
  if (!o.outputName.empty() && !o.clipboard && WrittenWhileRead(format)) grabber.listener = &early;

  TBitmap image = grabber.Capture();
  early.Finish();
  std::unique_ptr<Error> clipboardFailure;
  if (!early.Writing()) {
    if (image.Empty()) return;
    if (o.clipboard) clipboardFailure = CopyForClipboard(image);
    if (o.outputName.empty() && !o.print) {  // the clipboard only
      if (clipboardFailure) throw *clipboardFailure;
      return;
    }
    // A print run without a name writes its file (named as its first argument) only when
    // it can print: no stray file is left behind for a printer that is not there.
    if (o.outputName.empty()) RequireDefaultPrinter();
    const std::wstring name = o.outputName.empty()
                                  ? o.firstArgument
                                  : ShotName(o, shot, image.Width(), image.Height(), grabber.CapturedTitle());
    if (name.size() > kMaxArgument) RaiseFCreate(ToUtf8(name));
    WriteImage(format, image, options, open(name));
  }
  file->Commit();
  if (o.print) PrintImage(image, o.Mode());
  if (clipboardFailure) throw *clipboardFailure;
}

}  // namespace

void RunCapture(const RunOptions& options) {
  RunOptions o = options;
  if (o.help) {  // on standard output where there is one, else in a box; nothing captured
    const std::wstring usage = Usage(WideFromAscii(PRODUCT_VERSION_DOTS));
    if (!WriteText(STD_OUTPUT_HANDLE, usage)) MessageBoxW(nullptr, usage.c_str(), L"pixo", MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!o.badSwitch.empty()) Raise(ErrorKind::InvalidArgument, FormatOne(msg::kBadSwitch, ToUtf8(o.badSwitch)));
  if (o.list || o.listWindows) {
    if (o.list) ListMonitors();
    if (o.listWindows) ListWindows();
    return;
  }
  if (o.outputName.empty() && !o.print && !o.clipboard) return;
  // A name too long to be an argument is refused before anything is captured.
  if (o.outputName.size() > kMaxArgument) RaiseFCreate(ToUtf8(o.outputName));
  // So is a pattern with a field that is not one.
  std::wstring expanded;
  if (o.namePattern && !ExpandNamePattern(o.outputName, NameFields{}, expanded))
    Raise(ErrorKind::InvalidArgument, FormatOne(msg::kBadSwitch, ToUtf8(L"/FN " + o.outputName)));
  if (o.jpeg && o.jpegQuality == 0) o.jpegQuality = 70;
  if (o.delayMs > 0) Sleep(DWORD(o.delayMs));
  if (o.jiggle) JiggleCursor();
  if (o.shots == 1) {
    TakeShot(o, 1);
    return;
  }
  Series series;
  series.Run(o.shots, o.intervalMs, [&o](int shot) { TakeShot(o, shot); });
}

}  // namespace pixo
