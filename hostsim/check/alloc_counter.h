// Counting heap allocations in the checked program, at the C library's level: malloc,
// calloc, realloc, aligned_alloc, posix_memalign, memalign and free, which operator new and
// delete use too. On Linux with glibc the program defines these functions itself (counting,
// then handing over to glibc's allocator) and the dynamic linker binds every library's calls,
// a module's too, to them; in a build with AddressSanitizer, whose allocator takes their
// place, the sanitizer's allocation hooks count instead. Elsewhere on POSIX the program
// replaces operator new and delete only. On Windows every library carries its own C runtime,
// which the program cannot see: there nothing is counted.
#pragma once

#include <cstdint>

namespace hostsim::check {

// Whether the counts below see a module's allocations on this system.
bool AllocationsCounted();

// Allocations made since the program started (a realloc counts as one).
std::uint64_t Allocations();

// Allocations made and not yet given back.
std::int64_t LiveAllocations();

}  // namespace hostsim::check
