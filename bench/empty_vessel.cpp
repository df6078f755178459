#include "empty_vessel.h"

namespace {

class EmptyVessel final : public VESSEL3 {
 public:
  EmptyVessel() : VESSEL3(nullptr, 1) {}
  void clbkBeforeStep(double, double, double) override {}
  int clbkDirectKeys(char*) override { return 0; }
};

}  // namespace

namespace bench {

VESSEL3* MakeEmptyVessel() { return new EmptyVessel(); }
void FreeEmptyVessel(VESSEL3* v) { delete static_cast<EmptyVessel*>(v); }

}  // namespace bench
