// Texts in the CLI's output: 8-bit module texts shown as UTF-8, and quoting that keeps
// control characters out of the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hostsim::cli {

// How the bytes of a text are to be read when it is shown.
enum class TextEncoding {
  Latin1,  // 8-bit characters of a module (HUD texts, box titles): 0xB0 is the degree sign
  Utf8,    // text from a script or scenario file, passed through
};

// The shortest decimal text that reads back as `v` ("0.02", "1e+308").
std::string Shortest(double v);

// The text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// The text as UTF-8 between double quotes, with '"' and '\' escaped and control
// characters (and, for Latin1, the bytes 0x80 to 0x9F) shown as \xNN.
std::string Quote(std::string_view text, TextEncoding enc);

// The text converted to UTF-8 (Latin1) or kept (Utf8), without quotes or escapes.
std::string ToUtf8(std::string_view text, TextEncoding enc);

// An error message as one line for the error output: control characters shown as \xNN, and
// a message longer than kMaxErrorText bytes (one quoting a huge line of a file) cut there,
// at a character boundary, with a note of its full length.
inline constexpr std::size_t kMaxErrorText = 512;
std::string ErrorText(std::string_view message);

}  // namespace hostsim::cli
