// The lamp's output: switching, the intensity ramp, range and spread from typed text, the
// glowing glass, and the reactions to the vessel's creation and to its visuals.
#include <cstdio>
#include <initializer_list>

#include "lamp/lumipod.h"

namespace {

constexpr std::uint32_t kGlassMaterial = 1;  // the glass is material 1 of the lamp mesh

// Reads one number as "%lf" does: leading white space skipped, the longest leading number
// taken, the rest ignored; 0 when the text holds no number.
double ReadNumber(const char* text) {
  double v = 0.0;
  std::sscanf(text, "%lf", &v);
  return v;
}

// Clamps v to [lo, hi]; infinities clamp like any other value out of bounds. False for a
// value that is not a number, which has no place in the range.
bool ClampInto(double v, double lo, double hi, double& out) {
  if (v < lo) {
    out = lo;
  } else if (v > hi) {
    out = hi;
  } else if (v >= lo && v <= hi) {
    out = v;
  } else {
    return false;
  }
  return true;
}

void SetGlassColours(MATERIAL& mat, float grey, COLOUR4 glow) {
  for (COLOUR4* c : {&mat.diffuse, &mat.ambient, &mat.specular}) {
    c->r = grey;
    c->g = grey;
    c->b = grey;
  }
  mat.emissive = glow;
}

}  // namespace

// Both glass looks change the template mesh's own record of material 1 and copy it to the
// current visual. A mesh without that material is left alone. The device mesh is used only
// while the visual it belongs to exists: hDevMesh is null before the first visual and after
// the host has destroyed it (clbkVisualDestroyed), and then only the template is changed;
// the next visual is built from it.
void lumipod::SetGlassLit() {
  MATERIAL* mat = zapiMeshMaterial(hMesh, kGlassMaterial);
  if (mat == nullptr) return;
  const float grey = static_cast<float>((1.0 - intensity) * 0.5);
  const COLOUR4 glow = {static_cast<float>(lampColour.r * intensity),
                        static_cast<float>(lampColour.g * intensity),
                        static_cast<float>(lampColour.b * intensity), 1.0f};
  SetGlassColours(*mat, grey, glow);
  if (hDevMesh != nullptr) zapiSetMaterial(hDevMesh, kGlassMaterial, mat);
}

void lumipod::SetGlassDark() {
  MATERIAL* mat = zapiMeshMaterial(hMesh, kGlassMaterial);
  if (mat == nullptr) return;
  SetGlassColours(*mat, 0.5f, {0.0f, 0.0f, 0.0f, 0.0f});
  if (hDevMesh != nullptr) zapiSetMaterial(hDevMesh, kGlassMaterial, mat);
}

void lumipod::ToggleLamp() {
  // Only 0 and 1 are switch positions; any other loaded value is kept as it is.
  if (lampOn == 0) {
    spotLight->Activate(true);
    beacon.active = true;
    lampOn = 1;
    SetGlassLit();
  } else if (lampOn == 1) {
    spotLight->Activate(false);
    beacon.active = false;
    lampOn = 0;
    SetGlassDark();
  }
}

void lumipod::AdjustIntensity(Ramp direction) {
  if (lampOn != 1) return;
  const double step = zapiGetSimStep() * 0.2;
  if (direction == Ramp::Down) {
    intensity = intensity - step;
    if (intensity < 0.0) intensity = 0.0;
  } else {
    intensity = intensity + step;
    if (intensity > 1.0) intensity = 1.0;
  }
  spotLight->SetIntensity(intensity);
  beacon.size = BeaconSize();
  SetGlassLit();
}

bool lumipod::SetRangeFromText(const char* text) {
  if (text == nullptr) return false;
  if (!ClampInto(ReadNumber(text), 1.0, 100000.0, range)) return false;
  UpdateLightParams();
  return true;
}

bool lumipod::SetSpreadFromText(const char* text) {
  if (text == nullptr) return false;
  double degrees = 0.0;
  if (!ClampInto(ReadNumber(text), 10.0, 120.0, degrees)) return false;
  aperture = degrees * kRadPerDeg;
  UpdateLightParams();
  return true;
}

bool RangeInputCallback(void* /*id*/, char* str, void* usrdata) {
  if (usrdata == nullptr) return false;
  return static_cast<lumipod*>(usrdata)->SetRangeFromText(str);
}

bool SpreadInputCallback(void* /*id*/, char* str, void* usrdata) {
  if (usrdata == nullptr) return false;
  return static_cast<lumipod*>(usrdata)->SetSpreadFromText(str);
}

void lumipod::clbkAfterCreation() {
  UpdateLightParams();
  if (lampOn == 1) {
    beacon.active = true;
    spotLight->Activate(true);
  }
}

void lumipod::clbkVisualBuilt(VISHANDLE vis, int /*refcount*/) {
  hDevMesh = GetDevMesh(vis, 0);
  if (lampOn == 1) SetGlassLit();
}

void lumipod::clbkVisualDestroyed(VISHANDLE vis, int /*refcount*/) {
  // The device mesh dies with its visual; forget it so that no glass change reaches a
  // device mesh that no longer exists. A visual that holds no device mesh of ours leaves
  // the handle of the current one in place.
  const DEVMESHHANDLE dying = GetDevMesh(vis, 0);
  if (dying == nullptr || dying == hDevMesh) hDevMesh = nullptr;
}
