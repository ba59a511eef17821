// The floor of any GDI capture: a program that starts, copies the whole screen into a DIB
// section and ends. Mode "32" or "24" (bits per pixel), "bands" after it for bands of 64
// rows instead of one copy.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR args, int) {
  const int bits = std::wcsstr(args, L"24") ? 24 : 32;
  const bool bands = std::wcsstr(args, L"bands") != nullptr;
  const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = WORD(bits);
  void* bits_ = nullptr;
  HBITMAP section = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (!section) return 1;
  HGDIOBJ old = SelectObject(dc, section);
  BOOL ok = TRUE;
  if (bands) {
    for (int top = 0; top < h && ok; top += 64) ok = BitBlt(dc, 0, top, w, top + 64 > h ? h - top : 64, screen, x, y + top, SRCCOPY);
  } else {
    ok = BitBlt(dc, 0, 0, w, h, screen, x, y, SRCCOPY);
  }
  GdiFlush();
  SelectObject(dc, old);
  DeleteObject(section);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ok ? 0 : 1;
}
