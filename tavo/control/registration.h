// The module's entries in the registry: writing and removing them (self-registration),
// and reading back where the control was registered.
#pragma once
#include <windows.h>

#include "tavo/bridge/bridge.h"

// For the machine (HKEY_CLASSES_ROOT), or for the current user (HKEY_CURRENT_USER\Software\Classes).
enum class RegistrationScope { Machine, User };

// Registers the type library, the control class with its ProgID, and the property
// page class; the SELFREG_E_ codes on failure.
HRESULT RegisterModule(HINSTANCE module, RegistrationScope scope);
// Removes exactly those entries again (only the 32-bit parts when a 16-bit server shares
// the class); removing what is not there counts as done.
HRESULT UnregisterModule(HINSTANCE module, RegistrationScope scope);

// The bridge's folders. The engine is the one beside the control: in the folder of its
// registration, or of its own module file when its registration cannot be read or names
// another file. The record files are written there too when the folder can be written,
// else in the user's local application data ("Tavo"). Read once, on first use (never in
// DllMain, under the loader lock).
const BridgeConfig& ControlBridgeConfig();
