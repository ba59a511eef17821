#include "pixo/capture/grabber.h"

#include "pixo/capture/tbitmap.h"

namespace pixo {

HBITMAP ScreenGrabber::Capture() {
  HWND wnd;
  if (ActiveWindow) {
    wnd = GetForegroundWindow();
    while (wnd && !(IsWindowVisible(wnd) && !IsIconic(wnd))) wnd = GetWindow(wnd, GW_HWNDNEXT);
  } else {
    wnd = GetDesktopWindow();
  }
  if (!wnd) return nullptr;

  RECT r{};
  GetWindowRect(wnd, &r);
  const ClipResult c = ClipToScreen(ScreenRect{r.left, r.top, r.right, r.bottom}, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  // A window wholly off the primary screen leaves a negative size: nothing to capture.
  if (c.width <= 0 || c.height <= 0) return nullptr;

  TBitmap work;
  WindowDC source(wnd, true);
  work.SetSize(c.width, c.height);
  {
    BitmapCanvas canvas(work);
    BitBlt(canvas.dc(), 0, 0, c.width, c.height, source.get(), c.offsetX, c.offsetY, SRCCOPY);
    if (IncludeMouseCursor) {
      POINT p{};
      GetCursorPos(&p);
      if (HCURSOR cursor = GetCursor())
        DrawIcon(canvas.dc(), p.x - r.left - c.offsetX, p.y - r.top - c.offsetY, cursor);
    }
  }
  return work.ReleaseHandle();
}

}  // namespace pixo
