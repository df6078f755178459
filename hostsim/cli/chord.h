// Key chords of the hostsim CLI, such as "Shift+NumPad1" or "Alt+0x38": modifiers joined with
// '+' to one key, each named as hostsim's key table names it (hostsim/keys/keys.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim::cli {

// A parsed chord: the modifier keys to hold, in the order given, and the one key.
struct Chord {
  std::vector<std::uint8_t> modifiers;
  std::uint8_t key = 0;
  // Canonical text, e.g. "Shift+NumPad1".
  std::string ToString() const;
};

// Parses "MOD+MOD+KEY". The key is the last part; every part before it must be a modifier
// (Shift, RShift, Alt, RAlt, Ctrl), none twice. On failure returns nothing and sets `error`
// to a one-line description.
std::optional<Chord> ParseChord(std::string_view text, std::string& error);

}  // namespace hostsim::cli
