// Counting heap allocations: the program replaces the global operator new and delete, and the
// dynamic linker binds a module's allocations to the program's operators. On Windows every
// library carries its own C++ runtime with its own operators, which the program cannot see:
// there nothing is counted.
#pragma once

#include <cstdint>

namespace hostsim::check {

// Whether the counts below see a module's allocations on this system.
bool AllocationsCounted();

// Allocations made with operator new since the program started.
std::uint64_t Allocations();

// Allocations made with operator new and not yet given back with operator delete.
std::int64_t LiveAllocations();

}  // namespace hostsim::check
