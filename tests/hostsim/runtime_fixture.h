// A world for the runtime's own tests: the example classes plus small test classes written
// into a temporary config folder (probe classes run by the test module testmod_probe).
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "hostsim/world.h"
#include "support/world_fixture.h"

namespace hostsim_test {

using testsupport::ReadFile;

class RuntimeWorld {
 public:
  RuntimeWorld() {
    auto ex = testsupport::ExamplePaths();
    dir_.Write("config/tug.cfg", ReadFile(ex.config / "tug.cfg"));
    dir_.Write("config/lumipod.cfg", ReadFile(ex.config / "lumipod.cfg"));
    dir_.Write("config/probe.cfg", "Module = testmod_probe\nTag = t1\n");
    dir_.Write("config/probe_v2.cfg", "Module = testmod_probe\n");
    dir_.Write("config/probe_unbound.cfg", "Module = testmod_probe\n");
    dir_.Write("config/nullmod.cfg", "Module = testmod_none\n");
    dir_.Write("config/nomod.cfg", "Module = no_such_module\n");
    // A config-only block with one point of each kind.
    dir_.Write("config/block.cfg",
               "Size = 1\n"
               "Attachment = P  0 -1 0   0 -1 0   0 0 1  TOP\n"
               "Attachment = C  0  1 0   0  1 0   0 0 1  SLOT\n");
    hostsim::Paths p;
    p.config = dir_.path() / "config";
    p.meshes = ex.meshes;
    p.modules = ex.modules;
    world = std::make_unique<hostsim::World>(p);
  }

  const std::filesystem::path& dir() const { return dir_.path(); }
  std::filesystem::path Write(const std::string& name, const std::string& text) const {
    return dir_.Write(name, text);
  }

  testsupport::TempDir dir_;
  std::unique_ptr<hostsim::World> world;
};

}  // namespace hostsim_test
