// libFuzzer target: the command-line splitter and the switch table over random UTF-16
// command lines. Whatever the line, the items carry no quote, only the first may be
// empty, quoting every item gives the same items back, and the options read from them
// are consistent: a target switch has a valid value, a name or a bad switch is one of
// the arguments.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pixo/capture/cmdline.h"

using namespace pixo;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool IsArgument(const std::vector<std::wstring>& args, const std::wstring& s) {
  for (const auto& a : args)
    if (a == s) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  for (size_t i = 0; i + 1 < size; i += 2) line += wchar_t(data[i] | data[i + 1] << 8);
  const std::vector<std::wstring> items = SplitCommandLine(line);
  if (items.empty()) Fail("no program item");
  std::wstring quoted = L"pixo.exe";
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].find(L'"') != std::wstring::npos) Fail("a quote in an item");
    if (i > 0 && items[i].empty()) Fail("an empty item");
    if (i > 0) quoted += L" \"" + items[i] + L"\"";
  }
  const std::vector<std::wstring> again = SplitCommandLine(quoted);
  if (again.size() != items.size()) Fail("quoting changed the number of items");
  for (size_t i = 1; i < items.size(); ++i)
    if (again[i] != items[i]) Fail("quoting changed an item");

  const std::vector<std::wstring> args(items.begin() + 1, items.end());
  const RunOptions o = ParseArguments(args);
  if (!o.outputName.empty() && !IsArgument(args, o.outputName)) Fail("a name that is no argument");
  if (!o.badSwitch.empty() && !IsArgument(args, o.badSwitch)) Fail("a bad switch that is no argument");
  switch (o.target) {
    case Target::Monitor:
      if (o.monitor < 1) Fail("monitor below 1");
      break;
    case Target::Title:
      if (o.title.empty()) Fail("empty title");
      break;
    case Target::Rect:
      if (o.rect.right <= o.rect.left || o.rect.bottom <= o.rect.top) Fail("empty rectangle");
      break;
    default: break;
  }
  for (const auto& a : args) {
    if (UpperAscii(a).size() != a.size()) Fail("upper-casing changed the length");
    ScreenRect r{};
    if (ParseRect(a, r) && (r.right <= r.left || r.bottom <= r.top)) Fail("ParseRect accepted an empty rectangle");
  }
  return 0;
}
