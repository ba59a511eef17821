// The fixed identities of the control module. They never change: hosts store them. The
// GUIDs come from the header widl makes of tavo.idl (one source file defines them).
#pragma once
#include <windows.h>
#include <oleidl.h>

#include "tavo/control/tavo_dispids.h"
#include "tavo/control/tavo_idl.h"
#include "tavo/control/tavo_resources.h"

// The type library's version, as in tavo.idl's version(1.0).
inline constexpr WORD kTavoVersionMajor = 1;
inline constexpr WORD kTavoVersionMinor = 0;

inline constexpr const wchar_t* kTavoProgId = L"TAVO.TavoCtrl.1";

// How the control wants its container to treat it (registered as MiscStatus\1 and
// answered by IOleObject::GetMiscStatus): 132497.
inline constexpr DWORD kTavoMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                         OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INVISIBLEATRUNTIME |
                                         OLEMISC_SETCLIENTSITEFIRST;
static_assert(kTavoMiscStatus == 132497, "hosts and stored registrations know this value");
