// The renderer's matrices (single precision for the GPU, built from the world's
// double-precision poses); vectors are the host's VECTOR3 with the host's kit (vecmath.h).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

#include "hostsim/vecmath.h"
#include "hostsim/world.h"

namespace hostsim::render {

// Column-major 4x4 matrix, as OpenGL takes it: m[col * 4 + row].
struct Mat4 {
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float& at(int row, int col) {
    return m[static_cast<std::size_t>(col) * 4 + static_cast<std::size_t>(row)];
  }
  float at(int row, int col) const {
    return m[static_cast<std::size_t>(col) * 4 + static_cast<std::size_t>(row)];
  }
};

inline Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a.at(i, k) * b.at(k, j);
      r.at(i, j) = s;
    }
  return r;
}

// The affine transform of the world as a matrix.
inline Mat4 FromTransform(const Transform& t) {
  Mat4 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.at(i, j) = static_cast<float>(t.r[i * 3 + j]);
  r.at(0, 3) = static_cast<float>(t.t.x);
  r.at(1, 3) = static_cast<float>(t.t.y);
  r.at(2, 3) = static_cast<float>(t.t.z);
  return r;
}

// Rotation part of a transform applied to a direction.
inline VECTOR3 Rotate(const Transform& t, const VECTOR3& d) {
  return {t.r[0] * d.x + t.r[1] * d.y + t.r[2] * d.z, t.r[3] * d.x + t.r[4] * d.y + t.r[5] * d.z,
          t.r[6] * d.x + t.r[7] * d.y + t.r[8] * d.z};
}

inline Transform Translation(const VECTOR3& t) {
  Transform r;
  r.t = t;
  return r;
}

inline Mat4 LookAt(const VECTOR3& eye, const VECTOR3& target, const VECTOR3& up) {
  const VECTOR3 f = Normalized(Sub(target, eye));
  const VECTOR3 s = Normalized(Cross(f, up), {1, 0, 0});
  const VECTOR3 u = Cross(s, f);
  Mat4 r;
  r.at(0, 0) = static_cast<float>(s.x);
  r.at(0, 1) = static_cast<float>(s.y);
  r.at(0, 2) = static_cast<float>(s.z);
  r.at(1, 0) = static_cast<float>(u.x);
  r.at(1, 1) = static_cast<float>(u.y);
  r.at(1, 2) = static_cast<float>(u.z);
  r.at(2, 0) = static_cast<float>(-f.x);
  r.at(2, 1) = static_cast<float>(-f.y);
  r.at(2, 2) = static_cast<float>(-f.z);
  r.at(0, 3) = static_cast<float>(-Dot(s, eye));
  r.at(1, 3) = static_cast<float>(-Dot(u, eye));
  r.at(2, 3) = static_cast<float>(Dot(f, eye));
  return r;
}

inline Mat4 Perspective(double fovY, double aspect, double zNear, double zFar) {
  const double f = 1.0 / std::tan(fovY / 2);
  Mat4 r;
  r.m.fill(0);
  r.at(0, 0) = static_cast<float>(f / aspect);
  r.at(1, 1) = static_cast<float>(f);
  r.at(2, 2) = static_cast<float>((zFar + zNear) / (zNear - zFar));
  r.at(2, 3) = static_cast<float>(2 * zFar * zNear / (zNear - zFar));
  r.at(3, 2) = -1;
  return r;
}

inline Mat4 Ortho(double left, double right, double bottom, double top) {
  Mat4 r;
  r.at(0, 0) = static_cast<float>(2 / (right - left));
  r.at(1, 1) = static_cast<float>(2 / (top - bottom));
  r.at(2, 2) = -1;
  r.at(0, 3) = static_cast<float>(-(right + left) / (right - left));
  r.at(1, 3) = static_cast<float>(-(top + bottom) / (top - bottom));
  return r;
}

}  // namespace hostsim::render
