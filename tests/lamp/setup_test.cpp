// Class set-up of the lamp as the host sees it: what the host holds afterwards, the start
// values of the lamp's fields, the colour from the class configuration, the beacon record and
// the step sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

TEST(LampSetup, TheHostHoldsTheClassAsSetUp) {
  LampWorld w;
  auto& v = w.SetUpLamp();
  auto* lamp = AsLamp(v);

  const auto& ph = v.physics;
  EXPECT_DOUBLE_EQ(ph.size, 0.6);
  EXPECT_DOUBLE_EQ(ph.emptyMass, 3.0);
  EXPECT_TRUE(ph.focusEnabled);
  EXPECT_TRUE(VecNear(ph.touchdown[0], {0, -0.37, 1}, 0));
  EXPECT_TRUE(VecNear(ph.touchdown[1], {-1, -0.37, -1}, 0));
  EXPECT_TRUE(VecNear(ph.touchdown[2], {1, -0.37, -1}, 0));
  EXPECT_TRUE(VecNear(ph.pmi, {1, 1, 1}, 0));
  EXPECT_TRUE(VecNear(ph.crossSections, {0.05, 0.05, 0.05}, 0));
  EXPECT_TRUE(VecNear(ph.rotDrag, {1, 1, 1}, 0));
  for (double cw : ph.cw) EXPECT_DOUBLE_EQ(cw, 1.0);
  EXPECT_DOUBLE_EQ(ph.visLimit, 0.0001);
  EXPECT_DOUBLE_EQ(ph.spotLimit, 0.0001) << "a negative spot limit is the vessel's";

  // The spot light, switched off, still with the values it was created with: the lamp's own
  // replace them after creation.
  ASSERT_EQ(v.lights.size(), 1u);
  EXPECT_EQ(v.lights[0], lamp->spotLight);
  const hostsim::LightState spot = Light(v);
  EXPECT_EQ(spot.type, LightEmitter::LT_SPOT);
  EXPECT_FALSE(spot.active);
  EXPECT_TRUE(VecNear(spot.position, {0, 0, 0}, 0));
  EXPECT_TRUE(VecNear(spot.direction, {0, 0, 1}, 0));
  EXPECT_EQ(spot.range, 200.0);
  EXPECT_EQ(spot.attenuation[0], 1.0);
  EXPECT_EQ(spot.attenuation[1], 0.0);
  EXPECT_EQ(spot.attenuation[2], 0.00005);
  EXPECT_EQ(spot.umbra, 0.2617993877991494);
  EXPECT_EQ(spot.penumbra, 0.3490658503988659);

  auto own = v.Points(true);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0]->id, "GS");
  EXPECT_FALSE(own[0]->loose);
  EXPECT_TRUE(VecNear(own[0]->pos, {0, -0.37, 0}, 0));
  EXPECT_TRUE(VecNear(own[0]->dir, {0, -1, 0}, 0));
  EXPECT_TRUE(VecNear(own[0]->rot, {0, 0, 1}, 0));
  EXPECT_EQ(v.iface()->GetAttachmentHandle(true, 0), lamp->hParentAttach);
  EXPECT_TRUE(v.Points(false).empty());

  ASSERT_EQ(v.meshes.size(), 1u);
  EXPECT_EQ(v.meshes[0].visMode, 1);
  EXPECT_TRUE(VecNear(v.meshes[0].ofs, {0, 0, 0}, 0));
  EXPECT_EQ(v.meshes[0].mesh, w.world().MeshFromHandle(lamp->hMesh));
  ASSERT_NE(v.meshes[0].mesh, nullptr);
  EXPECT_EQ(v.meshes[0].mesh->name, "lumipod");
}

