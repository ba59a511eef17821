// Test helper: clicks buttons of a top-level window by their text, as a user would, with
// BM_CLICK messages; "wait:MS" pauses between clicks; "where:BUTTON" prints the button's
// centre on the screen ("at X Y"), for clicks with the mouse; "ping" fails (exit code 3)
// unless the window's thread answers a message within two seconds; "close" closes the
// window and waits up to ten seconds for it to go.
// Usage: clicker.exe WINDOW-TITLE BUTTON|wait:MS|where:BUTTON|ping|close ...
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Search {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK FindButton(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  wchar_t text[128] = L"";
  GetWindowTextW(w, text, 128);
  if (std::wcscmp(text, s->text) == 0) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HWND window = nullptr;
  for (int i = 0; i < 200 && !window; ++i) {
    window = FindWindowW(nullptr, argv[1]);
    if (!window) Sleep(50);
  }
  if (!window) {
    std::printf("no window\n");
    return 1;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::wcsncmp(argv[i], L"wait:", 5) == 0) {
      Sleep(DWORD(_wtoi(argv[i] + 5)));
      continue;
    }
    if (std::wcscmp(argv[i], L"ping") == 0) {
      DWORD_PTR answer = 0;
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer)) {
        std::printf("no answer\n");
        return 3;
      }
      std::printf("answered\n");
      continue;
    }
    if (std::wcscmp(argv[i], L"close") == 0) {
      PostMessageW(window, WM_CLOSE, 0, 0);
      for (int wait = 0; wait < 200 && IsWindow(window); ++wait) Sleep(50);
      std::printf(IsWindow(window) ? "still open\n" : "closed\n");
      if (IsWindow(window)) return 4;
      continue;
    }
    const bool where = std::wcsncmp(argv[i], L"where:", 6) == 0;
    // The window may be found before it has made its buttons: they get five seconds.
    Search s{where ? argv[i] + 6 : argv[i], nullptr};
    for (int wait = 0; wait < 100 && !s.found; ++wait) {
      EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&s));
      if (!s.found) Sleep(50);
    }
    if (!s.found) {
      std::printf("no button %ls\n", argv[i]);
      return 1;
    }
    if (where) {
      RECT r{};
      GetWindowRect(s.found, &r);
      std::printf("at %ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
      continue;
    }
    SendMessageW(s.found, BM_CLICK, 0, 0);
    std::printf("clicked %ls\n", argv[i]);
  }
  return 0;
}
