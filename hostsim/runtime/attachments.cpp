// Attachment points, attaching and detaching, and the poses of attached vessels.
#include "hostsim/runtime/attachments.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/transform.h"
#include "hostsim/vecmath.h"

namespace hostsim {

namespace {

// A right-handed frame from a direction and a rotation reference: columns d, r, d x r.
// Strict: false when the direction is zero or not finite, or the reference is zero, not
// finite or parallel to the direction.
bool StrictFrame(const VECTOR3& dir, const VECTOR3& rot, VECTOR3& d, VECTOR3& r) {
  VECTOR3 rn;
  if (!Normalise(dir, d) || !Normalise(rot, rn)) return false;
  VECTOR3 perp = Sub(rn, Scale(d, Dot(rn, d)));
  if (!(Length(perp) > 1e-9)) return false;
  return Normalise(perp, r);
}

// The same, always succeeding: a bad direction becomes +y, a bad reference the axis least
// aligned with the direction.
void LenientFrame(const VECTOR3& dir, const VECTOR3& rot, VECTOR3& d, VECTOR3& r) {
  if (StrictFrame(dir, rot, d, r)) return;
  if (!Normalise(dir, d)) d = {0, 1, 0};
  VECTOR3 rn;
  if (Normalise(rot, rn)) {
    VECTOR3 perp = Sub(rn, Scale(d, Dot(rn, d)));
    if (Length(perp) > 1e-9 && Normalise(perp, r)) return;
  }
  VECTOR3 axis = std::fabs(d.x) <= std::fabs(d.y) && std::fabs(d.x) <= std::fabs(d.z)
                     ? VECTOR3{1, 0, 0}
                 : std::fabs(d.y) <= std::fabs(d.z) ? VECTOR3{0, 1, 0}
                                                    : VECTOR3{0, 0, 1};
  Normalise(Sub(axis, Scale(d, Dot(axis, d))), r);
}

// Rotation whose columns are the images of the child frame's axes: child direction goes to
// the reverse of the parent direction (the points face each other), the rotation references
// coincide.
void Orientation(const VECTOR3& pd, const VECTOR3& pr, const VECTOR3& cd, const VECTOR3& cr,
                 double R[9]) {
  VECTOR3 t0 = Scale(pd, -1.0), t1 = pr, t2 = Cross(t0, t1);
  VECTOR3 b0 = cd, b1 = cr, b2 = Cross(cd, cr);
  const VECTOR3 T[3] = {t0, t1, t2};
  const VECTOR3 B[3] = {b0, b1, b2};
  // R = T * B^T: R v = sum_k T_k (B_k . v)
  auto comp = [](const VECTOR3& v, int i) { return i == 0 ? v.x : i == 1 ? v.y : v.z; };
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += comp(T[k], i) * comp(B[k], j);
      R[i * 3 + j] = s;
    }
}

// The child's pose in the parent's frame while it hangs at `parentPt` by `childPt`.
Transform RelativePose(const AttachmentPoint& parentPt, const AttachmentPoint& childPt,
                       const Vessel::Impl& child) {
  if (parentPt.loose || childPt.loose)
    return childPt.looseOffset ? *childPt.looseOffset : Transform{};
  Transform out;
  VECTOR3 pd, pr, cd, cr;
  if (StrictFrame(parentPt.dir, parentPt.rot, pd, pr) &&
      StrictFrame(childPt.dir, childPt.rot, cd, cr)) {
    Orientation(pd, pr, cd, cr, out.r);
  } else if (child.lastAttach) {
    std::memcpy(out.r, child.lastAttach->r, sizeof out.r);
  } else {
    LenientFrame(parentPt.dir, parentPt.rot, pd, pr);
    LenientFrame(childPt.dir, childPt.rot, cd, cr);
    Orientation(pd, pr, cd, cr, out.r);
  }
  // The child's point lands on the parent's point.
  Transform rotOnly = out;
  rotOnly.t = {0, 0, 0};
  out.t = Sub(parentPt.pos, rotOnly.Apply(childPt.pos));
  if (!Finite(out.t)) out.t = child.lastAttach ? child.lastAttach->t : VECTOR3{0, 0, 0};
  if (!FiniteTransform(out)) out = child.lastAttach ? *child.lastAttach : Transform{};
  if (child.lastAttach)
    *child.lastAttach = out;
  else
    child.lastAttach = std::make_unique<Transform>(out);
  return out;
}

// The vessel's own to-parent point that hangs on a parent, or null when it stands free.
const AttachmentPoint* HeldBy(const Vessel& v) {
  for (const auto& p : v.attachments)
    if (p->toParent && p->peer != nullptr) return p.get();
  return nullptr;
}

}  // namespace

AttachmentPoint* OwnPoint(const Vessel& v, ATTACHMENTHANDLE h) {
  const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(h) - Of(v).token;
  if (offset >= kPartHandles || offset % 2 == 0) return nullptr;
  const std::size_t i = (offset - 1) / 2;
  return i < v.attachments.size() ? v.attachments[i].get() : nullptr;
}

