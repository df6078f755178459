// Attachment rules and the poses of attached vessels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "hostsim/runtime_fixture.h"

using hostsim::Transform;
using hostsim::Vessel;
using hostsim_test::RuntimeWorld;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ATTACHMENTHANDLE Point(const Vessel& v, bool toParent, std::uint32_t i) {
  return v.iface()->GetAttachmentHandle(toParent, i);
}

bool FinitePose(const Transform& t) {
  for (double x : t.r)
    if (!std::isfinite(x)) return false;
  return std::isfinite(t.t.x) && std::isfinite(t.t.y) && std::isfinite(t.t.z);
}

void ExpectNear(const VECTOR3& a, const VECTOR3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-12);
  EXPECT_NEAR(a.y, b.y, 1e-12);
  EXPECT_NEAR(a.z, b.z, 1e-12);
}

VECTOR3 Rotate(const Transform& t, const VECTOR3& v) {
  Transform r = t;
  r.t = {0, 0, 0};
  return r.Apply(v);
}

// Three config-only blocks A, B, C with one point of each kind; B already hangs on A.
struct Blocks {
  RuntimeWorld rw;
  Vessel& a = rw.world->CreateVessel("A", "block");
  Vessel& b = rw.world->CreateVessel("B", "block");
  Vessel& c = rw.world->CreateVessel("C", "block");
  Blocks() {
    EXPECT_TRUE(a.iface()->AttachChild(b.handle(), Point(a, false, 0), Point(b, true, 0)));
  }
};

struct RuleCase {
  const char* name;
  // parent, child, parent point (parent's child point unless noted), child point
  char parent, child;
  bool parentPointToParent, childPointToParent;
  bool expected;
};

class AttachRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(AttachRules, RefusedAttachmentsChangeNothing) {
  Blocks s;
  auto pick = [&](char n) -> Vessel& { return n == 'A' ? s.a : n == 'B' ? s.b : s.c; };
  const RuleCase& rc = GetParam();
  Vessel& parent = pick(rc.parent);
  Vessel& child = pick(rc.child);
  Vessel* parentBefore = child.Parent();
  bool ok = parent.iface()->AttachChild(child.handle(), Point(parent, rc.parentPointToParent, 0),
                                        Point(child, rc.childPointToParent, 0));
  EXPECT_EQ(ok, rc.expected);
  if (!ok) {
    EXPECT_EQ(child.Parent(), parentBefore);
  } else {
    EXPECT_EQ(child.Parent(), &parent);
  }
  EXPECT_EQ(s.b.Parent(), rc.child == 'B' && ok ? &parent : &s.a);
}

INSTANTIATE_TEST_SUITE_P(
    Hostsim, AttachRules,
    ::testing::Values(RuleCase{"FreeChildOnFreePoint", 'B', 'C', false, true, true},
                      RuleCase{"OccupiedParentPoint", 'A', 'C', false, true, false},
                      RuleCase{"ChildAlreadyHangs", 'C', 'B', false, true, false},
                      RuleCase{"ParentPointOfWrongKind", 'C', 'A', true, true, false},
                      RuleCase{"ChildPointOfWrongKind", 'B', 'C', false, false, false},
                      RuleCase{"Self", 'C', 'C', false, true, false},
                      RuleCase{"Cycle", 'B', 'A', false, true, false}),
    [](const auto& tc) { return std::string(tc.param.name); });

TEST(Attachment, UnknownHandlesAreRefused) {
  Blocks s;
  VESSEL* c = s.c.iface();
  int junk = 0;
  auto bogus = reinterpret_cast<ATTACHMENTHANDLE>(&junk);
  EXPECT_FALSE(c->AttachChild(reinterpret_cast<OBJHANDLE>(&junk), Point(s.c, false, 0),
                              Point(s.a, true, 0)));
  EXPECT_FALSE(c->AttachChild(s.a.handle(), bogus, Point(s.a, true, 0)));
  EXPECT_FALSE(c->AttachChild(s.a.handle(), Point(s.c, false, 0), bogus));
  // A point of another vessel is foreign to C.
  EXPECT_FALSE(c->AttachChild(s.a.handle(), Point(s.b, false, 0), Point(s.a, true, 0)));
  EXPECT_EQ(c->GetAttachmentStatus(Point(s.a, false, 0)), nullptr);
  EXPECT_EQ(c->GetAttachmentIndex(bogus), -1);
  EXPECT_FALSE(c->DetachChild(bogus));
}

TEST(Attachment, StatusCountsAndDetach) {
  Blocks s;
  EXPECT_EQ(s.a.iface()->GetAttachmentStatus(Point(s.a, false, 0)), s.b.handle());
  EXPECT_EQ(s.b.iface()->GetAttachmentStatus(Point(s.b, true, 0)), s.a.handle());
  EXPECT_EQ(s.a.iface()->AttachmentCount(false), 1u);
  EXPECT_EQ(s.a.iface()->GetAttachmentHandle(false, 1), nullptr);
  EXPECT_STREQ(s.a.iface()->GetAttachmentId(Point(s.a, false, 0)), "SLOT");
  EXPECT_FALSE(s.a.iface()->DetachChild(Point(s.a, true, 0)));  // not a child point
  EXPECT_TRUE(s.a.iface()->DetachChild(Point(s.a, false, 0)));
  EXPECT_FALSE(s.a.iface()->DetachChild(Point(s.a, false, 0)));  // nothing hangs there now
  EXPECT_EQ(s.b.Parent(), nullptr);
}

