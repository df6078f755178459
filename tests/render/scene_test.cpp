// What the renderer reads from the world before it draws: lights in the world frame with
// their cones, beacons, materials, the ground, and a camera that shows the focused vessel.
#include "hostsim/render/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "host/keys.h"
#include "hostsim/render/font.h"
#include "render/render_fixture.h"

namespace {

using hostsim::render::CaptureScene;
using rendertest::LampScenario;
using rendertest::Load;

constexpr double kDeg = std::numbers::pi / 180;

TEST(SceneCapture, SpotLightInTheWorldFrameWithHalfAngleCones) {
  // The lamp turned a quarter turn (ORI yaw 90) and aimed at azimuth 0: its beam, +z in its
  // own frame, runs along the world's +x. The lamp's umbra is 3/4 of its spread; both are
  // full cone angles.
  auto lw = Load(
      "FOCUS Lamp\nVESSEL Lamp lumipod\n  POS 2 0.37 -1\n  ORI 90 0 0\n"
      "  SPT 1 50.0 0.4\n  GBL 0.5 0\nEND\n");
  const auto scene = CaptureScene(*lw->world, {});
  ASSERT_EQ(scene.lights.size(), 1u);
  const auto& l = scene.lights[0];
  EXPECT_TRUE(l.spot);
  EXPECT_NEAR(l.pos.x, 2, 1e-9);
  EXPECT_NEAR(l.pos.y, 0.37, 1e-9);
  EXPECT_NEAR(l.pos.z, -1, 1e-9);
  EXPECT_NEAR(std::abs(l.dir.x), 1, 1e-6);
  EXPECT_NEAR(l.dir.y, 0, 1e-6);
  EXPECT_DOUBLE_EQ(l.range, 50);
  EXPECT_DOUBLE_EQ(l.att[2], 2.0 / (50.0 * 50.0));
  EXPECT_NEAR(l.cosOuter, std::cos(0.2), 1e-12);
  EXPECT_NEAR(l.cosInner, std::cos(0.15), 1e-12);
  // The example lamp's warm white.
  EXPECT_FLOAT_EQ(l.colour[0], 1.0f);
  EXPECT_FLOAT_EQ(l.colour[2], 0.8f);

  ASSERT_EQ(scene.beacons.size(), 1u);
  EXPECT_NEAR(scene.beacons[0].size, std::sqrt(50.0) * 0.02, 1e-12);
  EXPECT_NEAR(scene.beacons[0].pos.y, 0.37, 1e-9);
}

TEST(SceneCapture, SwitchedOffLampGivesNoLightNoBeaconAndGreyGlass) {
  auto lw = Load(LampScenario(0, 300, 20 * kDeg, 0.5, 0));
  const auto scene = CaptureScene(*lw->world, {});
  EXPECT_TRUE(scene.lights.empty());
  EXPECT_TRUE(scene.beacons.empty());

  // The glass (group 1) with the visual's material after a switch on: the glow colour.
  lw->world->KeyEvent(ZKEY_B, true);
  const auto lit = CaptureScene(*lw->world, {});
  bool found = false;
  for (const auto& g : lit.groups)
    if (g.groupIndex == 1) {
      found = true;
      EXPECT_FLOAT_EQ(g.material.emissive.r, 1.0f);
      EXPECT_FLOAT_EQ(g.material.emissive.g, 0.95f);
    }
  EXPECT_TRUE(found);
  EXPECT_EQ(lit.lights.size(), 1u);
}

TEST(SceneGround, StandsUnderTheFreeVesselsFeetElseUnderTheLowestMesh) {
  auto lamp = Load(LampScenario(0, 300, 20 * kDeg, 0.5, 0));
  EXPECT_NEAR(hostsim::render::GroundHeight(*lamp->world), 0.0, 1e-9);

  auto tug = Load("VESSEL Tug tug\n  POS 0 2 0\nEND\n");  // no touchdown points: its hull
  EXPECT_NEAR(hostsim::render::GroundHeight(*tug->world), 2 - 0.6, 1e-6);

  hostsim::render::RenderOptions given;
  given.groundY = -3;
  EXPECT_EQ(hostsim::render::GroundHeight(*tug->world, given), -3);
}

TEST(SceneCamera, DefaultViewShowsTheFocusedLampWhetherOnOrOff) {
  auto off = Load(LampScenario(0, 300, 20 * kDeg, 0.4, 0.3));
  auto on = Load(LampScenario(1, 300, 20 * kDeg, 0.4, 0.3));
  const auto a = hostsim::render::DefaultCamera(*off->world, 1.6);
  const auto b = hostsim::render::DefaultCamera(*on->world, 1.6);
  EXPECT_NEAR(a.yaw, b.yaw, 1e-12);
  EXPECT_NEAR(a.distance, b.distance, 1e-12);

  const VECTOR3 glass = rendertest::GroupCentre(on->vessel("Lamp"), 1);
  const auto px = hostsim::render::Project(a, 320, 200, glass);
  ASSERT_TRUE(px);
  EXPECT_GT(px->first, 320 * 0.1);
  EXPECT_LT(px->first, 320 * 0.9);
  EXPECT_GT(px->second, 200 * 0.1);
  EXPECT_LT(px->second, 200 * 0.9);
}

TEST(SceneCamera, ProjectionPutsTheTargetInTheMiddle) {
  hostsim::render::Camera cam;
  cam.target = {1, 2, 3};
  cam.yaw = 0.3;
  cam.pitch = 0.4;
  cam.distance = 10;
  const auto mid = hostsim::render::Project(cam, 200, 100, cam.target);
  ASSERT_TRUE(mid);
  EXPECT_NEAR(mid->first, 100, 1e-3);
  EXPECT_NEAR(mid->second, 50, 1e-3);
  // Up in the world is up in the picture; behind the camera is nowhere.
  const auto above = hostsim::render::Project(cam, 200, 100, {1, 3, 3});
  ASSERT_TRUE(above);
  EXPECT_LT(above->second, 50);
  const VECTOR3 eye = cam.Eye();
  const VECTOR3 behind = {eye.x + (eye.x - 1), eye.y + (eye.y - 2), eye.z + (eye.z - 3)};
  EXPECT_FALSE(hostsim::render::Project(cam, 200, 100, behind));
}

TEST(SceneCamera, PictureSizesAreWidthByHeight) {
  using hostsim::render::ParseSize;
  EXPECT_EQ(ParseSize("800x500"), std::make_pair(800, 500));
  EXPECT_EQ(ParseSize("1X8192"), std::make_pair(1, 8192));
  for (const char* bad : {"", "800", "x500", "800x", "0x10", "10x8193", "8x8x8", "-4x4", "4 x4"})
    EXPECT_FALSE(ParseSize(bad)) << bad;
}

TEST(Font, HudBytesAreWindows1252) {
  using hostsim::render::Font;
  EXPECT_EQ(Font::CodePoint(0xB0), 0x00B0);  // the degree sign of the spread line
  EXPECT_EQ(Font::CodePoint('A'), 'A');
  EXPECT_EQ(Font::CodePoint(0x80), 0x20AC);
  EXPECT_EQ(Font::CodePoint(0x81), 0);

  const auto file = Font::FindFile();
  if (file.empty()) GTEST_SKIP() << "no font installed";
  const auto font = Font::Load(file, 16);
  ASSERT_TRUE(font);
  // The degree sign is a real glyph: narrower than a digit, wider than nothing.
  const float degree = font->Width("\xB0");
  EXPECT_GT(degree, 2.0f);
  EXPECT_LT(degree, font->Width("0"));
  EXPECT_FALSE(Font::Load(file.parent_path() / "no-such-font.ttf", 16));
}

}  // namespace
