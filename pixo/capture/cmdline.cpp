#include "pixo/capture/cmdline.h"

namespace pixo {

namespace {

// Reads one item starting at p; returns the position after it.
size_t NextItem(const std::wstring& line, size_t p, std::wstring& item) {
  const size_t n = line.size();
  for (;;) {
    while (p < n && line[p] <= L' ') ++p;
    if (p + 1 < n && line[p] == L'"' && line[p + 1] == L'"') {
      p += 2;
    } else {
      break;
    }
  }
  item.clear();
  while (p < n && line[p] > L' ') {
    if (line[p] == L'"') {
      ++p;
      while (p < n && line[p] != L'"') item += line[p++];
      if (p < n) ++p;
    } else {
      item += line[p++];
    }
  }
  return p;
}

struct SwitchEntry {
  const wchar_t* name;
  void (*apply)(RunOptions&);
};

// The switches in the order in which an argument is compared with them.
const SwitchEntry kSwitches[] = {
    {L"/A", [](RunOptions& o) { o.activeWindow = true; }},
    {L"/P", [](RunOptions& o) { o.print = true; }},
    {L"/J", [](RunOptions& o) { o.jpeg = true; }},
    {L"/N", [](RunOptions& o) { o.png = true; }},
    {L"/GF", [](RunOptions& o) { o.gif = true; }},
    {L"/JQ50", [](RunOptions& o) { o.jpegQuality = 50; }},
    {L"/JQ60", [](RunOptions& o) { o.jpegQuality = 60; }},
    {L"/JQ70", [](RunOptions& o) { o.jpegQuality = 70; }},
    {L"/JQ80", [](RunOptions& o) { o.jpegQuality = 80; }},
    {L"/JQ90", [](RunOptions& o) { o.jpegQuality = 90; }},
    {L"/JQ100", [](RunOptions& o) { o.jpegQuality = 100; }},
    {L"/D", [](RunOptions& o) { o.blackWhite = true; }},
    {L"/G", [](RunOptions& o) { o.gray = true; }},
    {L"/F", [](RunOptions& o) { o.fullColor = true; }},
    {L"/S", [](RunOptions& o) { o.jiggle = true; }},
};

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> items;
  std::wstring item;
  size_t p = NextItem(line, 0, item);
  items.push_back(item);  // the program itself, even when empty
  for (;;) {
    p = NextItem(line, p, item);
    if (item.empty()) break;
    items.push_back(item);
  }
  return items;
}

std::wstring UpperAscii(std::wstring s) {
  for (auto& c : s) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return s;
}

RunOptions ParseArguments(const std::vector<std::wstring>& args) {
  RunOptions o;
  for (const auto& arg : args) {
    const std::wstring upper = UpperAscii(arg);
    bool matched = false;
    for (const auto& s : kSwitches) {
      if (upper == s.name) {
        s.apply(o);
        matched = true;
        break;
      }
    }
    if (!matched) o.outputName = arg;
  }
  return o;
}

}  // namespace pixo
