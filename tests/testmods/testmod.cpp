// A test-only module library around the load hook every module gets: it exports the chosen exit
// hooks (TESTMOD_EXIT_MODULE, TESTMOD_DLL_EXIT), each of which records its call in the
// current world's journal, and minimal entry points so that the host accepts it as a module
// (all but zvcInit with TESTMOD_NO_INIT: a library the host refuses).
#include <cstdio>

#include "host/host.h"
#include "hostsim/world.h"

#if defined(TESTMOD_USES_DEP)
#include "testmod_dep.h"
#endif

namespace {

// Records "<name>(<handle>)" with the handle printed by %p, so a test can compare it with
// the library handle the host holds.
[[maybe_unused]] void RecordExit(const char* name, MODULEHANDLE hModule) {
  hostsim::World* world = hostsim::World::Current();
  if (world == nullptr) return;
  char text[64];
  std::snprintf(text, sizeof text, "%p", static_cast<void*>(hModule));
  world->journal().Record(hostsim::Journal::Kind::Call, "", name, text);
}

}  // namespace

extern "C" {

#if defined(TESTMOD_EXIT_MODULE)
ZVC_EXPORT void ExitModule(MODULEHANDLE hModule) { RecordExit("ExitModule", hModule); }
#endif

#if defined(TESTMOD_DLL_EXIT)
ZVC_EXPORT void zpcDLLExit(MODULEHANDLE hModule) { RecordExit("zpcDLLExit", hModule); }
#endif

#if !defined(TESTMOD_NO_INIT)
ZVC_EXPORT VESSEL* zvcInit(OBJHANDLE /*hvessel*/, int /*flightmodel*/) { return nullptr; }
#endif
ZVC_EXPORT void zvcExit(VESSEL* /*vessel*/) {}
ZVC_EXPORT const char* ModuleDate() { return "Jan 01 2020"; }
ZVC_EXPORT int GetModuleVersion() {
#if defined(TESTMOD_USES_DEP)
  return TestmodDepVersion();
#else
  return 0;
#endif
}

}  // extern "C"
