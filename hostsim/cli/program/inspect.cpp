// hostsim inspect: the host's view of a scenario as JSON.
#include <iostream>
#include <optional>

#include "hostsim/cli/text.h"
#include "hostsim/cli/view.h"
#include "program.h"

namespace hostsim::cli::program {

void AddInspectOptions(CLI::App& command, Args& a) {
  command.add_option("SCENARIO", a.scenario, "Scenario file")->required()->type_name("FILE");
  command.add_option("VESSEL", a.vessel, "Only this vessel (default: all)")->type_name("NAME");
}

int Inspect(const Args& a) {
  std::optional<hostsim::cli::WatchedWorld> watched;
  try {
    // A signal that asks to stop ends the command with a report, which removes the copies of
    // the module libraries on the way out.
    hostsim::World& world =
        watched.emplace(ChoosePaths(a.root, a.argv0), StoppableWatch(a.timeout, 0)).world();
    LoadScenario(world, a.scenario);
    if (!a.vessel.empty()) {
      const hostsim::Vessel* v = world.FindVessel(a.vessel);
      if (!v) {
        std::cerr << a.scenario << ": no vessel named "
                  << hostsim::cli::Quote(a.vessel, hostsim::cli::TextEncoding::Utf8) << "\n";
        return kExitFailure;
      }
      std::cout << hostsim::cli::PrettyJson(hostsim::cli::VesselView(world, *v)) << "\n";
    } else {
      hostsim::cli::WriteWorldView(world, std::cout);  // a failed write is reported below
    }
    return OutputWritten() ? 0 : kExitFailure;
  } catch (const hostsim::ModuleException& e) {
    return hostsim::cli::ReportEscape(watched->world(), nullptr, e);
  } catch (const hostsim::Error& e) {
    Report(Located(e, a.scenario));
  } catch (const std::exception& e) {
    Report(a.scenario + ": " + e.what());
  }
  return kExitFailure;
}

}  // namespace hostsim::cli::program
