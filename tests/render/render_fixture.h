// Test support for the renderer: worlds made from small scenarios, pictures of them, and
// measures of what a picture shows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "hostsim/render/render.h"
#include "hostsim/world.h"
#include "support/world_fixture.h"

namespace rendertest {

// A world over the examples (or over `config` instead of the example configurations)
// loaded from `scenario` text, after one 0.02 s step.
struct LoadedWorld {
  testsupport::TempDir dir;
  std::unique_ptr<hostsim::World> world;
  hostsim::Vessel& vessel(const std::string& name) const { return *world->FindVessel(name); }
};
std::unique_ptr<LoadedWorld> Load(const std::string& scenario, const std::string& lampConfig = {});

// A picture of the world taken in the test program's one offscreen context, which is made at
// the first picture and released when the program's tests are done.
hostsim::render::Image Picture(hostsim::World& world, int W, int H,
                               const hostsim::render::RenderOptions& opts = {});

// A scenario with one lamp named Lamp standing on the ground at the origin, facing +z.
std::string LampScenario(int on, double range, double apertureRad, double altState, double azState);

// Looking straight down at `centre` from `height` metres, without HUD or beacons.
hostsim::render::RenderOptions TopDown(VECTOR3 centre, double height);

// Pixels brighter than `threshold` (mean of r, g, b), with their mean colour and position.
struct Lit {
  int count = 0;
  double r = 0, g = 0, b = 0;  // mean colour of the lit pixels
  double x = 0, y = 0;         // their centroid
};
Lit LitPixels(const hostsim::render::Image& image, int threshold);
// Pixels of `on` brighter than in `off` by more than `margin`, with the mean colour of what
// was added (on - off) and its centroid.
Lit AddedLight(const hostsim::render::Image& on, const hostsim::render::Image& off, int margin);

// Mean colour of the (2k+1)^2 pixels around (x, y).
struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb MeanAround(const hostsim::render::Image& image, int x, int y, int k = 1);

// World-space centre of group `group` of the vessel's mesh 0, as posed now.
VECTOR3 GroupCentre(const hostsim::Vessel& v, std::size_t group);

}  // namespace rendertest
