// The hostsim program: what its commands share. Each command (run, inspect, render, play,
// check, new) lives in a file of its own with its options and its body; main.cpp names them
// in one table (Subcommands()), parses the command line and runs the one it names.
//
// Exit status: 0 on success, 1 when a session or scenario fails (one "FILE:LINE: message"
// line on stderr), 2 for a usage error, 3 when hostsim itself crashed during a check, 4 when a
// module crashed or hung, 70 when hostsim's own code crashed while running modules, 128 + N
// when signal N stopped it (a report on stderr for the last three, fault_report.h).
#pragma once

#include <CLI/CLI.hpp>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "hostsim/check/check.h"
#include "hostsim/cli/fault_report.h"
#include "hostsim/error.h"
#include "hostsim/inputs/inputs.h"
#include "hostsim/paths.h"
#include "hostsim/world.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/render.h"
#endif

namespace hostsim::cli::program {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What the command line gave. The parser fills in the part of the one command it names.
struct Args {
  const char* argv0 = nullptr;  // the program's name as it was started
  // The options every command takes (AddSharedOptions in main.cpp).
  std::string root;
  double timeout = 0;
  bool noWatch = false;  // play: no live reload
  // run
  std::string session, trace, outDir;
  std::vector<std::string> libraries;  // NAME=FILE: a module's library opened from FILE
  // inspect, render, play
  std::string scenario, vessel, picture, size = "800x500", save, record, camera;
  // check
  std::string module, libraryCopy;
  hostsim::check::Options check;
  // new
  std::string newName, newDir;
};

// The commands: each adds its arguments and its own options, bound to fields of `a`, and its
// help's footer; and does its work once the command line is read, returning the exit status.
void AddRunOptions(CLI::App& command, Args& a);
int Run(const Args& a);
void AddInspectOptions(CLI::App& command, Args& a);
int Inspect(const Args& a);
void AddCheckOptions(CLI::App& command, Args& a);
int Check(Args& a, const CLI::App& command);
void AddNewOptions(CLI::App& command, Args& a);
int New(const Args& a);
#if defined(HOSTSIM_HAVE_RENDER)
void AddRenderOptions(CLI::App& command, Args& a);
int Render(const Args& a);
void AddPlayOptions(CLI::App& command, Args& a);
int Play(const Args& a);

// What render and play share (shown_scenario.cpp): a scenario shown in a picture or a window.
// --size of a picture or the window (`what`).
void AddSize(CLI::App& command, Args& a, const std::string& what);
// The size --size gave; none, said on the standard error, when it is no size.
std::optional<std::pair<int, int>> SizeOf(const Args& a);
// --camera of a picture or the window (`what`: what the camera's view is).
void AddCamera(CLI::App& command, Args& a, const std::string& what);
// The camera --camera chose for a view of `size`, looking at a vessel where it stands now;
// none without --camera. Throws hostsim::Error ("--camera: ...") when the vessel it looks at
// is not in the world.
std::optional<hostsim::render::Camera> CameraOf(const Args& a, hostsim::World& world,
                                                std::pair<int, int> size);
// What a picture or the window may not replace: `scenario` and every file `world` read loading
// it.
std::vector<hostsim::Input> ShownInputs(const hostsim::World& world, const std::string& scenario);
// Whether `target` may be written; when not, says "TARGET: CANNOT: reason" on the standard
// error (InputReason).
bool MayWrite(const std::vector<hostsim::Input>& inputs, const hostsim::World& world,
              const std::filesystem::path& target, const std::string& cannot);
#endif

// The folders of --root, or, without it, those of the build tree or of the installation this
// program is part of, with the command's own copies of the module libraries (Paths::copies:
// a library rewritten in place while the command runs changes nothing in it); throws
// hostsim::Error naming the root when it is not a folder.
hostsim::Paths ChoosePaths(const std::string& root, const char* argv0);

// One error line on standard error, escaped and bounded.
void Report(const std::string& message);

// Loads the scenario file `scenario` (as given) into `world` and says on the standard error
// what the load kept or dropped with a warning (lines the host did not know, attachments it
// could not make), as `run` says it in its transcript.
void LoadScenario(hostsim::World& world, const std::string& scenario);

// "FILE:LINE: message" from a host error, naming `file` when the error names none.
std::string Located(const hostsim::Error& e, const std::string& file);

// What the watch of `run` or `play` stands by for: crashes, --timeout (`hangSeconds`), long
// callbacks, and the signals that ask the program to stop, after which the program has
// `stopGrace` seconds to end by itself (a window can close; a session script is stopped where
// it stands: 0).
WatchOptions StoppableWatch(double hangSeconds, double stopGrace);

// The standard output's buffer, passing every write straight on to the one it wraps and
// keeping the system's reason (errno) of the first write that failed. Read later, errno would
// name whatever failed since (a check's child processes, its folders), not the write. main()
// puts one in place for the program's life (KeepOutputFailures). A standard output the
// program was started without (`closed`) fails every write, as a closed descriptor does,
// though the null device holds its place.
class FailureKeepingOutput final : public std::streambuf {
 public:
  FailureKeepingOutput(std::streambuf* inner, bool closed)
      : inner_(inner), error_(closed ? EBADF : 0), closed_(closed) {}
  int error() const { return error_; }
  std::streambuf* Inner() const { return inner_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  // Notes errno at the first failure; true when `failed` is false.
  bool Kept(bool failed);
  std::streambuf* inner_;
  int error_ = 0;
  bool closed_ = false;
};

// The standard output's buffer OutputWritten asks for the reason of a failed write; null
// when there is none.
void KeepOutputFailures(const FailureKeepingOutput* output);

// Flushes the standard output. When a write to it failed (a full disk, a file-size limit, a
// closed descriptor), reports it with the system's reason (the errno value of the first failed
// write, or `error` when it is known) once, and returns false: output that did not reach its
// reader is a failure.
bool OutputWritten(int error = 0);

}  // namespace hostsim::cli::program
