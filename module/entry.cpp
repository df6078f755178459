// The module's exported entry points and its library-wide state.
#include <new>

#include "host/host.h"
#include "lamp/lumipod.h"

namespace {

// Library-wide state, one copy per loaded library, zero at load. The load and unload hook
// (module/load_hook.cpp) keeps its own.
int moduleVersion = 0;  // GetModuleVersion's result; 0 = not computed yet

constexpr char kModuleDate[] = "Apr 21 2011";     // build date of the module
constexpr char kInterfaceDate[] = "Aug 30 2010";  // host interface it is built against

}  // namespace

extern "C" {

VESSEL* zvcInit(OBJHANDLE hvessel, int flightmodel) {
  // The lamp's fields get their start values from clbkSetupClass, which the host calls next.
  lumipod* lamp = new (std::nothrow) lumipod(hvessel, flightmodel);
  return lamp;  // null when the allocation failed
}

void zvcExit(VESSEL* vessel) {
  if (vessel == nullptr) return;
  // zvcInit handed out the VESSEL base of a lumipod; the host gives back the same pointer.
  delete static_cast<lumipod*>(vessel);
}

const char* ModuleDate() { return kModuleDate; }

int GetModuleVersion() {
  if (moduleVersion == 0) {
    moduleVersion = Date2Int(kInterfaceDate);
  }
  return moduleVersion;
}

}  // extern "C"
