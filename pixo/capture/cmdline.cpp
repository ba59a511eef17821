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

// A decimal integer of at most 9 digits, with an optional minus sign.
bool ParseInt(const std::wstring& text, int& value) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == L'-';
  if (negative) ++i;
  if (i == text.size() || text.size() - i > 9) return false;
  int v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    v = v * 10 + (text[i] - L'0');
  }
  value = negative ? -v : v;
  return true;
}

struct SwitchEntry {
  const wchar_t* name;
  const wchar_t* help;  // its line of the usage; none: told on another switch's line
  void (*apply)(RunOptions&);
};

// The switches in the order in which an argument is compared with them.
const SwitchEntry kSwitches[] = {
    {L"/?", L"this usage (also -h, --help)", [](RunOptions& o) { o.help = true; }},
    {L"-H", nullptr, [](RunOptions& o) { o.help = true; }},
    {L"--HELP", nullptr, [](RunOptions& o) { o.help = true; }},
    {L"/A", L"the foreground window", [](RunOptions& o) { o.target = Target::Foreground; }},
    {L"/P", L"print on the default printer (a file name is then optional)", [](RunOptions& o) { o.print = true; }},
    {L"/J", L"write JPEG", [](RunOptions& o) { o.jpeg = true; }},
    {L"/N", L"write PNG", [](RunOptions& o) { o.png = true; }},
    {L"/GF", L"write GIF (at most 256 colours)", [](RunOptions& o) { o.gif = true; }},
    {L"/JQ50", L"JPEG quality 50 (also /JQ60, /JQ70, /JQ80, /JQ90, /JQ100)", [](RunOptions& o) { o.jpegQuality = 50; }},
    {L"/JQ60", nullptr, [](RunOptions& o) { o.jpegQuality = 60; }},
    {L"/JQ70", nullptr, [](RunOptions& o) { o.jpegQuality = 70; }},
    {L"/JQ80", nullptr, [](RunOptions& o) { o.jpegQuality = 80; }},
    {L"/JQ90", nullptr, [](RunOptions& o) { o.jpegQuality = 90; }},
    {L"/JQ100", nullptr, [](RunOptions& o) { o.jpegQuality = 100; }},
    {L"/D", L"print in black and white", [](RunOptions& o) { o.blackWhite = true; }},
    {L"/G", L"print in grey", [](RunOptions& o) { o.gray = true; }},
    {L"/F", L"print in 24-bit colour", [](RunOptions& o) { o.fullColor = true; }},
    {L"/S", L"move the cursor and wait 3 seconds first", [](RunOptions& o) { o.jiggle = true; }},
    {L"/Q", L"quiet: errors on standard error and an exit code, no box", [](RunOptions& o) { o.quiet = true; }},
    {L"/V", L"the virtual screen (every monitor)", [](RunOptions& o) { o.target = Target::VirtualScreen; }},
    {L"/L", L"list the monitors", [](RunOptions& o) { o.list = true; }},
    {L"/CB", L"also put the capture on the clipboard", [](RunOptions& o) { o.clipboard = true; }},
    {L"/C", L"draw the mouse cursor", [](RunOptions& o) { o.cursor = true; }},
    {L"/W", L"what the window itself draws (with /A, /T:, /H:, /PR:)", [](RunOptions& o) { o.ownPixels = true; }},
    {L"/CA", L"the window's client area (with /A, /T:, /H:, /PR:)", [](RunOptions& o) { o.clientArea = true; }},
    {L"/LW", L"list the shown windows", [](RunOptions& o) { o.listWindows = true; }},
    {L"/FN", L"the file name is a pattern (%Y %m %d %H %M %S %f %n %w %h %t %%)", [](RunOptions& o) { o.namePattern = true; }},
    {L"/NC", L"never replace a file: take the next free numbered name", [](RunOptions& o) { o.keepExisting = true; }},
};

// Switches with a value after ":"; apply returns false for a value that is not valid.
struct ValueSwitchEntry {
  const wchar_t* name;  // with its ":"
  const wchar_t* help;  // the value's name, two blanks, its line of the usage
  bool (*apply)(RunOptions&, const std::wstring& value);
};

