// The lamp's scenario lines: what a save writes, how a load reads the lines (and hands the
// others to the host), and that saving and loading again keeps the lamp's state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

// The text of a quoted journal argument ("line" -> line), with \xNN escapes kept.
std::string Quoted(const std::string& args) {
  auto b = args.find('"');
  auto e = args.rfind('"');
  return b == std::string::npos || e == b ? std::string() : args.substr(b + 1, e - b - 1);
}

TEST(LampScenario, DefaultsAreSavedAsThreeLines) {
  LampWorld w;
  w.AddLamp();
  w.journal().Clear();
  const std::string text = w.world().ScenarioText();
  EXPECT_EQ(LampLine(text, "L1", "SPT").value_or("<none>"), "0 300.0000 0.3491");
  EXPECT_EQ(LampLine(text, "L1", "PAT").value_or("<none>"),
            "0.0000 0.0000 0.0000 0.0000 0.0000 0.0000 0.0000 0.0000 0.0000");
  EXPECT_EQ(LampLine(text, "L1", "GBL").value_or("<none>"), "0.50000 0.00000");

  auto writes = HostCalls(w.journal(), "zapiWriteScenario_string");
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_NE(writes[0].args.find("\"SPT\""), std::string::npos) << writes[0].args;
  EXPECT_NE(writes[1].args.find("\"PAT\""), std::string::npos) << writes[1].args;
  EXPECT_NE(writes[2].args.find("\"GBL\""), std::string::npos) << writes[2].args;

  // The host's lines come first, then the lamp's in the order SPT, PAT, GBL.
  auto block = BlockLines(text, "L1");
  ASSERT_GE(block.size(), 3u);
  EXPECT_EQ(block[block.size() - 3].rfind("SPT ", 0), 0u);
  EXPECT_EQ(block[block.size() - 2].rfind("PAT ", 0), 0u);
  EXPECT_EQ(block[block.size() - 1].rfind("GBL ", 0), 0u);
}

struct LoadRow {
  const char* name;
  std::vector<std::string> lines;
  int lampOn;
  double range, aperture, alt, az;
  VECTOR3 pos, dir, rot;
  std::vector<std::string> toHost;
};

