// Rules about output names that need no file system: which names are devices rather than
// files, and where the temporary file of a write goes.
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

}  // namespace pixo
