// Builds without SDL2 make pictures but open no window.
#include <iostream>

#include "hostsim/play/play.h"

namespace hostsim::render {

bool PlayAvailable() { return false; }

int Play(World&, const PlayOptions&) {
  std::cerr << "hostsim play: this build has no window support (SDL2 was not found)\n";
  return 1;
}

}  // namespace hostsim::render
