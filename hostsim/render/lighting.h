// Which lights reach which part of a picture, and which of them cast shadows: the work done
// once per picture before it is drawn (in tiles or whole, the same for every tile).
//
// The view is cut into clusters: square tiles of the whole picture's pixels, each cut in depth
// into slices that grow with the distance. A light is listed in every cluster its bounds (a
// sphere around its range, or around its cone for a spot) may touch; a pixel's shader goes
// through its cluster's list alone, so the work of a pixel follows the lights that reach it,
// not the number of lights in the scene.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/render/camera.h"
#include "hostsim/render/scene.h"

namespace hostsim::render {

// How the picture is cut: tiles of `tilePx` pixels from the picture's bottom-left corner,
// `cols` x `rows` of them, each in `slices` depth slices spaced evenly in log(depth) from
// zNear to zFar.
struct ClusterGrid {
  int tilePx = 32;
  int cols = 1, rows = 1, slices = 1;
  double zNear = 0.1, zFar = 4000;
  std::size_t Count() const {
    return static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows) *
           static_cast<std::size_t>(slices);
  }
};

struct LightLists {
  ClusterGrid grid;
  // The lights that reach the view (indices into Scene::lights), in scene order.
  std::vector<std::uint32_t> inView;
  // Per cluster (x fastest, then y, then slice): where its list starts in `indices`, and how
  // long it is.
  std::vector<std::uint32_t> ranges;
  // The clusters' lists, each an index into `inView`.
  std::vector<std::uint32_t> indices;
};

// Culls the scene's lights against the view of a W x H picture and lists them per cluster.
// `maxIndices` bounds the length of all lists together (what the GPU's buffer can hold): when
// they would be longer, the tiles are made larger until they fit.
LightLists AssignLights(const std::vector<SceneLight>& lights, const CameraMatrices& cam, int W,
                        int H, std::size_t maxIndices);

// The centre and radius of a sphere around all a light can reach.
std::pair<VECTOR3, double> LightBounds(const SceneLight& light);

// Shadow maps: each a square depth map of kShadowMapSize pixels, a layer of one array. A spot
// light with a cone up to kWidestShadowCone takes one, any other light six (a cube around it,
// one face each). At most kShadowLayers are drawn for a picture.
inline constexpr int kShadowMapSize = 1024;
inline constexpr int kShadowLayers = 16;
inline constexpr double kWidestShadowCone = 2.6;  // full cone angle, radians (about 150 degrees)

struct ShadowCaster {
  std::uint32_t light = 0;  // index into Scene::lights
  int firstLayer = 0;
  int faces = 1;                 // 1: a spot's one map, 6: a cube
  std::array<Mat4, 6> viewProj;  // light view and projection of each face
  double texelAtOneMetre = 0;    // a map pixel's size in metres, one metre from the light
};

struct ShadowPlan {
  std::vector<ShadowCaster> casters;
  int candidates = 0;  // lights in view that could cast a shadow
  int layers = 0;      // layers the casters take
};

// Chooses the lights in view that cast shadows, as many as kShadowLayers layers hold: by their
// contribution to the view, the brightest and nearest to the eye first.
ShadowPlan PlanShadows(const std::vector<SceneLight>& lights,
                       const std::vector<std::uint32_t>& inView, const VECTOR3& eye);

// What a picture left out or approximated, in words for its user ("shadows from 8 of 40
// lights ..."); empty when nothing.
std::string ShadowNote(const ShadowPlan& plan);

}  // namespace hostsim::render
