#include "pixo/capture/grabber.h"

#include <exception>
#include <system_error>
#include <thread>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/system_library.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

namespace {

// The window's rectangle as it is seen: without the invisible resize borders that the
// desktop compositor adds, where it tells them; else the window rectangle.
RECT VisibleFrame(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  using GetAttribute = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
  static const auto get = SystemFunction<GetAttribute>(L"dwmapi.dll", "DwmGetWindowAttribute");
  RECT frame{};
  constexpr DWORD kExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
  if (get && SUCCEEDED(get(wnd, kExtendedFrameBounds, &frame, sizeof frame)) && frame.right > frame.left &&
      frame.bottom > frame.top)
    return frame;
  return r;
}

ScreenRect VirtualScreen() {
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return ScreenRect{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

int MonitorDpi(HMONITOR monitor) {
  using GetDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto get = SystemFunction<GetDpi>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get && SUCCEEDED(get(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x) return int(x);
  WindowDC screen(nullptr, false);
  return GetDeviceCaps(screen.get(), LOGPIXELSX);
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, RECT*, LPARAM list) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back(
        MonitorArea{ScreenRect{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0,
                    info.szDevice, MonitorDpi(monitor)});
  }
  return TRUE;
}

// A window's title, whole ("" for none).
std::wstring WindowTitle(HWND wnd) {
  const int n = GetWindowTextLengthW(wnd);
  if (n <= 0) return {};
  std::wstring title(size_t(n) + 1, L'\0');
  title.resize(size_t(GetWindowTextW(wnd, title.data(), n + 1)));
  return title;
}

struct TitleSearch {
  std::wstring text;  // upper-cased
  HWND found = nullptr;
};

BOOL CALLBACK MatchTitle(HWND wnd, LPARAM p) {
  auto* s = reinterpret_cast<TitleSearch*>(p);
  if (!IsWindowVisible(wnd) || IsIconic(wnd)) return TRUE;
  std::wstring title = WindowTitle(wnd);
  if (title.empty()) return TRUE;
  CharUpperBuffW(title.data(), DWORD(title.size()));
  if (title.find(s->text) == std::wstring::npos) return TRUE;
  s->found = wnd;
  return FALSE;
}

// The first window in z-order, top down, that is shown (not minimised) and whose title
// contains the text, compared without regard to case.
HWND FindWindowByTitle(const std::wstring& text) {
  TitleSearch search;
  search.text = text;
  CharUpperBuffW(search.text.data(), DWORD(search.text.size()));
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The image file name of a process ("notepad.exe"); empty when it cannot be read.
std::wstring ProgramOf(DWORD processId) {
  const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  wchar_t path[MAX_PATH * 4];
  DWORD size = DWORD(std::size(path));
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
  const std::wstring full(path, size);
  const size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

bool Shown(HWND wnd) { return IsWindowVisible(wnd) && !IsIconic(wnd); }

struct ProgramSearch {
  std::wstring program;  // upper-cased image name, or empty for a process id
  DWORD processId = 0;
  HWND found = nullptr;
};

BOOL CALLBACK MatchProgram(HWND wnd, LPARAM p) {
  auto* s = reinterpret_cast<ProgramSearch*>(p);
  if (!Shown(wnd)) return TRUE;
  DWORD id = 0;
  GetWindowThreadProcessId(wnd, &id);
  if (s->program.empty()) {
    if (id != s->processId) return TRUE;
  } else {
    std::wstring name = ProgramOf(id);
    CharUpperBuffW(name.data(), DWORD(name.size()));
    if (name != s->program) return TRUE;
  }
  s->found = wnd;
  return FALSE;
}

// The topmost shown top-level window of a program, named by its image file name (case
// does not matter) or by its process id (all digits).
HWND FindWindowOfProgram(const std::wstring& program) {
  ProgramSearch search;
  if (program.find_first_not_of(L"0123456789") == std::wstring::npos && program.size() <= 9) {
    search.processId = DWORD(std::stoul(program));
  } else {
    search.program = program;
    CharUpperBuffW(search.program.data(), DWORD(search.program.size()));
  }
  EnumWindows(MatchProgram, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The foreground window, or the first shown one below it; at a moment with no foreground
// window (it has just closed), the topmost shown window.
HWND ForegroundWindow() {
  HWND wnd = GetForegroundWindow();
  if (!wnd) wnd = GetTopWindow(nullptr);
  while (wnd && !Shown(wnd)) wnd = GetWindow(wnd, GW_HWNDNEXT);
  return wnd;
}

// Draws the cursor that is on the screen into the capture whose top-left corner is at
// the screen position origin, when it is shown and its hotspot lies in the capture.
void DrawScreenCursor(HDC dc, POINT origin, int width, int height) {
  CURSORINFO ci{};
  ci.cbSize = sizeof ci;
  if (!GetCursorInfo(&ci) || !(ci.flags & CURSOR_SHOWING) || !ci.hCursor) return;
  const int x = ci.ptScreenPos.x - origin.x, y = ci.ptScreenPos.y - origin.y;
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  ICONINFO icon{};
  HCURSOR cursor = ci.hCursor;
  if (!GetIconInfo(cursor, &icon)) {
    // A cursor that this process cannot read (Wine keeps cursors per process): the
    // standard arrow stands in for it.
    cursor = LoadCursorW(nullptr, IDC_ARROW);
    if (!cursor || !GetIconInfo(cursor, &icon)) return;
  }
  if (icon.hbmMask) DeleteObject(icon.hbmMask);
  if (icon.hbmColor) DeleteObject(icon.hbmColor);
  DrawIconEx(dc, x - int(icon.xHotspot), y - int(icon.yHotspot), cursor, 0, 0, 0, nullptr, DI_NORMAL);
}

// The listener, when it may be told of the rows as they land (nothing is drawn over them
// afterwards, and they land in a 32-bit section), else none.
CaptureListener* EarlyListener(CaptureListener* listener, const TBitmap& work, bool drawnOver) {
  return listener && !drawnOver && work.IsBgrxSection() ? listener : nullptr;
}

// Copies the screen in bands of rows: the system reads each band from the display into a
// buffer of its own, which then holds a band and not the whole screen. A whole screen at
// once was slower under Wine (a buffer of its size, made and touched anew), and bands of
// 256 rows added a sixth of the screen's size to the peak memory; bands of 64 rows (1 MiB
// at 3840 pixels) add next to nothing. The listener, if any, is told of the rows after
// each band, and works while they are read. The bands are read on a thread of their own:
// under Wine a thread that has done nothing else reads the screen in about two thirds of
// the time the program's first thread takes (40-50 against 63-72 ms at 3840x2160), with
// the very same pixels. The device contexts stay this thread's (it gets and releases
// them); while the bands are read the reader alone uses them, and the listener's work
// here touches none.
void CopyInBands(HDC to, int w, int h, HDC from, int x, int y, CaptureListener* listener) {
  std::exception_ptr failure;
  const auto read = [=, &failure] {
    try {
      const int kBandRows = 64;
      for (int top = 0; top < h; top += kBandRows) {
        const int rows = std::min(kBandRows, h - top);
        // A band that cannot be copied would stay as the section was made, black: the
        // capture fails instead of showing rows that were never on the screen.
        if (!BitBlt(to, 0, top, w, rows, from, x, y + top, SRCCOPY)) Raise(ErrorKind::Target, msg::kScreenUnread);
        GdiFlush();  // the band is in the section's memory
        if (listener) listener->Landed(top + rows);
      }
    } catch (...) {
      failure = std::current_exception();
      if (listener) listener->Stopped();
    }
    if (listener) listener->ReaderEnds();  // does not raise
  };
  std::thread reader;
  try {
    reader = std::thread(read);
  } catch (const std::system_error&) {
    read();  // no thread to be had: read here, then let the listener work
  }
  if (listener) listener->WhileReading();  // does not raise
  if (reader.joinable()) reader.join();
  if (failure) std::rethrow_exception(failure);
}

// Copies a rectangle of the virtual screen; what no monitor shows is black.
TBitmap CopyScreenArea(const ScreenRect& area, bool cursor, CaptureListener* listener) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  TBitmap work;
  work.SetSizeForCapture(w, h);
  {
    WindowDC screen(nullptr, false);
    BitmapCanvas canvas(work);
    const RegionHandle gaps(CreateRectRgn(0, 0, w, h));
    for (const MonitorArea& m : Monitors()) {
      const RegionHandle shown(CreateRectRgn(m.rect.left - area.left, m.rect.top - area.top,
                                             m.rect.right - area.left, m.rect.bottom - area.top));
      CombineRgn(gaps.get(), gaps.get(), shown.get(), RGN_DIFF);
    }
    RECT box{};
    const bool anyGap = GetRgnBox(gaps.get(), &box) != NULLREGION;
    CaptureListener* early = EarlyListener(listener, work, cursor || anyGap);
    if (early) early->Started(work);
    CopyInBands(canvas.dc(), w, h, screen.get(), area.left, area.top, early);
    if (anyGap) FillRgn(canvas.dc(), gaps.get(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (cursor) DrawScreenCursor(canvas.dc(), POINT{area.left, area.top}, w, h);
  }
  return work;
}

// The part of the foreground window on the primary screen, read from the screen: a
// window that closes, shrinks or moves while it is read leaves what the screen shows there
// in the rows read after, never rows of nothing. Empty for a window wholly off the
// primary screen.
ScreenRect ForegroundArea(HWND wnd) {
  const RECT r = VisibleFrame(wnd);
  const ClipResult c = ClipToScreen(ScreenRect{r.left, r.top, r.right, r.bottom}, GetSystemMetrics(SM_CXSCREEN),
                                    GetSystemMetrics(SM_CYSCREEN));
  if (c.width <= 0 || c.height <= 0) return {};
  const int left = r.left + c.offsetX, top = r.top + c.offsetY;
  return ScreenRect{left, top, left + c.width, top + c.height};
}

// The primary screen, through the desktop window's own device context.
TBitmap CopyPrimaryScreen(bool cursor, CaptureListener* listener) {
  HWND wnd = GetDesktopWindow();
  RECT r{};
  GetWindowRect(wnd, &r);
  const ClipResult c = ClipToScreen(ScreenRect{r.left, r.top, r.right, r.bottom}, GetSystemMetrics(SM_CXSCREEN),
                                    GetSystemMetrics(SM_CYSCREEN));
  if (c.width <= 0 || c.height <= 0) Raise(ErrorKind::Target, msg::kOutsideTheScreen);

  TBitmap work;
  WindowDC source(wnd, true);
  work.SetSizeForCapture(c.width, c.height);
  {
    BitmapCanvas canvas(work);
    CaptureListener* early = EarlyListener(listener, work, cursor);
    if (early) early->Started(work);
    CopyInBands(canvas.dc(), c.width, c.height, source.get(), c.offsetX, c.offsetY, early);
    if (cursor) DrawScreenCursor(canvas.dc(), POINT{r.left + c.offsetX, r.top + c.offsetY}, c.width, c.height);
  }
  return work;
}

// Whether every pixel of the bitmap reads as the colour (at 32 bits per pixel), read in
// bands so that the check needs little memory.
bool AllPixelsAre(HBITMAP bitmap, int w, int h, COLORREF colour) {
  const uint32_t expected = uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
  constexpr int kBand = 64;
  std::vector<uint32_t> rows(size_t(w) * kBand);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  WindowDC screen(nullptr, false);
  for (int top = 0; top < h; top += kBand) {
    const int n = std::min(kBand, h - top);
    // Rows of a top-down bitmap are counted from the bottom by GetDIBits.
    if (GetDIBits(screen.get(), bitmap, UINT(h - top - n), UINT(n), rows.data(), &info, DIB_RGB_COLORS) != n)
      return false;
    for (size_t i = 0; i < size_t(w) * size_t(n); ++i)
      if ((rows[i] & 0xFFFFFF) != expected) return false;
  }
  return true;
}

// A window's own drawing, as PrintWindow gets it (whether it is covered, partly off the
// screen or on no monitor), with or without its frame. A window that draws nothing leaves
// the background as it was: that is found by drawing on two different backgrounds, and is
// a target error rather than a blank picture.
TBitmap CopyOwnPixels(HWND wnd, bool client, bool cursor, const std::string& name) {
  RECT r{};
  POINT origin{};
  if (client) {
    GetClientRect(wnd, &r);
    ClientToScreen(wnd, &origin);
  } else {
    GetWindowRect(wnd, &r);
    origin = POINT{r.left, r.top};
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) Raise(ErrorKind::Target, FormatOne(msg::kNothingDrawn, name));
  TBitmap work;
  work.SetSize(w, h);
  constexpr UINT kClientOnly = 1, kFullContent = 2;  // PW_CLIENTONLY, PW_RENDERFULLCONTENT
  const UINT flags = client ? kClientOnly : 0;
  bool drawn = false;
  for (const COLORREF background : {RGB(0x12, 0x34, 0x56), RGB(0xED, 0xCB, 0xA9)}) {
    {
      BitmapCanvas canvas(work);
      const BrushHandle brush(CreateSolidBrush(background));
      const RECT all{0, 0, w, h};
      FillRect(canvas.dc(), &all, brush.get());
      // The full content (what the compositor shows) where the system has it.
      if (!PrintWindow(wnd, canvas.dc(), flags | kFullContent)) PrintWindow(wnd, canvas.dc(), flags);
    }
    if (!AllPixelsAre(work.Handle(), w, h, background)) {
      drawn = true;
      break;
    }
  }
  if (!drawn) Raise(ErrorKind::Target, FormatOne(msg::kNothingDrawn, name));
  if (cursor) {
    BitmapCanvas canvas(work);
    DrawScreenCursor(canvas.dc(), origin, w, h);
  }
  return work;
}

BOOL CALLBACK AddWindow(HWND wnd, LPARAM list) {
  if (!IsWindowVisible(wnd)) return TRUE;
  WindowEntry e{};
  e.handle = uint64_t(reinterpret_cast<uintptr_t>(wnd));
  DWORD id = 0;
  GetWindowThreadProcessId(wnd, &id);
  e.processId = id;
  e.program = ProgramOf(id);
  if (e.program.empty()) e.program = L"?";
  const RECT r = VisibleFrame(wnd);
  e.rect = ScreenRect{r.left, r.top, r.right, r.bottom};
  e.title = WindowTitle(wnd);
  reinterpret_cast<std::vector<WindowEntry>*>(list)->push_back(e);
  return TRUE;
}

std::string HandleText(uint64_t handle) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(handle));
  return text;
}

}  // namespace

std::vector<WindowEntry> Windows() {
  std::vector<WindowEntry> list;
  EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&list));
  return list;
}

HWND ScreenGrabber::TargetWindow(std::string& name) const {
  HWND wnd = nullptr;
  switch (target) {
    case Target::Foreground:
      name = "/A";
      wnd = ForegroundWindow();
      break;
    case Target::Title:
      name = ToUtf8(title);
      wnd = FindWindowByTitle(title);
      break;
    case Target::Handle: {
      name = HandleText(handle);
      // A window handle has 32 significant bits, sign-extended in a 64-bit process (the
      // parser takes no other value).
      HWND h = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(handle))));
      // A handle is taken as given only when it names a shown top-level window.
      if (IsWindow(h) && Shown(h) && !GetParent(h)) wnd = h;
      break;
    }
    case Target::Program:
      name = ToUtf8(program);
      wnd = FindWindowOfProgram(program);
      break;
    default: return nullptr;
  }
  if (!wnd) Raise(ErrorKind::Target, FormatOne(msg::kNoSuchWindow, name));
  return wnd;
}

