// Test support: a World over the shipped examples and the freshly built modules.
#pragma once

#include <filesystem>
#include <string>

#include "hostsim/world.h"

namespace testsupport {

// Paths with the example class configurations and meshes and the built modules.
inline hostsim::Paths ExamplePaths() {
  hostsim::Paths p;
  p.config = std::filesystem::path(LUMIPOD_SOURCE_DIR) / "examples" / "config";
  p.meshes = std::filesystem::path(LUMIPOD_SOURCE_DIR) / "examples" / "meshes";
  p.modules = std::filesystem::path(LUMIPOD_MODULE_DIR);
  return p;
}

// Bytes the process holds on its heap now (live allocations), where the platform tells; -1
// elsewhere.
long long HeapInUse();

// The whole file as bytes ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& p);

// A fresh, empty temporary folder for one test; removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes `text` to `name` inside the folder and returns the full path.
  std::filesystem::path Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
