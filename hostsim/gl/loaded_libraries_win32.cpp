// On Windows the OpenGL library and its driver stay loaded with the program that linked them:
// there is nothing to keep.
#include "hostsim/gl/loaded_libraries.h"

namespace hostsim::render {

std::set<std::string> LoadedLibraries() { return {}; }

void KeepLoadedSince(const std::set<std::string>&) {}

}  // namespace hostsim::render
