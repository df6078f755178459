// What a user types into the lamp's three input boxes. Each input line is one answer: its
// first character picks the box (N range, M spread, V attach; anything else: release with
// Shift+V), the rest is the text, NUL bytes and all. The answers go, in order, to one fresh
// lamp through the host's keys and input boxes, beside two parents with free child points.
//
// After every answer: a range stays within [1, 100000] m and a spread within [10, 120]
// degrees, a refused text changes neither, and the lamp hangs on a parent exactly when an
// attach answer said so (or it hung before and nothing released it).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "lamp/lumipod.h"
#include "support.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

struct Env {
  hostsim::World world{fuzzsupport::ExamplePaths()};
  Env() {
    fuzzsupport::PinModules();
    world.journal().SetEnabled(false);
    world.CreateVessel("Tug", "tug");
    world.CreateVessel("Tug2", "tug");
  }
};

bool Press(hostsim::World& world, std::uint8_t key, bool shift) {
  world.ReleaseAllKeys();
  if (shift) world.SetKey(ZKEY_LSHIFT, true);
  world.SetKey(key, true);
  const int r = world.KeyEvent(key, true);
  world.ReleaseAllKeys();
  return r != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Env env;
  hostsim::World& world = env.world;
  hostsim::Vessel& v = world.CreateVessel("L1", "lumipod");
  world.LoadVesselState(v, {});
  world.FinishCreation(v);
  world.SetFocus(&v);
  auto* lamp = static_cast<lumipod*>(v.iface());

  for (const std::string& line : fuzzsupport::Lines(fuzzsupport::AsText(data, size))) {
    const char box = line.empty() ? '\0' : line[0];
    const std::string text = line.empty() ? std::string() : line.substr(1);
    const double range = lamp->range, aperture = lamp->aperture;
    const bool hung = v.Parent() != nullptr;
    if (box != 'N' && box != 'M' && box != 'V') {
      Press(world, ZKEY_V, true);
      fuzzsupport::Expect(v.Parent() == nullptr, "Shift+V releases the lamp");
      continue;
    }
    const std::uint8_t key = box == 'N' ? ZKEY_N : box == 'M' ? ZKEY_M : ZKEY_V;
    fuzzsupport::Expect(Press(world, key, false) && world.OpenBox() != nullptr,
                        std::string("key ") + box + " opens a box");
    const bool accepted = world.AnswerBox(text);
    fuzzsupport::Expect(world.OpenBox() == nullptr, "an answered box closes");
    switch (box) {
      case 'N':
        if (accepted)
          fuzzsupport::Expect(lamp->range >= 1.0 && lamp->range <= 100000.0,
                              "a typed range stays in [1, 100000]");
        else
          fuzzsupport::Expect(lamp->range == range, "a refused range changes nothing");
        fuzzsupport::Expect(lamp->aperture == aperture, "a range leaves the spread");
        break;
      case 'M':
        if (accepted)
          fuzzsupport::Expect(lamp->aperture >= 10 * kDeg && lamp->aperture <= 120 * kDeg,
                              "a typed spread stays in [10, 120] degrees");
        else
          fuzzsupport::Expect(lamp->aperture == aperture, "a refused spread changes nothing");
        fuzzsupport::Expect(lamp->range == range, "a spread leaves the range");
        break;
      default:
        if (accepted)
          fuzzsupport::Expect(v.Parent() != nullptr, "an accepted attach text hangs the lamp");
        else
          fuzzsupport::Expect((v.Parent() != nullptr) == hung,
                              "a refused attach text moves nothing");
        break;
    }
    fuzzsupport::Expect(std::isfinite(lamp->range) && std::isfinite(lamp->aperture),
                        "typed values are finite");
  }
  world.DrawHUD(v, 1024, 768);
  world.ScenarioText();
  world.DestroyVessel(v);
  return 0;
}
