// Fine adjustment of the parent point that holds the lamp: shifts along the parent's axes and
// turns about the point's own axes, driven by the numpad keys with Shift or Alt.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

// A lamp hanging on the first deck point of a tug; the point's pose is set per test.
struct SlotScene {
  LampWorld w;
  hostsim::Vessel& tug = w.AddParent("Tug", "tug");
  hostsim::Vessel& lampV = w.AddLamp("L1");

  explicit SlotScene(const Slot& start) {
    w.Hang(lampV, tug, 0);
    LampWorld::SetSlot(tug, 0, start);
    w.journal().Clear();
  }
  Slot slot() { return LampWorld::GetSlot(tug, 0); }
};

// The nine numbers of a SetAttachmentParams entry: position, direction, rotation reference.
Slot Written(const hostsim::Journal::Entry& e) {
  auto n = Numbers(e.args);
  EXPECT_GE(n.size(), 9u) << e.args;
  if (n.size() < 9) return {};
  auto at = n.end() - 9;
  return {{at[0], at[1], at[2]}, {at[3], at[4], at[5]}, {at[6], at[7], at[8]}};
}

::testing::AssertionResult SlotNear(const Slot& a, const Slot& e, double tol) {
  auto p = VecNear(a.pos, e.pos, tol);
  if (!p) return p << " (position)";
  auto d = VecNear(a.dir, e.dir, tol);
  if (!d) return d << " (direction)";
  auto r = VecNear(a.rot, e.rot, tol);
  if (!r) return r << " (rotation reference)";
  return ::testing::AssertionSuccess();
}

struct AdjustRow {
  const char* variant;
  std::initializer_list<std::uint8_t> keys;
  Slot want;
};

void RunTable(const Slot& start, double dt, std::initializer_list<AdjustRow> rows) {
  for (const auto& r : rows) {
    SCOPED_TRACE(r.variant);
    SlotScene s(start);
    s.w.Frame(dt, r.keys);
    EXPECT_TRUE(SlotNear(s.slot(), r.want, 1e-9));
    EXPECT_EQ(CountCalls(s.w.journal(), "GetAttachmentParams"), 1u);
    auto sets = HostCalls(s.w.journal(), "SetAttachmentParams");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].self, "Tug");
    EXPECT_TRUE(SlotNear(Written(sets[0]), r.want, 1e-9));
  }
}

constexpr double c = 0.9996841893, sn = 0.0251300954;
constexpr std::uint8_t S = ZKEY_LSHIFT, A = ZKEY_LALT;

TEST(LampAdjust, WorkedExampleAtStepTwoHundredths) {
  const Slot start{{1, 2, 3}, {0, 0, 1}, {0, 1, 0}};
  RunTable(start, 0.02,
           {
               {"shift x+", {S, ZKEY_NUMPAD1}, {{1.01, 2, 3}, {0, 0, 1}, {0, 1, 0}}},
               {"shift x-", {A, ZKEY_NUMPAD1}, {{0.99, 2, 3}, {0, 0, 1}, {0, 1, 0}}},
               {"shift y+", {S, ZKEY_NUMPAD2}, {{1, 2.01, 3}, {0, 0, 1}, {0, 1, 0}}},
               {"shift y-", {A, ZKEY_NUMPAD2}, {{1, 1.99, 3}, {0, 0, 1}, {0, 1, 0}}},
               {"shift z+", {S, ZKEY_NUMPAD3}, {{1, 2, 3.01}, {0, 0, 1}, {0, 1, 0}}},
               {"shift z-", {A, ZKEY_NUMPAD3}, {{1, 2, 2.99}, {0, 0, 1}, {0, 1, 0}}},
               {"rotate X-", {S, ZKEY_NUMPAD4}, {{1, 2, 3}, {0, -sn, c}, {0, c, sn}}},
               {"rotate X+", {A, ZKEY_NUMPAD4}, {{1, 2, 3}, {0, sn, c}, {0, c, -sn}}},
               {"rotate Y+", {S, ZKEY_NUMPAD5}, {{1, 2, 3}, {0, 0, 1}, {-sn, c, 0}}},
               {"rotate Y-", {A, ZKEY_NUMPAD5}, {{1, 2, 3}, {0, 0, 1}, {sn, c, 0}}},
               {"rotate Z+", {S, ZKEY_NUMPAD6}, {{1, 2, 3}, {sn, 0, c}, {0, 1, 0}}},
               {"rotate Z-", {A, ZKEY_NUMPAD6}, {{1, 2, 3}, {-sn, 0, c}, {0, 1, 0}}},
           });
}

