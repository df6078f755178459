// Class configuration files: "key = value" lines, ';' starts a comment, keys matched without
// regard to case.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"

namespace hostsim {

struct ConfigItem {
  std::string key;
  std::string value;  // trimmed, comment removed
  int line = 0;

  // The value as three numbers (ParseVector); false, leaving `out` as it was, when it is not.
  // Read once and remembered: a class's vessels ask for the same item one after the other.
  bool AsVector(VECTOR3& out) const;

  // AsVector's memory: 0 not yet read, 1 a vector, -1 none.
  mutable signed char vectorRead_ = 0;
  mutable VECTOR3 vector_{0, 0, 0};
};

struct ConfigFile {
  std::string file;  // path as shown in messages
  std::vector<ConfigItem> items;

  // The first item named `key` (any case), or null.
  const ConfigItem* Find(std::string_view key) const;
  // Every item named `key`, in file order.
  std::vector<const ConfigItem*> FindAll(std::string_view key) const;
};

// Parses configuration text; throws Error naming `file` and the line of a malformed line.
ConfigFile ParseConfig(std::string_view text, const std::string& file);
// Reads and parses a configuration file; throws Error when it cannot be read.
ConfigFile ReadConfig(const std::filesystem::path& path);

// Number readers shared by the configuration and scenario parsers: the whole text must be
// the number(s), blanks around allowed.
bool ParseDouble(std::string_view text, double& out);
bool ParseVector(std::string_view text, VECTOR3& out);
bool ParseInt(std::string_view text, long long& out);
std::vector<std::string> SplitWords(std::string_view text);
std::string_view Trim(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// White space and case as the C library's isspace and tolower see them in the "C" locale,
// which the host never leaves: the parsers ask for every byte of a file, so without a call.
inline bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace hostsim
