// The host's scenario files: the input is a whole file, loaded into a fresh world with the
// example classes (the lamp module among them). A refused file is a hostsim::Error naming
// the file. A file the host took must save, what it saved must load again, and saving that
// must give the same text.
//
// One kind of line may change once on the way: the lamp's "PAT". It prints its placement with
// four decimals, and a lamp applies the placement it loaded on its first step only when the
// direction and rotation reference are not zero. A loaded direction such as (0.00001, 0, 0)
// is applied, saved as zeros, and not applied after the next load, where the lamp then saves
// the slot as its parent defined it. That is the lamp's own rule, not a fault of the host; a
// PAT line that differs must therefore reach a fixed point one round later, and every other
// line must be the same at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support.h"

namespace {

// Loads the saved scenario `file` into the fresh `world`: a file the host saved must load.
void LoadSaved(hostsim::World& world, const std::filesystem::path& file) {
  world.journal().SetEnabled(false);
  try {
    world.LoadScenario(file);
  } catch (const hostsim::Error& e) {
    fuzzsupport::Fail(std::string("a saved scenario loads again: ") + e.what());
  }
}

// Whether two saves differ in "PAT" lines only, line for line.
bool DifferInPlacementsOnly(const std::string& a, const std::string& b) {
  const std::vector<std::string> x = fuzzsupport::Lines(a), y = fuzzsupport::Lines(b);
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] == y[i]) continue;
    if (x[i].rfind("  PAT ", 0) != 0 || y[i].rfind("  PAT ", 0) != 0) return false;
  }
  return true;
}

}  // namespace

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
  LoadSaved(again, saved);
  const std::string second = again.ScenarioText();
  if (first != second) {
    fuzzsupport::Expect(
        DifferInPlacementsOnly(first, second),
        "save, load, save gives the same text:\n" + first + "\n---- then ----\n" + second);
    const auto resaved = dir / "resaved.scn";
    fuzzsupport::WriteFile(resaved, second);
    hostsim::World third(fuzzsupport::ExamplePaths());
    LoadSaved(third, resaved);
    fuzzsupport::Expect(third.ScenarioText() == second,
                        "a lamp's placement settles after one more load:\n" + second +
                            "\n---- then ----\n" + third.ScenarioText());
  }

  // The loaded world runs: a frame, every vessel's HUD, and a save after it.
  again.Step(0.02);
  for (hostsim::Vessel* v : again.Vessels()) again.DrawHUD(*v, 800, 600);
  again.ScenarioText();
  return 0;
}
