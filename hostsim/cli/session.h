// Session scripts: one command a line, run against a World, with a readable report of what
// the modules did on an output stream.
//
//   load FILE                  load a scenario (the FOCUS vessel gets the input focus)
//   focus NAME                 give the input focus to a vessel
//   step [N] [DT]              N frames (default 1) of DT seconds (default 0.02)
//   press CHORD                one key event pair (down, up) to the focused vessel
//   hold CHORD... for N [DT]   hold keys down during N frames of DT seconds, then release
//   type TEXT                  answer the open input box with the rest of the line
//   cancel                     close the open input box without an answer
//   hud W H                    draw the focused vessel's HUD at W x H pixels
//   inspect [NAME]             the host's view of a vessel as JSON (default: the focused one)
//   save FILE                  save the scenario and show what was written
//   visual build|drop [NAME]   build or drop a vessel's visual (default: the focused one)
//
// A line whose first non-blank character is '#' is a comment, and so is the rest of a line
// from a '#' that follows a blank, except in `type`, which takes its text verbatim: the text
// starts after the one blank that follows the word "type" and runs to the end of the line.
// FILE (for load and save) is the rest of the line without surrounding blanks.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/world.h"
#include "keys.h"

namespace hostsim::cli {

struct Command {
  enum class Kind {
    Load,
    Focus,
    Step,
    Press,
    Hold,
    Type,
    Cancel,
    Hud,
    Inspect,
    Save,
    Visual,
    Render
  };
  Kind kind = Kind::Step;
  std::string arg;            // FILE, NAME or TEXT; empty when not given
  long long frames = 1;       // step, hold
  double dt = 0.02;           // step, hold
  std::vector<Chord> chords;  // press (one), hold (one or more)
  int width = 0, height = 0;  // hud, render
  bool build = true;          // visual build (true) or drop (false)
};

// The result of parsing one line: a command, nothing (blank or comment), or an error.
struct ParsedLine {
  std::optional<Command> command;
  std::string error;  // non-empty when the line is malformed
};

ParsedLine ParseLine(std::string_view line);

// A failure of a session, its message already in the form "SCRIPT:LINE: message".
class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a command began in the journal, for the trace.
struct TraceMark {
  std::size_t entry;  // index of the first journal entry recorded by the command
  std::string text;   // "SCRIPT:LINE: command line"
};

struct SessionOptions {
  std::filesystem::path script;  // the script file; relative paths in it start at its folder
  std::string label;             // how the script is named in messages
  std::optional<std::filesystem::path> outDir;  // relative save paths go here when set
};

class Session {
 public:
  Session(World& world, std::ostream& out, SessionOptions opts);

  // Runs the script's lines in order; the first failure stops the run with a SessionError.
  void Run(std::istream& script);
  // Runs one line (number `lineNo` of the script).
  void RunLine(std::string_view line, int lineNo);

  const std::vector<TraceMark>& marks() const { return marks_; }

 private:
  void Execute(const Command& c);
  void Load(const std::string& file);
  void Save(const std::string& file);
  void Press(const Chord& chord);
  void Hold(const Command& c);
  void Type(const std::string& text);
  void Hud(int w, int h);
  void Render(const std::string& file, int w, int h);
  void ShowBoxIfNew(const std::optional<InputBox>& before, bool boxConsumed);
  Vessel& Focused(const char* what);
  Vessel& Named(const std::string& name);

  std::filesystem::path Resolve(const std::string& file) const;
  std::filesystem::path SaveTarget(const std::string& file) const;

  World& world_;
  std::ostream& out_;
  SessionOptions opts_;
  std::filesystem::path base_;  // folder of the script
  // Script-relative path of every file saved by this run -> where it was written, so that
  // a later `load` of the same name reads the saved file, wherever --out put it.
  std::map<std::filesystem::path, std::filesystem::path> saved_;
  std::vector<TraceMark> marks_;
};

// The trace of a run: every journal entry, each command's entries under a "# SCRIPT:LINE:
// command" line, in the journal's own one-line-per-entry format.
std::string TraceText(const Journal& journal, const std::vector<TraceMark>& marks);

// Writes `text` to a temporary file beside `file` and renames it over `file`; throws
// Error on failure and leaves no partial file.
void WriteFileAtomic(const std::filesystem::path& file, const std::string& text);

// A path from UTF-8 text, on every platform.
std::filesystem::path PathFromUtf8(const std::string& s);
// A path as UTF-8 text with '/' separators (for messages that must read alike everywhere).
std::string PathToUtf8(const std::filesystem::path& p);

}  // namespace hostsim::cli
