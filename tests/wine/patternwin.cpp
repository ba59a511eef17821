// Test helper: shows windows with known colours so that a capture of the foreground
// window can be checked. Writes "left top right bottom" of the window that should be
// captured to the file named first, then keeps its windows for the given seconds.
// Usage: patternwin.exe RECTFILE SECONDS [minimised]
//   plain:      one window, red client area, foreground.
//   minimised:  a green window below a foreground window that is then minimised; the
//               green one is the expected capture.
//   offscreen:  one window wholly to the right of the primary screen, foreground.
//   quadrants:  a borderless window over the whole screen: red, green, blue and white
//               quarters (top left, top right, bottom left, bottom right).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
COLORREF g_colour[2] = {RGB(255, 0, 0), RGB(0, 255, 0)};

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND && GetWindowLongPtrW(wnd, GWLP_USERDATA) == 2) {
    RECT r;
    GetClientRect(wnd, &r);
    const COLORREF quarter[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
    for (int i = 0; i < 4; ++i) {
      RECT q{(i % 2) * r.right / 2, (i / 2) * r.bottom / 2, (i % 2 + 1) * r.right / 2, (i / 2 + 1) * r.bottom / 2};
      HBRUSH b = CreateSolidBrush(quarter[i]);
      FillRect(reinterpret_cast<HDC>(wp), &q, b);
      DeleteObject(b);
    }
    return 1;
  }
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(wnd, &r);
    HBRUSH b = CreateSolidBrush(g_colour[GetWindowLongPtrW(wnd, GWLP_USERDATA)]);
    FillRect(reinterpret_cast<HDC>(wp), &r, b);
    DeleteObject(b);
    return 1;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

HWND Make(int index, int x, int y, int w, int h) {
  HWND wnd = CreateWindowExW(0, L"pattern", L"pattern", WS_OVERLAPPEDWINDOW, x, y, w, h, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(wnd, GWLP_USERDATA, index);
  ShowWindow(wnd, SW_SHOWNORMAL);
  UpdateWindow(wnd);
  return wnd;
}

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (GetTickCount() < end) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(10);
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"pattern";
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
  const bool minimised = argc > 3 && std::strcmp(argv[3], "minimised") == 0;
  HWND expected;
  if (argc > 3 && std::strcmp(argv[3], "quadrants") == 0) {
    expected = CreateWindowExW(WS_EX_TOPMOST, L"pattern", L"quadrants", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(expected, GWLP_USERDATA, 2);
    ShowWindow(expected, SW_SHOW);
    UpdateWindow(expected);
  } else if (argc > 3 && std::strcmp(argv[3], "offscreen") == 0) {
    expected = Make(0, GetSystemMetrics(SM_CXSCREEN) + 50, 100, 300, 200);
    SetForegroundWindow(expected);
  } else if (minimised) {
    expected = Make(1, 200, 150, 320, 240);
    HWND top = Make(0, 40, 40, 200, 150);
    SetForegroundWindow(top);
    Pump(300);
    ShowWindow(top, SW_MINIMIZE);
  } else {
    expected = Make(0, 100, 80, 400, 300);
    SetForegroundWindow(expected);
  }
  Pump(500);
  RECT r;
  GetWindowRect(expected, &r);
  FILE* f = std::fopen(argv[1], "w");
  if (f) {
    std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    std::fclose(f);
  }
  Pump(DWORD(std::atoi(argv[2]) * 1000));
  return 0;
}