TEST(LampSetup, AnimationsTurnTheHeadGroups) {
  LampWorld w;
  auto& v = w.SetUpLamp();
  auto* lamp = AsLamp(v);

  ASSERT_EQ(v.animations.size(), 2u);
  ASSERT_LT(lamp->animAlt, 2u);
  ASSERT_LT(lamp->animAz, 2u);
  EXPECT_NE(lamp->animAlt, lamp->animAz);
  const auto& alt = v.animations[lamp->animAlt];
  const auto& az = v.animations[lamp->animAz];
  EXPECT_DOUBLE_EQ(alt.initial, 0.5);
  EXPECT_DOUBLE_EQ(az.initial, 0.0);
  ASSERT_EQ(az.components.size(), 1u);
  ASSERT_EQ(alt.components.size(), 1u);

  const auto* azc = az.components[0];
  const auto* altc = alt.components[0];
  EXPECT_NE(lamp->azComponent, nullptr);
  EXPECT_EQ(azc->parent, nullptr);
  EXPECT_EQ(altc->parent, azc) << "the tilting groups ride on the azimuth turn";
  EXPECT_DOUBLE_EQ(azc->state0, 0.0);
  EXPECT_DOUBLE_EQ(azc->state1, 1.0);
  EXPECT_DOUBLE_EQ(altc->state0, 0.0);
  EXPECT_DOUBLE_EQ(altc->state1, 1.0);
  EXPECT_EQ(azc->trans, lamp->azRotation);
  EXPECT_EQ(altc->trans, lamp->altRotation);

  struct Expect {
    const MGROUP_ROTATE* r;
    std::vector<std::uint32_t> groups;
    VECTOR3 axis;
    float angle;
  };
  for (const auto& e : {Expect{lamp->azRotation, {0}, {0, 1, 0}, 6.2831855f},
                        Expect{lamp->altRotation, {1, 3}, {-1, 0, 0}, 3.1415927f}}) {
    ASSERT_NE(e.r, nullptr);
    EXPECT_EQ(e.r->Type(), MGROUP_TRANSFORM::ROTATE);
    EXPECT_EQ(e.r->mesh, 0u);
    ASSERT_EQ(e.r->ngrp, e.groups.size());
    for (std::size_t i = 0; i < e.groups.size(); ++i) EXPECT_EQ(e.r->grp[i], e.groups[i]);
    EXPECT_TRUE(VecNear(e.r->ref, {0, 0, 0}, 0));
    EXPECT_TRUE(VecNear(e.r->axis, e.axis, 0));
    EXPECT_EQ(e.r->angle, e.angle);
  }
}

TEST(LampSetup, FieldsHaveTheirStartValues) {
  LampWorld w;
  auto* lamp = AsLamp(w.SetUpLamp());
  EXPECT_EQ(lamp->lampOn, 0);
  EXPECT_EQ(lamp->range, 300.0);
  EXPECT_EQ(lamp->aperture, kDefaultAperture);
  EXPECT_EQ(lamp->intensity, 1.0);
  EXPECT_TRUE(VecNear(lamp->attPos, {0, 0, 0}, 0));
  EXPECT_TRUE(VecNear(lamp->attDir, {0, 1, 0}, 0));
  EXPECT_TRUE(VecNear(lamp->attRot, {0, 0, 1}, 0));
  EXPECT_TRUE(VecNear(lamp->storedPos, {0, 0, 0}, 0));
  EXPECT_TRUE(VecNear(lamp->storedDir, {0, 0, 0}, 0));
  EXPECT_TRUE(VecNear(lamp->storedRot, {0, 0, 0}, 0));
  EXPECT_EQ(lamp->shiftStep, 0.0);
  EXPECT_EQ(lamp->rotStep, 0.0);
  EXPECT_EQ(lamp->altState, 0.5);
  EXPECT_EQ(lamp->azState, 0.0);
  const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(lamp->beamMatrix[i], identity[i]) << i;
  EXPECT_TRUE(VecNear(lamp->beamDir, {0, 0, 1}, 0));
  EXPECT_EQ(lamp->placementRestored, 0);
  EXPECT_EQ(lamp->hDevMesh, nullptr);
  EXPECT_NE(lamp->hMesh, nullptr);
  EXPECT_NE(lamp->hParentAttach, nullptr);
}

TEST(LampSetup, BeaconIsRegisteredInPlaceAndInactive) {
  LampWorld w;
  auto& v = w.SetUpLamp();
  auto* lamp = AsLamp(v);
  ASSERT_EQ(v.beacons.size(), 1u);
  EXPECT_EQ(v.beacons[0], &lamp->beacon);
  const auto& b = lamp->beacon;
  EXPECT_EQ(b.shape, 2u);
  EXPECT_EQ(b.pos, &lamp->beaconRestPos);
  EXPECT_EQ(b.col, &lamp->beaconColour);
  EXPECT_EQ(b.size, 0.35);
  EXPECT_EQ(b.falloff, 0.3);
  EXPECT_EQ(b.period, 0.0);
  EXPECT_EQ(b.duration, 0.0);
  EXPECT_EQ(b.tofs, 0.0);
  EXPECT_FALSE(b.active);
  EXPECT_TRUE(VecNear(*b.pos, {0, 0, 0.15}, 0));
  EXPECT_TRUE(VecNear(lamp->beaconPos, {0, 0, 0.15}, 0));
}

