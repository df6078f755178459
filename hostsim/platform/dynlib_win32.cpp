// Shared-library loading on Windows (LoadLibraryW, GetProcAddress, FreeLibrary).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "hostsim/platform/dynlib.h"

namespace hostsim::platform {

const char* LibrarySuffix() { return ".dll"; }

void* OpenLibrary(const std::filesystem::path& path, std::string& error,
                  const std::filesystem::path& besides) {
  // No error dialog boxes for a missing dependency; the caller reports the failure.
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The library's own dependencies are looked for next to it, then in `besides`, then next to
  // the host program, then in the system folders. These searches want a full path with '\'
  // separators.
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  full.make_preferred();
  DWORD flags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  DLL_DIRECTORY_COOKIE added = nullptr;
  if (!besides.empty()) {
    std::filesystem::path folder = std::filesystem::absolute(besides, ec);
    if (ec) folder = besides;
    folder.make_preferred();
    added = AddDllDirectory(folder.c_str());
    if (added != nullptr) flags |= LOAD_LIBRARY_SEARCH_USER_DIRS;
  }
  HMODULE lib = LoadLibraryExW(full.c_str(), nullptr, flags);
  DWORD code = GetLastError();
  if (added != nullptr) RemoveDllDirectory(added);
  SetErrorMode(oldMode);
  if (lib == nullptr) {
    char buf[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) buf[--n] = '\0';
    error = n > 0 ? std::string(buf) : "error " + std::to_string(code);
  }
  return reinterpret_cast<void*>(lib);
}

void* FindSymbol(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace hostsim::platform
