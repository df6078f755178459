// hostsim: runs vessel modules in the stand-in host from scenario files and session scripts.
// Its commands are the rows of one table (Subcommands()), from which the parser, `hostsim
// --help` and the usage block of docs/modules.md all come.
//
// Exit status: 0 on success, 1 when a session or scenario fails (one "FILE:LINE: message"
// line on stderr), 2 for a usage error, 3 when hostsim itself crashed during a check, 4 when a
// module crashed or hung, 128 + N when signal N stopped it (a report on stderr for the last
// two, fault_report.h).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "camera_choice.h"
#include "fault_report.h"
#include "hostsim/check/check.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "hostsim/tools/inputs.h"
#include "hostsim/world.h"
#include "new_project.h"
#include "record.h"
#include "reload.h"
#include "root.h"
#include "session.h"
#include "trace.h"
#include "view.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/render.h"
#endif

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;
using hostsim::cli::WatchOptions;
using hostsim::platform::PathFromUtf8;
using hostsim::platform::PathToUtf8;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The folder of the running executable, or empty when it cannot be told.
fs::path ExecutableDir(const char* argv0) {
  std::error_code ec;
#if defined(_WIN32)
  wchar_t buf[32768];
  DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
  if (n > 0 && n < std::size(buf)) return fs::path(std::wstring(buf, n)).parent_path();
#else
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.parent_path();
#endif
  if (argv0 && *argv0) {
    fs::path p = fs::absolute(PathFromUtf8(argv0), ec);
    if (!ec) return p.parent_path();
  }
  return {};
}

// Folders when no --root is given: those of the build tree or of the installation this
// program is part of.
hostsim::Paths DefaultPaths(const char* argv0) {
  return hostsim::cli::DefaultPaths(ExecutableDir(argv0), {PathFromUtf8(HOSTSIM_INSTALLED_ROOT),
                                                           PathFromUtf8(HOSTSIM_SOURCE_DIR)});
}

// The folders of --root, or the defaults without it; throws hostsim::Error naming the root
// when it is not a folder.
hostsim::Paths ChoosePaths(const std::string& root, const char* argv0) {
  if (root.empty()) return DefaultPaths(argv0);
  std::error_code ec;
  if (!fs::is_directory(PathFromUtf8(root), ec))
    throw hostsim::Error("no such root folder (--root)", root);
  return hostsim::Paths::FromRoot(PathFromUtf8(root));
}

// One error line on standard error, escaped and bounded.
void Report(const std::string& message) { std::cerr << hostsim::cli::ErrorText(message) << "\n"; }

// Says on the standard error what the load of a scenario kept or dropped with a warning (lines
// the host did not know, attachments it could not make), as `run` says it in its transcript.
void ReportWarnings(hostsim::World& world) {
  for (const std::string& w : world.TakeWarnings())
    std::cerr << hostsim::cli::ErrorText("warning: " + w) << "\n";
}

// The standard output's buffer, passing every write straight on to the one it wraps and
// keeping the system's reason (errno) of the first write that failed. Read later, errno would
// name whatever failed since (a check's child processes, its folders), not the write.
class FailureKeepingOutput final : public std::streambuf {
 public:
  explicit FailureKeepingOutput(std::streambuf* inner) : inner_(inner) {}
  int error() const { return error_; }
  std::streambuf* Inner() const { return inner_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return Kept(inner_->sputc(traits_type::to_char_type(c)) == traits_type::eof())
               ? c
               : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::streamsize written = inner_->sputn(s, n);
    Kept(written != n);
    return written;
  }
  int sync() override { return Kept(inner_->pubsync() != 0) ? 0 : -1; }

 private:
  // Notes errno at the first failure; true when `failed` is false.
  bool Kept(bool failed) {
    if (failed && error_ == 0) error_ = errno != 0 ? errno : EIO;
    return !failed;
  }
  std::streambuf* inner_;
  int error_ = 0;
};
FailureKeepingOutput* g_output = nullptr;  // set by main for the program's life