const ValueSwitchEntry kValueSwitches[] = {
    {L"/M:", L"n  monitor n, as /L numbers them",
     [](RunOptions& o, const std::wstring& v) {
       int n = 0;
       if (!ParseInt(v, n) || n < 1) return false;
       o.target = Target::Monitor;
       o.monitor = n;
       return true;
     }},
    {L"/T:", L"text  the topmost window whose title contains text",
     [](RunOptions& o, const std::wstring& v) {
       if (v.empty()) return false;
       o.target = Target::Title;
       o.title = v;
       return true;
     }},
    {L"/R:", L"x,y,w,h  a rectangle of the virtual screen",
     [](RunOptions& o, const std::wstring& v) {
       ScreenRect r{};
       if (!ParseRect(v, r)) return false;
       o.target = Target::Rect;
       o.rect = r;
       return true;
     }},
    {L"/H:", L"handle  the window with this handle, as /LW prints it",
     [](RunOptions& o, const std::wstring& v) {
       if (!ParseHandle(v, o.handle)) return false;
       o.target = Target::Handle;
       return true;
     }},
    {L"/PR:", L"program  the topmost window of a program (image name or process id)",
     [](RunOptions& o, const std::wstring& v) {
       if (v.empty()) return false;
       o.target = Target::Program;
       o.program = v;
       return true;
     }},
    {L"/DL:", L"seconds  wait this long first", [](RunOptions& o, const std::wstring& v) { return ParseSeconds(v, o.delayMs); }},
    {L"/SR:", L"n,seconds  a series of n shots, one every so many seconds",
     [](RunOptions& o, const std::wstring& v) {
       const size_t comma = v.find(L',');
       int shots = 0, interval = 0;
       if (comma == std::wstring::npos || !ParseInt(v.substr(0, comma), shots) || shots < 1 || shots > 9999 ||
           !ParseSeconds(v.substr(comma + 1), interval))
         return false;
       o.shots = shots;
       o.intervalMs = interval;
       return true;
     }},
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

bool ParseHandle(const std::wstring& text, uint64_t& handle) {
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  const size_t from = hex ? 2 : 0;
  if (text.size() <= from || text.size() - from > (hex ? 16u : 19u)) return false;
  uint64_t v = 0;
  for (size_t i = from; i < text.size(); ++i) {
    const wchar_t c = text[i];
    int digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (hex && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (hex && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    v = v * (hex ? 16 : 10) + uint64_t(digit);  // 16 hex or 19 decimal digits: no overflow
  }
  // A window handle has 32 significant bits: a 64-bit value is one only when its upper
  // half is zero or repeats the sign of its lower half.
  const uint64_t upper = v >> 32;
  if (v == 0 || (upper != 0 && !(upper == 0xFFFFFFFFu && (v & 0x80000000u)))) return false;
  handle = v;
  return true;
}

bool ParseSeconds(const std::wstring& text, int& ms) {
  const size_t dot = text.find(L'.');
  const std::wstring whole = text.substr(0, dot);
  const std::wstring fraction = dot == std::wstring::npos ? L"" : text.substr(dot + 1);
  if (whole.empty() || whole.size() > 5 || fraction.size() > 3 || (dot != std::wstring::npos && fraction.empty()))
    return false;
  int seconds = 0, thousandths = 0;
  for (wchar_t c : whole) {
    if (c < L'0' || c > L'9') return false;
    seconds = seconds * 10 + (c - L'0');
  }
  for (size_t i = 0; i < 3; ++i) {
    const wchar_t c = i < fraction.size() ? fraction[i] : L'0';
    if (c < L'0' || c > L'9') return false;
    thousandths = thousandths * 10 + (c - L'0');
  }
  if (seconds > 86400 || (seconds == 86400 && thousandths > 0)) return false;
  ms = seconds * 1000 + thousandths;
  return true;
}

bool ParseRect(const std::wstring& text, ScreenRect& rect) {
  int v[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = i < 3 ? text.find(L',', start) : text.size();
    if (comma == std::wstring::npos || !ParseInt(text.substr(start, comma - start), v[i])) return false;
    start = comma + 1;
  }
  if (start != text.size() + 1 || v[2] <= 0 || v[3] <= 0) return false;
  // Values of 9 digits at most: the sums cannot overflow.
  rect = ScreenRect{v[0], v[1], v[0] + v[2], v[1] + v[3]};
  return true;
}

RunOptions ParseArguments(const std::vector<std::wstring>& args) {
  RunOptions o;
  if (!args.empty()) o.firstArgument = args.front();
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
    for (const auto& s : kValueSwitches) {
      if (matched) break;
      const size_t n = std::wstring(s.name).size();
      if (upper.compare(0, n, s.name) == 0) {
        matched = true;
        if (!s.apply(o, arg.substr(n)) && o.badSwitch.empty()) o.badSwitch = arg;
      }
    }
    if (!matched) o.outputName = arg;
  }
  return o;
}

std::wstring Usage(const std::wstring& version) {
  std::wstring text = L"pixo " + version + L": captures the screen, a window, a monitor or a rectangle\r\n\r\n"
                      L"pixo [switches] FILE\r\n\r\n";
  const auto line = [&text](const std::wstring& name, const std::wstring& help) {
    std::wstring head = L"  " + name;
    head.resize(std::max<size_t>(head.size() + 1, 20), L' ');
    text += head + help + L"\r\n";
  };
  for (const SwitchEntry& s : kSwitches)
    if (s.help) line(s.name, s.help);
  for (const ValueSwitchEntry& s : kValueSwitches) {
    const std::wstring help = s.help;
    const size_t gap = help.find(L"  ");
    line(s.name + help.substr(0, gap), help.substr(gap + 2));
  }
  text += L"\r\nWithout /J, /N or /GF the file is a BMP. Exit codes with /Q: 0 done, 1 file or output,\r\n"
          L"2 nothing to capture, 3 printing, 4 a switch value, 5 anything else.\r\n";
  return text;
}

}  // namespace pixo