TEST(LampScenario, LoadingReadsLampLinesAndPassesTheRestOn) {
  const double A = kDefaultAperture;
  const VECTOR3 O{0, 0, 0};
  const LoadRow rows[] = {
      {"no lamp lines", {}, 0, 300, A, 0.5, 0, O, O, O, {}},
      {"lower-case key", {"spt 1 50 0.5"}, 1, 50, 0.5, 0.5, 0, O, O, O, {}},
      {"mixed-case key and tab", {"Spt\t1 20 0.2"}, 1, 20, 0.2, 0.5, 0, O, O, O, {}},
      {"longer key reads nothing", {"SPTX 1 2 3"}, 0, 300, A, 0.5, 0, O, O, O, {}},
      {"single number", {"SPT 1"}, 1, 300, A, 0.5, 0, O, O, O, {}},
      {"bad second field", {"SPT 1 abc 7"}, 1, 300, A, 0.5, 0, O, O, O, {}},
      {"later line wins field by field",
       {"SPT 1 50 0.5", "SPT 0 75"},
       0,
       75,
       0.5,
       0.5,
       0,
       O,
       O,
       O,
       {}},
      {"loaded values are not clamped", {"SPT 1 150000 3"}, 1, 150000, 3, 0.5, 0, O, O, O, {}},
      {"any switch value", {"SPT -7 0.001 -2"}, -7, 0.001, -2, 0.5, 0, O, O, O, {}},
      {"GBL twice", {"GBL 0.25 0.75", "gbl 0.1"}, 0, 300, A, 0.1, 0.75, O, O, O, {}},
      {"GBL outside [0, 1]", {"GBL 1.5 -2.25"}, 0, 300, A, 1.5, -2.25, O, O, O, {}},
      {"PAT cut short", {"PAT 1 2 3 x 5"}, 0, 300, A, 0.5, 0, {1, 2, 3}, O, O, {}},
      // A number that is not finite does not convert: its line stops there.
      {"not finite stops the line",
       {"SPT 1 inf 0.5", "GBL 0.25 nan", "PAT 1 2 -NaN 4 5 6 7 8 9"},
       1,
       300,
       A,
       0.25,
       0,
       {1, 2, 0},
       O,
       O,
       {}},
      {"beyond double stops the line",
       {"SPT 0 1e999 0.5", "GBL -Infinity 0.5", "PAT 1e-999 -1e400"},
       0,
       300,
       A,
       0.5,
       0,
       O,
       O,
       O,
       {}},
      // Nor does a range the lamp cannot use or save: the range stays, the spread is not read.
      {"range below 0.0001 m stops the line",
       {"SPT 1 0 0.5", "SPT 0 -5 0.4", "SPT 1 1e-200 0.3", "SPT 1 0.00004 0.2"},
       1,
       300,
       A,
       0.5,
       0,
       O,
       O,
       O,
       {}},
      {"PAT complete",
       {"PAT 1 2 3 4 5 6 7 8 9"},
       0,
       300,
       A,
       0.5,
       0,
       {1, 2, 3},
       {4, 5, 6},
       {7, 8, 9},
       {}},
      {"short lines go to the host",
       {"", "AB", "SP"},
       0,
       300,
       A,
       0.5,
       0,
       O,
       O,
       O,
       {"", "AB", "SP"}},
      {"lamp lines between host lines",
       {"SPT 1 60 0.4", "POS 1 2 3", "GBL 0.6 0.2", "FOO bar", "PAT 1 2 3 0 0 1 0 1 0",
        "ORI 0 0 0"},
       1,
       60,
       0.4,
       0.6,
       0.2,
       {1, 2, 3},
       {0, 0, 1},
       {0, 1, 0},
       {"POS 1 2 3", "FOO bar", "ORI 0 0 0"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& v = w.SetUpLamp();
    auto* lamp = AsLamp(v);
    w.journal().Clear();
    w.world().LoadVesselState(v, r.lines);
    auto calls = CallsDuring(w.journal(), "clbkLoadScenario");

    EXPECT_EQ(lamp->lampOn, r.lampOn);
    EXPECT_EQ(lamp->range, r.range);
    EXPECT_EQ(lamp->aperture, r.aperture);
    EXPECT_EQ(lamp->altState, r.alt);
    EXPECT_EQ(lamp->azState, r.az);
    EXPECT_TRUE(VecNear(lamp->storedPos, r.pos, 0));
    EXPECT_TRUE(VecNear(lamp->storedDir, r.dir, 0));
    EXPECT_TRUE(VecNear(lamp->storedRot, r.rot, 0));

    std::vector<std::string> passed;
    for (const auto& e : calls)
      if (Method(e.call) == "ParseScenarioLineEx") passed.push_back(Quoted(e.args));
    EXPECT_EQ(passed, r.toHost);
    for (const std::string_view kept : v.keptLines) EXPECT_NE(kept.rfind("SPT", 0), 0u) << kept;

    // The load ends by posing the head and giving the light the loaded parameters.
    EXPECT_EQ(v.animations[lamp->animAlt].state, r.alt);
    EXPECT_EQ(v.animations[lamp->animAz].state, r.az);
    const double a = r.az * 2 * kPi, e = (r.alt - 0.5) * kPi;
    const VECTOR3 beam{std::sin(a) * std::cos(e), std::sin(e), std::cos(a) * std::cos(e)};
    EXPECT_TRUE(VecNear(lamp->beamDir, beam, 1e-12));
    const hostsim::LightState light = Light(v);
    EXPECT_TRUE(VecNear(light.direction, beam, 1e-12));
    EXPECT_EQ(light.range, r.range);
    EXPECT_EQ(light.penumbra, r.aperture);
  }
}

TEST(LampScenario, SavingRoundsToFourAndFiveDecimals) {
  TempDir dir;
  std::string saved;
  {
    LampWorld w;
    w.AddLamp("L1", {"SPT 1 123.456789 0.3490658503988659", "GBL 0.123456789 0.987654321",
                     "PAT 1.23456 -2.5 0.00004 0 0.6 0.8 1 0 0"});
    saved = w.world().ScenarioText();
    EXPECT_EQ(LampLine(saved, "L1", "SPT").value_or(""), "1 123.4568 0.3491");
    EXPECT_EQ(LampLine(saved, "L1", "GBL").value_or(""), "0.12346 0.98765");
    EXPECT_EQ(LampLine(saved, "L1", "PAT").value_or(""),
              "1.2346 -2.5000 0.0000 0.0000 0.6000 0.8000 1.0000 0.0000 0.0000");
  }
  auto file = dir.Write("round.scn", saved);
  hostsim::World world(ExamplePaths());
  world.LoadScenario(file);
  auto* v = world.FindVessel("L1");
  ASSERT_NE(v, nullptr);
  auto* lamp = AsLamp(*v);
  EXPECT_EQ(lamp->range, 123.4568);
  EXPECT_EQ(lamp->aperture, 0.3491);
  EXPECT_EQ(lamp->altState, 0.12346);
  EXPECT_EQ(lamp->azState, 0.98765);
  EXPECT_TRUE(Light(*v).active);
  auto hud = world.DrawHUD(*v, 1024, 768);
  ASSERT_GE(hud.size(), 6u);
  EXPECT_EQ(hud[5].text, "[M] = Enter Spread Angle 20.0\xB0");
}

TEST(LampScenario, SaveWhileAttachedWritesTheSlot) {
  LampWorld w;
  auto& tug = w.AddParent("Tug", "tug");
  auto& v = w.AddLamp("L1", {"PAT 9 9 9 0 0 1 0 1 0"});
  auto* lamp = AsLamp(v);
  w.Hang(v, tug, 2);
  w.Frame(0.02);  // applies the loaded placement
  LampWorld::SetSlot(tug, 2, {{0.5, 0.6, 0.7}, {0, 0.6, 0.8}, {1, 0, 0}});
  w.Frame(0.02, {ZKEY_LSHIFT, ZKEY_NUMPAD1});  // and fine-adjust it: x + 0.01

  const std::string want = "0.5100 0.6000 0.7000 0.0000 0.6000 0.8000 1.0000 0.0000 0.0000";
  const std::string first = w.world().ScenarioText();
  EXPECT_EQ(LampLine(first, "L1", "PAT").value_or(""), want);
  EXPECT_TRUE(VecNear(lamp->storedPos, {0.51, 0.6, 0.7}, 1e-12));
  EXPECT_TRUE(VecNear(lamp->storedDir, {0, 0.6, 0.8}, 0));

  EXPECT_EQ(w.Press(ZKEY_V, {ZKEY_LSHIFT}), 1);
  ASSERT_EQ(v.Parent(), nullptr);
  const std::string second = w.world().ScenarioText();
  EXPECT_EQ(LampLine(second, "L1", "PAT").value_or(""), want);
  EXPECT_EQ(LampLine(second, "L1", "SPT"), LampLine(first, "L1", "SPT"));
  EXPECT_EQ(LampLine(second, "L1", "GBL"), LampLine(first, "L1", "GBL"));
}

TEST(LampScenario, AbsurdValuesStayInsideTheLineBuffer) {
  LampWorld w;
  w.AddLamp("L1",
            {"SPT 1 1e300 1e300", "PAT 1e300 -1e300 1e300 1e300 1e300 1e300 1e300 1e300 1e300",
             "GBL 1e300 -1e300"});
  const std::string text = w.world().ScenarioText();
  for (const char* key : {"SPT", "PAT", "GBL"}) {
    auto line = LampLine(text, "L1", key);
    ASSERT_TRUE(line.has_value()) << key;
    EXPECT_LE(line->size(), 255u) << key;
  }
}

// A line whose fixed-point text would overrun the buffer is written in exact exponent form, so
// the absurd values come back as they were instead of as cut digits.
TEST(LampScenario, AbsurdValuesReadBackUnchanged) {
  LampWorld w;
  w.AddLamp("L1",
            {"SPT 1 1e300 -2.5e299", "PAT 1e300 -1e300 3 1e300 0 0 0 1e300 0", "GBL 1e300 -1e300"});
  const std::string text = w.world().ScenarioText();
  const std::string spt = LampLine(text, "L1", "SPT").value_or("");
  EXPECT_EQ(spt.rfind("1 1.0000000000000001e+300 ", 0), 0u) << spt;
  // Ordinary lines keep their fixed-point form.
  LampWorld plain;
  plain.AddLamp("L2", {"SPT 1 1e20 0.5"});
  EXPECT_EQ(LampLine(plain.world().ScenarioText(), "L2", "SPT").value_or(""),
            "1 100000000000000000000.0000 0.5000");

  LampWorld again;
  auto& v = again.AddLamp("L1", BlockLines(text, "L1"));
  auto* lamp = AsLamp(v);
  EXPECT_EQ(lamp->range, 1e300);
  EXPECT_EQ(lamp->aperture, -2.5e299);
  EXPECT_EQ(lamp->storedPos.x, 1e300);
  EXPECT_EQ(lamp->storedPos.y, -1e300);
  EXPECT_EQ(lamp->storedPos.z, 3.0);
  EXPECT_EQ(lamp->storedRot.y, 1e300);
  EXPECT_EQ(lamp->altState, 1e300);
  EXPECT_EQ(lamp->azState, -1e300);
  EXPECT_EQ(again.world().ScenarioText(), text);
}

// A save before the first time step keeps the placement loaded from the scenario: the parent's
// point still holds its configured values then, and copying those would lose the placement.
TEST(LampScenario, SaveBeforeFirstStepKeepsLoadedPlacement) {
  LampWorld w;
  auto& tug = w.AddParent("Tug", "tug");
  auto& v = w.AddLamp("L1", {"PAT 1 2 3 0 0 1 0 1 0"});
  w.Hang(v, tug, 1);
  const std::string want = "1.0000 2.0000 3.0000 0.0000 0.0000 1.0000 0.0000 1.0000 0.0000";
  EXPECT_EQ(LampLine(w.world().ScenarioText(), "L1", "PAT").value_or(""), want);

  w.Frame(0.02);  // applies the placement to the deck point
  auto slot = LampWorld::GetSlot(tug, 1);
  EXPECT_TRUE(VecNear(slot.pos, {1, 2, 3}, 0));
  EXPECT_EQ(LampLine(w.world().ScenarioText(), "L1", "PAT").value_or(""), want);

  // Without a placement to apply, a save before the first step captures the point as it is.
  LampWorld fresh;
  auto& tug2 = fresh.AddParent("Tug", "tug");
  auto& v2 = fresh.AddLamp("L1");
  fresh.Hang(v2, tug2, 0);
  EXPECT_EQ(LampLine(fresh.world().ScenarioText(), "L1", "PAT").value_or(""),
            "-1.5000 0.6000 1.0000 0.0000 1.0000 0.0000 0.0000 0.0000 1.0000");
}

// Random lamp states, extreme but finite, saved, loaded and saved again: the second save is
// byte for byte the first.
TEST(LampScenario, SaveLoadSaveIsStable) {
  std::mt19937_64 rng(20240611);
  auto pick = [&](std::initializer_list<double> xs) {
    std::vector<double> v(xs);
    return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
  };
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  auto number = [&](double scale) {
    switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
      case 0:
        return 0.0;
      case 1:
        return pick({1e15, -1e15, 123456789.98765, -0.00004999, 0.00005, 1e-300});
      case 2:
        return std::round(uniform(-scale, scale));
      default:
        return uniform(-scale, scale);
    }
  };
  auto fmt = [](double x) {
    char b[40];
    std::snprintf(b, sizeof b, "%.17g", x);
    return std::string(b);
  };

  TempDir dir;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    auto first = dir.path() / ("first" + std::to_string(round) + ".scn");
    auto second = dir.path() / ("second" + std::to_string(round) + ".scn");
    {
      LampWorld w;
      for (int i = 0; i < 15; ++i) {
        const int on = static_cast<int>(pick({0, 1, 2, -3, 2147483647}));
        std::string spt = "SPT " + std::to_string(on) + " " + fmt(1 + std::fabs(number(1e6))) +
                          " " + fmt(number(4));
        std::string pat = "PAT";
        for (int k = 0; k < 9; ++k) pat += " " + fmt(number(100));
        std::string gbl = "GBL " + fmt(number(1)) + " " + fmt(number(1));
        w.AddLamp("L" + std::to_string(i), {spt, pat, gbl});
      }
      w.world().SaveScenario(first);
    }
    {
      hostsim::World world(ExamplePaths());
      world.LoadScenario(first);
      world.SaveScenario(second);
    }
    const std::string a = ReadFile(first), b = ReadFile(second);
    for (int i = 0; i < 15; ++i) {
      const std::string name = "L" + std::to_string(i);
      for (const char* key : {"SPT", "PAT", "GBL"})
        EXPECT_EQ(LampLine(a, name, key), LampLine(b, name, key)) << name << " " << key;
    }
    EXPECT_EQ(a, b);
  }
}

}  // namespace
