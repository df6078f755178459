// The floor of the per-frame callbacks: a vessel class with the lamp's shape (the same base,
// the same overridden callbacks, an object of the same size) whose callbacks do nothing.
#pragma once

#include "host/host.h"

namespace bench {

// A new object of that class, bound to no vessel. Made in its own translation unit so that
// the compiler cannot see through the callbacks called on it.
VESSEL3* MakeEmptyVessel();
void FreeEmptyVessel(VESSEL3* v);

}  // namespace bench
