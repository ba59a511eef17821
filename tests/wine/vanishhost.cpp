// Test host for a foreground window that goes away while it is read: the capture code of
// pixo.exe, linked in, reads a red foreground window over the whole screen, above a blue
// window that covers the screen as well, and the red one closes or shrinks once a chosen
// number of bands has landed (the reading waits until it has). Usage:
//   vanishhost.exe close BANDS    the red window is destroyed after BANDS bands
//   vanishhost.exe shrink BANDS   the red window shrinks to 300x200 after BANDS bands
//   vanishhost.exe gone 0         the red window is destroyed before anything is read,
//                                 leaving no foreground window (the blue one is disabled,
//                                 so nothing is activated in its place)
// Prints "rows R, black rows B" of the capture, "nothing captured", or the error it
// raised; exit code 0 once the capture is over.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/capture/grabber.h"

namespace {

constexpr UINT kGoAway = WM_APP + 1;
HWND g_red = nullptr;
bool g_shrink = false;

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(wnd, &r);
    HBRUSH b = CreateSolidBrush(wnd == g_red ? RGB(255, 0, 0) : RGB(0, 0, 255));
    FillRect(reinterpret_cast<HDC>(wp), &r, b);
    DeleteObject(b);
    return 1;
  }
  if (msg == kGoAway) {
    if (g_shrink) {
      SetWindowPos(wnd, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      DestroyWindow(wnd);
    }
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

HANDLE g_ready = nullptr;

// The windows live on a thread of their own that answers messages, as another program's do.
DWORD WINAPI Windows(void*) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"vanishhost";
  RegisterClassW(&wc);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HWND blue = CreateWindowExW(WS_EX_NOACTIVATE, L"vanishhost", L"vanish ground", WS_POPUP | WS_DISABLED, 0, 0, w, h, nullptr,
                              nullptr, wc.hInstance, nullptr);
  ShowWindow(blue, SW_SHOWNOACTIVATE);
  UpdateWindow(blue);
  g_red = CreateWindowExW(0, L"vanishhost", L"vanish red", WS_POPUP, 0, 0, w, h, nullptr, nullptr, wc.hInstance,
                          nullptr);
  ShowWindow(g_red, SW_SHOW);
  UpdateWindow(g_red);
  SetForegroundWindow(g_red);
  SetEvent(g_ready);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

// Sends the red window away once the given number of rows has landed, and holds the
// reading until it is gone.
class Vanish : public pixo::CaptureListener {
 public:
  explicit Vanish(int rows) : rows_(rows) {}
  void Started(const pixo::TBitmap&) override {}
  void WhileReading() override {}
  void Landed(int rows) override {
    if (rows >= rows_ && !sent_) {
      sent_ = true;
      SendMessageW(g_red, kGoAway, 0, 0);
      Sleep(100);  // the window below has drawn what was covered
    }
  }
  void Stopped() override {}
  void ReaderEnds() override {}

 private:
  int rows_;
  bool sent_ = false;
};

// How many rows of the capture are black from edge to edge.
int BlackRows(const pixo::TBitmap& image) {
  const int w = image.Width(), h = image.Height();
  std::vector<uint32_t> pixels(size_t(w) * size_t(h));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC dc = GetDC(nullptr);
  const int read = GetDIBits(dc, image.Handle(), 0, UINT(h), pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (read != h) return h;
  int black = 0;
  for (int y = 0; y < h; ++y) {
    bool all = true;
    for (int x = 0; x < w && all; ++x) all = (pixels[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF) == 0;
    black += all;
  }
  return black;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 9;
  const std::string mode = argv[1];
  const int n = std::atoi(argv[2]);
  g_shrink = mode == "shrink";
  g_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, Windows, nullptr, 0, nullptr));
  WaitForSingleObject(g_ready, 10000);
  Sleep(500);
  if (mode == "gone") {
    SendMessageW(g_red, kGoAway, 0, 0);
    Sleep(300);
    if (HWND fg = GetForegroundWindow()) {
      wchar_t cls[64] = L"";
      GetClassNameW(fg, cls, 64);
      std::printf("foreground window: %ls\n", cls);
    } else {
      std::printf("foreground window: none\n");
    }
  }
  Vanish vanish(mode == "gone" ? 1 << 30 : n * 64);
  pixo::ScreenGrabber grabber;
  grabber.target = pixo::Target::Foreground;
  grabber.listener = &vanish;
  try {
    const pixo::TBitmap image = grabber.Capture();
    if (image.Empty()) {
      std::printf("nothing captured\n");
    } else {
      std::printf("rows %d, black rows %d\n", image.Height(), BlackRows(image));
    }
  } catch (const pixo::Error& e) {
    std::printf("%s: %s\n", e.ClassName().c_str(), e.Message().c_str());
  }
  return 0;
}
