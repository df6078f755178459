// The matrices of an orbit camera.
#pragma once

#include "hostsim/render/math.h"
#include "hostsim/render/render.h"

namespace hostsim::render {

struct CameraMatrices {
  VECTOR3 eye{};
  Mat4 view, proj;
};

CameraMatrices MatricesOf(const Camera& camera, double aspect);

}  // namespace hostsim::render
