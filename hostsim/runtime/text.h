// Reading text: lines, words, numbers and case, as the host's configuration and scenario
// files use them. Plain functions of text, free of any world.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"

namespace hostsim {

// White space and case as the C library's isspace and tolower see them in the "C" locale,
// which the host never leaves.
inline bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text folded to lower case: names that match without regard to case fold alike.
std::string Folded(std::string_view text);
std::vector<std::string> SplitWords(std::string_view text);
// The first blank-separated word, and what follows it (trimmed).
std::string_view FirstWord(std::string_view text);
std::string_view AfterFirstWord(std::string_view text);

// Numbers: the whole text must be the number(s), blanks around allowed; read as strtod and
// strtoll read them, but a number that is not finite (nan, inf, beyond the range of double) is
// refused. On failure the output is left as it was.
bool ParseDouble(std::string_view text, double& out);
bool ParseVector(std::string_view text, VECTOR3& out);  // exactly three numbers
bool ParseInt(std::string_view text, long long& out);

// Calls `line(text, number)` for every line of a text file: lines end at '\n', a last line
// without one counts, and a CRLF line's '\r' is dropped. A line that cannot be text (a zero
// byte, or any control character but the tab) is refused with an Error naming `file`, the
// line and `what` ("line", "configuration line").
template <class F>
void ForEachLine(std::string_view text, const std::string& file, const char* what, F&& line);
// Why `line` cannot be a line of a text file, or null.
const char* NotText(std::string_view line);
[[noreturn]] void RefuseLine(const char* why, const char* what, const std::string& file,
                             int number);

template <class F>
void ForEachLine(std::string_view text, const std::string& file, const char* what, F&& line) {
  int number = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (const char* why = NotText(raw)) RefuseLine(why, what, file, number);
    line(raw, number);
  }
}

}  // namespace hostsim
