// The floor of the per-frame callbacks: a vessel class whose callbacks do nothing. It is built
// into a shared library of its own, as the lamp's class is built into its module, so that a
// call of either crosses into another loaded object and the compiler sees through neither.
#pragma once

#include "host/host.h"

namespace bench {

// A new object of that class, bound to no vessel; FreeEmptyVessel deletes it.
VESSEL3* MakeEmptyVessel();
void FreeEmptyVessel(VESSEL3* v);

}  // namespace bench
