// Reloading a module: tried in a process of its own, then made in the running world.
#include "reload.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string_view>
#include <system_error>

#include "fault_report.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "text.h"

namespace hostsim::cli {

namespace fs = std::filesystem;
using platform::PathToUtf8;

namespace {

// The longest a trial's callback may run when this program was given no limit: a trial that
// stands still must not hold the window or the session for ever.
constexpr double kTrialHangSeconds = 60;

// The first line a trial wrote to its standard error that is not blank, without the
// program's name.
std::string FirstLine(const fs::path& file) {
  std::string text;
  if (!platform::ReadTextFile(file, platform::kScriptLimit, text).empty()) return {};
  std::string_view rest = text;
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, std::min(rest.find('\n'), rest.size()));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    constexpr std::string_view kName = "hostsim: ", kNote = "hostsim: note: ";
    if (line.starts_with(kNote)) continue;  // a slow callback told of, not why the trial ended
    if (line.substr(0, kName.size()) == kName) line.remove_prefix(kName.size());
    return std::string(line);
  }
  return {};
}

// The `where` a trial's fault report gave, as the lines that follow the reason ("\n  where:
// ...", "\n    called from ..."): "" when it gave none.
std::string WhereLines(const fs::path& file) {
  std::string text;
  if (!platform::ReadTextFile(file, platform::kScriptLimit, text).empty()) return {};
  std::string lines;
  std::string_view rest = text;
  bool inWhere = false;
  while (!rest.empty()) {
    std::string_view line = rest.substr(0, std::min(rest.find('\n'), rest.size()));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("  where: ") || (inWhere && line.starts_with("    "))) {
      inWhere = true;
      lines += "\n" + std::string(line);
    } else if (inWhere) {
      break;
    }
  }
  return lines;
}

// Runs this program on the world saved as it stands, which loads the module's library from
// its file; returns why the reload must not be made here, or "" when it may (the trial went
// through, or failed in a way that a load here refuses without harm and tells better).
std::string Trial(World& world, const ReloadTrial& trial, const std::string& module,
                  const fs::path& library) {
  platform::ScratchFolder folder("hostsim-reload");
  if (folder.path().empty()) return "cannot try the reload: " + folder.error();
  const fs::path scenario = folder.path() / "world.scn";
  const fs::path script = folder.path() / "trial.session";
  if (std::string reason = platform::WriteFile(scenario, world.ScenarioText()); !reason.empty())
    return "cannot try the reload: " + PathToUtf8(scenario) + ": " + reason;
  if (std::string reason = platform::WriteFile(script, "load world.scn\n"); !reason.empty())
    return "cannot try the reload: " + PathToUtf8(script) + ": " + reason;

  const fs::path program = platform::ExecutablePath();
  if (program.empty()) return "cannot try the reload: the path of this program is unknown";
  const double hang = trial.timeout > 0 ? trial.timeout : kTrialHangSeconds;
  std::vector<std::string> args = {"run"};
  if (!trial.root.empty()) args.insert(args.end(), {"--root", trial.root});
  args.insert(args.end(), {"--timeout", Shortest(hang), "--library",
                           module + "=" + PathToUtf8(library), PathToUtf8(script)});
  const fs::path err = folder.path() / "trial.err";
  // Its own watchdog reports a callback that stands still; this limit is for the rest.
  const auto limit = std::chrono::milliseconds(static_cast<long long>(std::ceil(hang * 1000))) +
                     std::chrono::minutes(1);
  const platform::ChildEnd end =
      platform::RunChild(program, args, folder.path() / "trial.out", err, limit);
  switch (end.kind) {
    case platform::ChildEnd::Kind::Exited:
      if (end.code == 0 || end.code == 1) return {};
      if (end.code == kExitModuleFault)
        return "tried in a process of its own, " + FirstLine(err) + WhereLines(err);
      return "the trial of the reload ended with status " + std::to_string(end.code) + ": " +
             FirstLine(err);
    case platform::ChildEnd::Kind::Crashed:
      return "tried in a process of its own, the world crashed: " + end.why;
    case platform::ChildEnd::Kind::TimedOut:
      return "tried in a process of its own, the world did not load within " +
             Shortest(std::chrono::duration<double>(limit).count()) + " s";
    case platform::ChildEnd::Kind::NotStarted:
      return "cannot try the reload: " + end.why;
  }
  return {};
}

}  // namespace

std::string Reload(World& world, const std::string& module, const ReloadTrial& trial) {
  // One copy of the file, tried and then loaded: a build landing in between changes neither.
  fs::path copy;
  try {
    copy = world.CopyModuleLibrary(module);
  } catch (const std::exception& e) {
    return e.what();
  }
  std::string why = Trial(world, trial, module, copy);
  if (why.empty()) {
    try {
      world.ReloadModule(module, copy);
      return {};
    } catch (const std::exception& e) {
      why = e.what();
    }
  }
  std::error_code ec;
  fs::remove(copy, ec);
  return why;
}

}  // namespace hostsim::cli
