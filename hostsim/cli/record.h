// hostsim play --record: what the user does in the window, written down as a session script
// that `hostsim run` runs again to the same state. Each line is on the disk as soon as it is
// known, so that a window that crashes or is killed leaves the script that leads up to it.
// The script loads a copy of the scenario as the window loaded it, kept beside it: the window
// may save over the scenario it loaded, and the replay must start where the window started.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "hostsim/platform/files.h"
#include "hostsim/play/play_recorder.h"

namespace hostsim::cli {

// Where the recording `script` keeps its copy of the scenario: beside it, its name with ".scn"
// added ("session.txt" keeps "session.txt.scn").
std::filesystem::path ScenarioCopyOf(const std::filesystem::path& script);

class SessionRecorder final : public render::PlayRecorder {
 public:
  // The script will be written to `script`; it starts by loading the copy of the scenario
  // whose bytes are `scenario` (ScenarioCopyOf). Saves are named relative to the script's
  // folder (a session reads them from there), absolute when they lie outside it.
  SessionRecorder(std::filesystem::path script, std::string scenario);

  void Steps(long long frames, double dt, const std::vector<std::uint8_t>& held) override;
  void Press(const std::vector<std::uint8_t>& modifiers, std::uint8_t key) override;
  void Type(const std::string& text) override;
  void Cancel() override;
  void Focus(const std::string& vessel) override;
  void Save(const std::filesystem::path& file) override;
  void Reload(const std::string& module) override;
  // Written as a comment: the replay goes on with the world it has, as the window did.
  void Refused(const std::string& module, const std::string& why) override;
  void Note(const std::string& text) override;  // "# TEXT", on one line

  // Makes the script file holding the lines so far, then writes the copy of the scenario,
  // both with the safe writer; later lines are appended as they come. Returns "" or the
  // reason, naming the copy when it is the copy that could not be written.
  std::string Start();
  // Writes the time steps still being counted. Returns "" or the reason of the first line
  // that could not be written (the script then ends before it).
  std::string Finish();

  // The script so far.
  const std::string& text() const { return text_; }

 private:
  void Add(const Command& c);
  void AddLine(const std::string& line);
  void FlushSteps();
  std::string Name(const std::filesystem::path& file, bool mayLeave) const;

  std::filesystem::path script_, folder_;
  std::string scenario_;  // the bytes of the copy
  std::string text_;
  platform::GrowingFile file_;
  bool started_ = false;
  std::string error_;  // why the first line that failed was not written
  // Time steps with the same keys held are one line, written when something else happens.
  std::optional<Command> steps_;
};

}  // namespace hostsim::cli
