// hostsim play: a scenario in a window in real time (hostsim/play/), with its recording and
// the live reload of its module libraries.
#include "hostsim/play/play.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/cli/camera_choice.h"
#include "hostsim/cli/record.h"
#include "hostsim/cli/reload.h"
#include "hostsim/inputs/inputs.h"
#include "hostsim/platform/path_text.h"
#include "program.h"

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {
namespace {

// How long the window has to close by itself once a signal asked it to.
constexpr double kWindowStopGrace = 1;

}  // namespace

void AddPlayOptions(CLI::App& command, Args& a) {
  command.add_option("SCENARIO", a.scenario, "Scenario file")->required()->type_name("FILE");
  AddSize(command, a, "Window");
  AddCamera(command, a, "Where the view starts (and F3 puts it back)");
  command
      .add_option("--save", a.save,
                  "The file F2 offers to save to (default: a new name beside the scenario)")
      ->type_name("FILE");
  command
      .add_option("--record", a.record,
                  "Write what is done in the window as a session script (hostsim run replays it)")
      ->type_name("FILE");
  command.add_flag("--no-watch", a.noWatch,
                   "Do not reload a module library when its file is rebuilt (F6 still does)");
  command.footer(
      "Keys go to the focused vessel as key presses and held keys; input boxes open in the\n"
      "window (Enter answers, Esc cancels). F4 focuses the next vessel (Shift+F4 the one\n"
      "before), F5 a vessel by name. Left drag orbits, right drag pans, the wheel zooms;\n"
      "F2 saves as (a new file unless you name one, replacing a file is confirmed), F3\n"
      "resets the view, F6 reloads the module libraries and the root's files, F7 prints the\n"
      "view as the --camera of a picture taken from it, Esc quits (asking first when changes\n"
      "are not saved). A module library rebuilt while the window runs is reloaded: the world\n"
      "is saved, then loaded with the new library; an edited class configuration, mesh or\n"
      "material library is read again the same way.");
}
int Play(const Args& a) {
  const auto size = SizeOf(a);
  if (!size) return kExitUsage;
  // The window runs copies of its module libraries, as every command does, so that a build
  // can replace their files while it runs, and a reload loads a new copy.
  std::optional<hostsim::cli::WatchedWorld> watchedWorld;
  try {
    hostsim::cli::WatchedWorld& watched = watchedWorld.emplace(
        ChoosePaths(a.root, a.argv0), StoppableWatch(a.timeout, kWindowStopGrace));
    hostsim::World& world = watched.world();
    LoadScenario(world, a.scenario);
    // The recording and its copy of the scenario may replace none of the files the run read.
    std::vector<fs::path> outputs;
    if (!a.record.empty()) {
      outputs.push_back(PathFromUtf8(a.record));
      outputs.push_back(hostsim::cli::ScenarioCopyOf(outputs[0]));
    }
    const std::vector<hostsim::Input> inputs = ShownInputs(world, a.scenario);
    for (const fs::path& target : outputs)
      if (!MayWrite(inputs, world, target, "cannot write the recording")) return kExitFailure;
    hostsim::render::PlayOptions opts;
    opts.scenario = PathFromUtf8(a.scenario);
    opts.saveAs = PathFromUtf8(a.save);
    // What the window writes (its saves, F2's typed path) replaces no file the world has
    // read by then, nor the recording; the scenario it loaded only when the user says so.
    opts.outputReason = [&world, outputs](const fs::path& target) {
      // The recording is compared by its path too: at the start it is not written yet.
      for (std::size_t i = 0; i < outputs.size(); ++i)
        if (hostsim::SameOutput(target, outputs[i]))
          return std::string("it is an output of this run: ") +
                 (i == 0 ? "the recording" : "the recording's copy of the scenario");
      return hostsim::InputReason(hostsim::InputsOf(world, false), world.paths(), target);
    };
    if (!a.save.empty()) {
      if (std::string reason = opts.outputReason(opts.saveAs); !reason.empty()) {
        Report(a.save + ": cannot save to it (--save): " + reason);
        return kExitFailure;
      }
    }
    opts.slowCallback = [&watched] { return watched.watch().TakeSlowNotice(); };
    opts.title = "hostsim - " + (world.title.empty() ? a.scenario : world.title);
    opts.width = size->first;
    opts.height = size->second;
    std::optional<hostsim::cli::SessionRecorder> recorder;
    if (!a.record.empty()) {
      const auto file = PathFromUtf8(a.record);
      // Made at once, so that a recording that cannot be kept is known before the session;
      // each line goes to the disk as it happens, and a fault's report writes the last.
      recorder.emplace(file, world.LoadedScenarioBytes());
      if (std::string reason = recorder->Start(); !reason.empty()) {
        Report(a.record + ": cannot write the recording: " + reason);
        return kExitFailure;
      }
      opts.recorder = &*recorder;
      watched.watch().SetLastWork([&] {
        if (std::string reason = recorder->Finish(); !reason.empty())
          Report(a.record + ": cannot write the recording: " + reason);
      });
    }
    // SIGTERM, SIGINT and SIGHUP close the window at once, without saving; the watch ends
    // the program with a report when a module's callback keeps the window from closing.
    opts.stop = watched.watch().stop();
    const hostsim::cli::ReloadTrial trial{a.root, a.timeout};
    opts.reload = [&world, &trial](const std::string& module) {
      return hostsim::cli::Reload(world, module, trial);
    };
    opts.watch = !a.noWatch;
    opts.render.camera = CameraOf(a, world, *size);  // looking at a vessel as loaded
    opts.cameraText = [](const hostsim::render::Camera& camera) {
      return "--camera \"" + hostsim::cli::FormatCameraChoice(hostsim::cli::ChoiceOf(camera)) +
             "\"";
    };
    const int status =
        hostsim::BlamingModules(world, [&] { return hostsim::render::Play(world, opts); });
    watched.watch().SetLastWork(nullptr);
    if (recorder) {
      if (std::string reason = recorder->Finish(); !reason.empty()) {
        Report(a.record + ": cannot write the recording: " + reason);
        return kExitFailure;
      }
    }
    if (*opts.stop != 0) return 128 + *opts.stop;
    return status == 0 ? 0 : kExitFailure;
  } catch (const hostsim::ModuleException& e) {
    return hostsim::cli::ReportEscape(watchedWorld->world(), nullptr, e);
  } catch (const hostsim::Error& e) {
    std::cerr << Located(e, a.scenario) << "\n";
  } catch (const std::exception& e) {
    std::cerr << a.scenario << ": " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace hostsim::cli::program
