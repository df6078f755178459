// Mesh group transforms used to build animations.
#pragma once

#include "api.h"
#include "types.h"

// A transform of some groups of one vessel mesh. The module creates it, hands the host a
// pointer through VESSEL::AddAnimationComponent, keeps it alive while the animation exists
// and frees it itself.
class ZAPI_CLASS MGROUP_TRANSFORM {
 public:
  // The kinds of transform: none, a rotation, a translation, a scaling.
  enum TYPE { NULLTRANSFORM = 0, ROTATE = 1, TRANSLATE = 2, SCALE = 3 };

  // Makes an empty transform of no groups.
  MGROUP_TRANSFORM();
  // Makes a transform of `ngrp` groups listed at `grp` of vessel mesh `mesh`; the list is
  // read through the pointer for as long as the transform is used.
  MGROUP_TRANSFORM(std::uint32_t mesh, std::uint32_t* grp, std::uint32_t ngrp);
  // Reports the kind of transform.
  virtual TYPE Type() const;

  std::uint32_t mesh;  // vessel mesh index
  std::uint32_t* grp;  // group indices
  std::uint32_t ngrp;  // number of group indices

 protected:
  ~MGROUP_TRANSFORM() = default;
};

// A rotation of mesh groups about an axis through a reference point. Over the component's
// state range the groups turn by `angle` radians, right-handed about `axis`.
class ZAPI_CLASS MGROUP_ROTATE final : public MGROUP_TRANSFORM {
 public:
  // Makes the rotation; `axis` should have unit length.
  MGROUP_ROTATE(std::uint32_t mesh, std::uint32_t* grp, std::uint32_t ngrp, const VECTOR3& ref,
                const VECTOR3& axis, float angle);
  // Reports ROTATE.
  TYPE Type() const override;

  VECTOR3 ref;   // point the axis passes through, vessel mesh frame
  VECTOR3 axis;  // rotation axis
  float angle;   // rotation over the whole state range, radians
};
