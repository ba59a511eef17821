#include "pixo/base/errors.h"

#include <cstdio>

namespace pixo {

__attribute__((noinline)) void Raise(const char* className, const std::string& message) {
  throw Error(className, message, __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseFCreate(const std::string& utf8Name) {
  throw Error("EFCreateError", FormatOne(msg::kCannotCreateFile, utf8Name),
              __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseWriteError() {
  throw Error("EWriteError", msg::kWriteError, __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseIntOverflow() {
  throw Error("EIntOverflow", msg::kIntOverflow, __builtin_extract_return_addr(__builtin_return_address(0)));
}

std::string FormatOne(const char* format, const std::string& value) {
  std::string f(format);
  for (size_t i = 0; i + 1 < f.size(); ++i) {
    if (f[i] == '%' && (f[i + 1] == 's' || f[i + 1] == 'd')) return f.substr(0, i) + value + f.substr(i + 2);
  }
  return f;
}

std::string ErrorBoxText(const std::string& className, const std::string& moduleName, uintptr_t offset,
                         const std::string& message) {
  // An offset inside one module image, which is never 4 GB or larger, so eight hex digits
  // hold it on 64-bit Windows too; a wider value would still be printed whole.
  char address[32];
  std::snprintf(address, sizeof address, "%08llX", static_cast<unsigned long long>(offset));
  std::string out;
  const std::string format = msg::kBoxFormat;
  const std::string values[] = {className, moduleName, address, message,
                                (!message.empty() && message.back() == '.') ? "" : "."};
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'p') && next < 5) {
      out += values[next++];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

int32_t CheckedMul(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) RaiseIntOverflow();
  return r;
}

int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) RaiseIntOverflow();
  return r;
}

}  // namespace pixo
