// The window's keyboard as the host's modules see it: SDL scan codes (physical keys,
// whatever the layout) to one-byte set-1 scan codes, E0-prefixed keys with the top bit set.
#pragma once

#include <cstdint>

namespace hostsim::render {

// The set-1 code of an SDL scan code; 0 for keys that have none.
std::uint8_t Set1Code(int sdlScancode);

}  // namespace hostsim::render
