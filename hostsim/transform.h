// hostsim: the affine transform every pose and mesh group placement of the world is.
#pragma once

#include "host/types.h"

namespace hostsim {

// A 3x4 affine transform: rotation r (row-major) then translation t.
struct Transform {
  double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  VECTOR3 t = {0, 0, 0};
  // The point `p` rotated by r, then moved by t.
  VECTOR3 Apply(const VECTOR3& p) const;
  // The transform that applies this one, then `outer` (outer ∘ this).
  Transform Then(const Transform& outer) const;
};

}  // namespace hostsim
