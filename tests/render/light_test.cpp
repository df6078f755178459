// Pictures that would catch the renderer lying about light: a lamp listed after many others
// still lights what it points at, and what stands in a beam keeps the light from what lies
// behind it, where the geometry says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "hostsim/render/scene.h"
#include "render/render_fixture.h"

namespace {

using hostsim::render::Image;
using rendertest::Load;
using rendertest::Picture;
using rendertest::TopDown;

constexpr double kDeg = std::numbers::pi / 180;

std::string Lamp(const std::string& name, VECTOR3 at, int on, double alt, double az,
                 double spread = 40 * kDeg) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "VESSEL %s lumipod\n  POS %g %g %g\n  ORI 0 0 0\n  SPT %d 40.0 %.4f\n"
                "  GBL %.5f %.5f\nEND\n",
                name.c_str(), at.x, at.y, at.z, on, spread, alt, az);
  return buf;
}

// Mean of r, g and b around the pixel where a world point lands.
double BrightnessAt(const Image& img, const hostsim::render::RenderOptions& opts, VECTOR3 p,
                    int k = 2) {
  const auto px = *hostsim::render::Project(*opts.camera, img.width, img.height, p);
  const auto m =
      rendertest::MeanAround(img, static_cast<int>(px.first), static_cast<int>(px.second), k);
  return (m.r + m.g + m.b) / 3;
}

// Many lamps on, listed before the one that lights the view, far from it but for one beside
// it: the last lamp's pool is as large and bright as when it shines alone, and the lamp
// beside it adds its own.
TEST(PictureLights, LampListedAfterManyOthersStillLights) {
  const auto view = TopDown({0, 0, 8}, 30);
  const auto pool = [&](int others, bool last) {
    std::string scenario = "FOCUS Lamp\n";
    for (int i = 0; i < others; ++i)
      scenario += Lamp("Far" + std::to_string(i), {300.0 + 3 * i, 0.37, 300}, 1, 0.42, 0);
    scenario += Lamp("Lamp", {0, 0.37, 0}, last ? 1 : 0, 0.42, 0);
    auto lw = Load(scenario);
    return rendertest::LitPixels(Picture(*lw->world, 160, 160, view), 70);
  };
  const auto alone = pool(0, true);
  ASSERT_GT(alone.count, 200);
  for (const int others : {16, 40}) {
    const auto after = pool(others, true);
    EXPECT_NEAR(after.count, alone.count, alone.count / 50.0) << others << " lamps before it";
    EXPECT_NEAR(after.r, alone.r, 2) << others << " lamps before it";
    EXPECT_EQ(pool(others, false).count, 0) << "the far lamps light nothing in view";
  }
}

// More lamps in view than shadow maps can be drawn for: the picture says how many cast
// shadows; as many as there are maps for, it says nothing.
TEST(PictureShadows, LightsBeyondTheShadowMapsAreSaid) {
  const auto notes = [](int lamps) {
    std::string scenario = "FOCUS L0\n";
    for (int i = 0; i < lamps; ++i)
      scenario +=
          Lamp("L" + std::to_string(i), {2.0 * (i % 5), 0.37, 2.0 * (i - i % 5) / 5}, 1, 0.42, 0);
    auto lw = Load(scenario);
    return Picture(*lw->world, 64, 64, TopDown({4, 0, 8}, 30)).notes;
  };
  EXPECT_TRUE(notes(16).empty());
  const auto over = notes(20);
  ASSERT_EQ(over.size(), 1u);
  EXPECT_EQ(over[0].rfind("shadows from 16 of 20 lights in view", 0), 0u) << over[0];
}

// A lamp on the ground at the origin shines along +z; the tug stands across its beam 5 m ahead.
std::string WallScenario(bool wall) {
  return "FOCUS Lamp\n" + Lamp("Lamp", {0, 0.37, 0}, 1, 0.42, 0) +
         (wall ? "VESSEL Wall tug\n  POS 0 0.6 5.2\n  ORI 90 0 0\nEND\n" : "");
}

TEST(PictureShadows, WallInTheBeamDarkensTheGroundBehindIt) {
  const auto view = TopDown({0, 0, 8}, 30);
  const auto picture = [&](const std::string& scenario) {
    auto lw = Load(scenario);
    return Picture(*lw->world, 200, 200, view);
  };
  const Image open = picture(WallScenario(false)), walled = picture(WallScenario(true));
  std::string off = WallScenario(false);
  off.replace(off.find("SPT 1"), 5, "SPT 0");
  const Image dark = picture(off);
  for (const double z : {9.0, 11.0, 14.0}) {
    const double night = BrightnessAt(dark, view, {0, 0, z});
    EXPECT_GT(BrightnessAt(open, view, {0, 0, z}), night + 12) << "z " << z;
    EXPECT_LT(BrightnessAt(walled, view, {0, 0, z}), night + 2) << "z " << z;
  }
  // In front of the wall the light is as it was.
  EXPECT_NEAR(BrightnessAt(open, view, {0, 0, 2}), BrightnessAt(walled, view, {0, 0, 2}), 2);
}

// A lamp on the tug's deck, its head turned to +x and down, shines over the edge of the hull:
// the ground just beside the hull lies in the hull's shadow, up to the line where the rays
// that graze the deck's edge meet the ground; beyond it, the ground is lit. That line comes
// from the light's position and the hull's shape, and pixels on either side of it are checked.
TEST(PictureShadows, ShadowEndsWhereTheGeometrySays) {
  const std::string scenario =
      "FOCUS Lamp\nVESSEL Tug tug\n  POS 0 0.6 0\n  ORI 0 0 0\nEND\n"
      "VESSEL Lamp lumipod\n  POS 1.5 1.57 1\n  ORI 0 0 0\n  ATTACHED Tug 1 GS\n"
      "  SPT 1 30.0 1.0\n  GBL 0.35000 0.25000\nEND\n";
  auto lw = Load(scenario);
  const auto scene = hostsim::render::CaptureScene(*lw->world, {});
  ASSERT_EQ(scene.lights.size(), 1u);
  const VECTOR3 L = scene.lights[0].pos;
  // The hull's top edge (x 2.2, 0.55 above the tug's origin) and the deck's (x 2.1, 0.6).
  double line = 0;
  for (const auto& [x, y] : {std::pair{2.2, 1.15}, std::pair{2.1, 1.2}}) {
    ASSERT_GT(L.y, y);
    line = std::max(line, L.x + (x - L.x) * L.y / (L.y - y));
  }
  ASSERT_GT(line, 2.2 + 0.6) << "the shadow is too narrow to look at";
  const auto view = TopDown({line, 0, L.z}, 10);
  const Image img = Picture(*lw->world, 200, 200, view);
  const double shadowed = BrightnessAt(img, view, {(2.2 + line) / 2, 0, L.z}, 1);
  const double lit = BrightnessAt(img, view, {line + 0.4, 0, L.z}, 1);
  EXPECT_GT(lit, shadowed + 12) << "line at x " << line;
}

}  // namespace
