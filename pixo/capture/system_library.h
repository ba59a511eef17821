// DLLs of the system that only some runs need, loaded on first use and from the system
// folder alone: a DLL that is not one of the system's known DLLs would otherwise be
// looked for beside the program first, where a planted copy could wait.
#pragma once
#include <windows.h>

namespace pixo {

// The DLL from the system folder; null when it is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of such a DLL; null when the DLL or the function is not there (an older
// system).
template <typename F>
F SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadSystemLibrary(dll);
  return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace pixo
