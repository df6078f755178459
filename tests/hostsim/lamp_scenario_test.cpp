// The runtime driving the real lamp module through a scenario: the attachment is restored
// before the module's first step, the lamp's pose follows the tug's point, and saving, loading
// and saving again gives the same file.
#include <gtest/gtest.h>

#include <cmath>

#include "hostsim/runtime_fixture.h"

using hostsim::World;
using hostsim_test::ReadFile;

namespace {

TEST(LampScenario, AttachedLampRoundTrip) {
  testsupport::TempDir dir;
  auto file = dir.Write("deck.scn",
                        "FOCUS Lamp\n"
                        "VESSEL Tug tug\n  POS 5 0 -2\n  ORI 90 0 0\nEND\n"
                        "VESSEL Lamp lumipod\n  ATTACHED Tug 1 GS\n  SPT 1 250.0000 0.5000\n"
                        "  GBL 0.60000 0.20000\nEND\n");
  World w(testsupport::ExamplePaths());
  w.LoadScenario(file);
  EXPECT_TRUE(w.TakeWarnings().empty());
  hostsim::Vessel* lamp = w.FindVessel("Lamp");
  hostsim::Vessel* tug = w.FindVessel("Tug");
  ASSERT_NE(lamp, nullptr);
  ASSERT_EQ(lamp->Parent(), tug);
  EXPECT_EQ(w.Focus(), lamp);
  ASSERT_TRUE(lamp->visual);
  ASSERT_EQ(lamp->lights.size(), 1u);

  // The lamp's point "GS" (0, -0.37, 0) sits on the tug's DECK2 point (1.5, 0.6, 1.0).
  VECTOR3 gs = lamp->WorldPose().Apply({0, -0.37, 0});
  VECTOR3 deck = tug->WorldPose().Apply({1.5, 0.6, 1.0});
  EXPECT_NEAR(gs.x, deck.x, 1e-9);
  EXPECT_NEAR(gs.y, deck.y, 1e-9);
  EXPECT_NEAR(gs.z, deck.z, 1e-9);

  w.Step(0.02);
  auto first = dir.path() / "first.scn";
  w.SaveScenario(first);
  World again(testsupport::ExamplePaths());
  again.LoadScenario(first);
  again.Step(0.02);
  auto second = dir.path() / "second.scn";
  again.SaveScenario(second);
  std::string a = ReadFile(first), b = ReadFile(second);
  // Only the time differs: the second world ran one more step.
  EXPECT_EQ(a.substr(a.find('\n')), b.substr(b.find('\n')));
  EXPECT_NE(a.find("  ATTACHED Tug 1 GS\n"), std::string::npos) << a;
}

// A file saved after the lamp's fine placement was applied, loaded and saved again before any
// time step: the same bytes. Until the first step the tug's point holds its configured values
// and the lamp's pose follows them, but nothing has moved the lamp since the load: it keeps
// the POS and ORI of its file.
TEST(LampScenario, ASaveRightAfterALoadIsTheSameFile) {
  testsupport::TempDir dir;
  auto placed = dir.Write("placed.scn",
                          "TITLE Placed\nVESSEL Tug tug\nEND\n"
                          "VESSEL Lamp lumipod\n  ATTACHED Tug 3 GS\n"
                          "  PAT 1.5000 1.0000 -1.0000 0.0000 0.8000 0.6000 1.0000 0.0000 0.0000\n"
                          "END\n");
  World w(testsupport::ExamplePaths());
  w.LoadScenario(placed);
  w.Step(0.02);  // the placement is applied: the lamp moves up the deck point
  const auto first = dir.path() / "first.scn";
  w.SaveScenario(first);

  World again(testsupport::ExamplePaths());
  again.LoadScenario(first);
  const auto second = dir.path() / "second.scn";
  again.SaveScenario(second);
  EXPECT_EQ(ReadFile(second), ReadFile(first));

  // Moved after the load (here by the first step, which applies the placement to the deck
  // point the lamp hangs on), it saves where it stands.
  again.Step(0.02);
  again.SaveScenario(second);
  const std::string moved = ReadFile(second), placedFile = ReadFile(first);
  EXPECT_EQ(moved.substr(moved.find("FOCUS")), placedFile.substr(placedFile.find("FOCUS")));
}

// Each lamp's glass is its own: a lamp that is off stays dark beside one that is on.
TEST(LampScenario, ALampThatIsOffKeepsItsGlassDarkBesideOneThatIsOn) {
  testsupport::TempDir dir;
  auto file = dir.Write("two.scn",
                        "VESSEL On lumipod\n  SPT 1 150.0000 0.5236\nEND\n"
                        "VESSEL Off lumipod\n  POS 4 0 0\nEND\n");
  World w(testsupport::ExamplePaths());
  w.LoadScenario(file);
  const auto glass = [&](const char* name) {
    const hostsim::Vessel* v = w.FindVessel(name);
    EXPECT_TRUE(v->visual);
    const hostsim::DeviceMesh& dm = *v->visual->meshes.at(0);
    EXPECT_EQ(dm.mesh->materialNames().at(1), "glass");
    return std::make_pair(dm.materials.at(1).emissive, dm.mesh->materials.at(1).emissive);
  };
  const auto [onVisual, onTemplate] = glass("On");
  EXPECT_GT(onVisual.r, 0.5f);
  EXPECT_GT(onTemplate.r, 0.5f);
  const auto [offVisual, offTemplate] = glass("Off");
  EXPECT_EQ(offVisual.r, 0.0f);
  EXPECT_EQ(offTemplate.r, 0.0f);
}

}  // namespace