// Flushes the standard output. When a write to it failed (a full disk, a file-size limit, a
// closed descriptor), reports it with the system's reason (the errno value of the first failed
// write, or `error` when it is known) once, and returns false: output that did not reach its
// reader is a failure.
bool OutputWritten(int error = 0) {
  static bool reported = false;
  std::cout.flush();
  if (error == 0 && g_output != nullptr) error = g_output->error();
  if (error == 0) error = errno;
  if (std::cout && std::ferror(stdout) == 0) return true;
  if (!reported)
    Report("standard output: cannot write" +
           (error != 0 ? ": " + std::generic_category().message(error) : std::string()));
  reported = true;
  return false;
}

// "FILE:LINE: message" from a host error, naming `file` when the error names none.
std::string Located(const hostsim::Error& e, const std::string& file) {
  if (!e.file().empty()) return e.what();
  return file + ": " + e.message();
}

// What the command line gave. The parser fills in the part of the one command it names.
struct Args {
  const char* argv0 = nullptr;  // the program's name as it was started
  // The options every command takes (AddSharedOptions).
  std::string root;
  double timeout = 0;
  bool noWatch = false;  // play: no live reload
  // run
  std::string session, trace, outDir;
  std::vector<std::string> libraries;  // NAME=FILE: a module's library opened from FILE
  // inspect, render, play
  std::string scenario, vessel, picture, size = "800x500", save, record, camera;
  // check
  std::string module;
  hostsim::check::Options check;
  // new
  std::string newName, newDir;
};

// How long a callback runs before the watch says so on the standard error.
constexpr double kSlowCallbackSeconds = 5;
// How long the window has to close by itself once a signal asked it to.
constexpr double kWindowStopGrace = 1;

// What the watch of `run` or `play` stands by for: crashes, --timeout, long callbacks, and
// the signals that ask the program to stop. The window ends by itself at such a signal when
// it can; a session script is stopped where it stands.
hostsim::cli::WatchOptions RunWatch(const Args& a, bool window) {
  hostsim::cli::WatchOptions w;
  w.hangSeconds = a.timeout;
  w.stopOnSignals = true;
  w.stopGrace = window ? kWindowStopGrace : 0;
  w.slowSeconds = kSlowCallbackSeconds;
  return w;
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
    watched.emplace(std::move(paths), RunWatch(a, false));
    if (!a.trace.empty()) {
      trace.emplace();
      opts.trace = &*trace;
    }
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
  if (!finishTrace()) status = kExitFailure;
  // The modules end under the watch, while the session it names is still there.
  if (watched) watched->world().Clear();
  session.reset();
  watched.reset();
  if (!OutputWritten(outputError)) status = kExitFailure;
  return status;
}

int Inspect(const Args& a) {
  try {
    hostsim::cli::WatchedWorld watched(ChoosePaths(a.root, a.argv0), {a.timeout});
    hostsim::World& world = watched.world();
    world.LoadScenario(PathFromUtf8(a.scenario));
    ReportWarnings(world);
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
  } catch (const hostsim::Error& e) {
    Report(Located(e, a.scenario));
  } catch (const std::exception& e) {
    Report(a.scenario + ": " + e.what());
  }
  return kExitFailure;
}

