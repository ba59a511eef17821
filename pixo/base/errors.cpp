#include "pixo/base/errors.h"

#include <cstdio>

namespace pixo {

namespace {

// One row per kind, in the enum's order.
constexpr ErrorKindInfo kKinds[] = {
    {"EFCreateError", 1, msg::kCannotCreateFile},
    {"EWriteError", 1, msg::kWriteError},
    {"EJPEG", 1, msg::kJpegError},
    {"EPngError", 1, "PNG SaveStream: error ZLIB"},
    {"EGIFError", 1, "GIF frame: not an 8-bit image"},
    {"EGIFException", 1, "GIF: the image cannot be written"},
    {"EClipboardError", 1, msg::kClipboard},
    {"ETargetError", 2, msg::kOutsideTheScreen},
    {"EPrinter", 3, msg::kPrinterNotValid},
    {"EInvalidArgument", 4, msg::kBadSwitch},
    {"EDibImageError", 5, "TDibImage.AssignTo: Illegal PixelFormat"},
    {"EOutOfResources", 5, msg::kOutOfResources},
    {"EIntOverflow", 5, msg::kIntOverflow},
    {"EOutOfMemory", 5, msg::kOutOfMemory},
    {"Exception", 5, ""},
};
static_assert(sizeof kKinds / sizeof kKinds[0] == size_t(ErrorKind::Other) + 1, "a row for every kind");

}  // namespace

const ErrorKindInfo& InfoOf(ErrorKind kind) { return kKinds[size_t(kind)]; }

int QuietExitCode(ErrorKind kind) { return InfoOf(kind).quietExitCode; }

__attribute__((noinline)) void Raise(ErrorKind kind, const std::string& message) {
  throw Error(kind, message, __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void Raise(ErrorKind kind) {
  throw Error(kind, InfoOf(kind).message, __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseFCreate(const std::string& utf8Name) {
  throw Error(ErrorKind::FCreate, FormatOne(msg::kCannotCreateFile, utf8Name),
              __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseWriteError() {
  throw Error(ErrorKind::Write, msg::kWriteError, __builtin_extract_return_addr(__builtin_return_address(0)));
}

__attribute__((noinline)) void RaiseIntOverflow() {
  throw Error(ErrorKind::IntOverflow, msg::kIntOverflow, __builtin_extract_return_addr(__builtin_return_address(0)));
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
