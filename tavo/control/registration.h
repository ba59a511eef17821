// The module's entries in the registry: writing and removing them (self-registration).
#pragma once
#include <windows.h>

namespace tavo::control {

// For the machine (HKEY_LOCAL_MACHINE\Software\Classes), or for the current user
// (HKEY_CURRENT_USER\Software\Classes); never through the merged HKEY_CLASSES_ROOT.
enum class RegistrationScope { Machine, User };

// Registers the type library, the control class with its ProgID, and the property
// page class; the SELFREG_E_ codes on failure.
HRESULT RegisterModule(HINSTANCE module, RegistrationScope scope);
// Removes exactly those entries again (only the 32-bit parts when a 16-bit server shares
// the class); removing what is not there counts as done, and entries that name another
// copy of the control are left to it.
HRESULT UnregisterModule(HINSTANCE module, RegistrationScope scope);

}  // namespace tavo::control