#if defined(HOSTSIM_HAVE_RENDER)
// Loads a scenario for a picture or the window. The first frame, of no length, puts vessels
// where their scenario lines say (a lamp's stored placement is applied then).
int Picture(const Args& a, bool play) {
  const auto size = hostsim::render::ParseSize(a.size);
  if (!size) {
    std::cerr << "hostsim: --size must be WxH, each side from 1 to 8192\n";
    return kExitUsage;
  }
  try {
    hostsim::Paths paths = ChoosePaths(a.root, a.argv0);
    // A window that watches its module libraries runs copies of them, so that a build can
    // replace their files (a system may refuse to replace a loaded library's file).
    std::optional<hostsim::platform::ScratchFolder> copies;
    if (play && !a.noWatch) {
      copies.emplace("hostsim-libraries");
      if (copies->path().empty())
        throw hostsim::Error("cannot watch the modules: " + copies->error());
      paths.libraryCopies = copies->path();
    }
    hostsim::cli::WatchedWorld watched(paths, play ? RunWatch(a, true) : WatchOptions{a.timeout});
    hostsim::World& world = watched.world();
    world.LoadScenario(PathFromUtf8(a.scenario));
    ReportWarnings(world);
    hostsim::render::RenderOptions look;
    // --camera, looking at a vessel where it stands: for a picture once the first frame has
    // placed it, for the window as loaded.
    const auto chooseCamera = [&a, &world, &look, &size] {
      if (a.camera.empty()) return;
      hostsim::cli::CameraChoice choice;
      hostsim::cli::ParseCameraChoice(a.camera, choice);  // checked by the parser
      try {
        look.camera = hostsim::cli::ChosenCamera(world, choice,
                                                 static_cast<double>(size->first) / size->second);
      } catch (const hostsim::Error& e) {
        throw hostsim::Error("--camera: " + e.message());
      }
    };
    // The picture or the recording may replace none of the files the run read.
    std::vector<hostsim::Input> inputs = {{"the scenario", PathFromUtf8(a.scenario)}};
    const std::vector<hostsim::Input> read = hostsim::InputsOf(world, false);
    inputs.insert(inputs.end(), read.begin(), read.end());
    const std::string& output = play ? a.record : a.picture;
    std::vector<fs::path> outputs;  // with a recording, its copy of the scenario too
    if (!output.empty()) outputs.push_back(PathFromUtf8(output));
    if (play && !output.empty()) outputs.push_back(hostsim::cli::ScenarioCopyOf(outputs[0]));
    for (const fs::path& target : outputs) {
      if (std::string reason = hostsim::InputReason(inputs, world.paths(), target);
          !reason.empty()) {
        Report(PathToUtf8(target) +
               (play ? ": cannot write the recording: " : ": cannot write the picture: ") + reason);
        return kExitFailure;
      }
    }
    if (play) {
      hostsim::render::PlayOptions opts;
      opts.scenario = PathFromUtf8(a.scenario);
      opts.saveAs = PathFromUtf8(a.save);
      // What the window writes (its saves, F2's typed path) replaces no file the world has
      // read by then, nor the recording; the scenario it loaded only when the user says so.
      opts.outputReason = [&world, outputs](const fs::path& target) {
        std::vector<hostsim::Input> kept = hostsim::InputsOf(world, false);
        for (const fs::path& o : outputs)
          kept.push_back({"the recording or its copy of the scenario", o});
        return hostsim::InputReason(kept, world.paths(), target);
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
      chooseCamera();
      opts.render = look;
      opts.cameraText = [](const hostsim::render::Camera& camera) {
        return "--camera \"" + hostsim::cli::FormatCameraChoice(hostsim::cli::ChoiceOf(camera)) +
               "\"";
      };
      const int status = hostsim::render::Play(world, opts);
      watched.watch().SetLastWork(nullptr);
      if (recorder) {
        if (std::string reason = recorder->Finish(); !reason.empty()) {
          Report(a.record + ": cannot write the recording: " + reason);
          return kExitFailure;
        }
      }
      if (*opts.stop != 0) return 128 + *opts.stop;
      return status == 0 ? 0 : kExitFailure;
    }
    world.Step(0.0);
    chooseCamera();
    hostsim::render::RenderToPng(world, PathFromUtf8(a.picture), size->first, size->second, look);
    return 0;
  } catch (const hostsim::Error& e) {
    std::cerr << Located(e, a.scenario) << "\n";
  } catch (const std::exception& e) {
    std::cerr << a.scenario << ": " << e.what() << "\n";
  }
  return kExitFailure;
}
#endif

// The longest time limit an option takes, in seconds: a day.
constexpr int kMaxSeconds = 86400;

// A time limit in seconds: a decimal number above 0 and at most kMaxSeconds. The message
// quotes the value as given (escaped: it may hold anything).
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      double v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (!text.empty() && ec == std::errc() && end == text.data() + text.size() &&
          std::isfinite(v) && v > 0 && v <= kMaxSeconds)
        return {};
      return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
             " is not a number of seconds above 0 and at most " + std::to_string(kMaxSeconds);
    },
    "", "seconds");

// A seed: a decimal integer from 0 to 2^64 - 1, without a sign.
const CLI::Validator kSeed(
    [](std::string& text) -> std::string {
      std::uint64_t v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (!text.empty() && text[0] != '-' && ec == std::errc() && end == text.data() + text.size())
        return {};
      return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
             " is not a whole number from 0 to " +
             std::to_string(std::numeric_limits<std::uint64_t>::max());
    },
    "", "seed");

