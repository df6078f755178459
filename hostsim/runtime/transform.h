// Poses: Euler angles of scenario orientations, inverses, comparisons and checks of transforms.
#pragma once

#include "hostsim/transform.h"

namespace hostsim {

// Orientation from yaw (about y), pitch (about x) and roll (about z), in degrees, applied
// roll first: R = Ry(yaw) Rx(pitch) Rz(roll).
Transform PoseFromAngles(const VECTOR3& pos, const VECTOR3& oriDeg);
VECTOR3 AnglesFromPose(const Transform& t);
bool SameTransform(const Transform& a, const Transform& b);  // NaN equals NaN
bool FiniteTransform(const Transform& t);                    // every entry a finite number
Transform Inverse(const Transform& t);                       // of a rigid transform

}  // namespace hostsim
