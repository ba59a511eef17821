#include "pixo/capture/run_capture.h"

#include <windows.h>

#include <memory>

#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"
#include "pixo/capture/clipboard.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/console.h"
#include "pixo/capture/early_writer.h"
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

namespace {

// A series stops between shots when the console is closed or Ctrl+C or Ctrl+Break is
// pressed, and when the session ends; a shot being written is finished first (the
// system waits for the handler), so that no half file and no temporary file is left.
HANDLE g_stop = nullptr;     // set: no shot is to start
HANDLE g_between = nullptr;  // set while no shot is being taken or written

BOOL WINAPI OnConsoleEvent(DWORD) {
  SetEvent(g_stop);
  WaitForSingleObject(g_between, 4000);
  return TRUE;
}

// The file name of a shot: as typed, or made from the pattern.
std::wstring ShotName(const RunOptions& o, int shot, int width, int height, const std::wstring& title) {
  if (!o.namePattern) return o.outputName;
  SYSTEMTIME t{};
  GetLocalTime(&t);
  const NameFields fields{t.wYear,  t.wMonth,       t.wDay,         t.wHour, t.wMinute, t.wSecond,
                          t.wMilliseconds, shot, width, height, title};
  std::wstring name;
  ExpandNamePattern(o.outputName, fields, name);  // checked before the first shot
  if (name.size() > kMaxArgument) RaiseFCreate(ToUtf8(name));
  return name;
}

// One shot: capture, then the clipboard, the file and the printer as the switches say.
void TakeShot(const RunOptions& options, const std::vector<std::wstring>& args, int shot) {
  RunOptions o = options;
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

  // A named file, without the clipboard, is written while the screen is read: the writer
  // on this thread, the reading on another. GIF waits for the whole capture (its colours
  // are chosen from all of it).
  const RunOptions::Format format = o.OutputFormat();
  const bool early = !o.outputName.empty() && !o.clipboard && format != RunOptions::Format::Gif;
  EarlyWriter writer([&](const ImageView& capture) {
    const std::wstring name = ShotName(o, shot, capture.width, capture.height, grabber.CapturedTitle());
    switch (format) {
      case RunOptions::Format::Jpeg: WriteJpeg(capture, o.jpegQuality, name); break;
      case RunOptions::Format::Png: WritePng(capture, name); break;
      case RunOptions::Format::Bmp: {
        FileStream file(name);
        WriteCaptureBmp(capture, file);
        file.Commit();
        break;
      }
      case RunOptions::Format::Gif: break;  // never early
    }
  });
  if (early) grabber.listener = &writer;

  TBitmap image = grabber.Capture();
  if (writer.Writing()) {
    writer.Finish();
    if (o.print) PrintImage(image, o.Mode());
    return;
  }
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
    o.namePattern = false;
    if (o.outputName.size() > kMaxArgument) RaiseFCreate(ToUtf8(o.outputName));
  }
  const std::wstring name = ShotName(o, shot, image.Width(), image.Height(), grabber.CapturedTitle());

  switch (format) {
    case RunOptions::Format::Jpeg: {
      TJPEGImage jpeg;
      jpeg.Assign(image);
      jpeg.Quality = o.jpegQuality;
      jpeg.Compress();
      jpeg.SaveToFile(name);
      break;
    }
    case RunOptions::Format::Png: WritePng(image, name); break;
    case RunOptions::Format::Gif: WriteGif(image, name); break;
    case RunOptions::Format::Bmp: image.SaveToFile(name); break;
  }

  if (o.print) PrintImage(image, o.Mode());
  if (clipboardFailure) throw *clipboardFailure;
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
  // So is a pattern with a field that is not one.
  std::wstring expanded;
  if (o.namePattern && !ExpandNamePattern(o.outputName, NameFields{}, expanded))
    Raise(ErrorKind::InvalidArgument, FormatOne(msg::kBadSwitch, ToUtf8(L"/FN " + o.outputName)));
  KeepExistingFiles(o.keepExisting);
  if (o.jpeg && o.jpegQuality == 0) o.jpegQuality = 70;
  if (o.delayMs > 0) Sleep(DWORD(o.delayMs));
  if (o.jiggle) JiggleCursor();
  if (o.shots == 1) {
    TakeShot(o, args, 1);
    return;
  }
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_between = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (!g_stop || !g_between) RaiseOutOfResources(GetLastError());
  // Started from a console (a batch file, or start /wait): Ctrl+C there reaches this run.
  AttachConsole(ATTACH_PARENT_PROCESS);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  const ULONGLONG start = GetTickCount64();
  for (int shot = 1; shot <= o.shots; ++shot) {
    // Each shot starts on its own beat, however long the one before took.
    const ULONGLONG due = start + ULONGLONG(shot - 1) * ULONGLONG(o.intervalMs), now = GetTickCount64();
    if (WaitForSingleObject(g_stop, due > now ? DWORD(due - now) : 0) == WAIT_OBJECT_0) break;
    ResetEvent(g_between);
    try {
      TakeShot(o, args, shot);
    } catch (...) {
      SetEvent(g_between);
      throw;
    }
    SetEvent(g_between);
  }
}

}  // namespace pixo
