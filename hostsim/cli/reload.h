// A module's library loaded again into a running world, for an author who rebuilt it.
//
// The rebuilt library is copied once. The reload is tried first in a process of its own —
// this program, running the world saved as it stands against that copy — so that a library that
// crashes or hangs while it sets the world up cannot end the session or the window. Then it is made
// here (World::ReloadModule) with the same copy, where a library that fails to load or set up
// leaves the world as it was.
#pragma once

#include <string>

#include "hostsim/world.h"

namespace hostsim::cli {

// How the trial process is run: with the folders and the hang limit of this one.
struct ReloadTrial {
  std::string root;    // --root as this program was given it ("" when it was not)
  double timeout = 0;  // --timeout, the longest a callback may run (0: the trial's default)
};

// Reloads the module named `module`. Returns "" when the world runs on the new library, else
// why it did not reload (the world is then as it was): one line, followed, when the trial's
// module faulted, by the lines of the report's `where` ("\n  where: LIB: FUNC at FILE:LINE",
// "\n    called from ...").
std::string Reload(World& world, const std::string& module, const ReloadTrial& trial);

}  // namespace hostsim::cli
