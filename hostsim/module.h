// hostsim: a module library as the world loaded it.
#pragma once

#include <filesystem>
#include <string>

#include "host/module_entry.h"
#include "host/types.h"

namespace hostsim {

// A loaded module library.
struct Module {
  std::string name;
  // modules/<name>: the library's file, as its author built it. Everything a user reads names
  // this file, never the copy.
  std::filesystem::path path;
  std::filesystem::path loadedFrom;  // the file opened: `path`, or a copy of it the host made
  bool copied = false;               // loadedFrom is a copy the host made (LibraryCopies)
  void* library = nullptr;           // platform handle
  ZvcInitFn init = nullptr;
  ZvcExitFn exit = nullptr;
  ModuleDateFn date = nullptr;
  GetModuleVersionFn version = nullptr;
  int refCount = 0;                   // vessels using it
  MODULEHANDLE initHandle = nullptr;  // what the library passed to InitLib while loading
};

}  // namespace hostsim
