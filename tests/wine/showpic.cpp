// Test helper: shows a BMP picture in a borderless topmost window at the screen's top-left
// corner (or at X,Y), writes the ready file once it is painted, and closes after the given
// seconds. With a TITLE the window has that title and is an ordinary one, above the
// windows before it, the foreground window, but not kept on top. The window shows the
// arrow cursor.
// Usage: showpic.exe PICTURE.BMP READYFILE SECONDS [X Y [TITLE]]
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

namespace {
HBITMAP g_picture;

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, g_picture);
    BITMAP bm;
    GetObjectW(g_picture, sizeof bm, &bm);
    BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    EndPaint(wnd, &ps);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(wnd, msg, wp, lp);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  g_picture = static_cast<HBITMAP>(LoadImageA(nullptr, argv[1], IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  if (!g_picture) return 3;
  BITMAP bm;
  GetObjectW(g_picture, sizeof bm, &bm);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"showpic";
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
  const int x = argc > 5 ? std::atoi(argv[4]) : 0, y = argc > 5 ? std::atoi(argv[5]) : 0;
  wchar_t title[256] = L"showpic";
  const bool topmost = argc <= 6;
  // The title from the wide command line, so that any character (an emoji too) arrives.
  int wargc = 0;
  wchar_t** wargv = topmost ? nullptr : CommandLineToArgvW(GetCommandLineW(), &wargc);
  if (wargv && wargc > 6) lstrcpynW(title, wargv[6], 256);
  if (wargv) LocalFree(wargv);
  HWND wnd = CreateWindowExW(topmost ? WS_EX_TOPMOST : 0, L"showpic", title, WS_POPUP, x, y, bm.bmWidth, bm.bmHeight,
                             nullptr, nullptr, wc.hInstance, nullptr);
  // An ordinary window becomes the foreground one, so that its cursor is the screen's.
  ShowWindow(wnd, topmost ? SW_SHOWNOACTIVATE : SW_SHOW);
  if (!topmost) SetForegroundWindow(wnd);
  UpdateWindow(wnd);
  GdiFlush();
  const DWORD end = GetTickCount() + DWORD(std::atoi(argv[3]) * 1000);
  bool ready = false;
  const DWORD readyAt = GetTickCount() + 400;
  DWORD refreshAt = GetTickCount() + 250;
  while (GetTickCount() < end) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    if (GetTickCount() >= refreshAt) {
      // Stay on top and painted, whatever else comes and goes on the screen.
      if (topmost)
        SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      refreshAt = GetTickCount() + 250;
    }
    if (!ready && GetTickCount() >= readyAt) {
      FILE* f = std::fopen(argv[2], "w");
      if (f) std::fclose(f);
      ready = true;
    }
    Sleep(10);
  }
  return 0;
}