ATTACHMENTHANDLE PointHandle(const Vessel& v, std::size_t i) {
  return reinterpret_cast<ATTACHMENTHANDLE>(Of(v).token + 2 * i + 1);
}

AttachmentPoint* CreatePoint(Vessel& v, bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                             const VECTOR3& rot, const char* id, bool loose) {
  auto p = std::make_unique<AttachmentPoint>();
  p->owner = &v;
  p->toParent = toparent;
  p->pos = pos;
  p->dir = dir;
  p->rot = rot;
  p->loose = loose;
  p->index = toparent ? Of(v).parentPoints++ : Of(v).childPoints++;
  if (id != nullptr) p->id.assign(id, strnlen(id, 8));
  v.attachments.push_back(std::move(p));
  return v.attachments.back().get();
}

bool Attach(Vessel& parent, AttachmentPoint* at, Vessel& child, AttachmentPoint* childAt) {
  if (at == nullptr || childAt == nullptr || at->owner != &parent || childAt->owner != &child)
    return false;
  if (at->toParent || !childAt->toParent) return false;
  if (at->peer != nullptr || childAt->peer != nullptr) return false;
  if (&child == &parent || child.Parent() != nullptr) return false;
  // Hanging the child below one of its own descendants would close a ring. A child that holds
  // nothing has none, which spares the walk up a long chain built from its root down.
  const bool holds = std::any_of(child.attachments.begin(), child.attachments.end(),
                                 [](const auto& p) { return !p->toParent && p->peer != nullptr; });
  if (holds)
    for (Vessel* up = parent.Parent(); up != nullptr; up = up->Parent())
      if (up == &child) return false;
  // A loose attachment keeps the child where it is, relative to the parent: the child's point
  // keeps that pose while it hangs.
  if (at->loose || childAt->loose)
    childAt->looseOffset =
        std::make_unique<Transform>(child.WorldPose().Then(Inverse(parent.WorldPose())));
  at->peer = childAt;
  childAt->peer = at;
  Vessel::Impl& ci = Of(child);
  ci.lastAttach.reset();
  ci.velocity = {0, 0, 0};
  return true;
}

bool Detach(AttachmentPoint* at, double vel) {
  if (at == nullptr || at->toParent || at->peer == nullptr) return false;
  AttachmentPoint* childAt = at->peer;
  Vessel& child = *childAt->owner;
  Vessel& parent = *at->owner;
  Transform world = child.WorldPose();
  Transform parentWorld = parent.WorldPose();
  at->peer = nullptr;
  childAt->peer = nullptr;
  childAt->looseOffset.reset();
  Vessel::Impl& ci = Of(child);
  ci.freePose = world;
  ci.lastAttach.reset();
  // The child moves off along the point's direction, as seen in the world.
  VECTOR3 dir;
  ci.velocity = Of(parent).velocity;
  if (vel != 0 && Normalise(at->dir, dir)) {
    Transform rot = parentWorld;
    rot.t = {0, 0, 0};
    ci.velocity = Add(ci.velocity, Scale(rot.Apply(dir), vel));
  }
  return true;
}

void DetachAll(Vessel& v) {
  for (const auto& p : v.attachments) {
    if (p->peer == nullptr) continue;
    if (p->toParent) {
      // The vessel ends: where it would stand free does not matter, and working it out would
      // walk its whole chain (a long chain ending from its last vessel up would take time
      // growing with the square of its length).
      p->peer->peer = nullptr;
      p->peer = nullptr;
    } else {
      Detach(p.get(), 0.0);
    }
  }
}

std::vector<AttachmentPoint*> Vessel::Points(bool toParent) const {
  std::vector<AttachmentPoint*> out;
  for (const auto& p : attachments)
    if (p->toParent == toParent) out.push_back(p.get());
  return out;
}

Vessel* Vessel::Parent() const {
  const AttachmentPoint* up = HeldBy(*this);
  return up != nullptr ? up->peer->owner : nullptr;
}

Transform Vessel::WorldPose() const {
  // The points the chain hangs by, from this vessel up to its root, which stands free; then
  // the poses composed from the root down. A loop, not a recursion: a chain may be as long as
  // the world has vessels.
  std::vector<const AttachmentPoint*> chain;
  const Vessel* v = this;
  for (const AttachmentPoint* up = HeldBy(*v); up != nullptr; up = HeldBy(*v)) {
    chain.push_back(up);
    v = up->peer->owner;
    // The attach rules keep chains free of rings; this bound is a second guard.
    if (chain.size() > impl->world->handles.size()) return impl->freePose;
  }
  Transform pose = v->impl->freePose;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const AttachmentPoint& own = **it;
    pose = RelativePose(*own.peer, own, *own.owner->impl).Then(pose);
  }
  return pose;
}

