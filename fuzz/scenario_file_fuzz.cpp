// The host's scenario files: the input is a whole file, loaded into a fresh world with the
// example classes (the lamp module among them). A refused file is a hostsim::Error naming
// the file. A file the host took must save, what it saved must load again, and saving that
// must give the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::PinModules();
  static const auto dir = fuzzsupport::FreshDir(fuzzsupport::Scratch() / "scenario");
  const auto file = dir / "input.scn";
  const auto saved = dir / "saved.scn";
  fuzzsupport::WriteFile(file, fuzzsupport::AsText(data, size));

  hostsim::World world(fuzzsupport::ExamplePaths());
  world.journal().SetEnabled(false);
  try {
    world.LoadScenario(file);
  } catch (const hostsim::Error& e) {
    fuzzsupport::Expect(e.file() == file.string(),
                        std::string("the error names the file: ") + e.what());
    return 0;
  }
  world.TakeWarnings();
  world.SaveScenario(saved);
  const std::string first = world.ScenarioText();

  hostsim::World again(fuzzsupport::ExamplePaths());
  again.journal().SetEnabled(false);
  try {
    again.LoadScenario(saved);
  } catch (const hostsim::Error& e) {
    fuzzsupport::Fail(std::string("a saved scenario loads again: ") + e.what());
  }
  const std::string second = again.ScenarioText();
  fuzzsupport::Expect(first == second, "save, load, save gives the same text:\n" + first +
                                           "\n---- then ----\n" + second);

  // The loaded world runs: a frame, every vessel's HUD, and a save after it.
  again.Step(0.02);
  for (hostsim::Vessel* v : again.Vessels()) again.DrawHUD(*v, 800, 600);
  again.ScenarioText();
  return 0;
}
