// Affine transforms and the Euler angles of scenario orientations.
#include "hostsim/runtime/transform.h"

#include <cmath>

#include "hostsim/vecmath.h"

namespace hostsim {

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

}  // namespace

VECTOR3 Transform::Apply(const VECTOR3& p) const {
  return {r[0] * p.x + r[1] * p.y + r[2] * p.z + t.x, r[3] * p.x + r[4] * p.y + r[5] * p.z + t.y,
          r[6] * p.x + r[7] * p.y + r[8] * p.z + t.z};
}

Transform Transform::Then(const Transform& outer) const {
  Transform out;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      out.r[i * 3 + j] = outer.r[i * 3 + 0] * r[0 * 3 + j] + outer.r[i * 3 + 1] * r[1 * 3 + j] +
                         outer.r[i * 3 + 2] * r[2 * 3 + j];
  VECTOR3 ot = {outer.r[0] * t.x + outer.r[1] * t.y + outer.r[2] * t.z,
                outer.r[3] * t.x + outer.r[4] * t.y + outer.r[5] * t.z,
                outer.r[6] * t.x + outer.r[7] * t.y + outer.r[8] * t.z};
  out.t = Add(ot, outer.t);
  return out;
}

Transform Inverse(const Transform& a) {
  // Rigid transforms only: the inverse rotation is the transpose.
  Transform out;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out.r[i * 3 + j] = a.r[j * 3 + i];
  VECTOR3 rt = {out.r[0] * a.t.x + out.r[1] * a.t.y + out.r[2] * a.t.z,
                out.r[3] * a.t.x + out.r[4] * a.t.y + out.r[5] * a.t.z,
                out.r[6] * a.t.x + out.r[7] * a.t.y + out.r[8] * a.t.z};
  out.t = Scale(rt, -1.0);
  return out;
}

bool SameTransform(const Transform& a, const Transform& b) {
  auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
  for (int i = 0; i < 9; ++i)
    if (!same(a.r[i], b.r[i])) return false;
  return same(a.t.x, b.t.x) && same(a.t.y, b.t.y) && same(a.t.z, b.t.z);
}

bool FiniteTransform(const Transform& t) {
  for (double x : t.r)
    if (!std::isfinite(x)) return false;
  return std::isfinite(t.t.x) && std::isfinite(t.t.y) && std::isfinite(t.t.z);
}

Transform PoseFromAngles(const VECTOR3& pos, const VECTOR3& oriDeg) {
  double cy = std::cos(oriDeg.x * kDeg), sy = std::sin(oriDeg.x * kDeg);
  double cp = std::cos(oriDeg.y * kDeg), sp = std::sin(oriDeg.y * kDeg);
  double cr = std::cos(oriDeg.z * kDeg), sr = std::sin(oriDeg.z * kDeg);
  Transform out;
  out.r[0] = cy * cr + sy * sp * sr;
  out.r[1] = -cy * sr + sy * sp * cr;
  out.r[2] = sy * cp;
  out.r[3] = cp * sr;
  out.r[4] = cp * cr;
  out.r[5] = -sp;
  out.r[6] = -sy * cr + cy * sp * sr;
  out.r[7] = sy * sr + cy * sp * cr;
  out.r[8] = cy * cp;
  out.t = pos;
  return out;
}

VECTOR3 AnglesFromPose(const Transform& t) {
  double sp = -t.r[5];
  if (sp > 1) sp = 1;
  if (sp < -1) sp = -1;
  double pitch = std::asin(sp);
  double yaw, roll;
  if (std::fabs(sp) < 1.0 - 1e-12) {
    yaw = std::atan2(t.r[2], t.r[8]);
    roll = std::atan2(t.r[3], t.r[4]);
  } else {
    // Looking straight up or down: yaw and roll turn about the same axis; put it all in yaw.
    roll = 0;
    yaw = std::atan2(-t.r[6], t.r[0]);
  }
  return {yaw / kDeg, pitch / kDeg, roll / kDeg};
}

}  // namespace hostsim
