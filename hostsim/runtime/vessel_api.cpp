// VESSEL: identity, physical set-up, meshes and the host's scenario lines.
#include <cstring>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/vessel_state.h"
#include "hostsim/runtime/visuals.h"

using namespace hostsim;

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel) : hVessel_(hVessel), fmodel_(fmodel), version_(1) {}

OBJHANDLE VESSEL::GetHandle() const {
  CallOn(hVessel_, "GetHandle");
  return hVessel_;
}

const char* VESSEL::GetName() const {
  Vessel* v = CallOn(hVessel_, "GetName").vessel;
  return v != nullptr ? v->name().c_str() : "";
}

const char* VESSEL::GetClassName() const {
  Vessel* v = CallOn(hVessel_, "GetClassName").vessel;
  return v != nullptr ? v->className().c_str() : "";
}

int VESSEL::Version() const {
  CallOn(hVessel_, "Version");
  return version_;
}

void VESSEL::SetSize(double size) const {
  Vessel* v = CallOn(hVessel_, "SetSize", size).vessel;
  if (v != nullptr) v->physics.size = size;
}

void VESSEL::SetEmptyMass(double emass) const {
  Vessel* v = CallOn(hVessel_, "SetEmptyMass", emass).vessel;
  if (v != nullptr) v->physics.emptyMass = emass;
}

void VESSEL::SetEnableFocus(bool enable) const {
  Vessel* v = CallOn(hVessel_, "SetEnableFocus", enable).vessel;
  if (v != nullptr) v->physics.focusEnabled = enable;
}

void VESSEL::SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const {
  Vessel* v = CallOn(hVessel_, "SetTouchdownPoints", pt1, pt2, pt3).vessel;
  if (v == nullptr) return;
  v->physics.touchdown[0] = pt1;
  v->physics.touchdown[1] = pt2;
  v->physics.touchdown[2] = pt3;
}

void VESSEL::SetPMI(const VECTOR3& pmi) const {
  Vessel* v = CallOn(hVessel_, "SetPMI", pmi).vessel;
  if (v != nullptr) v->physics.pmi = pmi;
}

void VESSEL::SetCrossSections(const VECTOR3& cs) const {
  Vessel* v = CallOn(hVessel_, "SetCrossSections", cs).vessel;
  if (v != nullptr) v->physics.crossSections = cs;
}

void VESSEL::SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const {
  Vessel* v = CallOn(hVessel_, "SetCW", cw_z_pos, cw_z_neg, cw_x, cw_y).vessel;
  if (v == nullptr) return;
  v->physics.cw[0] = cw_z_pos;
  v->physics.cw[1] = cw_z_neg;
  v->physics.cw[2] = cw_x;
  v->physics.cw[3] = cw_y;
}

void VESSEL::SetRotDrag(const VECTOR3& rd) const {
  Vessel* v = CallOn(hVessel_, "SetRotDrag", rd).vessel;
  if (v != nullptr) v->physics.rotDrag = rd;
}

void VESSEL::SetVisibilityLimit(double vislimit, double spotlimit) const {
  Vessel* v = CallOn(hVessel_, "SetVisibilityLimit", vislimit, spotlimit).vessel;
  if (v == nullptr) return;
  v->physics.visLimit = vislimit;
  // A negative spot limit means: the same as the vessel's limit.
  v->physics.spotLimit = spotlimit < 0 ? vislimit : spotlimit;
}

std::uint32_t VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs) const {
  auto [w, v] = CallOn(hVessel_, "AddMesh", hMesh, ofs);
  if (v == nullptr) return 0;
  return AddMeshSlot(*w, *v, hMesh, ofs);
}

bool VESSEL::SetMeshVisibilityMode(std::uint32_t idx, std::uint16_t mode) const {
  Vessel* v = CallOn(hVessel_, "SetMeshVisibilityMode", idx, mode).vessel;
  if (v == nullptr || idx >= v->meshes.size()) return false;
  v->meshes[idx].visMode = mode;
  return true;
}

DEVMESHHANDLE VESSEL::GetDevMesh(VISHANDLE vis, std::uint32_t idx) const {
  Vessel* v = CallOn(hVessel_, "GetDevMesh", vis, idx).vessel;
  if (v == nullptr || vis == nullptr || !v->visual || v->visual->handle != vis) return nullptr;
  if (idx >= v->visual->meshes.size()) return nullptr;
  return v->visual->meshes[idx]->handle;
}

void VESSEL::ParseScenarioLineEx(char* line, void* status) const {
  auto [w, v] = CallOn(hVessel_, "ParseScenarioLineEx", line, status);
  if (v == nullptr || line == nullptr) return;
  // The status pointer is only compared, never followed: the line numbers come from the
  // block this vessel is being loaded from.
  const auto& files = w->openFiles;
  for (auto it = files.rbegin(); it != files.rend(); ++it)
    if (auto* block = dynamic_cast<ScenarioReadObject*>(*it); block && &block->vessel == v) {
      ApplyHostLine(*w, *v, line, block->name, block->currentLine, &block->warned);
      return;
    }
  ApplyHostLine(*w, *v, line, {}, 0, nullptr);
}
