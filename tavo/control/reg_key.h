// An open registry key, closed when it goes: for the control's registration and for
// reading where the control lives.
#pragma once
#include <windows.h>

#include <string>

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

 private:
  HKEY key_ = nullptr;
};