std::vector<MonitorArea> Monitors() {
  std::vector<MonitorArea> list;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
  return OrderMonitors(std::move(list));
}

TBitmap ScreenGrabber::Capture() {
  ScreenRect area{};
  capturedTitle_.clear();
  switch (target) {
    case Target::Screen: return CopyPrimaryScreen(drawCursor, listener);
    case Target::Foreground:
    case Target::Title:
    case Target::Handle:
    case Target::Program: {
      std::string name;
      HWND wnd = TargetWindow(name);
      capturedTitle_ = WindowTitle(wnd);
      if (ownPixels) return CopyOwnPixels(wnd, clientArea, drawCursor, name);
      if (target == Target::Foreground && !clientArea) {
        area = ForegroundArea(wnd);
        if (IsEmpty(area)) return {};  // wholly off the primary screen: nothing to capture
        break;
      }
      RECT r = VisibleFrame(wnd);
      if (clientArea) {
        POINT origin{};
        ClientToScreen(wnd, &origin);
        GetClientRect(wnd, &r);
        OffsetRect(&r, origin.x, origin.y);
      }
      area = Intersect(ScreenRect{r.left, r.top, r.right, r.bottom}, VirtualScreen());
      break;
    }
    case Target::VirtualScreen: area = VirtualScreen(); break;
    case Target::Monitor: {
      const std::vector<MonitorArea> monitors = Monitors();
      if (monitor < 1 || size_t(monitor) > monitors.size())
        Raise(ErrorKind::Target, FormatOne(msg::kNoSuchMonitor, std::to_string(monitor)));
      area = monitors[size_t(monitor) - 1].rect;
      break;
    }
    case Target::Rect: area = Intersect(rect, VirtualScreen()); break;
  }
  if (IsEmpty(area)) Raise(ErrorKind::Target, msg::kOutsideTheScreen);
  return CopyScreenArea(area, drawCursor, listener);
}

}  // namespace pixo
