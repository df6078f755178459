// Group transforms from animation states: a rotation relative to the stored state, and a
// component riding on its parent's turn.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hostsim/runtime_fixture.h"

using hostsim::Transform;
using hostsim::Vessel;
using hostsim_test::RuntimeWorld;

namespace {

constexpr double kPi = 3.14159265358979323846;

void ExpectNear(const VECTOR3& a, const VECTOR3& b, double tol = 1e-6) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// A tug (config-only, mesh with three groups) animated through its host interface the way a
// module animates its own vessel.
class GroupTransforms : public ::testing::Test {
 protected:
  RuntimeWorld rw;
  Vessel& tug = rw.world->CreateVessel("Tug", "tug");
  VESSEL* api = tug.iface();
  std::uint32_t azGroups[1] = {0};
  std::uint32_t tiltGroups[2] = {1, 2};
  MGROUP_ROTATE az{0, azGroups, 1, {0, 0, 0}, {0, 1, 0}, static_cast<float>(2 * kPi)};
  MGROUP_ROTATE tilt{0, tiltGroups, 2, {0, 1, 0}, {-1, 0, 0}, static_cast<float>(kPi)};
};

TEST_F(GroupTransforms, RotationIsRelativeToTheInitialState) {
  ANIMATION_ID tiltAnim = api->CreateAnimation(0.5);
  ASSERT_NE(api->AddAnimationComponent(tiltAnim, 0.0, 1.0, &tilt), nullptr);
  ASSERT_EQ(tug.GroupTransforms(0).size(), 3u);

  // At the initial state nothing moves.
  for (const Transform& t : tug.GroupTransforms(0)) ExpectNear(t.Apply({0, 0, 1}), {0, 0, 1});

  // At state 1 the groups are turned by +90 degrees about -x through (0, 1, 0): +z goes to +y.
  api->SetAnimation(tiltAnim, 1.0);
  auto g = tug.GroupTransforms(0);
  ExpectNear(g[0].Apply({0, 0, 1}), {0, 0, 1});  // group 0 is not listed
  ExpectNear(g[1].Apply({0, 1, 1}), {0, 2, 0});
  ExpectNear(g[2].Apply({0, 1, 0}), {0, 1, 0});  // the reference point stays

  // States beyond the component's range are clamped.
  api->SetAnimation(tiltAnim, 7.0);
  ExpectNear(tug.GroupTransforms(0)[1].Apply({0, 1, 1}), {0, 2, 0});
  api->SetAnimation(tiltAnim, -3.0);
  ExpectNear(tug.GroupTransforms(0)[1].Apply({0, 1, 1}), {0, 0, 0});
}

TEST_F(GroupTransforms, ChildComponentRidesOnTheParentTurn) {
  ANIMATION_ID tiltAnim = api->CreateAnimation(0.5);
  ANIMATION_ID azAnim = api->CreateAnimation(0.0);
  ANIMATIONCOMPONENT_HANDLE azc = api->AddAnimationComponent(azAnim, 0.0, 1.0, &az);
  ASSERT_NE(azc, nullptr);
  ASSERT_NE(api->AddAnimationComponent(tiltAnim, 0.0, 1.0, &tilt, azc), nullptr);

  // Quarter turn in azimuth: +z goes to +x for every group of the head.
  api->SetAnimation(azAnim, 0.25);
  auto g = tug.GroupTransforms(0);
  ExpectNear(g[0].Apply({0, 0, 1}), {1, 0, 0});
  ExpectNear(g[1].Apply({0, 0, 1}), {1, 0, 0});

  // Tilted up as well: the tilt happens first (about -x through (0, 1, 0)), then the turn.
  api->SetAnimation(tiltAnim, 1.0);
  g = tug.GroupTransforms(0);
  ExpectNear(g[1].Apply({0, 1, 1}), {0, 2, 0});
  ExpectNear(g[2].Apply({0, 1, 2}), {0, 3, 0});
  ExpectNear(g[1].Apply({1, 1, 0}), {0, 1, -1});  // x of the tilted group turned by the azimuth
  ExpectNear(g[0].Apply({1, 0, 0}), {0, 0, -1});
}

// Any finite state, component range or reference point a module gives poses the groups finitely;
// a range spanning nearly all doubles still runs in proportion.
TEST_F(GroupTransforms, HugeFiniteValuesPoseFinitely) {
  constexpr double kMax = std::numeric_limits<double>::max();
  // Halfway through a range from -max to max is half the turn: +x goes to -x.
  const ANIMATION_ID wide = api->CreateAnimation(-kMax);
  ASSERT_NE(api->AddAnimationComponent(wide, -kMax, kMax, &az), nullptr);
  api->SetAnimation(wide, 0.0);
  ExpectNear(tug.GroupTransforms(0)[0].Apply({1, 0, 0}), {-1, 0, 0});

  struct Row {
    double state, state0, state1;
    VECTOR3 ref;
  };
  const Row rows[] = {
      {1e308, 0, 1, {0, 0, 0}},        {-kMax, 0, 1, {0, 0, 0}},
      {kMax, -kMax, kMax, {0, 0, 0}},  {0, -kMax, kMax, {0, 0, 0}},
      {-kMax, kMax, -kMax, {0, 0, 0}}, {0.25, 0, 1e-300, {0, 0, 0}},
      {0.5, 0, 1, {kMax, kMax, kMax}}, {0.5, 0, 1, {1e308, -1e308, 0}},
      {kMax, -1, 1, {-kMax, 0, kMax}}, {1e20, 1e20, 1e20, {1, 2, 3}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << r.state << " in [" << r.state0 << ", " << r.state1 << "] about (" << r.ref.x
                 << ", " << r.ref.y << ", " << r.ref.z << ")");
    RuntimeWorld w;
    Vessel& v = w.world->CreateVessel("Tug", "tug");
    VESSEL* host = v.iface();
    MGROUP_ROTATE turn{0, azGroups, 1, r.ref, {0, 0, 1}, static_cast<float>(2 * kPi)};
    MGROUP_ROTATE ride{0, tiltGroups, 2, r.ref, {1, 0, 0}, static_cast<float>(kPi)};
    const ANIMATION_ID anim = host->CreateAnimation(0.0);
    ANIMATIONCOMPONENT_HANDLE up = host->AddAnimationComponent(anim, r.state0, r.state1, &turn);
    ASSERT_NE(host->AddAnimationComponent(anim, r.state0, r.state1, &ride, up), nullptr);
    host->SetAnimation(anim, r.state);
    for (const Transform& t : v.GroupTransforms(0)) {
      for (double x : t.r) EXPECT_TRUE(std::isfinite(x));
      EXPECT_TRUE(std::isfinite(t.t.x) && std::isfinite(t.t.y) && std::isfinite(t.t.z));
    }
  }
}

TEST_F(GroupTransforms, UnusableValuesGiveNoMotionAndBadHandlesAreRefused) {
  ANIMATION_ID anim = api->CreateAnimation(0.0);
  std::uint32_t bad[2] = {1, 99};  // group 99 does not exist
  MGROUP_ROTATE zeroAxis{0, bad, 2, {0, 0, 0}, {0, 0, 0}, 1.0f};
  ASSERT_NE(api->AddAnimationComponent(anim, 0.0, 1.0, &zeroAxis), nullptr);
  api->SetAnimation(anim, std::nan(""));
  EXPECT_TRUE(std::isnan(api->GetAnimation(anim)));  // kept as given
  for (const Transform& t : tug.GroupTransforms(0)) ExpectNear(t.Apply({1, 2, 3}), {1, 2, 3});

  MGROUP_TRANSFORM* none = nullptr;
  EXPECT_EQ(api->AddAnimationComponent(anim, 0, 1, none), nullptr);
  EXPECT_EQ(api->AddAnimationComponent(anim + 5, 0, 1, &az), nullptr);
  int junk = 0;
  EXPECT_EQ(api->AddAnimationComponent(anim, 0, 1, &az,
                                       reinterpret_cast<ANIMATIONCOMPONENT_HANDLE>(&junk)),
            nullptr);
  EXPECT_FALSE(api->SetAnimation(anim + 5, 1.0));
  EXPECT_EQ(api->GetAnimation(anim + 5), 0.0);
}

}  // namespace
