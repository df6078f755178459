#include "text.h"

#include <charconv>

namespace hostsim::cli {
namespace {

void AppendUtf8(unsigned code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string Shortest(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ToUtf8(std::string_view text, TextEncoding enc) {
  if (enc == TextEncoding::Utf8) return std::string(text);
  std::string out;
  for (char c : text) AppendUtf8(static_cast<unsigned char>(c), out);
  return out;
}

std::string Quote(std::string_view text, TextEncoding enc) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F || (enc == TextEncoding::Latin1 && c >= 0x80 && c < 0xA0)) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else if (c >= 0x80 && enc == TextEncoding::Latin1) {
      AppendUtf8(c, out);
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string ErrorText(std::string_view message) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t keep = message.size();
  if (keep > kMaxErrorText) {
    keep = kMaxErrorText;
    // Back to the start of a UTF-8 character.
    while (keep > 0 && (static_cast<unsigned char>(message[keep]) & 0xC0) == 0x80) --keep;
  }
  std::string out;
  for (char ch : message.substr(0, keep)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  if (keep < message.size())
    out += "... (cut, " + std::to_string(message.size()) + " bytes in all)";
  return out;
}

}  // namespace hostsim::cli
