// The window's keyboard as the host's modules see it: physical keys, whatever the layout, as
// one-byte set-1 scan codes, E0-prefixed keys with the top bit set. One table serves both
// windows: the SDL window's scan codes (USB keyboard usages) are looked up in it, the Windows
// window's own scan codes are checked against it.
#pragma once

#include <cstdint>

namespace hostsim::render {

// The set-1 code of an SDL scan code; 0 for keys that have none.
std::uint8_t Set1Code(int sdlScancode);

// The set-1 code of a Windows key message (WM_KEYDOWN, WM_KEYUP and their WM_SYS forms): its
// lParam carries the scan code and the extended-key flag; 0 for keys the table has not.
std::uint8_t Set1CodeOfWindowsKey(std::uint32_t lParam, unsigned virtualKey);

}  // namespace hostsim::render
