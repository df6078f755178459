// Shared-library loading on POSIX systems (dlopen, dlsym, dlclose).
#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "hostsim/platform/dynlib.h"

namespace hostsim::platform {

namespace {

// Why a 64-bit ELF file is cut short, or "" when its program headers and every segment it loads
// lie within the file (or it is no such file: the loader gives its own reason then). The loader
// maps segments without looking at the file's length, so one whose end is missing — a truncated
// copy, or a library read while the linker still writes it — faults in the loader instead of
// failing to open.
std::string TruncationReason(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) ||
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_phentsize != sizeof(Elf64_Phdr))
    return {};
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  const auto damaged = [size](std::uintmax_t needed) {
    return "the file is damaged: it ends after " + std::to_string(size) +
           " bytes, but its parts to be loaded reach to byte " + std::to_string(needed) +
           " (a copy cut short, or a build not yet finished?)";
  };
  const std::uintmax_t tableEnd =
      std::uintmax_t{header.e_phoff} + std::uintmax_t{header.e_phnum} * sizeof(Elf64_Phdr);
  if (tableEnd > size) return damaged(tableEnd);
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  in.seekg(static_cast<std::streamoff>(header.e_phoff));
  if (!in.read(reinterpret_cast<char*>(segments.data()),
               static_cast<std::streamsize>(segments.size() * sizeof(Elf64_Phdr))))
    return {};
  for (const Elf64_Phdr& s : segments)
    if (s.p_type == PT_LOAD && (s.p_offset > size || s.p_filesz > size - s.p_offset))
      return damaged(std::uintmax_t{s.p_offset} + s.p_filesz);
  return {};
}

}  // namespace

const char* LibrarySuffix() { return ".so"; }

void* OpenLibrary(const std::filesystem::path& path, std::string& error,
                  const std::filesystem::path&) {
  // A bare name ("libGL.so.1") is the loader's to find; a file named by its path is checked.
  if (path.has_parent_path())
    if (std::string why = TruncationReason(path); !why.empty()) {
      error = path.string() + ": " + why;
      return nullptr;
    }
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
