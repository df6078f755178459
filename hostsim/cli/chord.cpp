#include "chord.h"

#include "hostsim/keys/keys.h"
#include "text.h"

namespace hostsim::cli {
namespace {

std::string Q(std::string_view s) { return Quote(s, TextEncoding::Utf8); }

}  // namespace

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
    const std::optional<KeyEntry> k = FindKey(part);
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
