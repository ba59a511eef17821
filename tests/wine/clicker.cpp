// Test helper: clicks buttons of a top-level window by their text, as a user would, with
// BM_CLICK messages; "wait:MS" pauses between clicks.
// Usage: clicker.exe WINDOW-TITLE BUTTON|wait:MS ...
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
    Search s{argv[i], nullptr};
    EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&s));
    if (!s.found) {
      std::printf("no button %ls\n", argv[i]);
      return 1;
    }
    SendMessageW(s.found, BM_CLICK, 0, 0);
    std::printf("clicked %ls\n", argv[i]);
  }
  return 0;
}
