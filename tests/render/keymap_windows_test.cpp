// The Windows window's keys: the scan code and extended flag of a key message give the same
// set-1 codes as the SDL window's table, with Windows' own exceptions.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/keys.h"
#include "hostsim/keys/keys.h"

namespace {

// A key message's lParam: repeat count 1, the scan code, the extended flag.
std::uint32_t KeyParam(std::uint32_t scan, bool extended) {
  return 1U | (scan << 16) | (extended ? 1U << 24 : 0U);
}

TEST(WindowsKeys, ScanCodesAndTheExtendedFlagGiveTheTablesCodes) {
  const struct {
    std::uint32_t scan;
    bool extended;
    unsigned vk;
    std::uint8_t code;
  } keys[] = {
      {0x30, false, 'B', ZKEY_B},
      {0x1C, false, 0x0D, ZKEY_RETURN},
      {0x1C, true, 0x0D, ZKEY_NUMPAD_ENTER},  // the same virtual key as Return
      {0x1D, false, 0x11, ZKEY_LCTRL},
      {0x1D, true, 0x11, ZKEY_RCTRL},
      {0x2A, false, 0x10, ZKEY_LSHIFT},
      {0x36, false, 0x10, ZKEY_RSHIFT},  // both shifts are one virtual key
      {0x38, true, 0x12, ZKEY_RALT},
      {0x48, true, 0x26, ZKEY_UP},
      {0x48, false, 0x68, ZKEY_NUMPAD8},
      {0x3C, false, 0x71, ZKEY_F2},
      {0x40, false, 0x75, ZKEY_F6},
      {0x45, false, 0x13, ZKEY_PAUSE},   // Windows reports Pause as 0x45, not extended
      {0x45, true, 0x90, ZKEY_NUMLOCK},  // and Num Lock as 0x45 extended
      {0x64, false, 0x7C, 0},            // F13: no code in the table
      {0x00, false, 0xAD, 0},            // a key without a scan code (volume mute)
  };
  for (const auto& k : keys)
    EXPECT_EQ(hostsim::Set1CodeOfWindowsKey(KeyParam(k.scan, k.extended), k.vk), k.code)
        << "scan 0x" << std::hex << k.scan << (k.extended ? " extended" : "");
  // The bits above the flag (the previous state, the transition) change nothing.
  EXPECT_EQ(hostsim::Set1CodeOfWindowsKey(KeyParam(0x30, false) | 0xC0000000U, 'B'), ZKEY_B);
}

TEST(WindowsKeys, EveryCodeOfTheTableHasItsWindowsKey) {
  // A set-1 code is the scan code Windows reports, E0 keys with the extended flag: every code
  // the SDL table gives is one the Windows window gives for that scan code.
  for (int usage = 0; usage < 512; ++usage) {
    const std::uint8_t code = hostsim::Set1Code(usage);
    if (code == 0 || code == ZKEY_PAUSE || code == ZKEY_NUMLOCK) continue;
    EXPECT_EQ(hostsim::Set1CodeOfWindowsKey(KeyParam(code & 0x7FU, (code & 0x80) != 0), 0), code)
        << "usage " << usage;
  }
}

}  // namespace
