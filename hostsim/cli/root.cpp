#include "root.h"

#include <system_error>

#include "hostsim/platform/path_text.h"

namespace fs = std::filesystem;

namespace hostsim::cli {

Paths DefaultPaths(const fs::path& exeDir, const RootLayout& layout) {
  std::error_code ec;
  const fs::path tree = exeDir.empty() ? fs::path(".") : exeDir.parent_path();
  if (fs::is_regular_file(tree / "CMakeCache.txt", ec)) {
    fs::path examples = tree / "examples";
    if (!fs::is_directory(examples / "config", ec)) examples = layout.sourceDir / "examples";
    Paths p;
    p.config = examples / "config";
    p.meshes = examples / "meshes";
    p.modules = tree / "modules";
    return p;
  }
  const fs::path root = (exeDir.empty() ? fs::path(".") : exeDir) / layout.installedRoot;
  if (!fs::is_directory(root, ec))
    throw Error("no host root beside the program (give one with --root)",
                platform::PathToUtf8(root.lexically_normal()));
  return Paths::FromRoot(root.lexically_normal());
}

Error WithRootHint(const UnknownClassError& e) {
  return Error(e.subject() + " (no " + e.missing() + "; give a --root whose config/ has it)",
               e.file(), e.line());
}

}  // namespace hostsim::cli
