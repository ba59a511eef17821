// The one definition of the module's GUIDs, from the header widl makes of tavo.idl.
#include <windows.h>
#include <ocidl.h>

#include <initguid.h>

#include "tavo/control/tavo_idl.h"