// One command of the program, a row of the table the parser, the help and the guide's usage
// block are made from.
struct Subcommand {
  const char* name;
  const char* summary;      // one line, in the list of `hostsim --help`
  const char* rootHelp;     // what the folder of --root holds for it (null: takes no --root,
  const char* timeoutHelp;  // nor --timeout); what --timeout limits
  // Adds its arguments and its own options, bound to fields of `a`, and its help's footer.
  void (*addOptions)(CLI::App& command, Args& a);
  // Does the command once the command line is read.
  int (*action)(Args& a, const CLI::App& command);
};

constexpr const char* kRootHelp = "Folder with config/, meshes/ and modules/";
constexpr const char* kHangLimitHelp =
    "Stop a module's callback that runs longer than S seconds (at most a day) and report it "
    "as hung (default: no limit)";

// The options every command takes, declared here once.
void AddSharedOptions(CLI::App& command, const Subcommand& row, Args& a) {
  if (row.rootHelp == nullptr) return;
  command.add_option("--root", a.root, row.rootHelp)->type_name("DIR");
  command.add_option("--timeout", a.timeout, row.timeoutHelp)->type_name("S")->check(kSeconds);
}

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

void AddInspectOptions(CLI::App& command, Args& a) {
  command.add_option("SCENARIO", a.scenario, "Scenario file")->required()->type_name("FILE");
  command.add_option("VESSEL", a.vessel, "Only this vessel (default: all)")->type_name("NAME");
}

void AddCheckOptions(CLI::App& command, Args& a) {
  hostsim::check::Options& o = a.check;
  command.add_option("MODULE", a.module, "Module library to check (.so; .dll on Windows)")
      ->type_name("FILE");
  command
      .add_option("--class", o.className,
                  "Check this class only (default: every class whose configuration names "
                  "the module)")
      ->type_name("NAME");
  command.add_option("--filter", o.filter, "Run the checks whose names match")->type_name("REGEX");
  command.add_flag("--list", o.list, "List the checks with their descriptions");
  command.add_option("--json", o.json, "Write the results as JSON")->type_name("FILE");
  command.add_option("--junit", o.junit, "Write the results as JUnit XML")->type_name("FILE");
  command.add_option("--seed", o.seed, "Seed of the random input (default: a new one)")
      ->type_name("N")
      ->check(kSeed);
  command.add_flag("--memcheck", o.memcheck,
                   "Run each check's child under Valgrind's memcheck: reads of memory never set, "
                   "accesses to memory not owned and double frees in the module fail the check "
                   "(Linux; many times slower)");
  command.add_flag("--in-process", o.inProcess,
                   "Run the checks in this process, not each in a child (a crash ends the run)");
  // Given by a parent run to its child processes, not by a user.
  command.add_option("--journal-tail", o.journalTail)->group("");
  command.add_flag("--under-memcheck", o.underMemcheck)->group("");
  command.add_option("--hang-after", o.hangSeconds)->group("");
  command.add_option("--hung-in", o.hangs)->group("");
  command.footer(
      "Each check runs in a child process of its own with a time limit; a crash or a hang\n"
      "fails that check and the run goes on. Exit status: 0 when no check failed, crashed\n"
      "or hung, 1 otherwise, 2 for a usage error, 3 when hostsim itself crashed. Every\n"
      "failure prints the seed that repeats it.");
}

int Check(Args& a, const CLI::App& command) {
  hostsim::check::Options& o = a.check;
  o.module = PathFromUtf8(a.module);
  o.seedGiven = command.count("--seed") > 0;
  o.root = a.root;
  if (command.count("--timeout") > 0) o.timeoutSeconds = a.timeout;
  try {
    const hostsim::Paths paths = ChoosePaths(o.root, a.argv0);
    return hostsim::check::Main(o, paths, std::cout, std::cerr);
  } catch (const hostsim::Error& e) {
    Report(e.what());
    return kExitFailure;
  }
}

void AddNewOptions(CLI::App& command, Args& a) {
  const CLI::Validator name(
      [](std::string& text) -> std::string {
        const std::string reason = hostsim::cli::ModuleNameError(text);
        if (reason.empty()) return {};
        return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) + " " + reason;
      },
      "", "name");
  command
      .add_option("NAME", a.newName,
                  "Name of the module: its library, class, files and C++ class come from it")
      ->required()
      ->type_name("NAME")
      ->check(name);
  command.add_option("DIR", a.newDir, "Folder to make, new or empty (default: ./NAME)")
      ->type_name("DIR");
  command.footer(
      "Writes a module project that builds against hostsim's CMake package and tests itself:\n"
      "the module's source, its class configuration and mesh, a scenario, a session script\n"
      "with its expected transcript, and a README. Nothing that exists is replaced.");
}

