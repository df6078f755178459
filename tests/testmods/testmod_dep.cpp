#include "testmod_dep.h"

#include "hostsim/world.h"

extern "C" {

void ExitModule(MODULEHANDLE /*hModule*/) {
  hostsim::World* world = hostsim::World::Current();
  if (world != nullptr) {
    world->journal().Record(hostsim::Journal::Kind::Call, "", "ExitModule", "dependency");
  }
}

int TestmodDepVersion() { return 0; }

}  // extern "C"
