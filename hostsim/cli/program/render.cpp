// hostsim render: a picture of a scenario, the focused vessel's view of it, as a PNG file.
#include "hostsim/render/render.h"

#include <iostream>
#include <optional>
#include <string>

#include "hostsim/platform/path_text.h"
#include "program.h"

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {

void AddRenderOptions(CLI::App& command, Args& a) {
  command.add_option("SCENARIO", a.scenario, "Scenario file")->required()->type_name("FILE");
  command.add_option("OUT", a.picture, "Picture to write (PNG)")->required()->type_name("FILE");
  AddSize(command, a, "Picture");
  AddCamera(command, a, "Where the picture is taken from");
}

int Render(const Args& a) {
  const auto size = SizeOf(a);
  if (!size) return kExitUsage;
  std::optional<hostsim::cli::WatchedWorld> watched;
  try {
    // A signal that asks to stop ends the command with a report, which removes the copies of
    // the module libraries on the way out.
    hostsim::World& world =
        watched.emplace(ChoosePaths(a.root, a.argv0), StoppableWatch(a.timeout, 0)).world();
    LoadScenario(world, a.scenario);
    const fs::path picture = PathFromUtf8(a.picture);
    if (!MayWrite(ShownInputs(world, a.scenario), world, picture, "cannot write the picture"))
      return kExitFailure;
    // The first frame, of no length, puts vessels where their scenario lines say (a lamp's
    // stored placement is applied then).
    hostsim::BlamingModules(world, [&] {
      world.Step(0.0);
      hostsim::render::RenderOptions look;
      look.camera = CameraOf(a, world, *size);  // looking at a vessel where it stands now
      // What the picture could not show as it is (lights beyond the shadow maps) is said.
      for (const std::string& note :
           hostsim::render::RenderToPng(world, picture, size->first, size->second, look))
        std::cerr << "hostsim render: " << note << "\n";
    });
    return 0;
  } catch (const hostsim::ModuleException& e) {
    return hostsim::cli::ReportEscape(watched->world(), nullptr, e);
  } catch (const hostsim::Error& e) {
    std::cerr << Located(e, a.scenario) << "\n";
  } catch (const std::exception& e) {
    std::cerr << a.scenario << ": " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace hostsim::cli::program
