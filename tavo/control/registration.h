// The module's entries in the registry: writing and removing them (self-registration),
// and reading back where the control was registered.
#pragma once
#include <windows.h>

#include "tavo/bridge/bridge.h"

// Registers the type library, the control class with its ProgID, and the property
// page class; the SELFREG_E_ codes on failure.
HRESULT RegisterModule(HINSTANCE module);
// Removes exactly those entries again (only the 32-bit parts when a 16-bit server shares
// the class); removing what is not there counts as done.
HRESULT UnregisterModule();

// The bridge's folders: the control's folder from its registration, "." when it is not
// registered. Read once, on first use (never in DllMain, under the loader lock).
const BridgeConfig& ControlBridgeConfig();
