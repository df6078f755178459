#include "hostsim/platform/path_text.h"

namespace hostsim::platform {

std::filesystem::path PathFromUtf8(const std::string& s) {
  return {std::u8string(s.begin(), s.end())};
}

std::string PathToUtf8(const std::filesystem::path& p) {
  const std::u8string u = p.generic_u8string();
  return {u.begin(), u.end()};
}

}  // namespace hostsim::platform
