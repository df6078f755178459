// Aiming the lamp head: the beam direction from the two animation states, the wrapping and
// clamping of the aiming steps, the host calls each step makes, and the head's mesh groups
// as the host turns them.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

std::string Gbl(double alt, double az) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "GBL %.17g %.17g", alt, az);
  return buf;
}

VECTOR3 ClosedForm(double az, double alt) {
  const double a = az * 2 * kPi, e = (alt - 0.5) * kPi;
  return {std::sin(a) * std::cos(e), std::sin(e), std::cos(a) * std::cos(e)};
}

struct BeamRow {
  double az, alt;
  VECTOR3 dir, beacon;
};

TEST(LampAiming, BeamDirectionWorkedValues) {
  const BeamRow rows[] = {
      {0, 0.5, {0, 0, 1}, {0, 0, 0.15}},
      {0.25, 0.5, {1, 0, 0}, {0.15, 0, 0}},
      {0.5, 0.5, {0, 0, -1}, {0, 0, -0.15}},
      {0.75, 0.5, {-1, 0, 0}, {-0.15, 0, 0}},
      {0, 1, {0, 1, 0}, {0, 0.15, 0}},
      {0, 0, {0, -1, 0}, {0, -0.15, 0}},
      {0.125, 0.75, {0.5, 0.707107, 0.5}, {0.075, 0.106066, 0.075}},
      {0.1, 0.7, {0.475528, 0.587785, 0.654508}, {0.071329, 0.088168, 0.098176}},
      {0.3, 0.2, {0.559017, -0.809017, -0.181636}, {0.083853, -0.121353, -0.027245}},
      {0.75, 0.9, {-0.309017, 0.951057, 0}, {-0.046353, 0.142658, 0}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Gbl(r.alt, r.az));
    LampWorld w;
    auto& v = w.AddLamp("L1", {Gbl(r.alt, r.az)});
    auto* lamp = AsLamp(v);
    EXPECT_TRUE(VecNear(lamp->beamDir, r.dir, 1e-6));
    EXPECT_TRUE(VecNear(lamp->beaconPos, r.beacon, 1e-6));
    EXPECT_TRUE(VecNear(lamp->beamDir, ClosedForm(r.az, r.alt), 1e-12));
    const double a = r.az * 2 * kPi;
    const double m[9] = {std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(lamp->beamMatrix[i], m[i], 1e-12) << i;
    // The light and the beacon follow the beam.
    EXPECT_TRUE(VecNear(Light(v).direction, lamp->beamDir, 0));
    ASSERT_NE(Beacon(v).pos, nullptr);
    EXPECT_TRUE(VecNear(*Beacon(v).pos, r.beacon, 1e-6));
    EXPECT_DOUBLE_EQ(v.animations[lamp->animAz].state, r.az);
    EXPECT_DOUBLE_EQ(v.animations[lamp->animAlt].state, r.alt);
  }
}

enum class Dir { AzPlus, AzMinus, AltPlus, AltMinus };

std::initializer_list<std::uint8_t> KeysFor(Dir d) {
  static const std::initializer_list<std::uint8_t> azp = {ZKEY_LSHIFT, ZKEY_RIGHT};
  static const std::initializer_list<std::uint8_t> azm = {ZKEY_LSHIFT, ZKEY_LEFT};
  static const std::initializer_list<std::uint8_t> altp = {ZKEY_LSHIFT, ZKEY_UP};
  static const std::initializer_list<std::uint8_t> altm = {ZKEY_LSHIFT, ZKEY_DOWN};
  switch (d) {
    case Dir::AzPlus:
      return azp;
    case Dir::AzMinus:
      return azm;
    case Dir::AltPlus:
      return altp;
    default:
      return altm;
  }
}

struct StepRow {
  const char* name;
  double alt, az;
  Dir dir;
  double dt;  // rotStep = 0.2 * dt
  double wantAlt, wantAz;
  bool exact;
};

TEST(LampAiming, StepsWrapAzimuthAndClampAltitude) {
  const StepRow rows[] = {
      {"az 0.95 + 0.1 wraps", 0.5, 0.95, Dir::AzPlus, 0.5, 0.5, 0.05, false},
      {"az 0.02 - 0.05 wraps", 0.5, 0.02, Dir::AzMinus, 0.25, 0.5, 0.97, false},
      {"az 0.9 + 0.1 is exactly 1 and stays", 0.5, 0.9, Dir::AzPlus, 0.5, 0.5, 1.0, true},
      {"az 0.05 - 0.05 is exactly 0 and stays", 0.5, 0.05, Dir::AzMinus, 0.25, 0.5, 0.0, true},
      {"az 0.3 + 2.0 wraps whole turns", 0.5, 0.3, Dir::AzPlus, 10.0, 0.5, 0.3, false},
      {"az 0.25 - 1.5 wraps whole turns", 0.5, 0.25, Dir::AzMinus, 7.5, 0.5, 0.75, false},
      {"alt 0.98 + 0.05 clamps to 1", 0.98, 0.0, Dir::AltPlus, 0.25, 1.0, 0.0, true},
      {"alt 0.01 - 0.05 clamps to 0", 0.01, 0.0, Dir::AltMinus, 0.25, 0.0, 0.0, true},
      {"alt 1 + stays 1", 1.0, 0.0, Dir::AltPlus, 0.25, 1.0, 0.0, true},
      {"alt 0 - stays 0", 0.0, 0.0, Dir::AltMinus, 0.25, 0.0, 0.0, true},
      {"alt 0.5 + 0.1", 0.5, 0.0, Dir::AltPlus, 0.5, 0.6, 0.0, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& v = w.AddLamp("L1", {Gbl(r.alt, r.az)});
    auto* lamp = AsLamp(v);
    w.journal().Clear();
    w.Frame(r.dt, KeysFor(r.dir));
    if (r.exact) {
      EXPECT_EQ(lamp->altState, r.wantAlt);
      EXPECT_EQ(lamp->azState, r.wantAz);
    } else {
      EXPECT_NEAR(lamp->altState, r.wantAlt, 1e-12);
      EXPECT_NEAR(lamp->azState, r.wantAz, 1e-12);
    }
    EXPECT_EQ(v.animations[lamp->animAz].state, lamp->azState);
    EXPECT_EQ(v.animations[lamp->animAlt].state, lamp->altState);
    EXPECT_TRUE(VecNear(lamp->beamDir, ClosedForm(lamp->azState, lamp->altState), 1e-12));
    EXPECT_TRUE(VecNear(lamp->beaconPos,
                        {lamp->beamDir.x * 0.15, lamp->beamDir.y * 0.15, lamp->beamDir.z * 0.15},
                        1e-15));
  }
}

TEST(LampAiming, AzimuthOfExactlyOneAimsLikeZero) {
  LampWorld w;
  auto* lamp = AsLamp(w.AddLamp("L1", {Gbl(0.5, 0.9)}));
  w.Frame(0.5, {ZKEY_LSHIFT, ZKEY_RIGHT});
  ASSERT_EQ(lamp->azState, 1.0);
  EXPECT_TRUE(VecNear(lamp->beamDir, {0, 0, 1}, 1e-12));
}

TEST(LampAiming, EveryStepSetsTheAnimationAndUpdatesTheLightOnce) {
  for (Dir d : {Dir::AzPlus, Dir::AzMinus, Dir::AltPlus, Dir::AltMinus}) {
    // Altitude already at its bound for the (+) and (-) altitude steps: the state does not
    // change, the calls are made all the same.
    const double alt = d == Dir::AltPlus ? 1.0 : d == Dir::AltMinus ? 0.0 : 0.5;
    SCOPED_TRACE(static_cast<int>(d));
    LampWorld w;
    auto* lamp = AsLamp(w.AddLamp("L1", {Gbl(alt, 0.4)}));
    w.journal().Clear();
    w.Frame(0.02, KeysFor(d));
    const auto& j = w.journal();
    EXPECT_EQ(CountCalls(j, "SetAnimation"), 1u);
    EXPECT_EQ(CountCalls(j, "SetRange"), 1u);
    EXPECT_EQ(CountCalls(j, "SetAperture"), 1u);
    EXPECT_EQ(CountCalls(j, "SetAttenuation"), 1u);
    EXPECT_EQ(CountCalls(j, "SetDirection"), 1u);
    EXPECT_EQ(CountCalls(j, "SetIntensity"), 0u);
    auto set = HostCalls(j, "SetAnimation");
    ASSERT_EQ(set.size(), 1u);
    auto nums = Numbers(set[0].args);
    ASSERT_EQ(nums.size(), 2u) << set[0].args;
    const bool az = d == Dir::AzPlus || d == Dir::AzMinus;
    EXPECT_EQ(nums[0], az ? lamp->animAz : lamp->animAlt);
    EXPECT_EQ(nums[1], az ? lamp->azState : lamp->altState);
  }
}

TEST(LampAiming, StepBeforeTheFirstTimeStepChangesNothingButStillUpdates) {
  LampWorld w;
  auto& v = w.AddLamp("L1", {Gbl(0.7, 0.1)});
  auto* lamp = AsLamp(v);
  ASSERT_EQ(lamp->rotStep, 0.0);
  char* ks = w.world().KeyState();
  w.world().ReleaseAllKeys();
  ks[ZKEY_LSHIFT] = static_cast<char>(0x80);
  ks[ZKEY_UP] = static_cast<char>(0x80);
  ks[ZKEY_LEFT] = static_cast<char>(0x80);
  w.journal().Clear();
  EXPECT_EQ(v.callbacks()->clbkDirectKeys(ks), 0);
  w.world().ReleaseAllKeys();
  EXPECT_EQ(lamp->altState, 0.7);
  EXPECT_EQ(lamp->azState, 0.1);
  EXPECT_EQ(CountCalls(w.journal(), "SetAnimation"), 2u);
  EXPECT_EQ(CountCalls(w.journal(), "SetDirection"), 2u);
}

TEST(LampAiming, AbsurdLoadedAzimuthDoesNotBreakTheStep) {
  struct Row {
    const char* line;
    Dir dir;
  };
  const Row rows[] = {
      {"GBL 0.5 1e300", Dir::AzPlus},  {"GBL 0.5 1e300", Dir::AzMinus},
      {"GBL 0.5 -1e20", Dir::AzMinus}, {"GBL 0.5 -1e20", Dir::AzPlus},
      {"GBL 0.5 3e9", Dir::AzPlus},    {"GBL 0.5 -3e9", Dir::AzMinus},
      {"GBL 0.5 nan", Dir::AzPlus},    {"GBL 0.5 nan", Dir::AzMinus},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.line) + (r.dir == Dir::AzPlus ? " +" : " -"));
    LampWorld w;
    auto* lamp = AsLamp(w.AddLamp("L1", {r.line}));
    w.journal().Clear();
    w.Frame(0.02, KeysFor(r.dir));
    EXPECT_EQ(CountCalls(w.journal(), "SetAnimation"), 1u);
    // What the wrap makes of such a value is open; a finite one must stay finite.
    if (std::string(r.line).find("nan") == std::string::npos) {
      EXPECT_TRUE(std::isfinite(lamp->azState)) << lamp->azState;
      EXPECT_NEAR(Length(lamp->beamDir), 1.0, 1e-12);
    }
  }
}

