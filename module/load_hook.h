// The library's load and unload hook, shared by the per-OS entry files (load_hook_posix.cpp,
// load_hook_win32.cpp). Each OS file finds the library's own handle and a way to look up an
// export of this library alone; the steps below are the same everywhere.
#pragma once

#include "host/library.h"

namespace lumipod_module {

// The exit hook found at load, called once at unload; null when the library exports none.
// Defined with the module's other library-wide state (module/entry.cpp).
extern ModuleExitHook exitHook;

// Looks up the optional exit hook with `find` (export name -> hook, or null; it must search
// this library only): "ExitModule" wins; "zpcDLLExit" is tried only when it is absent.
template <typename Find>
ModuleExitHook FindExitHook(Find&& find) {
  ModuleExitHook hook = find("ExitModule");
  if (hook == nullptr) hook = find("zpcDLLExit");
  return hook;
}

// Load: tells the host about the library first, then remembers the exit hook.
template <typename Find>
void OnLibraryLoad(MODULEHANDLE self, Find&& find) {
  InitLib(self);
  exitHook = FindExitHook(find);
}

// Unload: calls the remembered hook once with the library's handle.
inline void OnLibraryUnload(MODULEHANDLE self) {
  ModuleExitHook hook = exitHook;
  exitHook = nullptr;
  if (hook != nullptr) hook(self);
}

}  // namespace lumipod_module
