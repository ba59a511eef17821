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
//   own:        a framed window "own plain" whose client area is left half red, right
//               half blue with a lime bar of 10 rows across the top, and a frameless
//               "draws nothing" window that never draws. RECTFILE gets "title|handle pid
//               client-left client-top client-width client-height window-width
//               window-height" of the framed one.
//   flip:       a topmost frameless 200x200 window at 0,0, red; it turns green when a
//               file flip1 appears in the current folder, then blue at flip2.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {
COLORREF g_colour[2] = {RGB(255, 0, 0), RGB(0, 255, 0)};

// The client area of the "own" windows, drawn the same on the screen and when printed.
void DrawOwn(HWND wnd, HDC dc) {
  RECT r;
  GetClientRect(wnd, &r);
  const struct {
    RECT part;
    COLORREF colour;
  } parts[] = {{{0, 0, r.right / 2, r.bottom}, RGB(255, 0, 0)},
               {{r.right / 2, 0, r.right, r.bottom}, RGB(0, 0, 255)},
               {{0, 0, r.right, 10}, RGB(0, 255, 0)}};
  for (const auto& p : parts) {
    HBRUSH b = CreateSolidBrush(p.colour);
    FillRect(dc, &p.part, b);
    DeleteObject(b);
  }
}

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  const LONG_PTR kind = GetWindowLongPtrW(wnd, GWLP_USERDATA);
  if (kind == 4) {  // draws nothing, ever
    if (msg == WM_ERASEBKGND || msg == WM_PRINTCLIENT) return 1;
    if (msg == WM_PAINT) {
      ValidateRect(wnd, nullptr);
      return 0;
    }
  }
  if (kind >= 10 && msg == WM_ERASEBKGND) {  // flip: 10 red, 11 green, 12 blue
    const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};
    RECT r;
    GetClientRect(wnd, &r);
    HBRUSH b = CreateSolidBrush(colours[(kind - 10) % 3]);
    FillRect(reinterpret_cast<HDC>(wp), &r, b);
    DeleteObject(b);
    return 1;
  }
  if (kind == 3 && (msg == WM_ERASEBKGND || msg == WM_PRINTCLIENT)) {
    DrawOwn(wnd, reinterpret_cast<HDC>(wp));
    return 1;
  }
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

HWND Make(int index, int x, int y, int w, int h, const wchar_t* title = L"pattern", DWORD exStyle = 0,
          DWORD style = WS_OVERLAPPEDWINDOW) {
  HWND wnd = CreateWindowExW(exStyle, L"pattern", title, style, x, y, w, h, nullptr, nullptr,
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
  } else if (argc > 3 && std::strcmp(argv[3], "flip") == 0) {
    HWND flip = Make(10, 0, 0, 200, 200, L"flip", WS_EX_TOPMOST, WS_POPUP);
    if (FILE* f = std::fopen(argv[1], "w")) std::fclose(f);
    const DWORD end = GetTickCount() + DWORD(std::atoi(argv[2]) * 1000);
    for (int next = 1; GetTickCount() < end;) {
      char name[16];
      std::snprintf(name, sizeof name, "flip%d", next);
      if (next <= 2 && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
        SetWindowLongPtrW(flip, GWLP_USERDATA, 10 + next++);
        InvalidateRect(flip, nullptr, TRUE);
        UpdateWindow(flip);
      }
      Pump(20);
    }
    return 0;
  } else if (argc > 3 && std::strcmp(argv[3], "own") == 0) {
    HWND plain = Make(3, 520, 320, 300, 200, L"own plain");
    Make(4, 600, 100, 200, 100, L"draws nothing", 0, WS_POPUP);
    Pump(500);
    FILE* f = std::fopen(argv[1], "w");
    for (HWND w : {plain}) {
      RECT c, whole;
      GetClientRect(w, &c);
      GetWindowRect(w, &whole);
      POINT o{0, 0};
      ClientToScreen(w, &o);
      wchar_t title[64];
      GetWindowTextW(w, title, 64);
      if (f)
        std::fprintf(f, "%ls|0x%llX %lu %ld %ld %ld %ld %ld %ld\n", title,
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(w)), GetCurrentProcessId(), o.x, o.y,
                     c.right, c.bottom, whole.right - whole.left, whole.bottom - whole.top);
    }
    if (f) std::fclose(f);
    Pump(DWORD(std::atoi(argv[2]) * 1000));
    return 0;
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
