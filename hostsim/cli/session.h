// Session scripts: the commands of commands.h run one by one against a World, with a
// readable report of what the modules did on an output stream.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "hostsim/world.h"
#include "reload.h"
#include "trace.h"

namespace hostsim::render {
class Offscreen;
}

namespace hostsim::cli {

// A failure of a session, its message already in the form "SCRIPT:LINE: message".
class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The session's output stream failed: the run stops, and the program reports why. `error` is
// the errno value the failed write left (0 when unknown).
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(int error)
      : std::runtime_error("the report cannot be written"), error_(error) {}
  int error() const { return error_; }

 private:
  int error_;
};

struct SessionOptions {
  std::filesystem::path script;  // the script file; relative paths in it start at its folder
  std::string label;             // how the script is named in messages
  std::optional<std::filesystem::path> outDir;  // relative save paths go here when set
  ReloadTrial reload;                           // how `reload` tries a library first
  TraceWriter* trace = nullptr;  // told of each command and each frame's end, when set
  // Called before each command and after the last, when set: where the run may end (a stop a
  // signal asked for while a command ran).
  std::function<void()> betweenCommands;
};

class Session {
 public:
  Session(World& world, std::ostream& out, SessionOptions opts);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs the script's lines in order; the first failure stops the run with a SessionError.
  void Run(std::istream& script);
  // Runs one line (number `lineNo` of the script).
  void RunLine(std::string_view line, int lineNo);

  // The command being carried out, or the last one: "SCRIPT:LINE: command line" ("" before
  // the first).
  const std::string& CurrentCommand() const { return command_; }

  // Why the run may not write `target`, or "": it is the script, a scenario the run loaded
  // (and did not save itself), a file the world read (a class configuration, a mesh, a
  // material library, a module library) or a file in the root's config, meshes or modules
  // folder. With `anyInput` false the scenarios the run loaded do not count.
  std::string InputReason(const std::filesystem::path& target, bool anyInput = true) const;

 private:
  void Execute(const Command& c);
  // One frame of `dt` seconds.
  void Frame(double dt);
  void Load(const std::string& file);
  // The world's vessels, where they hang, the load's warnings and the focus, as a load lists
  // them.
  void ListWorld();
  void ReloadModules(const std::string& module);
  void Save(const std::string& file);
  void Press(const Chord& chord);
  void Hold(const Command& c);
  void Type(const std::string& text);
  void Hud(int w, int h);
  void Render(const std::string& file, int w, int h, const std::optional<CameraChoice>& camera);
  void ShowBoxIfNew(const std::optional<InputBox>& before, bool boxConsumed);
  Vessel& Focused(const char* what);
  void NoBoxOpen(const char* what) const;
  Vessel& Named(const std::string& name);

  std::filesystem::path Resolve(const std::string& file) const;
  // Where a command's output file goes: under the output folder (--out) when there is one, which
  // a relative path may not leave; `command` names the command in the error.
  std::filesystem::path OutputTarget(const char* command, const std::string& file) const;
  // True for a target inside the output folder (--out).
  bool UnderOutDir(const std::filesystem::path& target) const;
  // Creates the missing folders of a save or picture under the output folder; elsewhere a
  // missing folder is the writer's error.
  void MakeFoldersFor(const std::filesystem::path& target) const;
  // Throws Error ("FILE: what: reason") when the run may not write `target` (InputReason).
  // A save beside the script may replace the scenarios it loaded, no other input; under
  // --out, and a picture anywhere, replaces none.
  void CheckOutput(const std::filesystem::path& target, const char* what, bool anyInput) const;

  World& world_;
  std::ostream& out_;
  SessionOptions opts_;
  std::filesystem::path base_;  // folder of the script
  // Script-relative path of every file saved by this run -> where it was written, so that
  // a later `load` of the same name reads the saved file, wherever --out put it.
  std::map<std::filesystem::path, std::filesystem::path> saved_;
  // The scenarios the run loaded that it did not save itself: files it may not write over
  // under the output folder.
  std::vector<std::filesystem::path> inputs_;
  std::string command_;
#if defined(HOSTSIM_HAVE_RENDER)
  // The pictures' OpenGL context: made by the first `render`, released with the session.
  std::unique_ptr<render::Offscreen> offscreen_;
#endif
};

}  // namespace hostsim::cli
