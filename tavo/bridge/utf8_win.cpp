// UTF-8 names on Windows: converted to UTF-16 for the wide-character calls, so that any
// path works whatever the ANSI code page.
#include <windows.h>

#include "tavo/bridge/text_io.h"
#include "tavo/bridge/utf8.h"

namespace tavo::bridge {

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string Utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::FILE* OpenFileUtf8(const char* name, const char* mode) {
  return _wfopen(WideFromUtf8(name).c_str(), WideFromUtf8(mode).c_str());
}

}  // namespace tavo::bridge
