// Animations: mesh group transforms, components, states and the group transforms they give.
#include <algorithm>
#include <cmath>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/transform.h"
#include "hostsim/vecmath.h"

// --- MGROUP_* (made and owned by modules) ---

MGROUP_TRANSFORM::MGROUP_TRANSFORM() : mesh(0), grp(nullptr), ngrp(0) {}

MGROUP_TRANSFORM::MGROUP_TRANSFORM(std::uint32_t mesh_, std::uint32_t* grp_, std::uint32_t ngrp_)
    : mesh(mesh_), grp(grp_), ngrp(ngrp_) {}

MGROUP_TRANSFORM::TYPE MGROUP_TRANSFORM::Type() const { return NULLTRANSFORM; }

MGROUP_ROTATE::MGROUP_ROTATE(std::uint32_t mesh_, std::uint32_t* grp_, std::uint32_t ngrp_,
                             const VECTOR3& ref_, const VECTOR3& axis_, float angle_)
    : MGROUP_TRANSFORM(mesh_, grp_, ngrp_), ref(ref_), axis(axis_), angle(angle_) {}

MGROUP_TRANSFORM::TYPE MGROUP_ROTATE::Type() const { return ROTATE; }

namespace hostsim {

namespace {

// How far a component has run at animation state `s`: 0 at state0, 1 at state1, clamped. A
// state that is not a number counts as not run at all. States so far apart that a difference
// overflows (near the largest doubles) are compared by their halves, which give the same ratio.
double Progress(const AnimationComponent& c, double s) {
  if (c.state1 == c.state0) return s >= c.state0 ? 1.0 : 0.0;
  double run = s - c.state0, span = c.state1 - c.state0;
  if (!std::isfinite(run) || !std::isfinite(span)) {
    run = s / 2 - c.state0 / 2;
    span = c.state1 / 2 - c.state0 / 2;
  }
  const double f = run / span;
  if (std::isnan(f)) return 0.0;
  return std::clamp(f, 0.0, 1.0);
}

// Rotation by `angle` radians about the unit axis `k` through `ref`.
Transform Rotation(const VECTOR3& ref, const VECTOR3& k, double angle) {
  Transform out;
  double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  out.r[0] = c + k.x * k.x * t;
  out.r[1] = k.x * k.y * t - k.z * s;
  out.r[2] = k.x * k.z * t + k.y * s;
  out.r[3] = k.x * k.y * t + k.z * s;
  out.r[4] = c + k.y * k.y * t;
  out.r[5] = k.y * k.z * t - k.x * s;
  out.r[6] = k.x * k.z * t - k.y * s;
  out.r[7] = k.y * k.z * t + k.x * s;
  out.r[8] = c + k.z * k.z * t;
  // x -> R (x - ref) + ref
  Transform rot = out;
  rot.t = {0, 0, 0};
  out.t = Sub(ref, rot.Apply(ref));
  return out;
}

// The component's own transform at its animation's current state, relative to the state the
// mesh is stored in (the animation's initial state).
Transform Local(const Vessel& v, const AnimationComponent& c) {
  if (c.anim >= v.animations.size() || c.trans == nullptr) return {};
  const Animation& a = v.animations[c.anim];
  auto* rot = dynamic_cast<const MGROUP_ROTATE*>(c.trans);
  if (rot == nullptr) return {};  // only rotations move groups so far
  VECTOR3 k;
  if (!Normalise(rot->axis, k) || !Finite(rot->ref)) return {};
  double angle = static_cast<double>(rot->angle) * (Progress(c, a.state) - Progress(c, a.initial));
  if (!std::isfinite(angle)) return {};
  // A reference point so far out that the turn about it would carry the groups beyond the
  // largest double moves nothing.
  const Transform out = Rotation(rot->ref, k, angle);
  return FiniteTransform(out) ? out : Transform{};
}

bool Lists(const AnimationComponent& c, std::uint32_t meshIdx, std::uint32_t group) {
  const MGROUP_TRANSFORM* t = c.trans;
  if (t == nullptr || t->mesh != meshIdx || t->grp == nullptr) return false;
  for (std::uint32_t i = 0; i < t->ngrp; ++i)
    if (t->grp[i] == group) return true;
  return false;
}

int Depth(const AnimationComponent* c) {
  int d = 0;
  for (; c->parent != nullptr && d < 1024; c = c->parent) ++d;
  return d;
}

}  // namespace

std::vector<Transform> Vessel::GroupTransforms(std::uint32_t meshIdx) const {
  std::size_t count = 0;
  if (meshIdx < meshes.size() && meshes[meshIdx].mesh != nullptr)
    count = meshes[meshIdx].mesh->groups().size();
  else
    for (const auto& c : components)
      if (c->trans != nullptr && c->trans->mesh == meshIdx && c->trans->grp != nullptr)
        for (std::uint32_t i = 0; i < c->trans->ngrp; ++i)
          count = std::max<std::size_t>(count, std::size_t{c->trans->grp[i]} + 1);
  std::vector<Transform> out(count);

  // Each group moves with every component that lists it and with all their ancestors, each
  // applied once: deeper components first, so a child's turn rides on its parent's.
  std::vector<const AnimationComponent*> chain;
  for (std::uint32_t g = 0; g < count; ++g) {
    chain.clear();
    for (const auto& c : components) {
      if (!Lists(*c, meshIdx, g)) continue;
      for (const AnimationComponent* up = c.get(); up != nullptr; up = up->parent)
        if (std::find(chain.begin(), chain.end(), up) == chain.end()) chain.push_back(up);
    }
    if (chain.empty()) continue;
    std::stable_sort(chain.begin(), chain.end(),
                     [](const auto* a, const auto* b) { return Depth(a) > Depth(b); });
    Transform t;
    for (const AnimationComponent* c : chain) t = t.Then(Local(*this, *c));
    // Turns that are each finite may still add up beyond the largest double: such a group
    // stays where the mesh has it, as with any other turn the host cannot make.
    if (FiniteTransform(t)) out[g] = t;
  }
  return out;
}

}  // namespace hostsim