// A loaded aim of any finite size gives the host a finite beam, beacon and head pose, while
// the states themselves are kept and saved as the file gave them.
TEST(LampAiming, HugeLoadedStatesGiveFiniteResults) {
  constexpr double kMax = std::numeric_limits<double>::max();
  const std::pair<double, double> aims[] = {
      // altState, azState
      {0.5, 1e308},  {0.5, -1e308}, {1e308, 0.0}, {-1e308, 0.0},  {kMax, kMax},
      {-kMax, kMax}, {kMax, -kMax}, {1e20, 1e20}, {0.5, 2.9e307}, {-1e300, 3e9},
  };
  for (auto [alt, az] : aims) {
    SCOPED_TRACE(Gbl(alt, az));
    LampWorld w;
    auto& v = w.AddLamp("L1", {Gbl(alt, az)});
    auto* lamp = AsLamp(v);
    EXPECT_EQ(lamp->altState, alt);
    EXPECT_EQ(lamp->azState, az);
    EXPECT_NEAR(Length(lamp->beamDir), 1.0, 1e-12);
    EXPECT_TRUE(Finite(lamp->beaconPos));
    for (double m : lamp->beamMatrix) EXPECT_TRUE(std::isfinite(m));
    EXPECT_TRUE(Finite(Light(v).direction));
    ASSERT_NE(Beacon(v).pos, nullptr);
    EXPECT_TRUE(Finite(*Beacon(v).pos));
    for (const auto& t : v.GroupTransforms(0)) {
      EXPECT_TRUE(Finite(t.t));
      for (double r : t.r) EXPECT_TRUE(std::isfinite(r));
    }
    // The saved line reads back as the same states and saves the same again.
    const std::string text = w.world().ScenarioText();
    LampWorld again;
    auto* back = AsLamp(again.AddLamp("L1", BlockLines(text, "L1")));
    EXPECT_EQ(back->altState, alt);
    EXPECT_EQ(back->azState, az);
    EXPECT_EQ(LampLine(again.world().ScenarioText(), "L1", "GBL"), LampLine(text, "L1", "GBL"));
  }
  LampWorld w;
  w.AddLamp("L1", {"GBL 1e20 -1e20"});
  EXPECT_EQ(LampLine(w.world().ScenarioText(), "L1", "GBL").value_or(""),
            "100000000000000000000.00000 -100000000000000000000.00000");
}

