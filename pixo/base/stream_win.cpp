// File stream over a Win32 file handle.
#include <windows.h>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"

namespace pixo {

std::string ToUtf8(const std::wstring& s) {
  if (s.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

FileStream::FileStream(const std::wstring& name) {
  handle_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) RaiseFCreate(ToUtf8(name));
}

FileStream::~FileStream() { CloseHandle(handle_); }

void FileStream::Write(const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : DWORD(size);
    DWORD written = 0;
    if (!WriteFile(handle_, p, chunk, &written, nullptr) || written != chunk)
      Raise("EWriteError", "ｽﾄﾘｰﾑ書き込みｴﾗｰ");
    p += chunk;
    size -= chunk;
  }
}

}  // namespace pixo
