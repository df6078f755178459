// hostsim: where a world finds its files, and the record of those it read.
// What the files hold is described in docs/formats.md.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace hostsim {

// The folders a world reads class configurations, meshes and module libraries from.
struct Paths {
  std::filesystem::path config, meshes, modules;
  // A folder of the host's own, or empty. When set, each module library is loaded from a copy
  // made there rather than where it is, so that its file can be rebuilt while the world runs
  // (a system may keep a loaded library's file from being replaced).
  std::filesystem::path libraryCopies;
  // Files a module's library is opened from instead of modules/<name>, by module name; they
  // are the caller's, and the world does not copy them (a reload's trial loads the very copy
  // the reload will load).
  std::map<std::string, std::filesystem::path> libraryFiles;
  // root/config, root/meshes, root/modules.
  static Paths FromRoot(const std::filesystem::path& root);
};

// A file the world read: what it was ("scenario", "class configuration", "mesh", "material
// library", "module library") and its path as it was opened.
struct FileRead {
  const char* kind;
  std::filesystem::path path;
};

}  // namespace hostsim
