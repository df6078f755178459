#include "record.h"

#include <algorithm>
#include <stdexcept>

#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"

namespace hostsim::cli {
namespace fs = std::filesystem;
using platform::PathToUtf8;

fs::path ScenarioCopyOf(const fs::path& script) {
  fs::path copy = script;
  copy += ".scn";
  return copy;
}

SessionRecorder::SessionRecorder(fs::path script, std::string scenario)
    : script_(std::move(script)), scenario_(std::move(scenario)) {
  std::error_code ec;
  folder_ = fs::absolute(script_, ec).parent_path();
  text_ =
      "# A session recorded by hostsim play: hostsim run replays it. Each line is what was done\n"
      "# in the window, the time steps between included. It loads a copy of the scenario as\n"
      "# the window loaded it, kept beside this script.\n";
  Command load;
  load.kind = Command::Kind::Load;
  load.arg = Name(ScenarioCopyOf(script_), true);
  Add(load);
}

// The name of `file` in the script: relative to the script's folder, or absolute when it lies
// outside and `mayLeave` is false (a save under --out may not lead out of the output folder).
std::string SessionRecorder::Name(const fs::path& file, bool mayLeave) const {
  std::error_code ec;
  const fs::path absolute = fs::absolute(file, ec).lexically_normal();
  const fs::path relative = absolute.lexically_relative(folder_);
  if (relative.empty() || (!mayLeave && *relative.begin() == "..")) return PathToUtf8(absolute);
  return PathToUtf8(relative);
}

void SessionRecorder::AddLine(const std::string& line) {
  text_ += line;
  if (!started_ || !error_.empty()) return;
  error_ = file_.Append(line);
}

void SessionRecorder::Add(const Command& c) {
  FlushSteps();
  try {
    AddLine(FormatLine(c) + "\n");
  } catch (const std::invalid_argument& e) {
    // Kept as a comment: the replay stops short of it, where the script says why.
    AddLine("# not recordable: " + std::string(e.what()) + "\n");
  }
}

void SessionRecorder::FlushSteps() {
  if (!steps_) return;
  const Command c = *steps_;
  steps_.reset();
  Add(c);
}

void SessionRecorder::Steps(long long frames, double dt, const std::vector<std::uint8_t>& held) {
  Command c;
  c.kind = held.empty() ? Command::Kind::Step : Command::Kind::Hold;
  c.frames = frames;
  c.dt = dt;
  for (std::uint8_t key : held) c.chords.push_back(Chord{{}, key});
  if (steps_ && steps_->kind == c.kind && steps_->dt == c.dt &&
      steps_->chords.size() == c.chords.size() &&
      std::equal(c.chords.begin(), c.chords.end(), steps_->chords.begin(),
                 [](const Chord& a, const Chord& b) { return a.key == b.key; })) {
    steps_->frames += frames;
    return;
  }
  FlushSteps();
  steps_ = c;
}

void SessionRecorder::Press(const std::vector<std::uint8_t>& modifiers, std::uint8_t key) {
  Command c;
  c.kind = Command::Kind::Press;
  c.chords.push_back(Chord{modifiers, key});
  Add(c);
}

void SessionRecorder::Type(const std::string& text) {
  Command c;
  c.kind = Command::Kind::Type;
  c.arg = text;
  Add(c);
}

void SessionRecorder::Cancel() {
  Command c;
  c.kind = Command::Kind::Cancel;
  Add(c);
}

void SessionRecorder::Focus(const std::string& vessel) {
  Command c;
  c.kind = Command::Kind::Focus;
  c.arg = vessel;
  Add(c);
}

void SessionRecorder::Reload(const std::string& module) {
  Command c;
  c.kind = Command::Kind::Reload;
  c.arg = module;
  Add(c);
}

void SessionRecorder::Refused(const std::string& module, const std::string& why) {
  Note("reload " + module + " refused: " + why);
}

void SessionRecorder::Note(const std::string& text) {
  FlushSteps();
  std::string line = "# " + text;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  AddLine(line + "\n");
}

void SessionRecorder::Save(const fs::path& file) {
  Command c;
  c.kind = Command::Kind::Save;
  c.arg = Name(file, false);
  Add(c);
}

std::string SessionRecorder::Start() {
  if (std::string reason = file_.Create(script_, text_); !reason.empty()) return reason;
  const fs::path copy = ScenarioCopyOf(script_);
  if (std::string reason = platform::WriteFile(copy, scenario_); !reason.empty())
    return "cannot write its copy of the scenario " + PathToUtf8(copy) + ": " + reason;
  started_ = true;
  return {};
}

std::string SessionRecorder::Finish() {
  FlushSteps();
  return error_;
}

}  // namespace hostsim::cli
