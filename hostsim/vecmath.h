// The host's vector kit: arithmetic on the interface's VECTOR3 (double precision), shared by
// the runtime and the renderer.
#pragma once

#include <cmath>

#include "host/types.h"

namespace hostsim {

inline VECTOR3 Add(const VECTOR3& a, const VECTOR3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline VECTOR3 Sub(const VECTOR3& a, const VECTOR3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline VECTOR3 Scale(const VECTOR3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const VECTOR3& a, const VECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3 Cross(const VECTOR3& a, const VECTOR3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const VECTOR3& a) { return std::sqrt(Dot(a, a)); }
inline bool Finite(const VECTOR3& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

// The unit vector along `a`; false when `a` is zero or not finite.
inline bool Normalise(const VECTOR3& a, VECTOR3& out) {
  if (!Finite(a)) return false;
  double len = Length(a);
  if (!(len > 0) || !std::isfinite(len)) return false;
  out = Scale(a, 1.0 / len);
  return Finite(out);
}

// The unit vector along `a`, or `fallback` when `a` is too short to have a direction.
inline VECTOR3 Normalized(const VECTOR3& a, const VECTOR3& fallback = {0, 0, 1}) {
  const double l = Length(a);
  return l > 1e-12 ? Scale(a, 1.0 / l) : fallback;
}

}  // namespace hostsim
