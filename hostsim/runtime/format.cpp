// Text forms of values.
#include "hostsim/runtime/format.h"

#include <charconv>
#include <cstdio>

namespace hostsim {

std::string FormatDouble(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string ShortestDouble(double v) {
  // A negative zero (a turn that ends at -0, a position -0 after a move) reads back as zero:
  // writing it as "-0" would only put a stray sign into the file.
  if (v == 0) v = 0;
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

void AppendNumber(std::string& out, double v) {
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%.17g", v);
  out.append(buf, static_cast<std::size_t>(n));
}

void AppendFloat(std::string& out, float v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  out += buf;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  out += '"';
}

std::string Quote(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  out += buf;
}

}  // namespace hostsim
