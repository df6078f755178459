// Fine adjustment of the parent's point that holds the lamp: shifting its position along the
// parent's axes and turning its direction and rotation reference about the point's own axes.
#include <cmath>

#include "lamp/lumipod.h"

namespace {

bool IsFinite(const VECTOR3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The axis to turn about, from the point's direction d and rotation reference r as read:
// X = d x r normalised, Y = d, Z = r (both as read). False when the axis is undefined: d and
// r parallel or one of them zero for X (the cross product has no length to divide by), a
// zero vector for Y or Z, or values that are not finite.
bool TurnAxis(lumipod::Axis axis, const VECTOR3& d, const VECTOR3& r, VECTOR3& a) {
  switch (axis) {
    case lumipod::Axis::X: {
      const VECTOR3 c = {d.y * r.z - d.z * r.y, d.z * r.x - d.x * r.z, d.x * r.y - d.y * r.x};
      const double len = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
      if (!(len > 0.0) || !std::isfinite(len)) return false;
      a = {c.x / len, c.y / len, c.z / len};
      break;
    }
    case lumipod::Axis::Y:
      a = d;
      break;
    case lumipod::Axis::Z:
      a = r;
      break;
  }
  return IsFinite(a) && (a.x != 0.0 || a.y != 0.0 || a.z != 0.0);
}

}  // namespace

void lumipod::ShiftAttachment(Axis axis, Sign sign) {
  ParentSlot ps{};
  if (!FindParentSlot(ps)) return;
  ps.parent->GetAttachmentParams(ps.slot, attPos, attDir, attRot);
  const double step = sign == Sign::Plus ? shiftStep : -shiftStep;
  switch (axis) {
    case Axis::X:
      attPos.x = attPos.x + step;
      break;
    case Axis::Y:
      attPos.y = attPos.y + step;
      break;
    case Axis::Z:
      attPos.z = attPos.z + step;
      break;
  }
  ps.parent->SetAttachmentParams(ps.slot, attPos, attDir, attRot);
}

void lumipod::RotateAttachment(Axis axis, Sign sign) {
  ParentSlot ps{};
  if (!FindParentSlot(ps)) return;
  ps.parent->GetAttachmentParams(ps.slot, attPos, attDir, attRot);
  const VECTOR3 d = attDir;
  const VECTOR3 r = attRot;

  // An undefined axis or a result that is not finite is never written into the point: the
  // point keeps its parameters.
  VECTOR3 a{};
  if (!TurnAxis(axis, d, r, a)) return;

  const double theta = sign == Sign::Plus ? kTwoPi * rotStep : -(kTwoPi * rotStep);
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double u = 1.0 - c;
  // Axis-angle turning matrix, rows giving x, y and z of the result.
  const double m[3][3] = {
      {a.x * a.x + (1.0 - a.x * a.x) * c, u * a.x * a.y - s * a.z, u * a.x * a.z + s * a.y},
      {u * a.x * a.y + s * a.z, a.y * a.y + (1.0 - a.y * a.y) * c, u * a.y * a.z - s * a.x},
      {u * a.x * a.z - s * a.y, u * a.y * a.z + s * a.x, a.z * a.z + (1.0 - a.z * a.z) * c},
  };
  auto apply = [&m](const VECTOR3& v) -> VECTOR3 {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
  };
  const VECTOR3 dTurned = apply(d);
  const VECTOR3 rTurned = apply(r);
  if (!IsFinite(dTurned) || !IsFinite(rTurned)) return;

  attDir = dTurned;
  attRot = rTurned;
  ps.parent->SetAttachmentParams(ps.slot, attPos, attDir, attRot);
}
