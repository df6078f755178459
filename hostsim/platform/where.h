// Where a fault was, told from the author's side: the first frame in a module's library whose
// source is the module's own, the module's frames that led to it, and the innermost frame when
// the fault was deeper (in the host, the C library or a header of the C++ library).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hostsim/platform/process.h"

namespace hostsim::platform {

// A module's library as a report names it: any address of its code, and its name to show
// (the file its author built, where the host loaded a copy).
struct ModuleLibrary {
  const void* code = nullptr;
  std::string shown;
};

// Where, ready to be told.
struct Where {
  // The module's frame its author wrote, with the frames of the module that led to it,
  // innermost first; empty when no frame was in a module's library.
  std::vector<CodeFrame> author;
  // The frame where the fault was when it was not the author's; its library's name in
  // `library` as shown.
  std::vector<CodeFrame> innermost;
  // On a system whose stacks cannot be walked, why only the faulting code is named.
  std::string note;

  // The whole, one line each: "LIB: FUNC at FILE:LINE", "called from FUNC at FILE:LINE" for
  // each caller, "innermost: LIB: FUNC at FILE:LINE"; the first without a prefix.
  std::vector<std::string> Lines() const;
  // In one line of at most `width` bytes (0: any): "FILE:LINE in FUNC, innermost in LIB:
  // FUNC", file and library by their names without folders.
  std::string Line(std::size_t width = 0) const;
};

// How many of the module's frames that led to the author's frame are named.
inline constexpr std::size_t kCallersNamed = 4;

// Where the code of `stack` was (innermost first, each address inside its instruction, as
// FaultStack gives them), the frames of `modules` telling the author's. Allocates and runs the
// symbol tools (CodeFrames).
Where FindWhere(const std::vector<const void*>& stack, const std::vector<ModuleLibrary>& modules);

// Whether any address of `stack` is in the code of one of `modules`' libraries. Asks only the
// system's loader.
bool InModuleLibrary(const std::vector<const void*>& stack,
                     const std::vector<ModuleLibrary>& modules);

// Whether `file` is a header of the compiler's or the system's libraries rather than a file
// of a module's author ("/usr/include/c++/13/bits/new_allocator.h").
bool IsLibrarySource(const std::string& file);

}  // namespace hostsim::platform
