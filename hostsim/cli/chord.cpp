#include "chord.h"

#include "hostsim/keys/key_names.h"
#include "text.h"

namespace hostsim::cli {
namespace {

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

}  // namespace

std::optional<std::uint8_t> KeyCode(std::string_view name) {
  if (const KeyEntry* k = FindKey(name)) return k->code;
  return RawCode(name);
}

std::string KeyName(std::uint8_t code) { return hostsim::KeyName(code); }

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
    const KeyEntry* k = FindKey(part);
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
