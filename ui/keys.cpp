// Keyboard bindings: single actions on key events, held-key actions once per frame.
#include "lamp/lumipod.h"

namespace {

// A key is down when bit 7 of its byte in the 256-byte keyboard state is set.
bool Down(const char* kstate, std::uint8_t key) {
  return (static_cast<unsigned char>(kstate[key]) & 0x80) != 0;
}
bool ShiftHeld(const char* kstate) {
  return Down(kstate, ZKEY_LSHIFT) || Down(kstate, ZKEY_RSHIFT);
}
bool AltHeld(const char* kstate) { return Down(kstate, ZKEY_LALT) || Down(kstate, ZKEY_RALT); }

using Axis = lumipod::Axis;
using Sign = lumipod::Sign;
using Ramp = lumipod::Ramp;

// The held-key groups of clbkDirectKeys; each returns the callback's result, 0. They stay
// out of line so that the callback's common path, no key down, stays a leaf.

// Alt held (it wins over Shift): the minus shifts, one turn; Shift, the arrows, J and K are
// not examined.
[[gnu::noinline]] int AltGroup(lumipod& lamp, const char* kstate) {
  if (Down(kstate, ZKEY_NUMPAD1)) lamp.ShiftAttachment(Axis::X, Sign::Minus);
  if (Down(kstate, ZKEY_NUMPAD2)) lamp.ShiftAttachment(Axis::Y, Sign::Minus);
  if (Down(kstate, ZKEY_NUMPAD3)) lamp.ShiftAttachment(Axis::Z, Sign::Minus);
  if (Down(kstate, ZKEY_NUMPAD4)) {
    lamp.RotateAttachment(Axis::X, Sign::Plus);
  } else if (Down(kstate, ZKEY_NUMPAD5)) {
    lamp.RotateAttachment(Axis::Y, Sign::Minus);
  } else if (Down(kstate, ZKEY_NUMPAD6)) {
    lamp.RotateAttachment(Axis::Z, Sign::Minus);
  }
  return 0;
}

// Shift held: the plus shifts, one turn, then the aiming steps; J and K are not examined.
[[gnu::noinline]] int ShiftGroup(lumipod& lamp, const char* kstate) {
  if (Down(kstate, ZKEY_NUMPAD1)) lamp.ShiftAttachment(Axis::X, Sign::Plus);
  if (Down(kstate, ZKEY_NUMPAD2)) lamp.ShiftAttachment(Axis::Y, Sign::Plus);
  if (Down(kstate, ZKEY_NUMPAD3)) lamp.ShiftAttachment(Axis::Z, Sign::Plus);
  if (Down(kstate, ZKEY_NUMPAD4)) {
    lamp.RotateAttachment(Axis::X, Sign::Minus);
  } else if (Down(kstate, ZKEY_NUMPAD5)) {
    lamp.RotateAttachment(Axis::Y, Sign::Plus);
  } else if (Down(kstate, ZKEY_NUMPAD6)) {
    lamp.RotateAttachment(Axis::Z, Sign::Plus);
  }
  if (Down(kstate, ZKEY_UP)) {
    lamp.StepAltitude(Sign::Plus);
  } else if (Down(kstate, ZKEY_DOWN)) {
    lamp.StepAltitude(Sign::Minus);
  }
  if (Down(kstate, ZKEY_RIGHT)) {
    lamp.StepAzimuth(Sign::Plus);
  } else if (Down(kstate, ZKEY_LEFT)) {
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
    if (key != ZKEY_V) return 0;
    DetachFromParent();
    return 1;
  }
  switch (key) {
    case ZKEY_V:
      zapiOpenInputBox("Enter Parent Name & Att.Point Index", AttachInputCallback, nullptr, 40,
                       this);
      return 1;
    case ZKEY_B:
      ToggleLamp();
      return 1;
    case ZKEY_N:
      zapiOpenInputBox("Enter Range(m)", RangeInputCallback, nullptr, 30, this);
      return 1;
    case ZKEY_M:
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
  if (Down(kstate, ZKEY_J)) return Intensity(*this, Ramp::Down);
  if (Down(kstate, ZKEY_K)) return Intensity(*this, Ramp::Up);
  return 0;
}