int New(const Args& a) {
  const fs::path dir = PathFromUtf8(a.newDir.empty() ? a.newName : a.newDir);
  const std::string reason =
      hostsim::cli::WriteNewProject(a.newName, dir, hostsim::cli::TodayText(), std::cout);
  if (!reason.empty()) {
    Report(reason);
    return kExitFailure;
  }
  return OutputWritten() ? 0 : kExitFailure;
}

#if defined(HOSTSIM_HAVE_RENDER)
// --size of a picture or the window (`what`).
void AddSize(CLI::App& command, Args& a, const std::string& what) {
  const CLI::Validator size(
      [](std::string& text) -> std::string {
        if (hostsim::render::ParseSize(text)) return {};
        return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
               " is not WxH with each side from 1 to 8192 pixels";
      },
      "", "size");
  command
      .add_option("--size", a.size, what + " size, each side 1 to 8192 pixels (default 800x500)")
      ->type_name("WxH")
      ->check(size);
}

// --camera: where a picture or the window looks from and at.
void AddCamera(CLI::App& command, Args& a, const std::string& what) {
  const CLI::Validator camera(
      [](std::string& text) -> std::string {
        hostsim::cli::CameraChoice choice;
        return hostsim::cli::ParseCameraChoice(text, choice);
      },
      "", "camera");
  command
      .add_option("--camera", a.camera,
                  what +
                      ", in words apart: at=NAME (a vessel) or at=X,Y,Z (a point, metres), "
                      "yaw=DEG (about the vertical, 0: from +z), pitch=DEG (above the "
                      "horizontal, -88 to 88), dist=M (metres away); each optional, the "
                      "default view's where left out")
      ->type_name("CAMERA")
      ->check(camera);
}

void AddRenderOptions(CLI::App& command, Args& a) {
  command.add_option("SCENARIO", a.scenario, "Scenario file")->required()->type_name("FILE");
  command.add_option("OUT", a.picture, "Picture to write (PNG)")->required()->type_name("FILE");
  AddSize(command, a, "Picture");
  AddCamera(command, a, "Where the picture is taken from");
}

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
#endif

// The commands, in the order of the help and of the message for an unknown one.
std::span<const Subcommand> Subcommands() {
  static const Subcommand kTable[] = {
    {"run", "Run a session script: load scenarios, step, press keys, type, draw the HUD, save.",
     kRootHelp, kHangLimitHelp, AddRunOptions, [](Args& a, const CLI::App&) { return Run(a); }},
    {"inspect", "Load a scenario and print the host's view of it as JSON.", kRootHelp,
     kHangLimitHelp, AddInspectOptions, [](Args& a, const CLI::App&) { return Inspect(a); }},
    {"check", "Test a vessel module for common faults with a battery of named checks.",
     "Folder with config/ and meshes/",
     "Time limit of one check's child process in seconds, at most a day (default 60, ample "
     "on a 2-core machine; a later check that would call a callback with the input an earlier "
     "one hung in is not run)",
     AddCheckOptions, Check},
    {"new", "Write a new module project that builds against hostsim and passes its tests.", nullptr,
     nullptr, AddNewOptions, [](Args& a, const CLI::App&) { return New(a); }},
#if defined(HOSTSIM_HAVE_RENDER)
    {"render", "Load a scenario and draw the focused vessel's view of it into a PNG picture.",
     kRootHelp, kHangLimitHelp, AddRenderOptions,
     [](Args& a, const CLI::App&) { return Picture(a, false); }},
    {"play", "Run a scenario in a window in real time: keys go to the focused vessel.", kRootHelp,
     kHangLimitHelp, AddPlayOptions, [](Args& a, const CLI::App&) { return Picture(a, true); }},
#endif
  };
  return kTable;
}

// The widest line of the usage block.
constexpr std::size_t kUsageWidth = 92;

