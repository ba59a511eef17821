// File stream for the native build (unit tests and benchmarks).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "pixo/base/errors.h"
#include "pixo/base/file_names.h"
#include "pixo/base/stream.h"

namespace pixo {

std::string ToUtf8(const std::wstring& s) {
  std::string out;
  for (wchar_t wc : s) {
    auto c = static_cast<uint32_t>(wc);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

FileStream::FileStream(const std::wstring& name, Existing existing) : name_(name), existing_(existing) {
  if (name == L"-") {
    handle_ = stdout;
    toStandardOutput_ = true;
    return;
  }
  for (uint32_t attempt = 0; attempt < 1000; ++attempt) {
    temporary_ = TemporaryNameFor(name, uint32_t(getpid()), attempt);
    const int fd = open(ToUtf8(temporary_).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      handle_ = fdopen(fd, "wb");
      if (!handle_) close(fd);
      break;
    }
    if (errno != EEXIST) break;
  }
  if (!handle_) {
    temporary_.clear();
    RaiseFCreate(ToUtf8(name));
  }
}

FileStream::~FileStream() { Discard(); }

void FileStream::Discard() {
  if (handle_ && !toStandardOutput_) std::fclose(static_cast<FILE*>(handle_));
  handle_ = nullptr;
  if (!temporary_.empty()) std::remove(ToUtf8(temporary_).c_str());
  temporary_.clear();
}

void FileStream::Write(const void* data, size_t size) {
  if (!handle_ || (size && std::fwrite(data, 1, size, static_cast<FILE*>(handle_)) != size)) RaiseWriteError();
}

void FileStream::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!Seekable() || fseeko(static_cast<FILE*>(handle_), off_t(offset), SEEK_SET) != 0)
    RaiseWriteError();
  Write(data, size);
}

void FileStream::Commit() {
  if (!handle_) RaiseWriteError();
  if (toStandardOutput_) {
    const bool flushed = std::fflush(static_cast<FILE*>(handle_)) == 0;
    handle_ = nullptr;
    if (!flushed) RaiseWriteError();
    return;
  }
  const bool closed = std::fclose(static_cast<FILE*>(handle_)) == 0;
  handle_ = nullptr;
  if (!closed) RaiseWriteError();
  TakeName();
}

bool FileStream::MoveInPlace(const std::wstring& to, bool replace) {
  const std::string from = ToUtf8(temporary_), target = ToUtf8(to);
  // Without replacing, a hard link takes the name only where none is, then the temporary
  // name goes.
  if (replace ? std::rename(from.c_str(), target.c_str()) != 0 : link(from.c_str(), target.c_str()) != 0) return false;
  if (!replace) unlink(from.c_str());
  temporary_.clear();
  return true;
}

bool FileStream::NameWasTaken() { return errno == EEXIST; }

}  // namespace pixo
