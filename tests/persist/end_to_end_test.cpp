// A whole session through scenario files: a tug with two lamps, one hung on the tug and
// fine-placed, one free, aimed and switched on; saved, loaded into a new world, run and saved
// again.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

TEST(LampEndToEnd, TugWithTwoLampsSurvivesSaveAndLoad) {
  TempDir dir;
  auto start = dir.Write("yard.scn",
                         "TITLE Lamp yard\n"
                         "VESSEL Tug tug\n"
                         "  POS 10 0 5\n"
                         "END\n"
                         "VESSEL Hook lumipod\n"
                         "  ATTACHED Tug 1 GS\n"
                         "END\n"
                         "VESSEL Flood lumipod\n"
                         "  POS 3 0 0\n"
                         "END\n");
  const auto saved = dir.path() / "saved.scn";
  const auto again = dir.path() / "again.scn";

  Slot placed;
  {
    hostsim::World world(ExamplePaths());
    world.LoadScenario(start);
    auto* tug = world.FindVessel("Tug");
    auto* hook = world.FindVessel("Hook");
    auto* flood = world.FindVessel("Flood");
    ASSERT_TRUE(tug && hook && flood);
    ASSERT_EQ(LampWorld::HeldAt(*tug, *hook), 1);

    auto hold = [&](double dt, std::initializer_list<std::uint8_t> keys) {
      world.ReleaseAllKeys();
      for (auto k : keys) world.SetKey(k, true);
      world.Step(dt);
      world.ReleaseAllKeys();
    };
    auto press = [&](std::uint8_t k) {
      world.SetKey(k, true);
      world.KeyEvent(k, true);
      world.SetKey(k, false);
      world.KeyEvent(k, false);
    };

    // Fine-place the hung lamp: 0.1 m up, then a quarter turn about the point's own axis.
    world.SetFocus(hook);
    for (int i = 0; i < 10; ++i) hold(0.02, {ZKEY_LSHIFT, ZKEY_NUMPAD2});
    hold(1.25, {ZKEY_LSHIFT, ZKEY_NUMPAD6});
    placed = LampWorld::GetSlot(*tug, 1);
    EXPECT_TRUE(VecNear(placed.pos, {1.5, 0.7, 1.0}, 1e-9));
    // DECK2 points along +y with rotation reference +z; a quarter turn about that reference
    // swings the direction to -x and leaves the reference.
    EXPECT_TRUE(VecNear(placed.dir, {-1, 0, 0}, 1e-9));
    EXPECT_TRUE(VecNear(placed.rot, {0, 0, 1}, 1e-9));

    // Aim, switch on and set up the free lamp.
    world.SetFocus(flood);
    hold(1.25, {ZKEY_LSHIFT, ZKEY_RIGHT});  // azimuth 0.25
    hold(0.5, {ZKEY_LSHIFT, ZKEY_UP});      // altitude 0.6
    press(ZKEY_B);
    press(ZKEY_N);
    ASSERT_TRUE(world.AnswerBox("120"));
    press(ZKEY_M);
    ASSERT_TRUE(world.AnswerBox("35"));
    hold(0.5, {ZKEY_J});  // intensity 0.9; not saved
    world.SaveScenario(saved);
  }

  const std::string first = ReadFile(saved);
  EXPECT_EQ(LampLine(first, "Flood", "SPT").value_or(""), "1 120.0000 0.6109");
  EXPECT_EQ(LampLine(first, "Flood", "GBL").value_or(""), "0.60000 0.25000");
  EXPECT_EQ(LampLine(first, "Hook", "SPT").value_or(""), "0 300.0000 0.3491");

  hostsim::World world(ExamplePaths());
  world.LoadScenario(saved);
  auto* tug = world.FindVessel("Tug");
  auto* hook = world.FindVessel("Hook");
  auto* flood = world.FindVessel("Flood");
  ASSERT_TRUE(tug && hook && flood);
  ASSERT_EQ(LampWorld::HeldAt(*tug, *hook), 1);
  EXPECT_EQ(flood->Parent(), nullptr);

  world.Step(0.02);  // the first step puts the hung lamp back where it was placed
  const Slot s = LampWorld::GetSlot(*tug, 1);
  EXPECT_TRUE(VecNear(s.pos, placed.pos, 1e-4));
  EXPECT_TRUE(VecNear(s.dir, placed.dir, 1e-4));
  EXPECT_TRUE(VecNear(s.rot, placed.rot, 1e-4));
  EXPECT_TRUE(VecNear(hook->WorldPose().Apply({0, -0.37, 0}), tug->WorldPose().Apply(s.pos), 1e-9));

  auto* f = AsLamp(*flood);
  EXPECT_EQ(f->lampOn, 1);
  const hostsim::LightState light = Light(*flood);
  EXPECT_TRUE(light.active);
  EXPECT_TRUE(Beacon(*flood).active);
  EXPECT_EQ(light.range, 120.0);
  EXPECT_EQ(light.penumbra, 0.6109);
  EXPECT_EQ(flood->animations[f->animAz].state, 0.25);
  EXPECT_EQ(flood->animations[f->animAlt].state, 0.6);
  EXPECT_EQ(light.intensity, 1.0) << "intensity is not saved";
  const double e = 0.1 * kPi;
  EXPECT_TRUE(VecNear(light.direction, {std::cos(e), std::sin(e), 0}, 1e-12));
  ASSERT_NE(flood->visual, nullptr);
  EXPECT_EQ(flood->visual->meshes.at(0)->materials.at(1).emissive.a, 1.0f) << "glass lit";
  EXPECT_EQ(AsLamp(*hook)->lampOn, 0);

  world.SaveScenario(again);
  const std::string second = ReadFile(again);
  for (const char* name : {"Hook", "Flood"})
    for (const char* k : {"SPT", "PAT", "GBL"})
      EXPECT_EQ(LampLine(second, name, k), LampLine(first, name, k)) << name << " " << k;
}

}  // namespace
