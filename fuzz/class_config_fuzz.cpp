// The host's class configuration files: the input is config/fuzz.cfg, from which a vessel is
// made in a fresh world (through the lamp module when the file names it, from the file alone
// otherwise, with the example meshes). A refused file is a hostsim::Error; a vessel that was
// made is loaded, created, given a visual, stepped, drawn, saved and destroyed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "hostsim/runtime/config.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::PinModules();
  static const auto dir = fuzzsupport::FreshDir(fuzzsupport::Scratch() / "config");
  const std::string_view text = fuzzsupport::AsText(data, size);

  // The parser on its own: every item it gives has a key and a line of the text.
  try {
    const hostsim::ConfigFile cfg = hostsim::ParseConfig(text, "fuzz.cfg");
    for (const hostsim::ConfigItem& item : cfg.items)
      fuzzsupport::Expect(!item.key.empty() && item.line >= 1, "an item has a key and a line");
  } catch (const hostsim::Error& e) {
    fuzzsupport::Expect(e.file() == "fuzz.cfg" && e.line() >= 1,
                        std::string("the error names file and line: ") + e.what());
  }

  fuzzsupport::WriteFile(dir / "fuzz.cfg", text);
  hostsim::Paths paths = fuzzsupport::ExamplePaths();
  paths.config = dir;
  hostsim::World world(paths);
  world.journal().SetEnabled(false);
  hostsim::Vessel* v = nullptr;
  try {
    v = &world.CreateVessel("F", "fuzz");
  } catch (const hostsim::Error&) {
    return 0;
  }
  world.LoadVesselState(*v, {});
  world.FinishCreation(*v);
  world.SetFocus(v);
  world.BuildVisual(*v);
  world.Step(0.02);
  world.DrawHUD(*v, 640, 480);
  world.ScenarioText();
  world.DropVisual(*v);
  world.DestroyVessel(*v);
  return 0;
}
