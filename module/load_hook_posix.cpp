// The library's load and unload hook on POSIX systems: a constructor and a destructor
// function that the dynamic loader runs when the library is loaded and unloaded.
#include <dlfcn.h>

#include "module/load_hook.h"

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
  lumipod_module::OnLibraryLoad(selfHandle, [handle](const char* name) -> ModuleExitHook {
    // Without a handle of its own the library cannot look up its exports; a null handle
    // would make dlsym search the whole process instead.
    return handle != nullptr ? FindOwnExport(handle, name) : nullptr;
  });
}

__attribute__((destructor)) void LibraryUnloading() { lumipod_module::OnLibraryUnload(selfHandle); }

}  // namespace
