// Keyboard bindings: single actions on key events, held-key actions once per frame.
#include "lamp/lumipod.h"

namespace {

// Set-1 scan codes; keys sent with the E0 prefix have the top bit set.
enum Key : std::uint8_t {
  kKeyJ = 0x24,
  kKeyK = 0x25,
  kKeyLeftShift = 0x2A,
  kKeyV = 0x2F,
  kKeyB = 0x30,
  kKeyN = 0x31,
  kKeyM = 0x32,
  kKeyRightShift = 0x36,
  kKeyLeftAlt = 0x38,
  kKeyNumPad4 = 0x4B,
  kKeyNumPad5 = 0x4C,
  kKeyNumPad6 = 0x4D,
  kKeyNumPad1 = 0x4F,
  kKeyNumPad2 = 0x50,
  kKeyNumPad3 = 0x51,
  kKeyRightAlt = 0xB8,
  kKeyUp = 0xC8,
  kKeyLeft = 0xCB,
  kKeyRight = 0xCD,
  kKeyDown = 0xD0,
};

// A key is down when bit 7 of its byte in the 256-byte keyboard state is set.
bool Down(const char* kstate, Key key) {
  return (static_cast<unsigned char>(kstate[key]) & 0x80) != 0;
}
bool ShiftHeld(const char* kstate) {
  return Down(kstate, kKeyLeftShift) || Down(kstate, kKeyRightShift);
}
bool AltHeld(const char* kstate) { return Down(kstate, kKeyLeftAlt) || Down(kstate, kKeyRightAlt); }

using Axis = lumipod::Axis;
using Sign = lumipod::Sign;
using Ramp = lumipod::Ramp;

// The held-key groups of clbkDirectKeys; each returns the callback's result, 0. They stay
// out of line so that the callback's common path, no key down, stays a leaf.

// Alt held (it wins over Shift): the minus shifts, one turn; Shift, the arrows, J and K are
// not examined.
[[gnu::noinline]] int AltGroup(lumipod& lamp, const char* kstate) {
  if (Down(kstate, kKeyNumPad1)) lamp.ShiftAttachment(Axis::X, Sign::Minus);
  if (Down(kstate, kKeyNumPad2)) lamp.ShiftAttachment(Axis::Y, Sign::Minus);
  if (Down(kstate, kKeyNumPad3)) lamp.ShiftAttachment(Axis::Z, Sign::Minus);
  if (Down(kstate, kKeyNumPad4)) {
    lamp.RotateAttachment(Axis::X, Sign::Plus);
  } else if (Down(kstate, kKeyNumPad5)) {
    lamp.RotateAttachment(Axis::Y, Sign::Minus);
  } else if (Down(kstate, kKeyNumPad6)) {
    lamp.RotateAttachment(Axis::Z, Sign::Minus);
  }
  return 0;
}

// Shift held: the plus shifts, one turn, then the aiming steps; J and K are not examined.
[[gnu::noinline]] int ShiftGroup(lumipod& lamp, const char* kstate) {
  if (Down(kstate, kKeyNumPad1)) lamp.ShiftAttachment(Axis::X, Sign::Plus);
  if (Down(kstate, kKeyNumPad2)) lamp.ShiftAttachment(Axis::Y, Sign::Plus);
  if (Down(kstate, kKeyNumPad3)) lamp.ShiftAttachment(Axis::Z, Sign::Plus);
  if (Down(kstate, kKeyNumPad4)) {
    lamp.RotateAttachment(Axis::X, Sign::Minus);
  } else if (Down(kstate, kKeyNumPad5)) {
    lamp.RotateAttachment(Axis::Y, Sign::Plus);
  } else if (Down(kstate, kKeyNumPad6)) {
    lamp.RotateAttachment(Axis::Z, Sign::Plus);
  }
  if (Down(kstate, kKeyUp)) {
    lamp.StepAltitude(Sign::Plus);
  } else if (Down(kstate, kKeyDown)) {
    lamp.StepAltitude(Sign::Minus);
  }
  if (Down(kstate, kKeyRight)) {
    lamp.StepAzimuth(Sign::Plus);
  } else if (Down(kstate, kKeyLeft)) {
    lamp.StepAzimuth(Sign::Minus);
  }
  return 0;
}

// Neither modifier: J ramps the intensity down, else K up.
[[gnu::noinline]] int Intensity(lumipod& lamp, Ramp direction) {
  lamp.AdjustIntensity(direction);
  return 0;
}

}  // namespace

int lumipod::clbkBufferedKey(std::uint32_t key, bool down, char* kstate) {
  if (!down || kstate == nullptr) return 0;
  if (ShiftHeld(kstate)) {
    if (key != kKeyV) return 0;
    DetachFromParent();
    return 1;
  }
  switch (key) {
    case kKeyV:
      zapiOpenInputBox("Enter Parent Name & Att.Point Index", AttachInputCallback, nullptr, 40,
                       this);
      return 1;
    case kKeyB:
      ToggleLamp();
      return 1;
    case kKeyN:
      zapiOpenInputBox("Enter Range(m)", RangeInputCallback, nullptr, 30, this);
      return 1;
    case kKeyM:
      zapiOpenInputBox("Enter Spread Angle(deg)", SpreadInputCallback, nullptr, 30, this);
      return 1;
    default:
      return 0;
  }
}

// Runs every frame, so it starts on a cache line of its own (see clbkBeforeStep).
[[gnu::aligned(64)]] int lumipod::clbkDirectKeys(char* kstate) {
  // Called every frame: with no key of the lamp down it only tests the six keys below and
  // returns. The groups are tail calls, so that path needs no stack frame of its own.
  if (kstate == nullptr) return 0;
  if (AltHeld(kstate)) return AltGroup(*this, kstate);
  if (ShiftHeld(kstate)) return ShiftGroup(*this, kstate);
  if (Down(kstate, kKeyJ)) return Intensity(*this, Ramp::Down);
  if (Down(kstate, kKeyK)) return Intensity(*this, Ramp::Up);
  return 0;
}
