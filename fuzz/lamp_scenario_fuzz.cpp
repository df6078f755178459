// A lamp's scenario block, one line per input line, fed to a freshly set-up lamp through the
// host's clbkLoadScenario; the lamp is then created, hung (when the block says so), given a
// visual, stepped, drawn and saved. Its three saved lines, loaded into a second lamp and
// saved again, must come out byte for byte the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support.h"

namespace {

struct Env {
  hostsim::World world{fuzzsupport::ExamplePaths()};
  Env() {
    fuzzsupport::PinModules();
    world.CreateVessel("Tug", "tug");  // a parent for ATTACHED lines
  }
};

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The lamp's own lines of a vessel's block: the last three, SPT, PAT and GBL.
std::vector<std::string> LampLines(const std::string& scenario, const std::string& vessel) {
  std::vector<std::string> block;
  bool in = false;
  for (const std::string& raw : fuzzsupport::Lines(scenario)) {
    const std::string line = Trimmed(raw);
    if (!in) {
      in = line == "VESSEL " + vessel + " lumipod";
      continue;
    }
    if (line == "END") break;
    block.push_back(line);
  }
  fuzzsupport::Expect(block.size() >= 3, "the saved block of " + vessel + " has its lamp lines");
  std::vector<std::string> lamp(block.end() - 3, block.end());
  fuzzsupport::Expect(lamp[0].rfind("SPT ", 0) == 0 && lamp[1].rfind("PAT ", 0) == 0 &&
                          lamp[2].rfind("GBL ", 0) == 0,
                      "the lamp saves SPT, PAT and GBL last");
  return lamp;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Env env;
  hostsim::World& world = env.world;
  world.journal().Clear();
  const std::vector<std::string> block = fuzzsupport::Lines(fuzzsupport::AsText(data, size));

  hostsim::Vessel& lamp = world.CreateVessel("L1", "lumipod");
  world.LoadVesselState(lamp, block);
  world.FinishCreation(lamp);
  world.SetFocus(&lamp);
  world.BuildVisual(lamp);
  world.Step(0.02);
  world.DrawHUD(lamp, 1024, 768);
  const std::vector<std::string> first = LampLines(world.ScenarioText(), "L1");
  world.TakeWarnings();
  world.DestroyVessel(lamp);

  hostsim::Vessel& again = world.CreateVessel("L2", "lumipod");
  world.LoadVesselState(again, first);
  world.FinishCreation(again);
  const std::vector<std::string> second = LampLines(world.ScenarioText(), "L2");
  world.DestroyVessel(again);
  for (std::size_t i = 0; i < first.size(); ++i)
    fuzzsupport::Expect(first[i] == second[i],
                        "save, load, save keeps \"" + first[i] + "\", got \"" + second[i] + "\"");
  return 0;
}
