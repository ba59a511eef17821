#include "pixo/base/file_names.h"

#include <cstdint>
#include <cwchar>

namespace pixo {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c; }

bool IsPortDigit(wchar_t c) { return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3; }

// Whether the path begins with "\\.\" or "\\?\" (either slash).
bool HasPrefix(const std::wstring& path, wchar_t third) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == third && IsSeparator(path[3]);
}

}  // namespace

bool IsDeviceName(const std::wstring& path) {
  if (HasPrefix(path, L'.')) return true;
  if (HasPrefix(path, L'?')) {
    const std::wstring rest = path.substr(4);
    const bool drive = rest.size() >= 2 && rest[1] == L':' && ((rest[0] | 0x20) >= L'a' && (rest[0] | 0x20) <= L'z');
    const bool unc = rest.size() >= 4 && Upper(rest[0]) == L'U' && Upper(rest[1]) == L'N' && Upper(rest[2]) == L'C' &&
                     IsSeparator(rest[3]);
    if (!drive && !unc) return true;
  }
  // The last part of the path, without a drive.
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i]) || (i == 1 && path[i] == L':')) start = i + 1;
  }
  std::wstring base;
  for (size_t i = start; i < path.size() && path[i] != L'.' && path[i] != L':'; ++i) base += Upper(path[i]);
  while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) base.pop_back();
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  if (base == L"CONIN$" || base == L"CONOUT$") return true;
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0))
    return IsPortDigit(base[3]);
  return false;
}

std::wstring FolderOf(const std::wstring& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return path.substr(0, i);
  }
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  return {};
}

std::wstring TemporaryNameFor(const std::wstring& path, uint32_t process, uint32_t attempt) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = FolderOf(path) + L"~px";
  for (int shift = 28; shift >= 0; shift -= 4) name += kHex[(process >> shift) & 15];
  name += L'-';
  for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(attempt >> shift) & 15];
  return name + L".tmp";
}

std::wstring NumberedName(const std::wstring& path, int k) {
  const size_t folder = FolderOf(path).size();
  size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || dot < folder || dot == folder) dot = path.size();
  wchar_t suffix[16];
  swprintf(suffix, 16, L"_%03d", k);
  return path.substr(0, dot) + suffix + path.substr(dot);
}

namespace {

// Whether a UTF-16 unit (or, where wchar_t is wider, a code point) cannot begin a
// character of its own: the second half of a surrogate pair, a combining mark, a
// variation selector or a joiner. A title is never cut in front of one.
bool ContinuesCharacter(wchar_t c) {
  const uint32_t u = uint32_t(c);
  return (u >= 0xDC00 && u <= 0xDFFF) || (u >= 0x0300 && u <= 0x036F) || (u >= 0x1AB0 && u <= 0x1AFF) ||
         (u >= 0x1DC0 && u <= 0x1DFF) || (u >= 0x20D0 && u <= 0x20FF) || (u >= 0xFE00 && u <= 0xFE0F) ||
         (u >= 0xFE20 && u <= 0xFE2F) || u == 0x200C || u == 0x200D || (u >= 0x3099 && u <= 0x309A) ||
         (u >= 0xE0100 && u <= 0xE01EF);
}

// Whether a unit joins the character after it to the one before (a zero-width joiner):
// a title is never cut after one either.
bool JoinsNext(wchar_t c) { return uint32_t(c) == 0x200D; }

}  // namespace

std::wstring SafeForFileName(const std::wstring& title) {
  std::wstring safe;
  for (wchar_t c : title) {
    const bool forbidden = c < L' ' || c == 0x7f || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos;
    safe += forbidden ? L'_' : c;
  }
  const size_t first = safe.find_first_not_of(L" .");
  if (first == std::wstring::npos) return L"_";
  safe = safe.substr(first, safe.find_last_not_of(L" .") - first + 1);
  if (safe.size() > 64) {
    // Cut between whole characters: never inside a surrogate pair, in front of a mark
    // that belongs to the character before it, or after a joiner.
    size_t cut = 64;
    while (cut > 0 && (ContinuesCharacter(safe[cut]) || JoinsNext(safe[cut - 1]))) --cut;
    safe.resize(cut);
  }
  while (!safe.empty() && (safe.back() == L' ' || safe.back() == L'.')) safe.pop_back();
  return safe.empty() ? L"_" : safe;
}

bool ExpandNamePattern(const std::wstring& pattern, const NameFields& f, std::wstring& name) {
  std::wstring out;
  auto number = [&out](int value, int digits) {
    wchar_t text[24];
    swprintf(text, 24, L"%0*d", digits, value);
    out += text;
  };
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != L'%') {
      out += pattern[i];
      continue;
    }
    if (++i == pattern.size()) return false;
    switch (pattern[i]) {
      case L'Y': number(f.year, 4); break;
      case L'm': number(f.month, 2); break;
      case L'd': number(f.day, 2); break;
      case L'H': number(f.hour, 2); break;
      case L'M': number(f.minute, 2); break;
      case L'S': number(f.second, 2); break;
      case L'f': number(f.millisecond, 3); break;
      case L'n': number(f.shot, 3); break;
      case L'w': number(f.width, 1); break;
      case L'h': number(f.height, 1); break;
      case L't': out += SafeForFileName(f.title); break;
      case L'%': out += L'%'; break;
      default: return false;
    }
  }
  name = out;
  return true;
}

}  // namespace pixo
