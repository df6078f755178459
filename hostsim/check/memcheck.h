// `hostsim check --memcheck`: a check's child run under Valgrind's memcheck, and what memcheck
// found in the module (reads of memory never set, accesses to memory the module does not own,
// frees of a block twice), told apart from what it found in the host and the system libraries.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace hostsim::check {

// The Valgrind program found on the PATH; empty when there is none.
std::filesystem::path FindValgrind();

// The arguments that put a child under memcheck, before the child's own program and
// arguments: its report goes to `xml` as XML.
std::vector<std::string> MemcheckArgs(const std::filesystem::path& xml);

// One error memcheck reported with the module on its stack, at the module's innermost frame.
struct MemoryError {
  std::string what;      // memcheck's words: "Conditional jump or move depends on ..."
  std::string function;  // the module's function, as memcheck named it
  std::string place;     // "checkmod.cpp:123"; empty without debugging information
  // One line: "WHAT in FUNCTION at FILE:LINE".
  std::string Text() const;
};

// The errors of memcheck's XML report `xml` that have a frame in `module` (the library's
// path), each told once; errors only in the host or the system's libraries are left out.
std::vector<MemoryError> ModuleErrors(const std::string& xml, const std::filesystem::path& module);

}  // namespace hostsim::check