Poses WorldPoses(const std::vector<Vessel*>& vessels) {
  Poses poses;
  poses.reserve(vessels.size());
  std::vector<const AttachmentPoint*> chain;
  for (const Vessel* v : vessels) {
    // Up the chain to a vessel whose pose is known or that stands free, then down again.
    chain.clear();
    const Vessel* top = v;
    bool ring = false;
    while (poses.count(top) == 0) {
      const AttachmentPoint* up = HeldBy(*top);
      if (up == nullptr) {
        poses.emplace(top, top->impl->freePose);
        break;
      }
      chain.push_back(up);
      top = up->peer->owner;
      // The attach rules keep chains free of rings; as in WorldPose, a second guard.
      ring = chain.size() > v->impl->world->handles.size();
      if (ring) break;
    }
    if (ring) {
      poses.emplace(v, v->impl->freePose);
      continue;
    }
    Transform pose = poses.at(top);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const AttachmentPoint& own = **it;
      pose = RelativePose(*own.peer, own, *own.owner->impl).Then(pose);
      poses.emplace(own.owner, pose);
    }
  }
  return poses;
}

}  // namespace hostsim

using namespace hostsim;

ATTACHMENTHANDLE VESSEL::CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                                          const VECTOR3& rot, const char* id, bool loose) const {
  Vessel* v = CallOn(hVessel_, "CreateAttachment", toparent, pos, dir, rot, id, loose).vessel;
  if (v == nullptr || v->attachments.size() >= kMaxParts) return nullptr;
  CreatePoint(*v, toparent, pos, dir, rot, id, loose);
  return PointHandle(*v, v->attachments.size() - 1);
}

OBJHANDLE VESSEL::GetAttachmentStatus(ATTACHMENTHANDLE attachment) const {
  Vessel* v = CallOn(hVessel_, "GetAttachmentStatus", attachment).vessel;
  if (v == nullptr) return nullptr;
  AttachmentPoint* p = OwnPoint(*v, attachment);
  if (p == nullptr || p->peer == nullptr) return nullptr;
  return p->peer->owner->handle();
}

std::uint32_t VESSEL::AttachmentCount(bool toparent) const {
  Vessel* v = CallOn(hVessel_, "AttachmentCount", toparent).vessel;
  if (v == nullptr) return 0;
  std::uint32_t n = 0;
  for (const auto& p : v->attachments)
    if (p->toParent == toparent) ++n;
  return n;
}

ATTACHMENTHANDLE VESSEL::GetAttachmentHandle(bool toparent, std::uint32_t i) const {
  Vessel* v = CallOn(hVessel_, "GetAttachmentHandle", toparent, i).vessel;
  if (v == nullptr) return nullptr;
  std::uint32_t n = 0;
  for (std::size_t k = 0; k < v->attachments.size(); ++k) {
    if (v->attachments[k]->toParent != toparent) continue;
    if (n == i) return PointHandle(*v, k);
    ++n;
  }
  return nullptr;
}

int VESSEL::GetAttachmentIndex(ATTACHMENTHANDLE attachment) const {
  Vessel* v = CallOn(hVessel_, "GetAttachmentIndex", attachment).vessel;
  if (v == nullptr) return -1;
  AttachmentPoint* target = OwnPoint(*v, attachment);
  if (target == nullptr) return -1;
  int n = 0;
  for (const auto& p : v->attachments) {
    if (p.get() == target) return n;
    if (p->toParent == target->toParent) ++n;
  }
  return -1;
}

const char* VESSEL::GetAttachmentId(ATTACHMENTHANDLE attachment) const {
  Vessel* v = CallOn(hVessel_, "GetAttachmentId", attachment).vessel;
  if (v == nullptr) return nullptr;
  AttachmentPoint* p = OwnPoint(*v, attachment);
  return p != nullptr ? p->id.c_str() : nullptr;
}

void VESSEL::GetAttachmentParams(ATTACHMENTHANDLE attachment, VECTOR3& pos, VECTOR3& dir,
                                 VECTOR3& rot) const {
  Vessel* v = CallOn(hVessel_, "GetAttachmentParams", attachment).vessel;
  if (v == nullptr) return;
  AttachmentPoint* p = OwnPoint(*v, attachment);
  if (p == nullptr) return;
  pos = p->pos;
  dir = p->dir;
  rot = p->rot;
}

void VESSEL::SetAttachmentParams(ATTACHMENTHANDLE attachment, const VECTOR3& pos,
                                 const VECTOR3& dir, const VECTOR3& rot) const {
  Vessel* v = CallOn(hVessel_, "SetAttachmentParams", attachment, pos, dir, rot).vessel;
  if (v == nullptr) return;
  AttachmentPoint* p = OwnPoint(*v, attachment);
  if (p == nullptr) return;
  p->pos = pos;
  p->dir = dir;
  p->rot = rot;
}

bool VESSEL::AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment,
                         ATTACHMENTHANDLE child_attachment) const {
  auto [w, v] = CallOn(hVessel_, "AttachChild", child, attachment, child_attachment);
  if (v == nullptr) return false;
  Vessel* c = w->Find(child);
  if (c == nullptr) return false;
  return Attach(*v, OwnPoint(*v, attachment), *c, OwnPoint(*c, child_attachment));
}

bool VESSEL::DetachChild(ATTACHMENTHANDLE attachment, double vel) const {
  Vessel* v = CallOn(hVessel_, "DetachChild", attachment, vel).vessel;
  if (v == nullptr) return false;
  return Detach(OwnPoint(*v, attachment), vel);
}
