// The floor of the per-frame callbacks: a vessel class with the lamp's shape (the same base,
// the same overridden callbacks, an object of the same size) whose callbacks do nothing.
#pragma once

#include "host/host.h"

namespace bench {

// A new object of that class, bound to no vessel. The class is built into a shared library
// of its own, as a module's class is: a virtual call from the program into a callee inside the
// program itself can be predicted faster than one into another loaded object, which is what
// the host's calls into the lamp always are. It also keeps the compiler from seeing through
// the callbacks.
VESSEL3* MakeEmptyVessel();
void FreeEmptyVessel(VESSEL3* v);

}  // namespace bench
