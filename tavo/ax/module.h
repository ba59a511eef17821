// The module state of a DLL that serves controls: its instance handle, the count of
// live objects and server locks (for DllCanUnloadNow), and the window classes of its
// controls. The DLL's entry point attaches and detaches it.
#pragma once
#include <windows.h>

namespace ax {

void ModuleAttach(HINSTANCE instance);
// On a dynamic unload: takes the window classes away again.
void ModuleDetach(bool processEnding);
HINSTANCE ModuleInstance();

void ModuleAddRef();
void ModuleRelease();
long ModuleCount();

// The window classes of the controls, registered once with the given procedure.
inline constexpr const wchar_t* kNotifyWindowClass = L"AxControlNotify";
inline constexpr const wchar_t* kControlWindowClass = L"AxControlWindow";
void RegisterWindowClasses(WNDPROC procedure);

}  // namespace ax
