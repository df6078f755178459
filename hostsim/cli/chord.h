// Key names of the hostsim CLI: the host's key codes (host/keys.h) by name, and key chords such
// as "Shift+NumPad1" or "Alt+0x38" (modifiers joined with '+' to one key).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim::cli {

// The scan code of a key name, compared without regard to case: a letter, a digit,
// NumPad1..NumPad9, Up, Down, Left, Right, a modifier name (Shift, RShift, Alt, RAlt, Ctrl)
// or a raw code "0xNN" (one or two hex digits). Empty when the name is unknown.
std::optional<std::uint8_t> KeyCode(std::string_view name);

// The canonical name of a scan code ("B", "NumPad4", "Shift"), or "0xNN" for codes
// without a name.
std::string KeyName(std::uint8_t code);

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
