// The world's vessels through their lives: found by name while they live, stepped in every
// frame, drifting when released, made from their class's configuration; and a HUD list drawn
// into again and again.
#include "hostsim/world.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hostsim/runtime/scenario_text.h"
#include "hostsim/runtime_fixture.h"

using hostsim::Error;
using hostsim::HudOp;
using hostsim::Vessel;
using hostsim::World;
using hostsim_test::ExpectSameOps;
using hostsim_test::RuntimeWorld;

namespace {

// The vessels whose clbkBeforeStep was called, in the journal's order.
std::vector<std::string> SteppedVessels(World& w) {
  std::vector<std::string> out;
  for (const auto& e : w.journal().Entries())
    if (e.kind == hostsim::Journal::Kind::Callback && e.call == "clbkBeforeStep")
      out.push_back(e.self);
  return out;
}

ATTACHMENTHANDLE Point(const Vessel& v, bool toParent, std::uint32_t i) {
  return v.iface()->GetAttachmentHandle(toParent, i);
}

TEST(World, NamesAreFoundWithoutRegardToCaseWhileTheVesselLives) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& a = w.CreateVessel("Alpha", "probe");
  EXPECT_EQ(w.FindVessel("ALPHA"), &a);
  EXPECT_EQ(w.FindVessel("alpha"), &a);
  EXPECT_EQ(w.FindVessel("Alph"), nullptr);
  EXPECT_THROW(w.CreateVessel("aLPHA", "block"), Error);
  w.DestroyVessel(a);
  EXPECT_EQ(w.FindVessel("Alpha"), nullptr);
  Vessel& again = w.CreateVessel("alpha", "block");
  EXPECT_EQ(w.FindVessel("ALPHA"), &again);
}

TEST(World, AScenarioReplacingVesselsOfTheSameNameLeavesTheNewOnesFound) {
  RuntimeWorld rw;
  World& w = *rw.world;
  w.CreateVessel("Keep", "probe");
  w.CreateVessel("Gone", "block");
  auto file = rw.Write("s.scn", "VESSEL keep probe\nEND\nVESSEL Other block\nEND\n");
  w.LoadScenario(file, {false});
  ASSERT_EQ(w.Vessels().size(), 2u);
  EXPECT_EQ(w.FindVessel("KEEP"), w.Vessels()[0]);
  EXPECT_EQ(w.FindVessel("KEEP")->name(), "keep");
  EXPECT_EQ(w.FindVessel("other"), w.Vessels()[1]);
  EXPECT_EQ(w.FindVessel("Gone"), nullptr);
  EXPECT_EQ(zapiGetObjectByName("Keep"), w.Vessels()[0]->handle());
}

TEST(World, ARefusedScenarioLeavesTheOldNamesAndNoneOfItsOwn) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& keep = w.CreateVessel("Keep", "probe");
  // "Fresh" is made, then "B" fails (its module makes no object): the world goes back.
  auto file = rw.Write("s.scn", "VESSEL Fresh probe\nEND\nVESSEL B nullmod\nEND\n");
  EXPECT_THROW(w.LoadScenario(file, {false}), Error);
  EXPECT_EQ(w.FindVessel("keep"), &keep);
  EXPECT_EQ(w.FindVessel("Fresh"), nullptr);
  EXPECT_EQ(w.FindVessel("B"), nullptr);
}

// A chain of 100,000 vessels, each hanging on the one before: loaded, checked, hung up, placed,
// saved and ended in time in proportion to its length, and without a recursion as deep as the
// chain.
TEST(World, AHundredThousandDeepChainLoadsSavesAndEnds) {
  constexpr int kDepth = 100000;
  RuntimeWorld rw;
  World& w = *rw.world;
  w.journal().SetEnabled(false);
  std::string text = "TITLE Chain\nVESSEL V0 block\nEND\n";
  for (int i = 1; i < kDepth; ++i)
    text += "VESSEL V" + std::to_string(i) + " block\n  ATTACHED V" + std::to_string(i - 1) +
            " 0 TOP\nEND\n";
  w.LoadScenario(rw.Write("chain.scn", text), {false});
  ASSERT_EQ(w.Vessels().size(), static_cast<std::size_t>(kDepth));
  const Vessel& last = *w.Vessels().back();
  ASSERT_EQ(last.Parent(), w.Vessels()[kDepth - 2]);
  // Each block stands 2 m above the one it hangs on.
  EXPECT_DOUBLE_EQ(last.WorldPose().t.y, 2.0 * (kDepth - 1));
  // The root moved, the chain saved where each block stands now, in time in proportion to its
  // length as well.
  hostsim::Transform moved = w.FindVessel("V0")->FreePose();
  moved.t.x = 5;
  w.FindVessel("V0")->SetFreePose(moved);
  const std::string saved = w.ScenarioText();
  EXPECT_NE(saved.find("VESSEL V99999 block\n  POS 5 199998 0\n"), std::string::npos);
}

