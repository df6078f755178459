// Reading text: lines, words, numbers and case.
#include "hostsim/runtime/text.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "hostsim/error.h"

namespace hostsim {

std::string_view Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldCase(c);
  return out;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  for (std::string_view rest = Trim(text); !rest.empty(); rest = AfterFirstWord(rest))
    words.emplace_back(FirstWord(rest));
  return words;
}

std::string_view FirstWord(std::string_view text) {
  text = Trim(text);
  std::size_t e = 0;
  while (e < text.size() && !IsBlank(text[e])) ++e;
  return text.substr(0, e);
}

std::string_view AfterFirstWord(std::string_view text) {
  return Trim(Trim(text).substr(FirstWord(text).size()));
}

bool ParseDouble(std::string_view text, double& out) {
  const std::string word(Trim(text));
  if (word.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(word.c_str(), &end);
  // "nan", "inf" and a number beyond the range of double are no number to the host: nothing
  // not finite reaches a vessel from a file.
  if (end != word.c_str() + word.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseVector(std::string_view text, VECTOR3& out) {
  const std::vector<std::string> words = SplitWords(text);
  VECTOR3 v{0, 0, 0};
  if (words.size() != 3 || !ParseDouble(words[0], v.x) || !ParseDouble(words[1], v.y) ||
      !ParseDouble(words[2], v.z))
    return false;
  out = v;
  return true;
}

bool ParseInt(std::string_view text, long long& out) {
  const std::string word(Trim(text));
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(word.c_str(), &end, 10);
  if (end != word.c_str() + word.size() || errno == ERANGE) return false;
  out = v;
  return true;
}

const char* NotText(std::string_view line) {
  if (line.find('\0') != std::string_view::npos) return "holds a zero byte";
  for (char ch : line) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return "holds a control character (not a text file?)";
  }
  return nullptr;
}

void RefuseLine(const char* why, const char* what, const std::string& file, int number) {
  throw Error(std::string(what) + " " + why, file, number);
}

}  // namespace hostsim