TEST(LampSetup, BeaconMovesToTheBeamPositionAtTheFirstLightUpdate) {
  LampWorld w;
  auto& v = w.SetUpLamp();
  auto* lamp = AsLamp(v);
  ASSERT_EQ(lamp->beacon.pos, &lamp->beaconRestPos);
  w.world().FinishCreation(v);  // runs the first light update
  EXPECT_EQ(lamp->beacon.pos, &lamp->beaconPos);
  EXPECT_TRUE(VecNear(*lamp->beacon.pos, {0, 0, 0.15}, 0));

  // Aiming moves the beacon; the rest position stays where it was.
  w.world().SetFocus(&v);
  w.Frame(1.25, {ZKEY_LSHIFT, ZKEY_RIGHT});
  EXPECT_TRUE(VecNear(*Beacon(v).pos, {0.15, 0, 0}, 1e-12));
  EXPECT_TRUE(VecNear(lamp->beaconRestPos, {0, 0, 0.15}, 0));
}

struct ColourCase {
  const char* name;
  std::optional<std::string> item;
  LampRGB lamp;
  VECTOR3 spot;
};

TEST(LampSetup, SpotColourFromTheClassConfiguration) {
  const ColourCase cases[] = {
      {"absent", std::nullopt, {1, 1, 1}, {0, 0, 0}},
      {"clamped", "1.5 -0.2 0.5", {1, 0, 0.5}, {1, 0, 0.5}},
      {"exact bounds", "0 1 0.25", {0, 1, 0.25}, {0, 1, 0.25}},
      {"exact bounds reversed", "1 0 1", {1, 0, 1}, {1, 0, 1}},
      {"not three numbers", "0.5 0.5", {1, 1, 1}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigFolder cfg(c.item);
    LampWorld w(cfg.paths());
    auto& v = w.SetUpLamp();
    auto* lamp = AsLamp(v);
    EXPECT_EQ(lamp->lampColour.r, c.lamp.r);
    EXPECT_EQ(lamp->lampColour.g, c.lamp.g);
    EXPECT_EQ(lamp->lampColour.b, c.lamp.b);
    EXPECT_TRUE(VecNear(lamp->beaconColour, {c.lamp.r, c.lamp.g, c.lamp.b}, 0));
    EXPECT_TRUE(VecNear(lamp->spotColour, c.spot, 0));
    const float r = static_cast<float>(c.lamp.r), g = static_cast<float>(c.lamp.g),
                b = static_cast<float>(c.lamp.b);
    const hostsim::LightState spot = Light(v);
    for (COLOUR4 col : {spot.diffuse, spot.specular}) {
      EXPECT_EQ(col.r, r);
      EXPECT_EQ(col.g, g);
      EXPECT_EQ(col.b, b);
      EXPECT_EQ(col.a, 0.0f);
    }
    COLOUR4 amb = spot.ambient;
    EXPECT_EQ(amb.r, 0.0f);
    EXPECT_EQ(amb.g, 0.0f);
    EXPECT_EQ(amb.b, 0.0f);
    EXPECT_EQ(amb.a, 0.0f);
  }
}

TEST(LampSetup, EveryStepRenewsTheStepSizes) {
  LampWorld w;
  auto* lamp = AsLamp(w.AddLamp());
  w.Frame(0.02);
  EXPECT_DOUBLE_EQ(lamp->shiftStep, 0.01);
  EXPECT_DOUBLE_EQ(lamp->rotStep, 0.004);
  w.Frame(0.1);
  EXPECT_DOUBLE_EQ(lamp->shiftStep, 0.05);
  EXPECT_DOUBLE_EQ(lamp->rotStep, 0.02);
  // A plain step recomputes nothing and pushes nothing to the light.
  w.journal().Clear();
  w.Frame(0.02);
  EXPECT_EQ(CountCalls(w.journal(), "SetAnimation"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "SetDirection"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "SetRange"), 0u);
}

}  // namespace
