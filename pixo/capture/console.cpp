#include "pixo/capture/console.h"

#include "pixo/base/stream.h"

namespace pixo {

bool AttachParentConsole() {
  static const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0 || GetLastError() == ERROR_ACCESS_DENIED;
  return attached;
}

HANDLE StandardHandle(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN) return h;
  // Started from a console without redirection: write to that console.
  if (!AttachParentConsole()) return nullptr;
  h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  SetStdHandle(which, h);
  return h;
}

bool WriteText(DWORD which, const std::wstring& text) {
  HANDLE h = StandardHandle(which);
  if (!h) return false;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(h, &mode)) return WriteConsoleW(h, text.data(), DWORD(text.size()), &written, nullptr) != 0;
  const std::string bytes = ToUtf8(text);
  return WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

}  // namespace pixo
