// The lamp's HUD with any field values and HUD size. The input is text: range, spread
// (radians), intensity, width, height, separated by blanks, each as strtod/strtoll read it
// (so "nan", "-inf", "1e308" and hex floats all work); a missing number keeps the default.
// The HUD must draw its thirteen lines, every one within the 255 characters of its buffer,
// with the ten fixed texts unchanged.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lamp/lumipod.h"
#include "support.h"
#include "support/hud_text.h"

namespace {

struct Env {
  hostsim::World world{fuzzsupport::ExamplePaths()};
  hostsim::Vessel* lamp = nullptr;
  Env() {
    fuzzsupport::PinModules();
    world.journal().SetEnabled(false);
    lamp = &world.CreateVessel("L1", "lumipod");
    world.LoadVesselState(*lamp, {});
    world.FinishCreation(*lamp);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Env env;
  const std::string text(fuzzsupport::AsText(data, size));  // zero-terminated copy
  const char* p = text.c_str();
  auto number = [&p](double fallback) {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p) return fallback;
    p = end;
    return v;
  };
  auto integer = [&p](int fallback) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &end, 0);
    if (end == p) return fallback;
    p = end;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
  };

  auto* lamp = static_cast<lumipod*>(env.lamp->iface());
  lamp->range = number(300.0);
  lamp->aperture = number(0.3490658503988659);
  lamp->intensity = number(1.0);
  const int w = integer(1024);
  const int h = integer(768);

  const std::vector<hostsim::HudOp> ops = env.world.DrawHUD(*env.lamp, w, h);
  int texts = 0;
  for (const hostsim::HudOp& op : ops) {
    if (op.kind != hostsim::HudOp::Kind::Text) continue;
    fuzzsupport::Expect(texts < 13, "the HUD draws thirteen lines");
    fuzzsupport::Expect(op.text.size() <= 255, "a HUD line fits its buffer");
    fuzzsupport::Expect(op.colour == testsupport::kHudColour, "HUD text is light green");
    const auto line = static_cast<std::size_t>(texts);
    if (!testsupport::HudLineShowsAValue(line))
      fuzzsupport::Expect(op.text == testsupport::kHudDefaultLines[line],
                          "fixed HUD line " + std::to_string(texts + 1));
    ++texts;
  }
  fuzzsupport::Expect(texts == 13, "the HUD draws thirteen lines");
  return 0;
}
