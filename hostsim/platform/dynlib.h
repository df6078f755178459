// The operating system's shared-library loading, behind one small interface.
#pragma once

#include <filesystem>
#include <string>

namespace hostsim::platform {

// File name suffix of a module library on this system (".so" or ".dll").
const char* LibrarySuffix();

// Loads the library at `path`; null on failure with the system's reason in `error`. On Windows
// the libraries it depends on are looked for beside it, then in `besides` when given (the
// folder of the file `path` is a copy of), then beside the program and in the system's
// folders; elsewhere the loader's own search holds (a run path relative to the library is
// relative to `path`).
void* OpenLibrary(const std::filesystem::path& path, std::string& error,
                  const std::filesystem::path& besides = {});

// Looks up the exported symbol `name` of a loaded library; null when absent.
void* FindSymbol(void* library, const char* name);

// Releases a library opened by OpenLibrary.
void CloseLibrary(void* library);

}  // namespace hostsim::platform
