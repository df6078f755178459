#include "keys.h"

#include <array>
#include <cctype>

#include "host/keys.h"
#include "text.h"

namespace hostsim::cli {
namespace {

struct KeyEntry {
  std::string_view name;  // canonical name first; aliases after it with the same code
  std::uint8_t code;
  bool modifier;
};

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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "0xN" or "0xNN"; the prefix may be upper or lower case.
std::optional<std::uint8_t> RawCode(std::string_view s) {
  if (s.size() < 3 || s.size() > 4 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
    return std::nullopt;
  int v = 0;
  for (char c : s.substr(2)) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + d;
  }
  return static_cast<std::uint8_t>(v);
}

std::string Q(std::string_view s) { return Quote(s, TextEncoding::Utf8); }

std::string Hex(std::uint8_t code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += kDigits[code >> 4];
  s += kDigits[code & 0x0F];
  return s;
}

}  // namespace

std::optional<std::uint8_t> KeyCode(std::string_view name) {
  if (const KeyEntry* k = FindByName(name)) return k->code;
  return RawCode(name);
}

std::string KeyName(std::uint8_t code) {
  for (const auto& k : kKeys)
    if (k.code == code) return std::string(k.name);
  return Hex(code);
}

std::string Chord::ToString() const {
  std::string s;
  for (std::uint8_t m : modifiers) s += KeyName(m) + "+";
  return s + KeyName(key);
}

std::optional<Chord> ParseChord(std::string_view text, std::string& error) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t plus = text.find('+', start);
    parts.push_back(text.substr(start, plus == std::string_view::npos ? plus : plus - start));
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  Chord chord;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string_view part = parts[i];
    const bool last = i + 1 == parts.size();
    if (part.empty()) {
      error = "bad key chord " + Q(text) + ": empty key name";
      return std::nullopt;
    }
    std::optional<std::uint8_t> code = KeyCode(part);
    if (!code) {
      error = "bad key chord " + Q(text) + ": unknown key " + Q(part);
      return std::nullopt;
    }
    if (last) {
      chord.key = *code;
      break;
    }
    const KeyEntry* k = FindByName(part);
    if (!k || !k->modifier) {
      error = "bad key chord " + Q(text) + ": " + Q(part) +
              " is not a modifier (Shift, RShift, Alt, RAlt, Ctrl)";
      return std::nullopt;
    }
    for (std::uint8_t m : chord.modifiers) {
      if (m == k->code) {
        error = "bad key chord " + Q(text) + ": " + std::string(k->name) + " given twice";
        return std::nullopt;
      }
    }
    chord.modifiers.push_back(k->code);
  }
  return chord;
}

}  // namespace hostsim::cli
