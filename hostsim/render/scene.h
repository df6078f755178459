// One frame's worth of the world, read out for drawing: every visible mesh group with its
// world matrix and material, the lights and beacons that shine, and the ground height.
#pragma once

#include <array>
#include <vector>

#include "hostsim/render/math.h"
#include "hostsim/render/render.h"

namespace hostsim::render {

struct DrawGroup {
  const Vessel* vessel = nullptr;  // whose mesh it is
  const Mesh* mesh = nullptr;
  std::size_t groupIndex = 0;
  Mat4 model;                      // mesh frame -> world
  std::array<float, 9> normalMat;  // inverse transpose of model's 3x3 part, column-major
  MATERIAL material{};
};

struct SceneLight {
  const Vessel* vessel = nullptr;  // whose light it is: its own meshes cast no shadow of it
  bool spot = false;
  VECTOR3 pos{}, dir{};                       // world frame, dir of unit length
  std::array<float, 3> colour{}, specular{};  // times the light's intensity
  double range = 0;
  std::array<double, 3> att{1, 0, 0};
  double cosInner = -1, cosOuter = -1;  // cosines of the half umbra and penumbra angles
};

struct SceneBeacon {
  VECTOR3 pos{};
  std::array<float, 3> colour{};
  double size = 0;
};

struct Scene {
  std::vector<DrawGroup> groups;
  std::vector<SceneLight> lights;
  std::vector<SceneBeacon> beacons;
  double groundY = 0;
};

// The material a group without one is drawn with.
MATERIAL DefaultMaterial();

// Reads the world as it stands. Meshes are taken from each vessel's mesh slots (drawn when
// the slot's visibility mode includes the external view, bit 0), posed by the slot offset,
// the group transforms of the animations and the vessel's world pose; materials come from
// the vessel's visual when one is built, else from the template mesh. Only active lights
// and active beacons (inside their blink when they blink) are taken.
Scene CaptureScene(World& world, const RenderOptions& opts);

// Centre and radius of the sphere around a vessel's posed meshes, the vessel standing at
// `pose` in the world (its position and 0.5 m when it has no mesh).
std::pair<VECTOR3, double> VesselBounds(const Vessel& v, const Transform& pose);

// GroundHeight with the frame's poses of every vessel at hand.
double GroundHeight(World& world, const RenderOptions& opts, const Poses& poses);

}  // namespace hostsim::render
