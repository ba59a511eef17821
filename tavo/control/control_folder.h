// Where the control's engine and its record files live: the control's own folder, found
// from its registration or its module file, the user's folder when that one cannot be
// written, and a folder of its own for every further host that plays at the same time.
#pragma once
#include <windows.h>

#include <string>

#include "tavo/bridge/bridge.h"

namespace tavo::control {

// The module file named by the control class's registration under a classes root (the
// user's or the machine's Software\Classes), or empty.
std::wstring RegisteredServer(HKEY classesRoot, const CLSID& clsid);
// Whether two names are the same file (short and long names, and \\?\ names, alike).
bool SameFile(const std::wstring& a, const std::wstring& b);

// The bridge's folders, decided once, on first use (never in DllMain, under the loader
// lock):
// - the engine is the tavo.exe beside the control: in the folder of the control's
//   registration when that names this very file, else in the folder of its module file;
//   when neither can be had, there is no engine and no record folder (both empty), and
//   nothing is started or written anywhere, least of all in the host's current folder;
// - the records go to that folder when it can be written, else to the user's local
//   application data ("Tavo");
// - the first host to play there claims the folder for as long as it runs (it holds the
//   folder's host.lock open, unshared); a host that finds it claimed by another running
//   host takes "host2", "host3", ... below it, each claimed the same way, so that two
//   hosts never share a log, a result table or a summary. A claim ends with its process,
//   however that ends. With host64 claimed as well there is no record folder left: the
//   host plays no game (as without an engine; INFO -1).
const bridge::BridgeConfig& ControlBridgeConfig();

}  // namespace tavo::control
