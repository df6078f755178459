// The host's key codes (host/keys.h) by name, as the tools show them: "D", "NumPad4",
// "Shift", and with the code beside the name, "D (0x20)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hostsim {

struct KeyEntry {
  std::string_view name;  // canonical name first; aliases after it with the same code
  std::uint8_t code;
  bool modifier;
};

// The key of that name, compared without regard to case; null when there is none.
const KeyEntry* FindKey(std::string_view name);

// The canonical name of a scan code ("B", "NumPad4", "Shift"), or "0xNN" for codes
// without a name.
std::string KeyName(std::uint8_t code);

// The name with the code: "D (0x20)"; "0xNN" alone for codes without a name.
std::string KeyText(std::uint8_t code);

}  // namespace hostsim