// The same chain closed into a ring at its far end: found by one walk along it.
TEST(World, AHundredThousandVesselRingIsFound) {
  constexpr std::size_t kDepth = 100000;
  hostsim::ScenarioFile s;
  for (std::size_t i = 0; i < kDepth; ++i) {
    hostsim::ScenarioVessel& v = s.vessels.emplace_back();
    v.name = "V" + std::to_string(i);
    v.className = "block";
    v.line = static_cast<int>(i) + 1;
    v.attached = std::make_unique<hostsim::ScenarioAttachment>(hostsim::ScenarioAttachment{
        "V" + std::to_string((i + kDepth - 1) % kDepth), 0, "TOP", v.line});
  }
  try {
    hostsim::CheckScenario(s, "ring.scn");
    FAIL() << "a ring of vessels passed";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "ring.scn:1: ATTACHED lines form a cycle through \"V0\"");
  }
}

TEST(World, EveryFrameReachesTheVesselsOfThatFrame) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& a = w.CreateVessel("A", "probe");
  w.Step(0.1);
  w.CreateVessel("B", "probe");
  w.Step(0.1);
  w.DestroyVessel(a);
  w.Step(0.1);
  w.CreateVessel("C", "probe");
  w.CreateVessel("D", "block");  // no callbacks
  w.Step(0.1);
  const std::vector<std::string> expected = {"A", "A", "B", "B", "B", "C"};
  EXPECT_EQ(SteppedVessels(w), expected);
}

TEST(World, AFrameAfterAScenarioLoadStepsTheLoadedVessels) {
  RuntimeWorld rw;
  World& w = *rw.world;
  w.CreateVessel("Old", "probe");
  w.Step(0.1);
  w.LoadScenario(rw.Write("s.scn", "VESSEL New1 probe\nEND\nVESSEL New2 probe\nEND\n"), {false});
  w.journal().Clear();
  w.Step(0.1);
  const std::vector<std::string> expected = {"New1", "New2"};
  EXPECT_EQ(SteppedVessels(w), expected);
}

TEST(World, AReleasedVesselDriftsUntilItIsHungUpAgain) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& a = w.CreateVessel("A", "block");
  Vessel& b = w.CreateVessel("B", "block");
  Vessel& c = w.CreateVessel("C", "block");
  ASSERT_TRUE(a.iface()->AttachChild(b.handle(), Point(a, false, 0), Point(b, true, 0)));
  w.Step(0.5);  // nothing moves yet
  EXPECT_EQ(c.FreePose().t.y, 0.0);
  ASSERT_TRUE(a.iface()->DetachChild(Point(a, false, 0), 2.0));
  const double y0 = b.FreePose().t.y;
  w.Step(0.5);
  w.Step(0.5);
  EXPECT_NEAR(b.FreePose().t.y, y0 + 2.0, 1e-12);  // 2 m/s along the slot's +y, for 1 s
  // Hung on C, it stops; released without speed from a still parent, it stays.
  ASSERT_TRUE(c.iface()->AttachChild(b.handle(), Point(c, false, 0), Point(b, true, 0)));
  w.Step(0.5);
  ASSERT_TRUE(c.iface()->DetachChild(Point(c, false, 0), 0.0));
  const VECTOR3 still = b.FreePose().t;
  w.Step(0.5);
  EXPECT_EQ(b.FreePose().t.x, still.x);
  EXPECT_EQ(b.FreePose().t.y, still.y);
  EXPECT_EQ(b.FreePose().t.z, still.z);
}

TEST(World, EveryVesselOfAClassIsMadeFromItsConfiguration) {
  RuntimeWorld rw;
  World& w = *rw.world;
  std::string text;
  for (int i = 0; i < 5; ++i) {
    text += "VESSEL lamp" + std::to_string(i) + " lumipod\nEND\n";
    text += "VESSEL tug" + std::to_string(i) + " tug\nEND\n";
  }
  w.LoadScenario(rw.Write("s.scn", text), {false});
  ASSERT_EQ(w.Vessels().size(), 10u);
  for (int i = 0; i < 5; ++i) {
    Vessel* lamp = w.FindVessel("lamp" + std::to_string(i));
    Vessel* tug = w.FindVessel("tug" + std::to_string(i));
    ASSERT_NE(lamp, nullptr);
    ASSERT_NE(tug, nullptr);
    // SpotColour = 1.0 0.95 0.8 in the shipped class: the colour of the lamp's light.
    ASSERT_EQ(lamp->lights.size(), 1u);
    const COLOUR4 c = hostsim::ViewLight(*lamp->lights[0]).diffuse;
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.g, 0.95f);
    EXPECT_EQ(c.b, 0.8f);
    EXPECT_EQ(tug->physics.size, 4.0);
    EXPECT_EQ(tug->physics.emptyMass, 2500.0);
    EXPECT_EQ(tug->Points(false).size(), 4u);
    EXPECT_EQ(tug->Points(false)[3]->id, "DECK4");
  }
}

