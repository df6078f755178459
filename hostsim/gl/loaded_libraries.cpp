// The process's shared libraries, from the dynamic loader's own list.
#include "hostsim/gl/loaded_libraries.h"

#include <dlfcn.h>
#include <link.h>

namespace hostsim::render {

std::set<std::string> LoadedLibraries() {
  std::set<std::string> paths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* out) {
        if (info->dlpi_name && *info->dlpi_name)
          static_cast<std::set<std::string>*>(out)->insert(info->dlpi_name);
        return 0;
      },
      &paths);
  return paths;
}

void KeepLoadedSince(const std::set<std::string>& before) {
  for (const std::string& path : LoadedLibraries()) {
    if (before.count(path)) continue;
    if (void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE))
      dlclose(handle);
  }
}

}  // namespace hostsim::render
