#include "pictures.h"

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "hostsim/render/render.h"
#include "hostsim/world.h"

namespace bench {
namespace {

namespace fs = std::filesystem;
using hostsim::World;

hostsim::Paths PicturePaths() {
  hostsim::Paths p;
  p.config = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "config";
  p.meshes = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "meshes";
  p.modules = fs::path(LUMIPOD_MODULE_DIR);
  return p;
}

// Lamps 6 m apart, each shining 12 m ahead and down: whatever the field's size, a point of
// the ground is reached by about as many lamps. The camera, 8 m above the field's middle,
// sees about 12 x 7 m of it, inside the smallest field (4 x 4 lamps, 18 m across), so that a
// pixel of any field is reached by about as many lamps.
constexpr double kFieldSpacing = 6.0;

World& LampField(int lamps, const fs::path& dir) {
  static std::map<int, std::unique_ptr<World>> worlds;
  std::unique_ptr<World>& w = worlds[lamps];
  if (!w) {
    const int side = static_cast<int>(std::lround(std::sqrt(lamps)));
    std::string text = "FOCUS L0\n";
    for (int i = 0; i < side * side; ++i) {
      const double x = (i % side - (side - 1) / 2.0) * kFieldSpacing;
      const double z = ((i - i % side) / side - (side - 1) / 2.0) * kFieldSpacing;
      text += "VESSEL L" + std::to_string(i) + " lumipod\n  POS " + std::to_string(x) + " 0.37 " +
              std::to_string(z) + "\n  ORI 0 0 0\n  SPT 1 12.0 1.2\n" +
              "  GBL 0.30000 0.00000\nEND\n";
    }
    const fs::path file = dir / ("field-" + std::to_string(lamps) + ".scn");
    if (!(std::ofstream(file, std::ios::binary) << text))
      throw std::runtime_error("cannot write " + file.string());
    w = std::make_unique<World>(PicturePaths());
    w->journal().SetEnabled(false);
    w->LoadScenario(file);
    w->Step(0.02);
  }
  w->MakeCurrent();
  return *w;
}

World& Demo() {
  static std::unique_ptr<World> w;
  if (!w) {
    w = std::make_unique<World>(PicturePaths());
    w->journal().SetEnabled(false);
    w->LoadScenario(fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "scenarios" / "demo.scn");
    w->Step(0.0);
  }
  w->MakeCurrent();
  return *w;
}

// One context for every picture: making one is slow in software.
hostsim::render::Offscreen& Pictures() {
  static hostsim::render::Offscreen offscreen;
  return offscreen;
}

void Picture(benchmark::State& state, World& world, const hostsim::render::RenderOptions& opts) {
  for (auto _ : state) {
    const hostsim::render::Image image = Pictures().Render(world, 1280, 720, opts);
    benchmark::DoNotOptimize(image.rgb.data());
  }
}

}  // namespace

void FieldPicture(benchmark::State& state, int lamps, const fs::path* dir) {
  hostsim::render::RenderOptions opts;
  hostsim::render::Camera camera;
  camera.pitch = 1.55;
  camera.distance = 8;
  opts.camera = camera;
  opts.hud = false;
  Picture(state, LampField(lamps, *dir), opts);
}

void DemoPicture(benchmark::State& state, bool shadows) {
  hostsim::render::RenderOptions opts;
  opts.shadows = shadows;
  Picture(state, Demo(), opts);
}

}  // namespace bench