TEST(Attachment, ChildFollowsTheParentPoint) {
  Blocks s;
  VESSEL* a = s.a.iface();
  ATTACHMENTHANDLE slot = Point(s.a, false, 0);
  s.a.SetFreePose(Transform{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {10, 0, 0}});
  a->SetAttachmentParams(slot, {1, 2, 3}, {0, 0, 1}, {0, 1, 0});
  Transform pose = s.b.WorldPose();
  // B's own point (0, -1, 0) sits on A's point.
  ExpectNear(pose.Apply({0, -1, 0}), {11, 2, 3});
  // B's point direction (0, -1, 0) faces A's point direction (0, 0, 1) ...
  ExpectNear(Rotate(pose, {0, -1, 0}), {0, 0, -1});
  // ... and the rotation references coincide.
  ExpectNear(Rotate(pose, {0, 0, 1}), {0, 1, 0});

  // Moving the point moves the child at once.
  a->SetAttachmentParams(slot, {1, 2, 5}, {0, 0, 1}, {0, 1, 0});
  ExpectNear(s.b.WorldPose().Apply({0, -1, 0}), {11, 2, 5});
  // The grandchild rides along.
  ASSERT_TRUE(s.b.iface()->AttachChild(s.c.handle(), Point(s.b, false, 0), Point(s.c, true, 0)));
  ExpectNear(s.c.WorldPose().Apply({0, -1, 0}), s.b.WorldPose().Apply({0, 1, 0}));
}

TEST(Attachment, DegenerateParamsAreStoredButPosesStayFinite) {
  Blocks s;
  VESSEL* a = s.a.iface();
  ATTACHMENTHANDLE slot = Point(s.a, false, 0);
  a->SetAttachmentParams(slot, {0, 1, 0}, {0, 1, 0}, {0, 0, 1});
  Transform good = s.b.WorldPose();
  const VECTOR3 cases[][3] = {
      {{0, 1, 0}, {0, 0, 0}, {0, 0, 1}},     // zero direction
      {{0, 1, 0}, {0, 1, 0}, {0, 0, 0}},     // zero rotation reference
      {{0, 1, 0}, {0, 1, 0}, {0, 2, 0}},     // parallel vectors
      {{0, 1, 0}, {kNaN, 1, 0}, {0, 0, 1}},  // not-a-number direction
      {{kNaN, 1, 0}, {0, 1, 0}, {0, 0, 1}},  // not-a-number position
      {{1e308, 1e308, 0}, {0, 1, 0}, {0, 0, 1}},
  };
  for (const auto& c : cases) {
    a->SetAttachmentParams(slot, c[0], c[1], c[2]);
    VECTOR3 pos, dir, rot;
    a->GetAttachmentParams(slot, pos, dir, rot);
    EXPECT_EQ(std::memcmp(&dir, &c[1], sizeof dir), 0) << "values must be kept as given";
    Transform pose = s.b.WorldPose();
    EXPECT_TRUE(FinitePose(pose));
    EXPECT_TRUE(FinitePose(s.c.WorldPose()));
    // The orientation falls back to the last valid one.
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(pose.r[i], good.r[i], 1e-12);
  }
}

TEST(Attachment, DegeneratePointsOnAFreshAttachmentGiveAFinitePose) {
  RuntimeWorld rw;
  Vessel& a = rw.world->CreateVessel("A", "block");
  Vessel& b = rw.world->CreateVessel("B", "block");
  a.iface()->SetAttachmentParams(Point(a, false, 0), {0, 0, 0}, {0, 0, 0}, {kNaN, kNaN, kNaN});
  ASSERT_TRUE(a.iface()->AttachChild(b.handle(), Point(a, false, 0), Point(b, true, 0)));
  EXPECT_TRUE(FinitePose(b.WorldPose()));
}

TEST(Attachment, ReleasedChildKeepsItsPoseAndDriftsWithTheSeparationSpeed) {
  Blocks s;
  s.a.SetFreePose(Transform{});
  Transform before = s.b.WorldPose();
  ASSERT_TRUE(s.a.iface()->DetachChild(Point(s.a, false, 0), 2.0));
  ExpectNear(s.b.FreePose().t, before.t);
  s.rw.world->Step(0.5);
  // The slot points along +y: the child moves 2 m/s * 0.5 s that way.
  ExpectNear(s.b.WorldPose().t, {before.t.x, before.t.y + 1.0, before.t.z});
}

TEST(Attachment, DestroyingAVesselReleasesItsChildrenAndParent) {
  Blocks s;
  ASSERT_TRUE(s.b.iface()->AttachChild(s.c.handle(), Point(s.b, false, 0), Point(s.c, true, 0)));
  s.rw.world->DestroyVessel(s.b);
  EXPECT_EQ(s.c.Parent(), nullptr);
  EXPECT_EQ(s.a.iface()->GetAttachmentStatus(Point(s.a, false, 0)), nullptr);
}

}  // namespace
