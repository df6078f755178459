// Without --root, a program in a build tree uses the examples and the build's modules, and an
// installed one the host root its installation carries, found from its own folder.
#include "hostsim/cli/root.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

namespace fs = std::filesystem;

TEST(DefaultRootTest, BuildTreeOrInstallationDecidesTheFolders) {
  const struct {
    const char* name;
    std::vector<std::string> files;  // made under the tree ("x/" makes a folder)
    const char *config, *meshes, *modules;
  } cases[] = {
      {"build tree",
       {"CMakeCache.txt"},
       "src/examples/config",
       "src/examples/meshes",
       "tree/modules"},
      {"build tree with copied examples",
       {"CMakeCache.txt", "examples/config/"},
       "tree/examples/config",
       "tree/examples/meshes",
       "tree/modules"},
      // A build tree installed into (or a root copied into it) stays a build tree.
      {"build tree with an installed root",
       {"CMakeCache.txt", "share/hostsim/"},
       "src/examples/config",
       "src/examples/meshes",
       "tree/modules"},
      {"installation",
       {"share/hostsim/"},
       "tree/share/hostsim/config",
       "tree/share/hostsim/meshes",
       "tree/share/hostsim/modules"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "bin");
    for (const std::string& f : c.files) {
      if (f.back() == '/')
        fs::create_directories(tree / f);
      else
        dir.Write("tree/" + f, "");
    }
    const Paths p =
        DefaultPaths(tree / "bin", {fs::path("..") / "share" / "hostsim", dir.path() / "src"});
    EXPECT_EQ(p.config, (dir.path() / c.config).lexically_normal());
    EXPECT_EQ(p.meshes, (dir.path() / c.meshes).lexically_normal());
    EXPECT_EQ(p.modules, (dir.path() / c.modules).lexically_normal());
  }
}

TEST(DefaultRootTest, MissingInstalledRootIsAnErrorNamingIt) {
  testsupport::TempDir dir;
  fs::create_directories(dir.path() / "usr" / "bin");
  try {
    DefaultPaths(dir.path() / "usr" / "bin", {fs::path("..") / "share" / "hostsim", "/nowhere"});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(fs::path(e.file()), (dir.path() / "usr" / "share" / "hostsim").lexically_normal());
    EXPECT_NE(e.message().find("--root"), std::string::npos);
  }
}

}  // namespace
}  // namespace hostsim::cli
