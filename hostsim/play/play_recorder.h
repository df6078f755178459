// The window's account of what the user did, for hostsim play --record. Header only: the CLI
// writes it down whether or not this build has the window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hostsim::render {

// What the user did to the world in the window, told as it happens in the terms of a session
// script, so that the session can be written down and run again (hostsim play --record).
// Every action is told before it is done, each time step too, so that what leads up to a
// crash is told; a reload, tried in a process of its own first, is told once it is known
// whether it was made.
class PlayRecorder {
 public:
  virtual ~PlayRecorder() = default;
  // `frames` time steps of `dt` seconds with the keys `held` down (none: plain steps).
  virtual void Steps(long long frames, double dt, const std::vector<std::uint8_t>& held) = 0;
  // A key pressed and released at once with the `modifiers` held and no other key down.
  virtual void Press(const std::vector<std::uint8_t>& modifiers, std::uint8_t key) = 0;
  virtual void Type(const std::string& text) = 0;  // the open box answered with these bytes
  virtual void Cancel() = 0;                       // the open box closed without an answer
  virtual void Focus(const std::string& vessel) = 0;
  virtual void Save(const std::filesystem::path& file) = 0;  // the scenario saved there
  virtual void Reload(const std::string& module) = 0;        // the module's library reloaded
  // A reload of the module that was refused (the world stayed as it was), and why.
  virtual void Refused(const std::string& module, const std::string& why) = 0;
  // Something the window did that a session does not do again: a note in the script.
  virtual void Note(const std::string& text) = 0;
};

}  // namespace hostsim::render
