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

}  // namespace hostsim
