// The lamp's HUD help text as the user reads it, for the tests and fuzz targets that check
// what the HUD draws (the module composes its own).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace testsupport {

// Every HUD line is drawn in this colour (the host's packed 0x00BBGGRR: light green).
inline constexpr std::uint32_t kHudColour = 0x66FF66;

// The thirteen lines, top to bottom, for a lamp at its defaults: range 300 m, spread 20
// degrees, intensity 100 %. The spread line ends in the 8-bit degree sign 0xB0.
inline constexpr std::array<std::string_view, 13> kHudDefaultLines = {
    "[B] = Spotlight On/Off",
    "[N] = Enter Range 300.0m",
    "[M] = Enter Spread Angle 20.0\xB0",
    "[J]/[K] = -/+ Intensity 100%",
    "[V]/[Shift+V] = Easy Attach/Detach",
    "[Shift]+[Arrows] = Rotate Lamp Alt/Az",
    "[Shift]/[Alt]+......",
    "[NumPad1] = Shift Att. +/- X",
    "[NumPad2] = Shift Att. +/- Y",
    "[NumPad3] = Shift Att. +/- Z",
    "[NumPad4] = Rotate Att. +/- X",
    "[NumPad5] = Rotate Att. +/- Y",
    "[NumPad6] = Rotate Att. +/- Z",
};

// Lines 2 to 4 (indices 1 to 3) show the range, spread and intensity; the others never change.
constexpr bool HudLineShowsAValue(std::size_t index) { return index >= 1 && index <= 3; }

}  // namespace testsupport