TEST(World, AClassChangedAfterALoadIsReadAgain) {
  RuntimeWorld rw;
  World& w = *rw.world;
  w.LoadScenario(rw.Write("s.scn", "VESSEL B1 block\nEND\n"), {false});
  EXPECT_EQ(w.FindVessel("B1")->physics.size, 1.0);
  rw.Write("config/block.cfg", "Size = 7\n");
  EXPECT_EQ(w.CreateVessel("B2", "block").physics.size, 7.0);
  w.LoadScenario(rw.Write("t.scn", "VESSEL B3 block\nEND\n"), {false});
  EXPECT_EQ(w.FindVessel("B3")->physics.size, 7.0);
}

TEST(World, HostLinesOfALoadedBlockStillApply) {
  RuntimeWorld rw;
  World& w = *rw.world;
  w.LoadScenario(rw.Write("s.scn",
                          "VESSEL P probe\n  POS 1.5 -2 3e2\n  ORI 0 0 0\n  PROBE x\nEND\n"
                          "VESSEL L lumipod\n  POS 0.25 0 -1\n  SPT 1 50 0.5\nEND\n"),
                 {false});
  EXPECT_EQ(w.FindVessel("P")->FreePose().t.x, 1.5);
  EXPECT_EQ(w.FindVessel("P")->FreePose().t.y, -2.0);
  EXPECT_EQ(w.FindVessel("P")->FreePose().t.z, 300.0);
  EXPECT_EQ(w.FindVessel("L")->FreePose().t.x, 0.25);
  EXPECT_EQ(w.FindVessel("L")->FreePose().t.z, -1.0);
  ASSERT_EQ(w.FindVessel("L")->lights.size(), 1u);
  EXPECT_EQ(hostsim::ViewLight(*w.FindVessel("L")->lights[0]).range, 50.0);
}

TEST(World, AHudListDrawnIntoAgainHoldsJustThatFrame) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& lamp = w.CreateVessel("L", "lumipod");
  Vessel& probe = w.CreateVessel("P", "probe");
  const auto lampOps = w.DrawHUD(lamp, 1920, 1080);
  ASSERT_EQ(lampOps.size(), 26u);
  std::vector<HudOp> ops = hostsim_test::LeftoverOps(40);
  w.DrawHUD(lamp, 1920, 1080, ops);
  ExpectSameOps(ops, lampOps);
  w.DrawHUD(lamp, 1920, 1080, ops);
  ExpectSameOps(ops, lampOps);
  // A frame with fewer operations drops the rest; one without VESSEL3 callbacks draws none.
  w.DrawHUD(probe, 640, 480, ops);
  ExpectSameOps(ops, w.DrawHUD(probe, 640, 480));
  EXPECT_LT(ops.size(), lampOps.size());
  Vessel& v2 = w.CreateVessel("V2", "probe_v2");
  w.DrawHUD(v2, 640, 480, ops);
  EXPECT_TRUE(ops.empty());
}

TEST(World, AHostMayDrawAModulesHudWithTheRecorderItself) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& lamp = w.CreateVessel("L", "lumipod");
  const auto expected = w.DrawHUD(lamp, 1920, 1080);
  HUDPAINTSPEC hps{};
  hps.W = 1920;
  hps.H = 1080;
  std::vector<HudOp> ops(3);
  w.journal().Clear();
  {
    hostsim::HudRecorder skp(w, lamp, ops);
    EXPECT_TRUE(lamp.callbacks()->clbkDrawHUD(1, &hps, &skp));
    EXPECT_EQ(skp.GetCharHeight(), 16);
  }
  ExpectSameOps(ops, expected);
  // Its calls are journalled as the host's.
  EXPECT_EQ(w.journal().Count("Sketchpad::Text"), 13u);
  EXPECT_EQ(w.journal().Count("Sketchpad::SetTextColor"), 13u);
  EXPECT_EQ(w.journal().Count("Sketchpad::GetCharHeight"), 1u);
}

}  // namespace
