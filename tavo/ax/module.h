// The module state of a DLL that serves controls: its instance handle, the count of
// live objects and server locks (for DllCanUnloadNow), and the window classes of its
// controls. The DLL's entry point attaches and detaches it.
#pragma once
#include <windows.h>

#include <string>

namespace ax {

void ModuleAttach(HINSTANCE instance);
// On a dynamic unload: takes the window classes away again.
void ModuleDetach(bool processEnding);
HINSTANCE ModuleInstance();
// A module's file name, however long (a folder deeper than MAX_PATH comes back whole,
// often as a \\?\ name); empty when it cannot be had. Never a truncated name: that
// would name another file, or a folder that is not the module's.
std::wstring ModuleFileName(HMODULE module);

void ModuleAddRef();
void ModuleRelease();
long ModuleCount();

// The window classes of the controls, registered once with the given procedure.
inline constexpr const wchar_t* kNotifyWindowClass = L"AxControlNotify";
inline constexpr const wchar_t* kControlWindowClass = L"AxControlWindow";
void RegisterWindowClasses(WNDPROC procedure);

}  // namespace ax
