// Test helper: waits for the capture program's error box, prints its title and text as
// UTF-8 (two lines: title, then text with line feeds kept) and closes it with OK.
// Usage: boxreader.exe [seconds]; exit code 0 when a box was found, 2 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

HWND g_found = nullptr;

BOOL CALLBACK FindBox(HWND wnd, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(wnd, cls, 64);
  if (std::wstring(cls) == L"#32770" && IsWindowVisible(wnd)) {
    g_found = wnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindText(HWND child, LPARAM param) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  if (lstrcmpiW(cls, L"Static") == 0) {
    wchar_t text[2048] = {};
    GetWindowTextW(child, text, 2048);
    if (text[0]) *reinterpret_cast<std::wstring*>(param) = text;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  for (int i = 0; i < seconds * 20 && !g_found; ++i) {
    EnumWindows(FindBox, 0);
    if (!g_found) Sleep(50);
  }
  if (!g_found) {
    std::printf("no box\n");
    return 2;
  }
  Sleep(100);
  wchar_t title[512] = {};
  GetWindowTextW(g_found, title, 512);
  std::wstring text;
  EnumChildWindows(g_found, FindText, reinterpret_cast<LPARAM>(&text));
  const LONG style = GetWindowLongW(g_found, GWL_STYLE);
  std::printf("%s\n%s\n", Utf8(title).c_str(), Utf8(text).c_str());
  std::printf("style-has-sysmenu=%d\n", (style & WS_SYSMENU) ? 1 : 0);
  std::fflush(stdout);
  PostMessageW(g_found, WM_COMMAND, IDOK, 0);
  return 0;
}
