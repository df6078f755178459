// The library's load and unload hook: at load it tells the host about the library (InitLib,
// first) and looks up the library's optional exit hook, "ExitModule" or, when that is absent,
// "zpcDLLExit"; at unload it calls that hook once with the library's handle.
//
// Every vessel module made with hostsim_add_module (or hostsim_make_module) is built with this
// file, the lamp among them, so a module's own sources hold only its entry points and classes.
// It needs the host interface (host/library.h) and, on POSIX, the dynamic loader's library.
#include "host/library.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// The exit hook found at load; null when the library exports none, and after it was called.
ModuleExitHook exitHook = nullptr;

// Load: tells the host about the library first, then looks up the exit hook with `find`
// (export name -> hook or null), which searches this library's own exports only.
template <typename Find>
void OnLibraryLoad(MODULEHANDLE self, Find&& find) {
  InitLib(self);
  exitHook = find("ExitModule");
  if (exitHook == nullptr) exitHook = find("zpcDLLExit");
}

// Unload: calls the remembered hook once with the library's handle.
void OnLibraryUnload(MODULEHANDLE self) {
  const ModuleExitHook hook = exitHook;
  exitHook = nullptr;
  if (hook != nullptr) hook(self);
}

}  // namespace

#if defined(_WIN32)

// C linkage: the C runtime's DLL start-up code calls DllMain by its plain name.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID /*reserved*/) {
  const auto self = reinterpret_cast<MODULEHANDLE>(hinstDLL);
  if (reason == DLL_PROCESS_ATTACH) {
    // GetProcAddress searches the export table of this one module only.
    OnLibraryLoad(self, [hinstDLL](const char* name) {
      return reinterpret_cast<ModuleExitHook>(
          reinterpret_cast<void*>(GetProcAddress(hinstDLL, name)));
    });
  } else if (reason == DLL_PROCESS_DETACH) {
    OnLibraryUnload(self);
  }
  return TRUE;
}

#else

namespace {

// The library's own handle, found at load and used again at unload.
MODULEHANDLE selfHandle = nullptr;
// Base address of this library's image, to tell its own symbols from its dependencies'.
const void* selfBase = nullptr;

// Finds the loader's handle of the library that contains `fn` without loading anything:
// dladdr names the file, dlopen with RTLD_NOLOAD returns the handle of the loaded copy. The
// extra reference dlopen takes is given back at once, so the library still unloads when its
// loader closes it.
void* OwnHandle(const void* fn, const void** base) {
  Dl_info info{};
  if (dladdr(fn, &info) == 0 || info.dli_fname == nullptr) return nullptr;
  void* handle = dlopen(info.dli_fname, RTLD_NOLOAD | RTLD_NOW);
  if (handle != nullptr) dlclose(handle);
  *base = info.dli_fbase;
  return handle;
}

// Looks up an export of this library only. dlsym on the library's handle also searches the
// libraries it depends on (the host runtime among them), so a symbol found there is not ours.
ModuleExitHook FindOwnExport(void* handle, const char* name) {
  void* sym = dlsym(handle, name);
  if (sym == nullptr) return nullptr;
  Dl_info info{};
  if (dladdr(sym, &info) == 0 || info.dli_fbase != selfBase) return nullptr;
  return reinterpret_cast<ModuleExitHook>(sym);
}

__attribute__((constructor)) void LibraryLoaded() {
  void* handle = OwnHandle(reinterpret_cast<const void*>(&LibraryLoaded), &selfBase);
  selfHandle = static_cast<MODULEHANDLE>(handle);
  OnLibraryLoad(selfHandle, [handle](const char* name) -> ModuleExitHook {
    // Without a handle of its own the library cannot look up its exports; a null handle
    // would make dlsym search the whole process instead.
    return handle != nullptr ? FindOwnExport(handle, name) : nullptr;
  });
}

__attribute__((destructor)) void LibraryUnloading() { OnLibraryUnload(selfHandle); }

}  // namespace

#endif
