#include "empty_vessel.h"

#include <cstddef>

#include "lamp/lumipod.h"

namespace {

class EmptyVessel final : public VESSEL3 {
 public:
  EmptyVessel() : VESSEL3(nullptr, 1) {}

  void clbkSetupClass(FILEHANDLE) override {}
  void clbkSaveState(FILEHANDLE) override {}
  void clbkLoadScenario(FILEHANDLE, void*) override {}
  void clbkAfterCreation() override {}
  void clbkBeforeStep(double, double, double) override {}
  void clbkAfterStep(double, double, double) override {}
  void clbkVisualBuilt(VISHANDLE, int) override {}
  void clbkVisualDestroyed(VISHANDLE, int) override {}
  int clbkDirectKeys(char*) override { return 0; }
  int clbkBufferedKey(std::uint32_t, bool, char*) override { return 0; }
  using VESSEL3::clbkDrawHUD;
  bool clbkDrawHUD(int, const HUDPAINTSPEC*, zapi::Sketchpad*) override { return true; }

  // The lamp's own state takes this much room after the base.
  unsigned char state[sizeof(lumipod) - sizeof(VESSEL3)] = {};
};

static_assert(sizeof(EmptyVessel) == sizeof(lumipod));

}  // namespace

namespace bench {

__attribute__((noinline)) VESSEL3* MakeEmptyVessel() { return new EmptyVessel(); }
void FreeEmptyVessel(VESSEL3* v) { delete static_cast<EmptyVessel*>(v); }

}  // namespace bench
