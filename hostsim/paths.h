// hostsim: where a world finds its files, and the record of those it read.
// What the files hold is described in docs/formats.md.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "hostsim/library_copies.h"

namespace hostsim {

// The folders a world reads class configurations, meshes and module libraries from.
struct Paths {
  std::filesystem::path config, meshes, modules;
  // The copies of module libraries of the command the world is part of, shared by all its
  // worlds, or null. When set, each module library is loaded from its copy there rather than
  // from its file, so that a build may rewrite the file while the world runs (on POSIX a
  // library mapped from a file changes with it; Windows refuses to replace a loaded library's
  // file). Null: each library is loaded from its file.
  std::shared_ptr<LibraryCopies> copies;
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
