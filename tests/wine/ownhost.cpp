// Test host for a capture of a window's own drawing (/W): the capture code of pixo.exe,
// linked in, runs in the process that owns the windows, which is where Wine's
// PrintWindow reaches (it asks the window to draw into a device context of the caller).
// Usage: ownhost.exe RECTFILE pixo-switches...
//   Shows "own covered" (400x300 at 100,100, under a topmost green window "own cover")
//   and "own offscreen" (400x200 at -150,450, partly left of the screen), whose client
//   areas are red on the left half, blue on the right and have a lime bar of 10 rows on
//   top; RECTFILE gets "title|client-width client-height window-width window-height" per
//   window. Then the switches run as a capture run; the exit code is 0, or the quiet exit
//   code of the error, whose class and message go to standard error.
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/capture/run_capture.h"

namespace {

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND || msg == WM_PRINTCLIENT) {
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT r;
    GetClientRect(wnd, &r);
    const bool cover = GetWindowLongPtrW(wnd, GWLP_USERDATA) == 1;
    const struct {
      RECT part;
      COLORREF colour;
    } parts[] = {{{0, 0, cover ? r.right : r.right / 2, r.bottom}, cover ? RGB(0, 128, 0) : RGB(255, 0, 0)},
                 {{cover ? r.right : r.right / 2, 0, r.right, r.bottom}, RGB(0, 0, 255)},
                 {{0, 0, cover ? 0 : r.right, 10}, RGB(0, 255, 0)}};
    for (const auto& p : parts) {
      HBRUSH b = CreateSolidBrush(p.colour);
      FillRect(dc, &p.part, b);
      DeleteObject(b);
    }
    return 1;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

HWND Show(const wchar_t* title, int x, int y, int w, int h, bool cover) {
  HWND wnd = CreateWindowExW(cover ? WS_EX_TOPMOST : 0, L"ownhost", title, WS_OVERLAPPEDWINDOW, x, y, w, h, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(wnd, GWLP_USERDATA, cover ? 1 : 0);
  ShowWindow(wnd, SW_SHOWNOACTIVATE);
  UpdateWindow(wnd);
  return wnd;
}

struct Shown {
  std::string file;
  HANDLE ready;
};

// The windows live on a thread of their own that answers messages, as another program's
// would while the capture waits for them to draw.
DWORD WINAPI Windows(void* p) {
  auto* shown = static_cast<Shown*>(p);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ownhost";
  RegisterClassW(&wc);
  HWND covered = Show(L"own covered", 100, 100, 400, 300, false);
  HWND offscreen = Show(L"own offscreen", -150, 450, 400, 200, false);
  Show(L"own cover", 250, 150, 200, 150, true);
  if (FILE* f = std::fopen(shown->file.c_str(), "w")) {
    for (HWND w : {covered, offscreen}) {
      RECT c, whole;
      GetClientRect(w, &c);
      GetWindowRect(w, &whole);
      wchar_t title[64];
      GetWindowTextW(w, title, 64);
      std::fprintf(f, "%ls|%ld %ld %ld %ld\n", title, c.right, c.bottom, whole.right - whole.left,
                   whole.bottom - whole.top);
    }
    std::fclose(f);
  }
  SetEvent(shown->ready);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 9;
  char file[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, file, sizeof file, nullptr, nullptr);
  Shown shown{file, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  CloseHandle(CreateThread(nullptr, 0, Windows, &shown, 0, nullptr));
  WaitForSingleObject(shown.ready, 10000);
  Sleep(500);
  std::vector<std::wstring> args(argv + 2, argv + argc);
  try {
    pixo::RunCapture(pixo::ParseArguments(args));
  } catch (const pixo::Error& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName().c_str(), e.Message().c_str());
    return pixo::QuietExitCode(e.Kind());
  }
  return 0;
}
