// Pictures of lamps, checked for what a person would look for — where the beam lands, how
// large and what colour its pool of light is, whether the glass glows — with tolerances
// rather than against stored images; the stored pictures are the demo's and a scene of
// shadows, which the Windows build must draw as the Linux build does.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "render/render_fixture.h"

namespace {

using hostsim::render::Image;
using rendertest::LampScenario;
using rendertest::LitPixels;
using rendertest::Load;
using rendertest::Picture;
using rendertest::TopDown;

constexpr double kDeg = std::numbers::pi / 180;
constexpr int kSize = 160;
constexpr int kLitThreshold = 70;  // the unlit night ground stays far below this

// The lamp's pool of light on the ground, seen from 30 m above a point 8 m ahead of it.
Image Pool(const std::string& scenario, const std::string& config = {}) {
  auto lw = Load(scenario, config);
  return Picture(*lw->world, kSize, kSize, TopDown({0, 0, 8}, 30));
}

TEST(PictureBeam, LampOffLeavesTheGroundDark) {
  const auto lit = LitPixels(Pool(LampScenario(0, 40, 40 * kDeg, 0.42, 0)), kLitThreshold);
  EXPECT_EQ(lit.count, 0);
}

TEST(PictureBeam, PoolGrowsWithRangeAndSpread) {
  const int shortBeam =
      LitPixels(Pool(LampScenario(1, 4, 40 * kDeg, 0.45, 0)), kLitThreshold).count;
  const int longBeam =
      LitPixels(Pool(LampScenario(1, 40, 40 * kDeg, 0.45, 0)), kLitThreshold).count;
  const int wideBeam =
      LitPixels(Pool(LampScenario(1, 40, 90 * kDeg, 0.45, 0)), kLitThreshold).count;
  EXPECT_GT(shortBeam, 0);
  EXPECT_GT(longBeam, 2 * shortBeam) << "short " << shortBeam << ", long " << longBeam;
  EXPECT_GT(wideBeam, longBeam * 3 / 2) << "narrow " << longBeam << ", wide " << wideBeam;
}

TEST(PictureBeam, PoolFollowsTheAim) {
  // Seen from above the lamp: the pool's centroid lies on the side the head points to.
  const auto view = TopDown({0, 0, 0}, 30);
  const auto centroidFor = [&](double azState) {
    auto lw = Load(LampScenario(1, 40, 40 * kDeg, 0.42, azState));
    return LitPixels(Picture(*lw->world, kSize, kSize, view), kLitThreshold);
  };
  const auto lamp = *hostsim::render::Project(*view.camera, kSize, kSize, {0, 0, 0});
  const auto plusZ = *hostsim::render::Project(*view.camera, kSize, kSize, {0, 0, 4});
  const auto plusX = *hostsim::render::Project(*view.camera, kSize, kSize, {4, 0, 0});
  const auto towards = [&](const rendertest::Lit& lit, std::pair<double, double> p) {
    // Cosine between (pool - lamp) and (p - lamp) in the picture.
    const double ax = lit.x - lamp.first, ay = lit.y - lamp.second;
    const double bx = p.first - lamp.first, by = p.second - lamp.second;
    return (ax * bx + ay * by) / (std::hypot(ax, ay) * std::hypot(bx, by));
  };
  const auto ahead = centroidFor(0.0);
  const auto right = centroidFor(0.25);
  ASSERT_GT(ahead.count, 20);
  ASSERT_GT(right.count, 20);
  EXPECT_GT(towards(ahead, plusZ), 0.95);
  EXPECT_GT(towards(right, plusX), 0.95);
  EXPECT_LT(std::abs(towards(right, plusZ)), 0.3);
}

TEST(PictureBeam, PoolHasTheLampsColour) {
  // What the light adds to the night ground has the lamp's colour.
  const auto added = [](const std::string& config) {
    return rendertest::AddedLight(Pool(LampScenario(1, 40, 40 * kDeg, 0.42, 0), config),
                                  Pool(LampScenario(0, 40, 40 * kDeg, 0.42, 0), config), 8);
  };
  // The example lamp is a warm white (1, 0.95, 0.8).
  const auto warm = added({});
  ASSERT_GT(warm.count, 50);
  EXPECT_GT(warm.r, warm.b + 5);
  EXPECT_GE(warm.r + 2, warm.g);
  EXPECT_GE(warm.g + 2, warm.b);

  const auto red = added("Module = lumipod\nSpotColour = 1 0.1 0.1\n");
  ASSERT_GT(red.count, 50);
  EXPECT_GT(red.r, 3 * red.g);
  EXPECT_GT(red.r, 3 * red.b);
}

// Seen from in front of the lamp: where its glass group's centre lands in the picture, the
// glass glows in the lamp's colour while the lamp is on and is a dim grey while it is off.
TEST(PictureGlass, GlowsInTheLampColourOnlyWhenOn) {
  hostsim::render::RenderOptions opts;
  opts.hud = false;
  opts.beacons = false;
  opts.samples = 0;
  const auto glassColour = [&](int on, const std::string& config) {
    auto lw = Load(LampScenario(on, 40, 40 * kDeg, 0.5, 0), config);
    const VECTOR3 centre = rendertest::GroupCentre(lw->vessel("Lamp"), 1);
    hostsim::render::Camera camera;
    camera.target = centre;
    camera.yaw = 0.5;  // from the front quarter, the glass facing +z
    camera.pitch = 0.2;
    camera.distance = 1.5;
    opts.camera = camera;
    const Image img = Picture(*lw->world, 240, kSize, opts);
    const auto px = hostsim::render::Project(camera, 240, kSize, centre);
    EXPECT_TRUE(px);
    return rendertest::MeanAround(img, static_cast<int>(px->first), static_cast<int>(px->second));
  };
  const auto on = glassColour(1, {});
  EXPECT_GT(on.r, 220);
  EXPECT_GT(on.g, 210);
  EXPECT_GT(on.b, 170);
  EXPECT_GT(on.r, on.b + 8);

  const auto off = glassColour(0, {});
  EXPECT_LT(off.r, 110);
  EXPECT_NEAR(off.r, off.g, 12);
  EXPECT_NEAR(off.g, off.b, 16);

  const auto green = glassColour(1, "Module = lumipod\nSpotColour = 0.1 1 0.2\n");
  EXPECT_GT(green.g, 200);
  EXPECT_GT(green.g, green.r + 60);
  EXPECT_GT(green.g, green.b + 60);
}

TEST(PictureBeacon, SpriteShowsInFrontOfTheLampWhileItIsOn) {
  hostsim::render::RenderOptions opts;
  opts.hud = false;
  opts.samples = 0;
  opts.ground = false;
  const auto brightness = [&](int on, bool beacons) {
    auto lw = Load(LampScenario(on, 300, 20 * kDeg, 0.5, 0));
    hostsim::render::Camera cam;  // from the side, so the sprite is not in front of the glass
    cam.target = {0, 0.37, 0.15};
    cam.yaw = std::numbers::pi / 2;
    cam.pitch = 0.1;
    cam.distance = 2.0;
    opts.camera = cam;
    opts.beacons = beacons;
    const Image img = Picture(*lw->world, kSize, kSize, opts);
    const auto px = *hostsim::render::Project(cam, kSize, kSize, {0, 0.37, 0.15});
    const auto m =
        rendertest::MeanAround(img, static_cast<int>(px.first), static_cast<int>(px.second), 2);
    return (m.r + m.g + m.b) / 3;
  };
  EXPECT_GT(brightness(1, true), 200);
  EXPECT_LT(brightness(1, false), 120);
  EXPECT_LT(brightness(0, true), 120);
}

TEST(PictureParent, BeamLightsTheVesselItHangsOn) {
  // A lamp on the tug's deck point 1 (1.5, 0.6, 1), its head tilted down towards the deck
  // behind it.
  const std::string scenario = [](int on) {
    return std::string(
               "FOCUS Lamp\n"
               "VESSEL Tug tug\n  POS 0 0.6 0\n  ORI 0 0 0\nEND\n"
               "VESSEL Lamp lumipod\n  POS 1.5 1.57 1\n  ORI 0 0 0\n  ATTACHED Tug 1 GS\n"
               "  SPT ") +
           std::to_string(on) + " 30.0 1.0\n  GBL 0.30000 0.50000\nEND\n";
  }(1);
  const auto deck = [&](const std::string& text) {
    auto lw = Load(text);
    const auto opts = TopDown({1.5, 1.2, -1}, 12);
    const Image img = Picture(*lw->world, kSize, kSize, opts);
    // A deck point about a metre behind the lamp, where the tilted beam lands.
    const auto px = *hostsim::render::Project(*opts.camera, kSize, kSize, {1.5, 1.2, -0.2});
    const auto m =
        rendertest::MeanAround(img, static_cast<int>(px.first), static_cast<int>(px.second), 2);
    return (m.r + m.g + m.b) / 3;
  };
  std::string off = scenario;
  off.replace(off.find("SPT 1"), 5, "SPT 0");
  const double lit = deck(scenario), dark = deck(off);
  EXPECT_GT(lit, dark + 40) << "lit " << lit << ", dark " << dark;
}

TEST(PictureHud, HelpTextIsDrawnInLightGreen) {
  auto lw = Load(LampScenario(0, 300, 20 * kDeg, 0.5, 0));
  hostsim::render::RenderOptions opts;
  opts.samples = 0;
  opts.beacons = false;
  const auto greenPixels = [&](bool hud) {
    opts.hud = hud;
    const Image img = Picture(*lw->world, 512, 384, opts);
    int n = 0;
    // The help text's column: x from 10, its thirteen lines between y 84 and 200 at 384 high.
    for (int y = 80; y < 200; ++y)
      for (int x = 5; x < 250; ++x) {
        const std::uint8_t* p = img.at(x, y);
        if (p[1] > 150 && p[1] > p[0] + 60 && p[1] > p[2] + 60) ++n;
      }
    return n;
  };
  EXPECT_GT(greenPixels(true), 400);
  EXPECT_EQ(greenPixels(false), 0);
}

// Contexts alive at the same time share the process's display: releasing one leaves the
// others drawing, and a context made after all were released (the display terminated) draws
// the same picture again.
TEST(PictureContext, ContextsComeAndGoIndependently) {
  auto lw = Load(LampScenario(1, 40, 40 * kDeg, 0.42, 0));
  const auto opts = TopDown({0, 0, 8}, 30);
  Image first;
  {
    hostsim::render::Offscreen a;
    first = a.Render(*lw->world, 64, 64, opts);
    ASSERT_GT(LitPixels(first, kLitThreshold).count, 0);
    {
      hostsim::render::Offscreen b;
      EXPECT_EQ(b.Render(*lw->world, 64, 64, opts).rgb, first.rgb);
    }
    EXPECT_EQ(a.Render(*lw->world, 64, 64, opts).rgb, first.rgb);
  }
  hostsim::render::Offscreen c;
  EXPECT_EQ(c.Render(*lw->world, 64, 64, opts).rgb, first.rgb);
}

// The demo, and a scene of shadows, as `hostsim render SCENARIO --size 320x200` draws them,
// against the pictures the Linux build drew: the same on every system whose OpenGL is Mesa's
// software renderer (Wine's on Windows), but for small differences a driver or font version
// may make.
TEST(PictureReference, MatchesThePicturesOfTheLinuxBuild) {
  for (const char* name : {"demo", "shadows"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path source(LUMIPOD_SOURCE_DIR);
    hostsim::World world(testsupport::ExamplePaths());
    world.journal().SetEnabled(false);
    world.LoadScenario(source / "examples/scenarios" / (std::string(name) + ".scn"));
    world.Step(0.0);
    const Image image = Picture(world, 320, 200);
    const std::string reference =
        (source / "tests/render" / (std::string(name) + "-320x200.png")).string();
    int w = 0, h = 0, comp = 0;
    unsigned char* expected = stbi_load(reference.c_str(), &w, &h, &comp, 3);
    ASSERT_NE(expected, nullptr) << reference;
    ASSERT_EQ(w, image.width);
    ASSERT_EQ(h, image.height);
    long total = 0;
    int far = 0;
    for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
      int worst = 0;
      for (std::size_t c = 0; c < 3; ++c) {
        const int d =
            std::abs(static_cast<int>(image.rgb[i + c]) - static_cast<int>(expected[i + c]));
        total += d;
        worst = std::max(worst, d);
      }
      if (worst > 24) ++far;
    }
    stbi_image_free(expected);
    const auto pixels = static_cast<double>(w) * h;
    EXPECT_LT(static_cast<double>(total) / (pixels * 3), 1.0);
    EXPECT_LT(far, static_cast<int>(pixels / 100)) << "pixels that differ by more than 24";
  }
}

// A large picture is drawn in tiles; put together, they are the picture drawn whole, HUD and
// all, but for the odd edge pixel a sample's rounding moves.
TEST(PictureTiles, TilesMakeThePictureDrawnWhole) {
  auto lw = Load(LampScenario(1, 40, 40 * kDeg, 0.42, 0));
  hostsim::render::RenderOptions opts;
  const Image whole = Picture(*lw->world, 200, 150, opts);
  opts.tileSize = 64;
  const Image tiled = Picture(*lw->world, 200, 150, opts);
  ASSERT_EQ(tiled.rgb.size(), whole.rgb.size());
  int differ = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      for (int c = 0; c < 3; ++c)
        if (std::abs(tiled.at(x, y)[c] - whole.at(x, y)[c]) > 8) {
          ++differ;
          break;
        }
  EXPECT_LE(differ, 150) << "of 30000 pixels";
}

TEST(PicturePng, WrittenWholeOrNotAtAll) {
  auto lw = Load(LampScenario(1, 40, 40 * kDeg, 0.42, 0));
  const auto file = lw->dir.path() / "shot.png";
  hostsim::render::RenderOptions opts;
  opts.samples = 0;
  hostsim::render::RenderToPng(*lw->world, file, 96, 64, opts);
  int w = 0, h = 0, comp = 0;
  unsigned char* pixels = stbi_load(file.string().c_str(), &w, &h, &comp, 3);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(w, 96);
  EXPECT_EQ(h, 64);
  stbi_image_free(pixels);

  const auto bad = lw->dir.path() / "bad.png";
  EXPECT_THROW(hostsim::render::RenderToPng(*lw->world, bad, 0, 64, opts), hostsim::Error);
  EXPECT_THROW(
      hostsim::render::RenderToPng(*lw->world, lw->dir.path() / "no" / "such.png", 8, 8, opts),
      hostsim::Error);
  // Nothing but the one good picture (and the scenario) is left in the folder.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(lw->dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

}  // namespace
