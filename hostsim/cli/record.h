// hostsim play --record: what the user does in the window, written down as a session script
// that `hostsim run` runs again to the same state. Each line is on the disk as soon as it is
// known, so that a window that crashes or is killed leaves the script that leads up to it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "hostsim/platform/files.h"
#include "hostsim/render/play_recorder.h"

namespace hostsim::cli {

class SessionRecorder final : public render::PlayRecorder {
 public:
  // The script will be written to `script`; it starts by loading `scenario`. Files are named
  // relative to the script's folder (a session reads them from there), absolute when a save
  // lies outside it.
  SessionRecorder(std::filesystem::path script, const std::filesystem::path& scenario);

  void Steps(long long frames, double dt, const std::vector<std::uint8_t>& held) override;
  void Press(const std::vector<std::uint8_t>& modifiers, std::uint8_t key) override;
  void Type(const std::string& text) override;
  void Cancel() override;
  void Focus(const std::string& vessel) override;
  void Save(const std::filesystem::path& file) override;

  // Makes the script file, with the safe writer, holding the lines so far; later lines are
  // appended as they come. Returns "" or the reason it could not be made.
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
  std::string text_;
  platform::GrowingFile file_;
  bool started_ = false;
  std::string error_;  // why the first line that failed was not written
  // Time steps with the same keys held are one line, written when something else happens.
  std::optional<Command> steps_;
};

}  // namespace hostsim::cli
