// Lamp states put straight into the lamp's fields (random, extreme but finite, and a few not
// finite), saved, loaded by a new world and saved again: every loaded value is the saved
// one to the decimals of its line (4 for SPT and PAT, 5 for GBL), the switch comes back
// exactly, and the second save is the first byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

struct State {
  std::int32_t lampOn;
  double range, aperture, alt, az;
  VECTOR3 pos, dir, rot;
};

// What reading the saved text of `v` with `decimals` gives.
double Saved(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return std::strtod(buf, nullptr);
}

void Put(lumipod* lamp, const State& s) {
  lamp->lampOn = s.lampOn;
  lamp->range = s.range;
  lamp->aperture = s.aperture;
  lamp->altState = s.alt;
  lamp->azState = s.az;
  lamp->storedPos = s.pos;
  lamp->storedDir = s.dir;
  lamp->storedRot = s.rot;
}

// Equal as loaded values: the same number, or both not a number.
bool Same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void ExpectLoaded(lumipod* lamp, const State& s) {
  EXPECT_EQ(lamp->lampOn, s.lampOn);
  EXPECT_PRED2(Same, lamp->range, Saved(s.range, 4));
  EXPECT_PRED2(Same, lamp->aperture, Saved(s.aperture, 4));
  EXPECT_PRED2(Same, lamp->altState, Saved(s.alt, 5));
  EXPECT_PRED2(Same, lamp->azState, Saved(s.az, 5));
  const VECTOR3* got[3] = {&lamp->storedPos, &lamp->storedDir, &lamp->storedRot};
  const VECTOR3* want[3] = {&s.pos, &s.dir, &s.rot};
  for (int i = 0; i < 3; ++i) {
    EXPECT_PRED2(Same, got[i]->x, Saved(want[i]->x, 4)) << "vector " << i;
    EXPECT_PRED2(Same, got[i]->y, Saved(want[i]->y, 4)) << "vector " << i;
    EXPECT_PRED2(Same, got[i]->z, Saved(want[i]->z, 4)) << "vector " << i;
  }
}

// Saves lamps with the given states, loads the file into a new world, checks every lamp's
// loaded values and that a second save is the first.
void RoundTrip(const std::vector<State>& states) {
  TempDir dir;
  const auto file = dir.path() / "first.scn";
  {
    LampWorld w;
    for (std::size_t i = 0; i < states.size(); ++i)
      Put(AsLamp(w.AddLamp("L" + std::to_string(i))), states[i]);
    w.world().SaveScenario(file);
  }
  hostsim::World world(ExamplePaths());
  world.LoadScenario(file);
  for (std::size_t i = 0; i < states.size(); ++i) {
    SCOPED_TRACE("lamp L" + std::to_string(i));
    auto* v = world.FindVessel("L" + std::to_string(i));
    ASSERT_NE(v, nullptr);
    ExpectLoaded(AsLamp(*v), states[i]);
  }
  const auto second = dir.path() / "second.scn";
  world.SaveScenario(second);
  std::string a, b;
  {
    std::FILE* f = std::fopen(file.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    for (int c; (c = std::fgetc(f)) != EOF;) a += static_cast<char>(c);
    std::fclose(f);
    f = std::fopen(second.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    for (int c; (c = std::fgetc(f)) != EOF;) b += static_cast<char>(c);
    std::fclose(f);
  }
  EXPECT_EQ(a, b);
}

TEST(LampRoundTrip, RandomExtremeButFiniteStates) {
  std::mt19937_64 rng(7041);
  auto any = [&](std::initializer_list<double> xs) {
    std::vector<double> v(xs);
    return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
  };
  // Magnitudes up to 1e15, whose nine PAT values still fit the lamp's line of 255 characters;
  // ties at the last decimal, values below it, and plain numbers of every size.
  auto number = [&]() -> double {
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
      case 0:
        return any({0.0, -0.0, 1e15, -1e15, 999999999999999.9, 0.00005, -0.00005, 0.000049999,
                    1e-300, -4.9406564584124654e-324, 0.12345, 2.5e-5});
      case 1:
        return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng),
                          std::uniform_int_distribution<int>(-60, 49)(rng));
      case 2:
        return std::round(std::uniform_real_distribution<double>(-1e6, 1e6)(rng)) / 10000.0;
      default:
        return std::uniform_real_distribution<double>(-1000, 1000)(rng);
    }
  };
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<State> states;
    for (int i = 0; i < 20; ++i) {
      State s{};
      s.lampOn = static_cast<std::int32_t>(any({0, 1, -1, 2, 2147483647.0, -2147483648.0, 77}));
      // A range saved as zero or less does not load: ranges here are above 1 m.
      s.range = 1 + std::fabs(number());
      s.aperture = number();
      s.alt = number();
      s.az = number();
      s.pos = {number(), number(), number()};
      s.dir = {number(), number(), number()};
      s.rot = {number(), number(), number()};
      states.push_back(s);
    }
    RoundTrip(states);
  }
}

// Values that are not finite are saved as the C library spells them, but a load does not take
// them back: each stops its line (the fields before it are read, it and those after it keep
// their values), so the lamp loads finite values only, and saves them again as loaded.
TEST(LampRoundTrip, NotFiniteValuesAreSavedButNotLoadedBack) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TempDir dir;
  const auto file = dir.path() / "first.scn";
  {
    LampWorld w;
    Put(AsLamp(w.AddLamp("L0")),
        {1, inf, -inf, nan, -nan, {inf, -inf, nan}, {0, nan, 1}, {-inf, 0, 0}});
    Put(AsLamp(w.AddLamp("L1")), {0, 7, nan, 0.25, inf, {1, 2, -inf}, {0, 1, 0}, {0, 0, 1}});
    w.world().SaveScenario(file);
  }
  hostsim::World world(ExamplePaths());
  world.LoadScenario(file);
  const VECTOR3 O{0, 0, 0};
  const State loaded[] = {{1, 300, kDefaultAperture, 0.5, 0, O, O, O},
                          {0, 7, kDefaultAperture, 0.25, 0, {1, 2, 0}, O, O}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const lumipod* lamp = AsLamp(*world.FindVessel("L" + std::to_string(i)));
    const State& s = loaded[i];
    EXPECT_EQ(lamp->lampOn, s.lampOn);
    EXPECT_EQ(lamp->range, s.range);
    EXPECT_EQ(lamp->aperture, s.aperture);
    EXPECT_EQ(lamp->altState, s.alt);
    EXPECT_EQ(lamp->azState, s.az);
    EXPECT_TRUE(VecNear(lamp->storedPos, s.pos, 0));
    EXPECT_TRUE(VecNear(lamp->storedDir, s.dir, 0));
    EXPECT_TRUE(VecNear(lamp->storedRot, s.rot, 0));
  }
  const std::string second = world.ScenarioText();
  for (const char* word : {"nan", "inf", "NAN", "INF"})
    EXPECT_EQ(second.find(word), std::string::npos) << second;
}

}  // namespace
