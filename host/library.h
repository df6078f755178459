// Host services for a module library as a whole.
#pragma once

#include "api.h"
#include "types.h"

// Tells the host that the module library `hModule` has been loaded; the library's load hook
// calls it once, first.
ZAPI_FUNC void InitLib(MODULEHANDLE hModule);

// Converts a date text of the form "Mmm dd yyyy" (e.g. "Aug 30 2010") into the integer
// yyyymmdd; 0 for a text that is not such a date.
ZAPI_FUNC int Date2Int(const char* date);

// The signature of an optional exit hook a module library may export under the name
// "ExitModule" or "zpcDLLExit"; the load hook calls it once at unload.
typedef void (*ModuleExitHook)(MODULEHANDLE hModule);
