// Module libraries opened and closed for the world: its loads, and a reload's new library.
#pragma once

#include <memory>
#include <string>

#include "hostsim/runtime/state.h"

namespace hostsim {

// Opens modules/<name> (from `from` when given: a copy the world made beforehand, which it then
// owns; else from Paths::libraryFiles' file for it, else from the command's copy of it where
// Paths::copies is set, else from the file itself) and finds its entry points; throws Error,
// leaving nothing open, when it cannot be loaded or lacks one.
std::unique_ptr<Module> OpenModule(World::Impl& w, const std::string& name,
                                   const std::filesystem::path& from = {});

// Closes the module's library (its unload hook runs) and removes the copy it was loaded from
// when no later load is to use it.
void CloseModule(World::Impl& w, Module& m);

// Makes `copy` the library later loads of module `name` open (a reload's, once the world runs
// on it).
void AdoptModuleCopy(World::Impl& w, const std::string& name, const std::filesystem::path& copy);

}  // namespace hostsim
