#include "pixo/capture/system_library.h"

#include <string>

namespace pixo {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // A full path is looked for nowhere else; the system folder of this process's kind
  // (a 32-bit process on a 64-bit system is given its own).
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace pixo
