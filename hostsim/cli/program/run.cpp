// hostsim run: a session script against the world, its transcript on the standard output.
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "hostsim/cli/commands.h"
#include "hostsim/cli/session.h"
#include "hostsim/cli/trace.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "program.h"

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {

void AddRunOptions(CLI::App& command, Args& a) {
  command.add_option("SESSION", a.session, "Session script, one command a line")
      ->required()
      ->type_name("FILE");
  command
      .add_option("--trace", a.trace,
                  "Write every host call and callback of the run to FILE (also when it fails)")
      ->type_name("FILE");
  command
      .add_option("--out", a.outDir,
                  "Write saves with relative paths under DIR instead of beside the script")
      ->type_name("DIR");
  // Given by a window or session that tries a reload in a child: the copy it will load.
  command.add_option("--library", a.libraries)->group("");
  command.footer(
      "Script commands, one a line ('#' starts a comment; paths are relative to the script):\n" +
      hostsim::cli::CommandHelp() +
      "CHORD: modifiers Shift, RShift, Alt, RAlt, Ctrl joined with '+' to one key: a letter,\n"
      "a digit, NumPad1..NumPad9, Up, Down, Left, Right, or a scan code 0xNN.");
}

int Run(const Args& a) {
  const fs::path script = PathFromUtf8(a.session);
  std::string lines;
  if (std::string reason =
          hostsim::platform::ReadTextFile(script, hostsim::platform::kScriptLimit, lines);
      !reason.empty()) {
    Report(a.session + ": cannot read the session script: " + reason);
    return kExitFailure;
  }
  std::istringstream in(std::move(lines));
  hostsim::cli::SessionOptions opts;
  opts.script = script;
  opts.label = a.session;
  opts.reload = {a.root, a.timeout};
  if (!a.outDir.empty()) {
    if (std::string reason = hostsim::platform::CreateFolders(PathFromUtf8(a.outDir));
        !reason.empty()) {
      Report("cannot create the output folder " + reason);
      return kExitFailure;
    }
    opts.outDir = PathFromUtf8(a.outDir);
  }

  int status = 0;
  int outputError = 0;  // the errno value of a failed write of the report
  std::optional<hostsim::cli::WatchedWorld> watched;
  std::optional<hostsim::cli::Session> session;
  // The trace, when one was asked for, written as the run goes.
  std::optional<hostsim::cli::TraceWriter> trace;
  auto finishTrace = [&]() -> bool {
    if (!trace) return true;
    // The scenarios the run loaded are known only now: the trace replaces none of them.
    std::string reason = session ? session->InputReason(PathFromUtf8(a.trace)) : std::string();
    if (reason.empty())
      reason = trace->Finish();
    else
      trace->Abandon();
    if (!reason.empty()) {
      Report(a.trace + ": cannot write the trace: " + reason);
      return false;
    }
    return true;
  };
  try {
    hostsim::Paths paths = ChoosePaths(a.root, a.argv0);
    for (const std::string& given : a.libraries) {
      const std::size_t eq = given.find('=');
      if (eq == std::string::npos || eq == 0) throw hostsim::Error("--library takes NAME=FILE");
      paths.libraryFiles[given.substr(0, eq)] = PathFromUtf8(given.substr(eq + 1));
    }
    watched.emplace(std::move(paths), StoppableWatch(a.timeout, 0));
    if (!a.trace.empty()) {
      trace.emplace();
      opts.trace = &*trace;
    }
    // A signal that came while a command ran (a scenario being read, a few frames) ends the run
    // before the next command: nothing is saved after it.
    opts.betweenCommands = [&watched] { watched->watch().StopIfAsked(); };
    session.emplace(watched->world(), std::cout, opts);
    // A trace over the script or into the root's folders is refused before anything runs.
    if (trace) {
      const fs::path file = PathFromUtf8(a.trace);
      std::string reason = session->InputReason(file);
      if (reason.empty()) reason = trace->Open(file);
      if (!reason.empty()) {
        Report(a.trace + ": cannot write the trace: " + reason);
        return kExitFailure;
      }
      trace->Follow(watched->world().journal());
    }
    watched->watch().SetSession(*session);
    if (trace) {
      watched->watch().SetLastWork([&] {
        if (finishTrace()) Report("  trace: " + a.trace + " (every host call up to the fault)");
      });
    }
    session->Run(in);
  } catch (const hostsim::ModuleException& e) {
    std::cout.flush();
    status = hostsim::cli::ReportEscape(watched->world(), session ? &*session : nullptr, e);
  } catch (const hostsim::cli::OutputError& e) {
    outputError = e.error();
  } catch (const hostsim::cli::SessionError& e) {
    std::cout.flush();
    Report(e.what());
    status = kExitFailure;
  } catch (const hostsim::Error& e) {
    std::cout.flush();
    Report(Located(e, a.session));
    status = kExitFailure;
  } catch (const std::exception& e) {
    std::cout.flush();
    Report(a.session + ": " + e.what());
    status = kExitFailure;
  }

  // The trace ends with the script: the world's end is not part of it.
  if (!finishTrace())
    status = kExitFailure;
  else if (trace && status == hostsim::cli::kExitModuleFault)
    Report("  trace: " + a.trace + " (every host call up to the fault)");
  // The modules end under the watch, while the session it names is still there.
  if (watched) watched->world().Clear();
  session.reset();
  watched.reset();
  if (!OutputWritten(outputError)) status = kExitFailure;
  return status;
}

}  // namespace hostsim::cli::program
