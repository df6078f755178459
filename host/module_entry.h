// The entry points a vessel module exports, looked up by the host under these exact names.
#pragma once

#include "api.h"
#include "types.h"

class VESSEL;

extern "C" {
// Creates one vessel object for the host's vessel `hvessel`; returns its VESSEL base, or null
// when it could not be created. `flightmodel` is passed on to the VESSEL constructor.
ZVC_EXPORT VESSEL* zvcInit(OBJHANDLE hvessel, int flightmodel);
// Destroys an object zvcInit returned; does nothing for null.
ZVC_EXPORT void zvcExit(VESSEL* vessel);
// Returns the module's build date text ("Mmm dd yyyy"); the same pointer on every call.
ZVC_EXPORT const char* ModuleDate();
// Returns the host interface version the module was built against: Date2Int of the interface's
// date, kHostInterfaceDate for this one.
ZVC_EXPORT int GetModuleVersion();
}

// The date of this host interface, as GetModuleVersion converts it.
inline constexpr char kHostInterfaceDate[] = "Aug 30 2010";

// Signatures of the four entry points as the host looks them up.
typedef VESSEL* (*ZvcInitFn)(OBJHANDLE, int);
typedef void (*ZvcExitFn)(VESSEL*);
typedef const char* (*ModuleDateFn)();
typedef int (*GetModuleVersionFn)();
