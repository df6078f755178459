// hostsim play --record: what the user does in the window, written down as a session script
// that `hostsim run` runs again to the same state.
#pragma once

#include <filesystem>
#include <string>

#include "commands.h"
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

  // The script so far.
  const std::string& text() const { return text_; }
  // Writes it with the safe writer; returns "" or the reason it could not be written.
  std::string Write() const;

 private:
  void Add(const Command& c);
  std::string Name(const std::filesystem::path& file, bool mayLeave) const;

  std::filesystem::path script_, folder_;
  std::string text_;
};

}  // namespace hostsim::cli
