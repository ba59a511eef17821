// File stream over a Win32 file handle.
#include <windows.h>

#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"

namespace pixo {

std::string ToUtf8(const std::wstring& s) {
  if (s.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

FileStream::FileStream(const std::wstring& name, Existing existing) : name_(name), existing_(existing) {
  if (name == L"-") {
    // Standard output, redirected to a file or a pipe: the bytes go there as they come.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type = out && out != INVALID_HANDLE_VALUE ? GetFileType(out) : FILE_TYPE_UNKNOWN;
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) Raise(ErrorKind::FCreate, msg::kNoStandardOutput);
    handle_ = out;
    toStandardOutput_ = true;
    return;
  }
  // A device would take the image and keep nothing (or block while it goes out).
  if (IsDeviceName(name)) RaiseFCreate(ToUtf8(name));
  for (uint32_t attempt = 0; attempt < 1000; ++attempt) {
    temporary_ = TemporaryNameFor(name, GetCurrentProcessId(), attempt);
    HANDLE h = CreateFileW(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = h;
      // Until Commit the system deletes the file when its handle closes, also when the
      // process is ended while it writes (a scheduler's time limit): a killed run leaves no
      // temporary file behind.
      if (!SetDeleteOnClose(true)) {
        Discard();
        RaiseFCreate(ToUtf8(name));
      }
      // Whatever the name says, only a file on a disk is written.
      if (GetFileType(h) != FILE_TYPE_DISK) {
        Discard();
        RaiseFCreate(ToUtf8(name));
      }
      return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  temporary_.clear();
  RaiseFCreate(ToUtf8(name));
}

FileStream::~FileStream() { Discard(); }

bool FileStream::SetDeleteOnClose(bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(handle_, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

void FileStream::Discard() {
  if (handle_ && !toStandardOutput_) CloseHandle(handle_);
  handle_ = nullptr;
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
  temporary_.clear();
}

void FileStream::Write(const void* data, size_t size) {
  if (!handle_) RaiseWriteError();
  constexpr size_t kBufferSize = 256 * 1024;
  if (toStandardOutput_) {  // a pipe's reader gets the bytes as they come
    WriteThrough(data, size);
    return;
  }
  if (buffer_.size() + size > kBufferSize) Flush();
  if (size >= kBufferSize) {
    WriteThrough(data, size);
    return;
  }
  if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
  const auto* p = static_cast<const uint8_t*>(data);
  buffer_.insert(buffer_.end(), p, p + size);
}

void FileStream::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!Seekable()) RaiseWriteError();
  Flush();
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(offset);
  if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN)) RaiseWriteError();
  WriteThrough(data, size);
}

void FileStream::Flush() {
  if (buffer_.empty()) return;
  WriteThrough(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void FileStream::WriteThrough(const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : DWORD(size);
    DWORD written = 0;
    if (!WriteFile(handle_, p, chunk, &written, nullptr) || written != chunk) RaiseWriteError();
    p += chunk;
    size -= chunk;
  }
}

void FileStream::Commit() {
  if (!handle_) RaiseWriteError();
  Flush();
  if (toStandardOutput_) {
    handle_ = nullptr;
    return;
  }
  // The bytes are on the disk before the name points at them; the file is kept from
  // here on, and moved over the target.
  const bool flushed = FlushFileBuffers(handle_) != 0;
  const bool kept = flushed && SetDeleteOnClose(false);
  const bool closed = CloseHandle(handle_) != 0;
  handle_ = nullptr;
  if (!flushed || !kept || !closed) {
    if (kept) DeleteFileW(temporary_.c_str());
    temporary_.clear();
    RaiseWriteError();
  }
  TakeName();
}

bool FileStream::MoveInPlace(const std::wstring& to, bool replace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(temporary_.c_str(), to.c_str(), flags)) return false;
  temporary_.clear();
  return true;
}

bool FileStream::NameWasTaken() {
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

}  // namespace pixo
