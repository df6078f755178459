// The stored placement: a loaded PAT line is written into the parent point that holds the
// lamp on the first time step only, and only when its direction and rotation reference are
// both non-zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

struct FirstStepRow {
  const char* name;
  std::vector<std::string> lines;
  bool hungAtFirstStep;
  bool applied;
  Slot stored;  // what the slot holds when applied
  // Put into the lamp's stored placement after the load: values no file can give (a load
  // takes finite numbers only).
  std::optional<Slot> put = std::nullopt;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(LampPlacement, FirstStepRule) {
  const Slot deck{{-1.5, 0.6, 1.0}, {0, 1, 0}, {0, 0, 1}};  // DECK1 as configured
  const FirstStepRow rows[] = {
      {"complete placement",
       {"PAT 0.1 0.2 0.3 0 0 1 0 1 0"},
       true,
       true,
       {{0.1, 0.2, 0.3}, {0, 0, 1}, {0, 1, 0}}},
      {"zero position is applied",
       {"PAT 0 0 0 0 0 1 0 1 0"},
       true,
       true,
       {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}}},
      {"infinite component counts as non-zero",
       {},
       true,
       true,
       {{1, 2, 3}, {0, 0, kInf}, {0, 1, 0}},
       Slot{{1, 2, 3}, {0, 0, kInf}, {0, 1, 0}}},
      {"tiny component counts as non-zero",
       {"PAT 1 2 3 0 0 1e-300 0 1 0"},
       true,
       true,
       {{1, 2, 3}, {0, 0, 1e-300}, {0, 1, 0}}},
      {"zero direction", {"PAT 1 2 3 0 0 0 0 1 0"}, true, false, {}},
      {"zero rotation reference", {"PAT 1 2 3 0 0 1 0 0 0"}, true, false, {}},
      {"not-a-number rotation reference",
       {},
       true,
       false,
       {},
       Slot{{1, 2, 3}, {0, 0, 1}, {kNan, 1, 0}}},
      {"not-a-number direction", {}, true, false, {}, Slot{{1, 2, 3}, {0, kNan, 1}, {0, 1, 0}}},
      {"infinite direction read from a file is not loaded",
       {"PAT 1 2 3 0 0 inf 0 1 0"},
       true,
       false,
       {}},
      {"no PAT line", {}, true, false, {}},
      {"lamp free at the first step", {"PAT 0.1 0.2 0.3 0 0 1 0 1 0"}, false, false, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& tug = w.AddParent("Tug", "tug");
    auto& v = w.SetUpLamp("L1");
    auto* lamp = AsLamp(v);
    w.world().LoadVesselState(v, r.lines);
    if (r.put) {
      lamp->storedPos = r.put->pos;
      lamp->storedDir = r.put->dir;
      lamp->storedRot = r.put->rot;
    }
    if (r.hungAtFirstStep) w.Hang(v, tug, 0);
    w.world().FinishCreation(v);
    w.world().SetFocus(&v);
    const VECTOR3 sp = lamp->storedPos, sd = lamp->storedDir, sr = lamp->storedRot;

    w.journal().Clear();
    w.Frame(0.02);
    EXPECT_EQ(lamp->placementRestored, 1);
    EXPECT_EQ(CountCalls(w.journal(), "SetAttachmentParams"), r.applied ? 1u : 0u);
    if (!r.hungAtFirstStep) w.Hang(v, tug, 0);
    const Slot now = LampWorld::GetSlot(tug, 0);
    const Slot want = r.applied ? r.stored : deck;
    EXPECT_TRUE(VecNear(now.pos, want.pos, 0));
    EXPECT_TRUE(VecNear(now.dir, want.dir, 0));
    EXPECT_TRUE(VecNear(now.rot, want.rot, 0));

    // Later steps never write the stored placement again, also after the slot has moved.
    const Slot moved{{5, 5, 5}, {1, 0, 0}, {0, 1, 0}};
    LampWorld::SetSlot(tug, 0, moved);
    w.journal().Clear();
    for (int i = 0; i < 3; ++i) w.Frame(0.02);
    EXPECT_EQ(CountCalls(w.journal(), "SetAttachmentParams"), 0u);
    EXPECT_TRUE(VecNear(LampWorld::GetSlot(tug, 0).pos, moved.pos, 0));
    // The stored vectors themselves are left as loaded (NaN compares unequal, so by bytes).
    EXPECT_EQ(std::memcmp(&lamp->storedPos, &sp, sizeof sp), 0);
    EXPECT_EQ(std::memcmp(&lamp->storedDir, &sd, sizeof sd), 0);
    EXPECT_EQ(std::memcmp(&lamp->storedRot, &sr, sizeof sr), 0);
  }
}

TEST(LampPlacement, AppliedThroughTheHostsRestoredAttachment) {
  // The whole path through a scenario file: the host restores the attachment before the
  // lamp's first step, which then re-applies the saved placement.
  TempDir dir;
  auto file = dir.Write("yard.scn",
                        "TITLE Yard\n"
                        "VESSEL Tug tug\n"
                        "END\n"
                        "VESSEL L1 lumipod\n"
                        "  ATTACHED Tug 2 GS\n"
                        "  PAT 0.2500 0.5000 -0.7500 0.0000 0.6000 0.8000 1.0000 0.0000 0.0000\n"
                        "END\n");
  hostsim::World world(ExamplePaths());
  world.LoadScenario(file);
  auto* tug = world.FindVessel("Tug");
  auto* lampV = world.FindVessel("L1");
  ASSERT_NE(tug, nullptr);
  ASSERT_NE(lampV, nullptr);
  ASSERT_EQ(LampWorld::HeldAt(*tug, *lampV), 2);
  world.Step(0.02);
  const Slot s = LampWorld::GetSlot(*tug, 2);
  EXPECT_TRUE(VecNear(s.pos, {0.25, 0.5, -0.75}, 0));
  EXPECT_TRUE(VecNear(s.dir, {0, 0.6, 0.8}, 0));
  EXPECT_TRUE(VecNear(s.rot, {1, 0, 0}, 0));
  EXPECT_TRUE(
      VecNear(lampV->WorldPose().Apply({0, -0.37, 0}), tug->WorldPose().Apply(s.pos), 1e-9));
}

}  // namespace
