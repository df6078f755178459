// Shared-library loading on POSIX systems (dlopen, dlsym, dlclose).
#include <dlfcn.h>

#include "hostsim/platform/dynlib.h"

namespace hostsim::platform {

const char* LibrarySuffix() { return ".so"; }

void* OpenLibrary(const std::filesystem::path& path, std::string& error) {
  dlerror();  // clear a stale message
  // RTLD_LOCAL keeps one module's symbols from resolving another module's references.
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "unknown error";
  }
  return lib;
}

void* FindSymbol(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return dlsym(library, name);
}

void CloseLibrary(void* library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace hostsim::platform