TEST(LampAiming, HostTurnsTheHeadGroupsWithTheBeam) {
  const std::pair<double, double> aims[] = {
      {0.0, 0.5}, {0.25, 0.75}, {0.1, 0.7}, {0.3, 0.2}, {0.75, 0.9}};
  for (auto [az, alt] : aims) {
    SCOPED_TRACE(Gbl(alt, az));
    LampWorld w;
    auto& v = w.AddLamp("L1", {Gbl(alt, az)});
    auto* lamp = AsLamp(v);
    auto t = v.GroupTransforms(0);
    ASSERT_GE(t.size(), 4u);
    auto image = [](const hostsim::Transform& tr, VECTOR3 d) {
      VECTOR3 p = tr.Apply(d), o = tr.Apply({0, 0, 0});
      return VECTOR3{p.x - o.x, p.y - o.y, p.z - o.z};
    };
    const double a = az * 2 * kPi;
    // Group 0 (the yoke) turns with the azimuth only.
    EXPECT_TRUE(VecNear(image(t[0], {0, 0, 1}), {std::sin(a), 0, std::cos(a)}, 1e-6));
    EXPECT_TRUE(VecNear(image(t[0], {0, 1, 0}), {0, 1, 0}, 1e-6));
    // Groups 1 and 3 (glass and lamp body) tilt and ride on the azimuth: they face the beam.
    EXPECT_TRUE(VecNear(image(t[1], {0, 0, 1}), lamp->beamDir, 1e-6));
    EXPECT_TRUE(VecNear(image(t[3], {0, 0, 1}), lamp->beamDir, 1e-6));
    // Group 2 (the stand) never moves.
    EXPECT_TRUE(VecNear(t[2].Apply({0.3, -0.2, 0.1}), {0.3, -0.2, 0.1}, 1e-12));
    EXPECT_TRUE(VecNear(t[2].Apply({0, 0, 0}), {0, 0, 0}, 1e-12));
  }
}

}  // namespace
