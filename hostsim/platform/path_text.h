// Paths as text and back: the one conversion between a path and UTF-8, for arguments given on
// the command line and for messages, which read alike on every system.
#pragma once

#include <filesystem>
#include <string>

namespace hostsim::platform {

// A path from UTF-8 text, on every system.
std::filesystem::path PathFromUtf8(const std::string& s);

// A path as UTF-8 text with '/' separators.
std::string PathToUtf8(const std::filesystem::path& p);

}  // namespace hostsim::platform
