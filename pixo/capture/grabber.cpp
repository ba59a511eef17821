#include "pixo/capture/grabber.h"

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

namespace {

// A function of a system DLL that older systems may lack; null when it is not there.
template <typename F>
F SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryW(dll);
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

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

struct TitleSearch {
  std::wstring text;  // upper-cased
  HWND found = nullptr;
};

BOOL CALLBACK MatchTitle(HWND wnd, LPARAM p) {
  auto* s = reinterpret_cast<TitleSearch*>(p);
  if (!IsWindowVisible(wnd) || IsIconic(wnd)) return TRUE;
  const int n = GetWindowTextLengthW(wnd);
  if (n <= 0) return TRUE;
  std::wstring title(size_t(n) + 1, L'\0');
  title.resize(size_t(GetWindowTextW(wnd, title.data(), n + 1)));
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

// Copies the screen in bands of rows: the system reads each band from the display into a
// buffer of its own, which then holds a band and not the whole screen.
void CopyInBands(HDC to, int w, int h, HDC from, int x, int y) {
  const int kBandRows = 256;
  for (int top = 0; top < h; top += kBandRows)
    BitBlt(to, 0, top, w, std::min(kBandRows, h - top), from, x, y + top, SRCCOPY);
}

// Copies a rectangle of the virtual screen; what no monitor shows is black.
BitmapHandle CopyScreenArea(const ScreenRect& area, bool cursor) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  TBitmap work;
  work.SetSize(w, h);
  {
    WindowDC screen(nullptr, false);
    BitmapCanvas canvas(work);
    CopyInBands(canvas.dc(), w, h, screen.get(), area.left, area.top);
    const RegionHandle gaps(CreateRectRgn(0, 0, w, h));
    for (const MonitorArea& m : Monitors()) {
      const RegionHandle shown(CreateRectRgn(m.rect.left - area.left, m.rect.top - area.top,
                                             m.rect.right - area.left, m.rect.bottom - area.top));
      CombineRgn(gaps.get(), gaps.get(), shown.get(), RGN_DIFF);
    }
    FillRgn(canvas.dc(), gaps.get(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (cursor) DrawScreenCursor(canvas.dc(), POINT{area.left, area.top}, w, h);
  }
  return BitmapHandle(work.ReleaseHandle());
}

// The primary screen or the foreground window, through the window's own device context,
// clipped to the primary screen.
BitmapHandle CopyWindow(bool foreground, bool cursor) {
  HWND wnd;
  if (foreground) {
    wnd = GetForegroundWindow();
    while (wnd && !(IsWindowVisible(wnd) && !IsIconic(wnd))) wnd = GetWindow(wnd, GW_HWNDNEXT);
  } else {
    wnd = GetDesktopWindow();
  }
  if (!wnd) return {};

  RECT whole{};
  GetWindowRect(wnd, &whole);
  const RECT r = foreground ? VisibleFrame(wnd) : whole;
  const ClipResult c = ClipToScreen(ScreenRect{r.left, r.top, r.right, r.bottom}, GetSystemMetrics(SM_CXSCREEN),
                                    GetSystemMetrics(SM_CYSCREEN));
  // A window wholly off the primary screen leaves a negative size: nothing to capture.
  if (c.width <= 0 || c.height <= 0) return {};

  TBitmap work;
  WindowDC source(wnd, true);
  work.SetSize(c.width, c.height);
  {
    BitmapCanvas canvas(work);
    CopyInBands(canvas.dc(), c.width, c.height, source.get(), r.left - whole.left + c.offsetX,
                r.top - whole.top + c.offsetY);
    if (cursor) DrawScreenCursor(canvas.dc(), POINT{r.left + c.offsetX, r.top + c.offsetY}, c.width, c.height);
  }
  return BitmapHandle(work.ReleaseHandle());
}

}  // namespace

std::vector<MonitorArea> Monitors() {
  std::vector<MonitorArea> list;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
  return OrderMonitors(std::move(list));
}

BitmapHandle ScreenGrabber::Capture() {
  ScreenRect area{};
  switch (target) {
    case Target::Screen: return CopyWindow(false, drawCursor);
    case Target::Foreground: return CopyWindow(true, drawCursor);
    case Target::VirtualScreen: area = VirtualScreen(); break;
    case Target::Monitor: {
      const std::vector<MonitorArea> monitors = Monitors();
      if (monitor < 1 || size_t(monitor) > monitors.size())
        Raise(ErrorKind::Target, FormatOne(msg::kNoSuchMonitor, std::to_string(monitor)));
      area = monitors[size_t(monitor) - 1].rect;
      break;
    }
    case Target::Title: {
      HWND wnd = FindWindowByTitle(title);
      if (!wnd) Raise(ErrorKind::Target, FormatOne(msg::kNoSuchWindow, ToUtf8(title)));
      const RECT r = VisibleFrame(wnd);
      area = Intersect(ScreenRect{r.left, r.top, r.right, r.bottom}, VirtualScreen());
      break;
    }
    case Target::Rect: area = Intersect(rect, VirtualScreen()); break;
  }
  if (IsEmpty(area)) Raise(ErrorKind::Target, msg::kOutsideTheScreen);
  return CopyScreenArea(area, drawCursor);
}

}  // namespace pixo
