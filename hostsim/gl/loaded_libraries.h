// The shared libraries in this process, and keeping those that a part of the renderer loaded.
// A library such as a GL driver or the session bus library keeps state it made once in its
// static variables; unloaded, it would leave that memory unreachable (a leak at every start)
// and load it all afresh the next time.
#pragma once

#include <set>
#include <string>

namespace hostsim::render {

// Paths of the shared libraries loaded into the process now.
std::set<std::string> LoadedLibraries();

// Keeps every library loaded since `before` (a LoadedLibraries() of earlier) in the process
// for as long as it runs.
void KeepLoadedSince(const std::set<std::string>& before);

}  // namespace hostsim::render
