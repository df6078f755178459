#include "keys.h"

#include <array>
#include <cctype>

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
    KeyEntry{"1", 0x02, false},
    KeyEntry{"2", 0x03, false},
    KeyEntry{"3", 0x04, false},
    KeyEntry{"4", 0x05, false},
    KeyEntry{"5", 0x06, false},
    KeyEntry{"6", 0x07, false},
    KeyEntry{"7", 0x08, false},
    KeyEntry{"8", 0x09, false},
    KeyEntry{"9", 0x0A, false},
    KeyEntry{"0", 0x0B, false},
    // Letters, by keyboard row.
    KeyEntry{"Q", 0x10, false},
    KeyEntry{"W", 0x11, false},
    KeyEntry{"E", 0x12, false},
    KeyEntry{"R", 0x13, false},
    KeyEntry{"T", 0x14, false},
    KeyEntry{"Y", 0x15, false},
    KeyEntry{"U", 0x16, false},
    KeyEntry{"I", 0x17, false},
    KeyEntry{"O", 0x18, false},
    KeyEntry{"P", 0x19, false},
    KeyEntry{"A", 0x1E, false},
    KeyEntry{"S", 0x1F, false},
    KeyEntry{"D", 0x20, false},
    KeyEntry{"F", 0x21, false},
    KeyEntry{"G", 0x22, false},
    KeyEntry{"H", 0x23, false},
    KeyEntry{"J", 0x24, false},
    KeyEntry{"K", 0x25, false},
    KeyEntry{"L", 0x26, false},
    KeyEntry{"Z", 0x2C, false},
    KeyEntry{"X", 0x2D, false},
    KeyEntry{"C", 0x2E, false},
    KeyEntry{"V", 0x2F, false},
    KeyEntry{"B", 0x30, false},
    KeyEntry{"N", 0x31, false},
    KeyEntry{"M", 0x32, false},
    // Numeric keypad.
    KeyEntry{"NumPad7", 0x47, false},
    KeyEntry{"NumPad8", 0x48, false},
    KeyEntry{"NumPad9", 0x49, false},
    KeyEntry{"NumPad4", 0x4B, false},
    KeyEntry{"NumPad5", 0x4C, false},
    KeyEntry{"NumPad6", 0x4D, false},
    KeyEntry{"NumPad1", 0x4F, false},
    KeyEntry{"NumPad2", 0x50, false},
    KeyEntry{"NumPad3", 0x51, false},
    // Arrows (E0-prefixed in set 1, so the top bit is set).
    KeyEntry{"Up", 0xC8, false},
    KeyEntry{"Left", 0xCB, false},
    KeyEntry{"Right", 0xCD, false},
    KeyEntry{"Down", 0xD0, false},
    // Modifiers.
    KeyEntry{"Shift", kKeyLShift, true},
    KeyEntry{"LShift", kKeyLShift, true},
    KeyEntry{"RShift", kKeyRShift, true},
    KeyEntry{"Alt", kKeyLAlt, true},
    KeyEntry{"LAlt", kKeyLAlt, true},
    KeyEntry{"RAlt", kKeyRAlt, true},
    KeyEntry{"Ctrl", kKeyLCtrl, true},
    KeyEntry{"LCtrl", kKeyLCtrl, true},
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
