// A world for the runtime's own tests: the example classes plus small test classes written
// into a temporary config folder (probe classes run by the test module testmod_probe).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

// A HUD list of n entries as no recorder leaves one: lines, every field set, each with the
// text given (by default one longer than any the tests draw).
inline std::vector<hostsim::HudOp> LeftoverOps(
    std::size_t n,
    const std::string& text = "a text longer than any a test draws, left from an earlier frame") {
  std::vector<hostsim::HudOp> ops(n);
  for (auto& op : ops) {
    op.kind = hostsim::HudOp::Kind::Line;
    op.x = op.y = op.x1 = op.y1 = 99;
    op.colour = 0x123456;
    op.text = text;
  }
  return ops;
}

// Expects two recorded HUD frames to be the same, entry by entry and field by field.
inline void ExpectSameOps(const std::vector<hostsim::HudOp>& a,
                          const std::vector<hostsim::HudOp>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].kind, b[i].kind) << "entry " << i;
    EXPECT_EQ(a[i].x, b[i].x) << "entry " << i;
    EXPECT_EQ(a[i].y, b[i].y) << "entry " << i;
    EXPECT_EQ(a[i].x1, b[i].x1) << "entry " << i;
    EXPECT_EQ(a[i].y1, b[i].y1) << "entry " << i;
    EXPECT_EQ(a[i].colour, b[i].colour) << "entry " << i;
    EXPECT_EQ(a[i].text, b[i].text) << "entry " << i;
  }
}

}  // namespace hostsim_test
