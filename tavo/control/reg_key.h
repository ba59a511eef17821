// An open registry key, closed when it goes: for the control's registration and for
// reading where the control lives.
#pragma once
#include <windows.h>

#include <string>

namespace tavo::control {

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  // Opens an existing key for reading; false when it is not there.
  bool Open(HKEY root, const std::wstring& sub, REGSAM access = KEY_READ) {
    return root && RegOpenKeyExW(root, sub.c_str(), 0, access, &key_) == ERROR_SUCCESS;
  }
  // Opens a key for writing, made with its parents when it is not there.
  bool Create(HKEY root, const std::wstring& sub, REGSAM access = KEY_WRITE) {
    return root && RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, access, nullptr, &key_, nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return key_; }

  // The default value of a key below root when it is a string (of any length, read with the
  // wide-character call, so that a folder outside the ANSI code page comes back whole);
  // empty otherwise.
  static std::wstring DefaultString(HKEY root, const std::wstring& sub) {
    RegKey key;
    DWORD type = 0, size = 0;
    if (!key.Open(root, sub) || RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > 65536)
      return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = DWORD(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
      return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace tavo::control
