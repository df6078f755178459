// Counts the program's heap allocations: the benchmark replaces the global operator new and
// delete, and every allocation of the program, the host runtime and the module (which the
// dynamic linker binds to the program's operators) goes through them.
#pragma once

#include <cstddef>

namespace bench {

// Allocations made since the program started.
std::size_t AllocationCount();

}  // namespace bench
