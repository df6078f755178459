// The operating system's shared-library loading, behind one small interface.
#pragma once

#include <filesystem>
#include <string>

namespace hostsim::platform {

// File name suffix of a module library on this system (".so" or ".dll").
const char* LibrarySuffix();

// Loads the library at `path`; null on failure with the system's reason in `error`.
void* OpenLibrary(const std::filesystem::path& path, std::string& error);

// Looks up the exported symbol `name` of a loaded library; null when absent.
void* FindSymbol(void* library, const char* name);

// Releases a library opened by OpenLibrary.
void CloseLibrary(void* library);

}  // namespace hostsim::platform
