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

// Alt held (it wins over Shift): the minus shifts, one turn; Shift, the arrows, J and K are
// not examined.
void AltGroup(lumipod& lamp, const char* kstate) {
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
}

// Shift held: the plus shifts, one turn, then the aiming steps; J and K are not examined.
void ShiftGroup(lumipod& lamp, const char* kstate) {
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

// Held keys, every frame: Alt wins over Shift; without either, J ramps the intensity down,
// else K up. The result is always 0.
int lumipod::clbkDirectKeys(char* kstate) {
  if (kstate == nullptr) return 0;
  if (AltHeld(kstate)) {
    AltGroup(*this, kstate);
  } else if (ShiftHeld(kstate)) {
    ShiftGroup(*this, kstate);
  } else if (Down(kstate, ZKEY_J)) {
    AdjustIntensity(Ramp::Down);
  } else if (Down(kstate, ZKEY_K)) {
    AdjustIntensity(Ramp::Up);
  }
  return 0;
}
