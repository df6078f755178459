// hostsim's keys: the host's key codes (host/keys.h) by the names the tools read and show them
// by ("D", "NumPad4", "Shift"; with the code beside the name, "D (0x20)"), and the codes of the
// window's keys: physical keys, whatever the layout, as one-byte set-1 scan codes, E0-prefixed
// keys with the top bit set. One table serves them all: the SDL window's scan codes (USB
// keyboard usages) are looked up in it, the Windows window's own scan codes are checked
// against it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hostsim {

struct KeyEntry {
  std::string_view name;  // the name as the table spells it (a canonical name or an alias)
  std::uint8_t code;
  bool modifier;
};

// The key of that name (a canonical name or an alias), compared without regard to case; none
// when there is none.
std::optional<KeyEntry> FindKey(std::string_view name);

// The scan code of a key name, compared without regard to case: a letter, a digit,
// NumPad1..NumPad9, Up, Down, Left, Right, a modifier name (Shift, RShift, Alt, RAlt, Ctrl)
// or a raw code "0xNN" (one or two hex digits). Empty when the name is unknown.
std::optional<std::uint8_t> KeyCode(std::string_view name);

// The canonical name of a scan code ("B", "NumPad4", "Shift"), or "0xNN" for codes
// without a name.
std::string KeyName(std::uint8_t code);

// The name with the code: "D (0x20)"; "0xNN" alone for codes without a name.
std::string KeyText(std::uint8_t code);

// The set-1 code of an SDL scan code; 0 for keys that have none.
std::uint8_t Set1Code(int sdlScancode);

// The set-1 code of a Windows key message (WM_KEYDOWN, WM_KEYUP and their WM_SYS forms): its
// lParam carries the scan code and the extended-key flag; 0 for keys the table has not.
std::uint8_t Set1CodeOfWindowsKey(std::uint32_t lParam, unsigned virtualKey);

}  // namespace hostsim