TEST(LampAdjust, WorkedExampleInATiltedSlot) {
  const Slot start{{1, 2, 3}, {0, 0.6, 0.8}, {1, 0, 0}};
  RunTable(
      start, 0.02,
      {
          {"rotate X-",
           {S, ZKEY_NUMPAD4},
           {{1, 2, 3},
            {-0.0251300954, 0.5998105136, 0.7997473514},
            {0.9996841893, 0.0150780573, 0.0201040764}}},
          {"rotate Y+",
           {S, ZKEY_NUMPAD5},
           {{1, 2, 3}, {0, 0.6, 0.8}, {0.9996841893, 0.0201040764, -0.0150780573}}},
          {"rotate Z+", {S, ZKEY_NUMPAD6}, {{1, 2, 3}, {0, 0.5797064372, 0.8148254087}, {1, 0, 0}}},
          {"rotate Z-", {A, ZKEY_NUMPAD6}, {{1, 2, 3}, {0, 0.6199145899, 0.7846692942}, {1, 0, 0}}},
      });
}

TEST(LampAdjust, QuarterTurns) {
  const Slot start{{0, 0, 0}, {0, 0, 1}, {0, 1, 0}};
  // A step of 1.25 s makes rotStep 0.25: a quarter turn.
  RunTable(start, 1.25,
           {
               {"X-", {S, ZKEY_NUMPAD4}, {{0, 0, 0}, {0, -1, 0}, {0, 0, 1}}},
               {"X+", {A, ZKEY_NUMPAD4}, {{0, 0, 0}, {0, 1, 0}, {0, 0, -1}}},
               {"Y+", {S, ZKEY_NUMPAD5}, {{0, 0, 0}, {0, 0, 1}, {-1, 0, 0}}},
               {"Y-", {A, ZKEY_NUMPAD5}, {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}},
               {"Z+", {S, ZKEY_NUMPAD6}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
               {"Z-", {A, ZKEY_NUMPAD6}, {{0, 0, 0}, {-1, 0, 0}, {0, 1, 0}}},
           });
}

TEST(LampAdjust, UnnormalisedDirectionIsUsedAsItIs) {
  RunTable({{0, 0, 0}, {0, 0, 2}, {0, 1, 0}}, 1.25,
           {{"Y+ about a direction of length 2",
             {S, ZKEY_NUMPAD5},
             {{0, 0, 0}, {0, 0, 8}, {-2, 0, 0}}}});
}

TEST(LampAdjust, HeldKeysAddUp) {
  {
    SCOPED_TRACE("100 shifts of 0.01 m");
    SlotScene s({{1, 2, 3}, {0, 0, 1}, {0, 1, 0}});
    for (int i = 0; i < 100; ++i) s.w.Frame(0.02, {S, ZKEY_NUMPAD1});
    EXPECT_TRUE(SlotNear(s.slot(), {{2, 2, 3}, {0, 0, 1}, {0, 1, 0}}, 1e-9));
  }
  {
    SCOPED_TRACE("250 turns of 1.44 degrees");
    SlotScene s({{1, 2, 3}, {0, 0, 1}, {0, 1, 0}});
    bool turned = false;
    for (int i = 0; i < 250; ++i) {
      s.w.Frame(0.02, {S, ZKEY_NUMPAD6});
      if (i == 124) turned = VecNear(s.slot().dir, {0, 0, -1}, 1e-9);  // half way round
    }
    EXPECT_TRUE(turned);
    EXPECT_TRUE(SlotNear(s.slot(), {{1, 2, 3}, {0, 0, 1}, {0, 1, 0}}, 1e-9));
  }
}

TEST(LampAdjust, ShiftsInOneFrameEachReadTheSlotAfresh) {
  SlotScene s({{1, 2, 3}, {0, 0, 1}, {0, 1, 0}});
  s.w.Frame(0.02, {S, ZKEY_NUMPAD1, ZKEY_NUMPAD3});
  auto sets = HostCalls(s.w.journal(), "SetAttachmentParams");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_TRUE(VecNear(Written(sets[0]).pos, {1.01, 2, 3}, 1e-12));
  EXPECT_TRUE(VecNear(Written(sets[1]).pos, {1.01, 2, 3.01}, 1e-12));
  EXPECT_TRUE(VecNear(s.slot().pos, {1.01, 2, 3.01}, 1e-12));
}

TEST(LampAdjust, UndefinedTurnAxisLeavesTheSlotAlone) {
  const Slot starts[] = {
      {{1, 2, 3}, {0, 1, 0}, {0, 1, 0}},   // parallel
      {{1, 2, 3}, {0, 0, 1}, {0, 0, -2}},  // opposite
      {{1, 2, 3}, {0, 0, 0}, {0, 1, 0}},   // zero direction
      {{1, 2, 3}, {0, 0, 1}, {0, 0, 0}},   // zero rotation reference
  };
  for (const auto& start : starts) {
    for (std::uint8_t mod : {S, A}) {
      SCOPED_TRACE(::testing::Message()
                   << "dir (" << start.dir.x << ", " << start.dir.y << ", " << start.dir.z
                   << ") rot (" << start.rot.x << ", " << start.rot.y << ", " << start.rot.z << ") "
                   << (mod == S ? "Shift" : "Alt"));
      SlotScene s(start);
      s.w.Frame(0.02, {mod, ZKEY_NUMPAD4});
      Slot now = s.slot();
      EXPECT_TRUE(Finite(now.pos) && Finite(now.dir) && Finite(now.rot));
      EXPECT_TRUE(SlotNear(now, start, 0));
      for (const auto& e : HostCalls(s.w.journal(), "SetAttachmentParams")) {
        for (double x : Numbers(e.args)) EXPECT_TRUE(std::isfinite(x)) << e.args;
      }
    }
  }
}

TEST(LampAdjust, FreeLampMakesOnlyTheLookupCall) {
  for (std::uint8_t mod : {S, A}) {
    SCOPED_TRACE(mod == S ? "Shift" : "Alt");
    LampWorld w;
    w.AddParent("Tug", "tug");
    w.AddLamp("L1");
    w.Frame(0.02);
    w.journal().Clear();
    w.Frame(0.02, {mod, ZKEY_NUMPAD1, ZKEY_NUMPAD2, ZKEY_NUMPAD3, ZKEY_NUMPAD4});
    EXPECT_EQ(CallMethods(w.journal()), (std::vector<std::string>(4, "GetAttachmentStatus")));
  }
}

TEST(LampAdjust, BeforeTheFirstStepSizesAreZero) {
  // A key handled before any step has run uses zero steps: the slot is written back as read.
  SlotScene s({{1, 2, 3}, {0, 0, 1}, {0, 1, 0}});
  auto* lamp = AsLamp(s.lampV);
  ASSERT_EQ(lamp->shiftStep, 0.0);
  ASSERT_EQ(lamp->rotStep, 0.0);
  char* ks = s.w.world().KeyState();
  s.w.world().ReleaseAllKeys();
  ks[S] = static_cast<char>(0x80);
  ks[ZKEY_NUMPAD1] = static_cast<char>(0x80);
  ks[ZKEY_NUMPAD6] = static_cast<char>(0x80);
  EXPECT_EQ(s.lampV.callbacks()->clbkDirectKeys(ks), 0);
  s.w.world().ReleaseAllKeys();
  EXPECT_EQ(CountCalls(s.w.journal(), "SetAttachmentParams"), 2u);
  EXPECT_TRUE(SlotNear(s.slot(), {{1, 2, 3}, {0, 0, 1}, {0, 1, 0}}, 0));
}

TEST(LampAdjust, LampFollowsTheSlotInTheWorld) {
  SlotScene s({{1, 2, 3}, {0, 0, 1}, {0, 1, 0}});
  auto gsWorld = [&] { return s.lampV.WorldPose().Apply({0, -0.37, 0}); };
  auto slotWorld = [&] { return s.tug.WorldPose().Apply(s.slot().pos); };
  EXPECT_TRUE(VecNear(gsWorld(), slotWorld(), 1e-9));
  const VECTOR3 before = gsWorld();
  for (int i = 0; i < 10; ++i) s.w.Frame(0.02, {S, ZKEY_NUMPAD2});
  EXPECT_TRUE(VecNear(gsWorld(), slotWorld(), 1e-9));
  const VECTOR3 tugY = s.tug.WorldPose().Apply({0, 1, 0}),
                tugO = s.tug.WorldPose().Apply({0, 0, 0});
  const VECTOR3 moved = {gsWorld().x - before.x, gsWorld().y - before.y, gsWorld().z - before.z};
  EXPECT_TRUE(VecNear(
      moved, {0.1 * (tugY.x - tugO.x), 0.1 * (tugY.y - tugO.y), 0.1 * (tugY.z - tugO.z)}, 1e-9));
  // A quarter turn of the slot turns the lamp with it.
  auto lampAxis = [&](VECTOR3 d) {
    VECTOR3 p = s.lampV.WorldPose().Apply(d), o = s.lampV.WorldPose().Apply({0, 0, 0});
    return VECTOR3{p.x - o.x, p.y - o.y, p.z - o.z};
  };
  // The lamp's own point faces along its y axis, which follows the slot's direction.
  const VECTOR3 yBefore = lampAxis({0, 1, 0});
  s.w.Frame(1.25, {S, ZKEY_NUMPAD6});
  EXPECT_TRUE(VecNear(gsWorld(), slotWorld(), 1e-9));
  const VECTOR3 yAfter = lampAxis({0, 1, 0});
  const double dot = yBefore.x * yAfter.x + yBefore.y * yAfter.y + yBefore.z * yAfter.z;
  EXPECT_LT(std::fabs(dot), 1e-9) << "the lamp turned by a quarter";
}

}  // namespace
