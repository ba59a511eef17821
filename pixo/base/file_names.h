// Rules about output names that need no file system: which names are devices rather than
// files, where the temporary file of a write goes, names made from a pattern, and the
// numbered names that keep an existing file.
#pragma once
#include <cstdint>
#include <string>

namespace pixo {

// True when writing to the name would reach a device instead of a disk file: the
// reserved names CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9 (also COM and LPT with a
// superscript 1, 2 or 3) as the last part of the path, whatever extension, trailing blanks or dots
// follow, or a path in the device namespace ("\\.\..." or "\\?\" not followed by a
// drive or UNC path).
bool IsDeviceName(const std::wstring& path);

// The folder part of a path, with its final separator ("" for a bare name, "C:" for a
// name relative to a drive's current folder).
std::wstring FolderOf(const std::wstring& path);

// The name of the temporary file that a write of the path goes to before it replaces
// the path: in the same folder, short, and different for every process and attempt.
std::wstring TemporaryNameFor(const std::wstring& path, uint32_t process, uint32_t attempt);

// The name with "_001" (k = 1) to "_999" before its extension (the last "." of the last
// part of the path), or at its end when it has none.
std::wstring NumberedName(const std::wstring& path, int k);

// A window title as part of a file name: the characters that names cannot hold (\ / : * ?
// " < > | and control characters) become "_", blanks and dots at either end go, and the
// result is at most 64 UTF-16 units, cut between whole characters (never inside a surrogate
// pair or a combining sequence); "_" for a title that leaves nothing.
std::wstring SafeForFileName(const std::wstring& title);

// What a name pattern's fields stand for in one shot.
struct NameFields {
  int year, month, day, hour, minute, second, millisecond;
  int shot;           // the shot's number in a series, from 1
  int width, height;  // of the capture
  std::wstring title; // the captured window's title ("" for a screen, monitor or rectangle)
};

// The pattern with its fields replaced: %Y year, %m month, %d day, %H hour, %M minute,
// %S second (two digits each but the year), %f milliseconds (three digits), %n the shot's
// number (three digits or more), %w and %h the width and height, %t the title made safe
// (SafeForFileName), %% a percent sign. False for any other field or a "%" at the end.
bool ExpandNamePattern(const std::wstring& pattern, const NameFields& f, std::wstring& name);

}  // namespace pixo
