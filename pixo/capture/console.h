// Standard output and error of a program that has no console of its own: the handle it
// inherited when its output is redirected, else the console of the process that started
// it, if that has one.
#pragma once
#include <windows.h>

#include <string>

namespace pixo {

// Attaches to the console of the process that started this one, once; true when there is
// one (also when attached already).
bool AttachParentConsole();
// The handle, or null when there is nowhere to write.
HANDLE StandardHandle(DWORD which);
// Writes text: to a console in UTF-16, to a file or pipe in UTF-8. False when there is
// nowhere to write or the write fails.
bool WriteText(DWORD which, const std::wstring& text);

}  // namespace pixo