using namespace hostsim;

namespace {

AnimationComponent* OwnComponent(const Vessel& v, ANIMATIONCOMPONENT_HANDLE h) {
  const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(h) - Of(v).token;
  if (offset >= kPartHandles || offset % 2 == 1 || offset == 0) return nullptr;
  const std::size_t i = (offset - 2) / 2;
  return i < v.components.size() ? v.components[i].get() : nullptr;
}

}  // namespace

ANIMATION_ID VESSEL::CreateAnimation(double initial_state) const {
  Vessel* v = CallOn(hVessel_, "CreateAnimation", initial_state).vessel;
  if (v == nullptr) return 0;
  Animation& a = v->animations.emplace_back();
  a.initial = initial_state;
  a.state = initial_state;
  return static_cast<ANIMATION_ID>(v->animations.size() - 1);
}

ANIMATIONCOMPONENT_HANDLE VESSEL::AddAnimationComponent(ANIMATION_ID anim, double state0,
                                                        double state1, MGROUP_TRANSFORM* trans,
                                                        ANIMATIONCOMPONENT_HANDLE parent) const {
  Vessel* v = CallOn(hVessel_, "AddAnimationComponent", anim, state0, state1, trans, parent).vessel;
  if (v == nullptr || anim >= v->animations.size() || trans == nullptr ||
      v->components.size() >= kMaxParts)
    return nullptr;
  AnimationComponent* up = nullptr;
  if (parent != nullptr) {
    up = OwnComponent(*v, parent);
    if (up == nullptr) return nullptr;  // a parent of another vessel, or no component at all
  }
  auto c = std::make_unique<AnimationComponent>();
  c->anim = anim;
  c->state0 = state0;
  c->state1 = state1;
  c->trans = trans;
  c->parent = up;
  v->animations[anim].components.push_back(c.get());
  v->components.push_back(std::move(c));
  return reinterpret_cast<ANIMATIONCOMPONENT_HANDLE>(Of(*v).token + 2 * v->components.size());
}

bool VESSEL::SetAnimation(ANIMATION_ID anim, double state) const {
  Vessel* v = CallOn(hVessel_, "SetAnimation", anim, state).vessel;
  if (v == nullptr || anim >= v->animations.size()) return false;
  v->animations[anim].state = state;
  return true;
}

double VESSEL::GetAnimation(ANIMATION_ID anim) const {
  Vessel* v = CallOn(hVessel_, "GetAnimation", anim).vessel;
  if (v == nullptr || anim >= v->animations.size()) return 0.0;
  return v->animations[anim].state;
}