// "hostsim NAME ARGUMENTS [--OPTION VALUE]...", from the arguments and options `command` was
// given (hidden ones left out), in lines of at most kUsageWidth, each after `indent`; a
// continued line starts under the first argument.
std::string Synopsis(const CLI::App& command, const std::string& indent) {
  const std::string head = "hostsim " + command.get_name() + " ";
  std::string out = indent + head;
  std::size_t column = head.size();
  bool first = true;
  for (const CLI::Option* o : command.get_options()) {
    if (o == command.get_help_ptr() || o->get_group().empty()) continue;
    std::string word = o->get_name();
    if (!o->get_positional() && !o->get_type_name().empty()) word += " " + o->get_type_name();
    if (!o->get_required()) word = "[" + word + "]";
    if (!first && column + 1 + word.size() > kUsageWidth) {
      out += "\n" + indent + std::string(head.size(), ' ');
      column = head.size();
    } else if (!first) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first = false;
  }
  return out + "\n";
}

// The help's usage: a synopsis of every command, as docs/modules.md shows it, in place of the
// parser's generic line.
class Help : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) return CLI::Formatter::make_usage(app, std::move(name));
    std::string out = "Usage:\n";
    for (const CLI::App* command : app->get_subcommands({})) out += Synopsis(*command, "    ");
    return out + "    hostsim --help\n";
  }
};

// The program's work; main() adds only a last catch.
int Main(int argc, char** argv) {
  CLI::App app{
      "hostsim: the stand-in host for vessel modules. Runs scenarios and session scripts "
      "against the modules and shows what they did.",
      "hostsim"};
  app.formatter(std::make_shared<Help>());
  app.set_version_flag("--version", std::string("hostsim ") + HOSTSIM_VERSION);
  // Options are "--name" on every system: a Windows build would otherwise take an argument
  // that starts with '/' for an option, and a POSIX path given to it under Wine is one.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.footer(
      "Without --root, an installed hostsim uses the host root of its installation\n"
      "(share/hostsim); one in a build tree the examples and the build's modules/ folder.\n"
      "Exit status: 0 done, 1 failed, 2 usage error, 3 hostsim itself crashed (check),\n"
      "4 a module crashed or hung (with a report on the standard error: what, where, the\n"
      "session line, the last host calls), 128 + N stopped by signal N (SIGINT, SIGTERM,\n"
      "SIGHUP: the same report, with what was written so far kept whole).");

  Args args;
  args.argv0 = argv[0];
  std::vector<CLI::App*> commands;
  std::string names;
  for (const Subcommand& row : Subcommands()) {
    CLI::App* command = app.add_subcommand(row.name, row.summary);
    row.addOptions(*command, args);
    AddSharedOptions(*command, row, args);
    commands.push_back(command);
    names += (names.empty() ? "" : ", ") + std::string(row.name);
  }

  // CLI11 would report a mistyped command only as a missing one.
  if (argc > 1 && argv[1][0] != '-' &&
      (", " + names + ",").find(", " + std::string(argv[1]) + ",") == std::string::npos) {
    std::cerr << "hostsim: unknown command "
              << hostsim::cli::Quote(argv[1], hostsim::cli::TextEncoding::Utf8)
              << " (commands: " << names << ")\nRun 'hostsim --help' for usage.\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::cerr << "hostsim: " << e.what() << "\nRun 'hostsim --help' for usage.\n";
    return kExitUsage;
  }

  for (std::size_t i = 0; i < commands.size(); ++i)
    if (*commands[i]) return Subcommands()[i].action(args, *commands[i]);
  return kExitUsage;  // not reached: the parser requires a command
}

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
  // Beyond a file-size limit a write fails and is reported, rather than ending the program
  // without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // What the commands do not catch themselves (memory running out, say) ends the program
  // with a message and the failure status, not with an abort.
  FailureKeepingOutput output(std::cout.rdbuf());
  std::cout.rdbuf(&output);
  g_output = &output;
  int status = kExitFailure;
  try {
    status = Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "hostsim: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "hostsim: unexpected failure\n";
  }
  // Whatever a command printed (the help, the version, check's list and results too) must
  // have reached its reader.
  if (!OutputWritten() && status == 0) status = kExitFailure;
  g_output = nullptr;
  std::cout.rdbuf(output.Inner());
  return status;
}
