// File stream for the native build (unit tests and benchmarks).
#include <cstdio>

#include "pixo/base/errors.h"
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

FileStream::FileStream(const std::wstring& name) {
  handle_ = std::fopen(ToUtf8(name).c_str(), "wb");
  if (!handle_) RaiseFCreate(ToUtf8(name));
}

FileStream::~FileStream() { std::fclose(static_cast<FILE*>(handle_)); }

void FileStream::Write(const void* data, size_t size) {
  if (size && std::fwrite(data, 1, size, static_cast<FILE*>(handle_)) != size)
    Raise("EWriteError", "ｽﾄﾘｰﾑ書き込みｴﾗｰ");
}

}  // namespace pixo
