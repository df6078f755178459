// The host's key codes by name: one table for the CLI's key chords and the reports of the
// tools that name a key.
#include "hostsim/keys/key_names.h"

#include <array>
#include <cctype>

#include "host/keys.h"

namespace hostsim {
namespace {

// One table for names and codes. The first entry of a code gives its canonical name.
constexpr std::array kKeys = {
    // Top row digits.
    KeyEntry{"1", ZKEY_1, false},
    KeyEntry{"2", ZKEY_2, false},
    KeyEntry{"3", ZKEY_3, false},
    KeyEntry{"4", ZKEY_4, false},
    KeyEntry{"5", ZKEY_5, false},
    KeyEntry{"6", ZKEY_6, false},
    KeyEntry{"7", ZKEY_7, false},
    KeyEntry{"8", ZKEY_8, false},
    KeyEntry{"9", ZKEY_9, false},
    KeyEntry{"0", ZKEY_0, false},
    // Letters, by keyboard row.
    KeyEntry{"Q", ZKEY_Q, false},
    KeyEntry{"W", ZKEY_W, false},
    KeyEntry{"E", ZKEY_E, false},
    KeyEntry{"R", ZKEY_R, false},
    KeyEntry{"T", ZKEY_T, false},
    KeyEntry{"Y", ZKEY_Y, false},
    KeyEntry{"U", ZKEY_U, false},
    KeyEntry{"I", ZKEY_I, false},
    KeyEntry{"O", ZKEY_O, false},
    KeyEntry{"P", ZKEY_P, false},
    KeyEntry{"A", ZKEY_A, false},
    KeyEntry{"S", ZKEY_S, false},
    KeyEntry{"D", ZKEY_D, false},
    KeyEntry{"F", ZKEY_F, false},
    KeyEntry{"G", ZKEY_G, false},
    KeyEntry{"H", ZKEY_H, false},
    KeyEntry{"J", ZKEY_J, false},
    KeyEntry{"K", ZKEY_K, false},
    KeyEntry{"L", ZKEY_L, false},
    KeyEntry{"Z", ZKEY_Z, false},
    KeyEntry{"X", ZKEY_X, false},
    KeyEntry{"C", ZKEY_C, false},
    KeyEntry{"V", ZKEY_V, false},
    KeyEntry{"B", ZKEY_B, false},
    KeyEntry{"N", ZKEY_N, false},
    KeyEntry{"M", ZKEY_M, false},
    // Numeric keypad.
    KeyEntry{"NumPad7", ZKEY_NUMPAD7, false},
    KeyEntry{"NumPad8", ZKEY_NUMPAD8, false},
    KeyEntry{"NumPad9", ZKEY_NUMPAD9, false},
    KeyEntry{"NumPad4", ZKEY_NUMPAD4, false},
    KeyEntry{"NumPad5", ZKEY_NUMPAD5, false},
    KeyEntry{"NumPad6", ZKEY_NUMPAD6, false},
    KeyEntry{"NumPad1", ZKEY_NUMPAD1, false},
    KeyEntry{"NumPad2", ZKEY_NUMPAD2, false},
    KeyEntry{"NumPad3", ZKEY_NUMPAD3, false},
    KeyEntry{"NumPad0", ZKEY_NUMPAD0, false},
    // Function keys.
    KeyEntry{"F1", ZKEY_F1, false},
    KeyEntry{"F2", ZKEY_F2, false},
    KeyEntry{"F3", ZKEY_F3, false},
    KeyEntry{"F4", ZKEY_F4, false},
    KeyEntry{"F5", ZKEY_F5, false},
    KeyEntry{"F6", ZKEY_F6, false},
    KeyEntry{"F7", ZKEY_F7, false},
    KeyEntry{"F8", ZKEY_F8, false},
    KeyEntry{"F9", ZKEY_F9, false},
    KeyEntry{"F10", ZKEY_F10, false},
    KeyEntry{"F11", ZKEY_F11, false},
    KeyEntry{"F12", ZKEY_F12, false},
    // Editing and whitespace keys.
    KeyEntry{"Escape", ZKEY_ESCAPE, false},
    KeyEntry{"Return", ZKEY_RETURN, false},
    KeyEntry{"Enter", ZKEY_RETURN, false},
    KeyEntry{"Space", ZKEY_SPACE, false},
    KeyEntry{"Tab", ZKEY_TAB, false},
    KeyEntry{"Backspace", ZKEY_BACKSPACE, false},
    KeyEntry{"Home", ZKEY_HOME, false},
    KeyEntry{"End", ZKEY_END, false},
    KeyEntry{"Insert", ZKEY_INSERT, false},
    KeyEntry{"Delete", ZKEY_DELETE, false},
    // Arrows.
    KeyEntry{"Up", ZKEY_UP, false},
    KeyEntry{"Left", ZKEY_LEFT, false},
    KeyEntry{"Right", ZKEY_RIGHT, false},
    KeyEntry{"Down", ZKEY_DOWN, false},
    // Modifiers.
    KeyEntry{"Shift", ZKEY_LSHIFT, true},
    KeyEntry{"LShift", ZKEY_LSHIFT, true},
    KeyEntry{"RShift", ZKEY_RSHIFT, true},
    KeyEntry{"Alt", ZKEY_LALT, true},
    KeyEntry{"LAlt", ZKEY_LALT, true},
    KeyEntry{"RAlt", ZKEY_RALT, true},
    KeyEntry{"Ctrl", ZKEY_LCTRL, true},
    KeyEntry{"LCtrl", ZKEY_LCTRL, true},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

const KeyEntry* FindByName(std::string_view name) {
  for (const auto& k : kKeys)
    if (EqualNoCase(k.name, name)) return &k;
  return nullptr;
}

std::string Hex(std::uint8_t code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += kDigits[code >> 4];
  s += kDigits[code & 0x0F];
  return s;
}

}  // namespace

const KeyEntry* FindKey(std::string_view name) { return FindByName(name); }

std::string KeyName(std::uint8_t code) {
  for (const auto& k : kKeys)
    if (k.code == code) return std::string(k.name);
  return Hex(code);
}

std::string KeyText(std::uint8_t code) {
  for (const auto& k : kKeys)
    if (k.code == code) return std::string(k.name) + " (" + Hex(code) + ")";
  return Hex(code);
}

}  // namespace hostsim
