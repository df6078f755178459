// VESSEL: identity, physical set-up, meshes and the host's scenario lines.
#include <cstring>

#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

// Reads VESSEL's protected fields for the host's own checks, without a journal entry.
struct VesselFields : VESSEL {
  static constexpr int VESSEL::*kVersion = &VesselFields::version_;
  static constexpr OBJHANDLE VESSEL::*kHandle = &VesselFields::hVessel_;
};

}  // namespace

int VersionOf(const VESSEL* v) { return v->*VesselFields::kVersion; }
OBJHANDLE HandleOf(const VESSEL* v) { return v->*VesselFields::kHandle; }

std::uint32_t AddMeshInternal(Vessel& v, MESHHANDLE h, const VECTOR3* ofs) {
  MeshSlot slot;
  World::Impl* w = Of(v).wimpl;
  slot.mesh = w != nullptr ? w->MeshOf(h) : nullptr;
  if (ofs != nullptr) slot.ofs = *ofs;
  v.meshes.push_back(slot);
  return static_cast<std::uint32_t>(v.meshes.size() - 1);
}

}  // namespace hostsim

using namespace hostsim;

namespace {

Vessel* Self(World::Impl* w, OBJHANDLE h) { return w != nullptr ? w->Find(h) : nullptr; }

}  // namespace

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel) : hVessel_(hVessel), fmodel_(fmodel), version_(1) {}

OBJHANDLE VESSEL::GetHandle() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, hVessel_, "GetHandle");
  return hVessel_;
}

const char* VESSEL::GetName() const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "GetName");
  return v != nullptr ? v->name().c_str() : "";
}

const char* VESSEL::GetClassName() const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "GetClassName");
  return v != nullptr ? v->className().c_str() : "";
}

int VESSEL::Version() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, hVessel_, "Version");
  return version_;
}

void VESSEL::SetSize(double size) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetSize", size);
  if (v != nullptr) v->physics.size = size;
}

void VESSEL::SetEmptyMass(double emass) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetEmptyMass", emass);
  if (v != nullptr) v->physics.emptyMass = emass;
}

void VESSEL::SetEnableFocus(bool enable) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetEnableFocus", enable);
  if (v != nullptr) v->physics.focusEnabled = enable;
}

void VESSEL::SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetTouchdownPoints", pt1, pt2, pt3);
  if (v == nullptr) return;
  v->physics.touchdown[0] = pt1;
  v->physics.touchdown[1] = pt2;
  v->physics.touchdown[2] = pt3;
}

void VESSEL::SetPMI(const VECTOR3& pmi) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetPMI", pmi);
  if (v != nullptr) v->physics.pmi = pmi;
}

void VESSEL::SetCrossSections(const VECTOR3& cs) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetCrossSections", cs);
  if (v != nullptr) v->physics.crossSections = cs;
}

void VESSEL::SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetCW", cw_z_pos, cw_z_neg, cw_x, cw_y);
  if (v == nullptr) return;
  v->physics.cw[0] = cw_z_pos;
  v->physics.cw[1] = cw_z_neg;
  v->physics.cw[2] = cw_x;
  v->physics.cw[3] = cw_y;
}

void VESSEL::SetRotDrag(const VECTOR3& rd) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetRotDrag", rd);
  if (v != nullptr) v->physics.rotDrag = rd;
}

void VESSEL::SetVisibilityLimit(double vislimit, double spotlimit) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetVisibilityLimit", vislimit, spotlimit);
  if (v == nullptr) return;
  v->physics.visLimit = vislimit;
  // A negative spot limit means: the same as the vessel's limit.
  v->physics.spotLimit = spotlimit < 0 ? vislimit : spotlimit;
}

std::uint32_t VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "AddMesh", hMesh, ofs);
  if (v == nullptr) return 0;
  return AddMeshInternal(*v, hMesh, ofs);
}

bool VESSEL::SetMeshVisibilityMode(std::uint32_t idx, std::uint16_t mode) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "SetMeshVisibilityMode", idx, mode);
  if (v == nullptr || idx >= v->meshes.size()) return false;
  v->meshes[idx].visMode = mode;
  return true;
}

DEVMESHHANDLE VESSEL::GetDevMesh(VISHANDLE vis, std::uint32_t idx) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "GetDevMesh", vis, idx);
  if (v == nullptr || vis == nullptr || !v->visual || v->visual->handle != vis) return nullptr;
  if (idx >= v->visual->meshes.size()) return nullptr;
  return v->visual->meshes[idx]->handle;
}

void VESSEL::ParseScenarioLineEx(char* line, void* status) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Self(w, hVessel_);
  Trace(w, v, "ParseScenarioLineEx", line, status);
  if (v == nullptr || line == nullptr) return;
  // The status pointer is only compared, never followed: the line numbers come from the
  // block this vessel is being loaded from.
  ScenarioReadObject* r = w->activeRead;
  if (r != nullptr && r->vessel == v)
    ApplyHostLine(*w, *v, line, r->name, r->currentLine,
                  r->next > 0 && r->next <= r->lines.size() ? &r->lines[r->next - 1] : nullptr);
  else
    ApplyHostLine(*w, *v, line, {}, 0);
}
