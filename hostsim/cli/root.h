// The host root a program uses when no --root is given.
#pragma once

#include <filesystem>

#include "hostsim/unknown_class.h"
#include "hostsim/world.h"

namespace hostsim::cli {

// Where a hostsim program finds its own folders, relative to the folder it runs from.
struct RootLayout {
  // The host root of an installation (config/, meshes/, modules/), relative to the folder of
  // the installed program: "../share/hostsim" for bin/hostsim under a prefix.
  std::filesystem::path installedRoot;
  // The source tree the program was built from, whose examples/ a build tree's program uses.
  std::filesystem::path sourceDir;
};

// The folders for a program in `exeDir`:
//  - in a build tree (the folder above `exeDir` holds CMakeCache.txt): the examples'
//    config/ and meshes/, from examples/ beside the build tree's bin/ if they were copied
//    there, else from the source tree's; and the build tree's modules/;
//  - otherwise the installed host root, `layout.installedRoot` from `exeDir`, as found
//    there: a program moved with its installation keeps finding it.
// Throws hostsim::Error naming the folder looked for when neither is there.
Paths DefaultPaths(const std::filesystem::path& exeDir, const RootLayout& layout);

// The error of a scenario naming a class the root's config/ lacks, saying what the command
// line can do about it: "unknown vessel class "mast" (no root/config/mast.cfg; give a --root
// whose config/ has it)".
Error WithRootHint(const UnknownClassError& e);

}  // namespace hostsim::cli
