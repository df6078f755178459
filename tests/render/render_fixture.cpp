#include "render/render_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

// The tests read PNG files back (their own pictures and screenshots).
#define STBI_ONLY_PNG
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace rendertest {
namespace {

// Owns the offscreen context of the program's pictures; gtest tears it down after the last
// test, so the program exits with everything the renderer made released.
class OffscreenEnvironment : public ::testing::Environment {
 public:
  hostsim::render::Offscreen& Get() {
    if (!offscreen_) offscreen_ = std::make_unique<hostsim::render::Offscreen>();
    return *offscreen_;
  }
  void TearDown() override { offscreen_.reset(); }

 private:
  std::unique_ptr<hostsim::render::Offscreen> offscreen_;
};

OffscreenEnvironment* const offscreenEnvironment = static_cast<OffscreenEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new OffscreenEnvironment));

}  // namespace

hostsim::render::Image Picture(hostsim::World& world, int W, int H,
                               const hostsim::render::RenderOptions& opts) {
  return offscreenEnvironment->Get().Render(world, W, H, opts);
}

std::unique_ptr<LoadedWorld> Load(const std::string& scenario, const std::string& lampConfig) {
  auto lw = std::make_unique<LoadedWorld>();
  hostsim::Paths paths = testsupport::ExamplePaths();
  if (!lampConfig.empty()) {
    lw->dir.Write("config/lumipod.cfg", lampConfig);
    paths.config = lw->dir.path() / "config";
  }
  lw->world = std::make_unique<hostsim::World>(paths);
  lw->world->journal().SetEnabled(false);
  lw->world->LoadScenario(lw->dir.Write("scene.scn", scenario));
  lw->world->Step(0.02);
  return lw;
}

std::string LampScenario(int on, double range, double apertureRad, double altState,
                         double azState) {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "FOCUS Lamp\n"
                "VESSEL Lamp lumipod\n"
                "  POS 0 0.37 0\n"
                "  ORI 0 0 0\n"
                "  SPT %d %.4f %.4f\n"
                "  GBL %.5f %.5f\n"
                "END\n",
                on, range, apertureRad, altState, azState);
  return buf;
}

hostsim::render::RenderOptions TopDown(VECTOR3 centre, double height) {
  hostsim::render::RenderOptions o;
  hostsim::render::Camera c;
  c.target = centre;
  c.pitch = 1.55;
  c.yaw = 0;
  c.distance = height;
  o.camera = c;
  o.hud = false;
  o.beacons = false;
  o.samples = 0;
  return o;
}

Lit LitPixels(const hostsim::render::Image& image, int threshold) {
  Lit lit;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.at(x, y);
      if ((p[0] + p[1] + p[2]) / 3 <= threshold) continue;
      ++lit.count;
      lit.r += p[0];
      lit.g += p[1];
      lit.b += p[2];
      lit.x += x;
      lit.y += y;
    }
  if (lit.count > 0) {
    lit.r /= lit.count;
    lit.g /= lit.count;
    lit.b /= lit.count;
    lit.x /= lit.count;
    lit.y /= lit.count;
  }
  return lit;
}

Lit AddedLight(const hostsim::render::Image& on, const hostsim::render::Image& off, int margin) {
  Lit lit;
  for (int y = 0; y < on.height; ++y)
    for (int x = 0; x < on.width; ++x) {
      const std::uint8_t* a = on.at(x, y);
      const std::uint8_t* b = off.at(x, y);
      const int dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
      if ((dr + dg + db) / 3 <= margin) continue;
      ++lit.count;
      lit.r += dr;
      lit.g += dg;
      lit.b += db;
      lit.x += x;
      lit.y += y;
    }
  if (lit.count > 0) {
    lit.r /= lit.count;
    lit.g /= lit.count;
    lit.b /= lit.count;
    lit.x /= lit.count;
    lit.y /= lit.count;
  }
  return lit;
}

Rgb MeanAround(const hostsim::render::Image& image, int x, int y, int k) {
  Rgb m;
  int n = 0;
  for (int j = y - k; j <= y + k; ++j)
    for (int i = x - k; i <= x + k; ++i) {
      if (i < 0 || j < 0 || i >= image.width || j >= image.height) continue;
      const std::uint8_t* p = image.at(i, j);
      m.r += p[0];
      m.g += p[1];
      m.b += p[2];
      ++n;
    }
  if (n > 0) {
    m.r /= n;
    m.g /= n;
    m.b /= n;
  }
  return m;
}

VECTOR3 GroupCentre(const hostsim::Vessel& v, std::size_t group) {
  const hostsim::Mesh& mesh = *v.meshes.at(0).mesh;
  const auto& pos = mesh.groups().at(group).positions;
  const hostsim::Transform tf = v.GroupTransforms(0).at(group).Then(v.WorldPose());
  double x = 0, y = 0, z = 0;
  const std::size_t n = pos.size() / 3;
  for (std::size_t i = 0; i < n; ++i) {
    const VECTOR3 p = tf.Apply({pos[i * 3], pos[i * 3 + 1], pos[i * 3 + 2]});
    x += p.x;
    y += p.y;
    z += p.z;
  }
  return {x / static_cast<double>(n), y / static_cast<double>(n), z / static_cast<double>(n)};
}

}  // namespace rendertest
