// Light emitters and beacons of vessels.
#include <algorithm>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/vessels.h"

namespace hostsim {

namespace {

// Reads the light's kind for the host's own use, without a journal entry.
struct LightFields : LightEmitter {
  static constexpr TYPE LightEmitter::*kType = &LightFields::type_;
};

}  // namespace

void FreeLights(Vessel& v) {
  for (LightEmitter* l : v.lights) {
    // The concrete kinds are final, so each is freed as what it is.
    if (l->*LightFields::kType == LightEmitter::LT_SPOT)
      delete static_cast<SpotLight*>(l);
    else
      delete static_cast<OmniLight*>(l);
  }
  v.lights.clear();
}

LightState ViewLight(const LightEmitter& l) {
  // The light's functions journal a module's call into the current world. The host's own
  // look is no module's call: it reads with no world current.
  ScopedCurrent none(nullptr);
  LightState s;
  s.type = l.GetType();
  s.active = l.IsActive();
  s.intensity = l.GetIntensity();
  s.position = l.GetPosition();
  s.direction = l.GetDirection();
  s.diffuse = l.GetDiffuseColour();
  s.specular = l.GetSpecularColour();
  s.ambient = l.GetAmbientColour();
  // The kind tells which of the host's light classes made it.
  if (s.type == LightEmitter::LT_POINT || s.type == LightEmitter::LT_SPOT) {
    const auto& pl = static_cast<const PointLight&>(l);
    s.range = pl.GetRange();
    for (int i = 0; i < 3; ++i) s.attenuation[i] = pl.GetAttenuation(i);
  }
  if (s.type == LightEmitter::LT_SPOT) {
    const auto& sl = static_cast<const SpotLight&>(l);
    s.umbra = sl.GetUmbra();
    s.penumbra = sl.GetPenumbra();
  }
  return s;
}

}  // namespace hostsim

using namespace hostsim;

// --- LightEmitter ---

LightEmitter::LightEmitter(TYPE type, OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir,
                           COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient)
    : type_(type),
      owner_(owner),
      active_(true),
      intensity_(1.0),
      pos_(pos),
      dir_(dir),
      diffuse_(diffuse),
      specular_(specular),
      ambient_(ambient) {}

bool LightEmitter::Activate(bool act) {
  CallOn(owner_, "LightEmitter::Activate", act);
  active_ = act;
  return active_;
}

bool LightEmitter::IsActive() const {
  CallOn(owner_, "LightEmitter::IsActive");
  return active_;
}

void LightEmitter::SetIntensity(double intensity) {
  CallOn(owner_, "LightEmitter::SetIntensity", intensity);
  intensity_ = intensity;
}

double LightEmitter::GetIntensity() const {
  CallOn(owner_, "LightEmitter::GetIntensity");
  return intensity_;
}

void LightEmitter::SetDirection(const VECTOR3& dir) {
  CallOn(owner_, "LightEmitter::SetDirection", dir);
  dir_ = dir;
}

VECTOR3 LightEmitter::GetDirection() const {
  CallOn(owner_, "LightEmitter::GetDirection");
  return dir_;
}

void LightEmitter::SetPosition(const VECTOR3& pos) {
  CallOn(owner_, "LightEmitter::SetPosition", pos);
  pos_ = pos;
}

VECTOR3 LightEmitter::GetPosition() const {
  CallOn(owner_, "LightEmitter::GetPosition");
  return pos_;
}

LightEmitter::TYPE LightEmitter::GetType() const {
  CallOn(owner_, "LightEmitter::GetType");
  return type_;
}

void LightEmitter::SetDiffuseColour(COLOUR4 colour) {
  CallOn(owner_, "LightEmitter::SetDiffuseColour", colour);
  diffuse_ = colour;
}

COLOUR4 LightEmitter::GetDiffuseColour() const {
  CallOn(owner_, "LightEmitter::GetDiffuseColour");
  return diffuse_;
}

void LightEmitter::SetSpecularColour(COLOUR4 colour) {
  CallOn(owner_, "LightEmitter::SetSpecularColour", colour);
  specular_ = colour;
}

COLOUR4 LightEmitter::GetSpecularColour() const {
  CallOn(owner_, "LightEmitter::GetSpecularColour");
  return specular_;
}

void LightEmitter::SetAmbientColour(COLOUR4 colour) {
  CallOn(owner_, "LightEmitter::SetAmbientColour", colour);
  ambient_ = colour;
}

COLOUR4 LightEmitter::GetAmbientColour() const {
  CallOn(owner_, "LightEmitter::GetAmbientColour");
  return ambient_;
}

OBJHANDLE LightEmitter::GetOwner() const {
  CallOn(owner_, "LightEmitter::GetOwner");
  return owner_;
}

// --- PointLight ---

PointLight::PointLight(TYPE type, OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir,
                       double range, double att0, double att1, double att2, COLOUR4 diffuse,
                       COLOUR4 specular, COLOUR4 ambient)
    : LightEmitter(type, owner, pos, dir, diffuse, specular, ambient),
      range_(range),
      att_{att0, att1, att2} {}

void PointLight::SetRange(double range) {
  CallOn(owner_, "PointLight::SetRange", range);
  range_ = range;
}

double PointLight::GetRange() const {
  CallOn(owner_, "PointLight::GetRange");
  return range_;
}

void PointLight::SetAttenuation(double att0, double att1, double att2) {
  CallOn(owner_, "PointLight::SetAttenuation", att0, att1, att2);
  att_[0] = att0;
  att_[1] = att1;
  att_[2] = att2;
}

double PointLight::GetAttenuation(int i) const {
  CallOn(owner_, "PointLight::GetAttenuation", i);
  return i >= 0 && i < 3 ? att_[i] : 0.0;
}

// --- SpotLight, OmniLight ---

SpotLight::SpotLight(OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir, double range,
                     double att0, double att1, double att2, double umbra, double penumbra,
                     COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient)
    : PointLight(LT_SPOT, owner, pos, dir, range, att0, att1, att2, diffuse, specular, ambient),
      umbra_(umbra),
      penumbra_(penumbra) {}

void SpotLight::SetAperture(double umbra, double penumbra) {
  CallOn(owner_, "SpotLight::SetAperture", umbra, penumbra);
  umbra_ = umbra;
  penumbra_ = penumbra;
}

double SpotLight::GetUmbra() const {
  CallOn(owner_, "SpotLight::GetUmbra");
  return umbra_;
}

double SpotLight::GetPenumbra() const {
  CallOn(owner_, "SpotLight::GetPenumbra");
  return penumbra_;
}

OmniLight::OmniLight(OBJHANDLE owner, const VECTOR3& pos, double range, double att0, double att1,
                     double att2, COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient)
    : PointLight(LT_POINT, owner, pos, VECTOR3{0, 0, 1}, range, att0, att1, att2, diffuse, specular,
                 ambient) {}

// --- VESSEL: lights and beacons ---

bool VESSEL::AddBeacon(BEACONLIGHTSPEC* bs) const {
  Vessel* v = CallOn(hVessel_, "AddBeacon", bs).vessel;
  if (v == nullptr || bs == nullptr) return false;
  if (std::find(v->beacons.begin(), v->beacons.end(), bs) == v->beacons.end())
    v->beacons.push_back(bs);
  return true;
}

LightEmitter* VESSEL::AddSpotLight(const VECTOR3& pos, const VECTOR3& dir, double range,
                                   double att0, double att1, double att2, double umbra,
                                   double penumbra, COLOUR4 diffuse, COLOUR4 specular,
                                   COLOUR4 ambient) const {
  Vessel* v = CallOn(hVessel_, "AddSpotLight", pos, dir, range, att0, att1, att2, umbra, penumbra,
                     diffuse, specular, ambient)
                  .vessel;
  auto* light = new SpotLight(hVessel_, pos, dir, range, att0, att1, att2, umbra, penumbra, diffuse,
                              specular, ambient);
  if (v != nullptr) {
    v->lights.push_back(light);
  } else {
    // No vessel to own it: it can never be freed with one, but the call must not return
    // null. Keep it for the process lifetime.
    static std::vector<std::unique_ptr<SpotLight>> orphans;
    orphans.emplace_back(light);
  }
  return light;
}

LightEmitter* VESSEL::AddPointLight(const VECTOR3& pos, double range, double att0, double att1,
                                    double att2, COLOUR4 diffuse, COLOUR4 specular,
                                    COLOUR4 ambient) const {
  Vessel* v =
      CallOn(hVessel_, "AddPointLight", pos, range, att0, att1, att2, diffuse, specular, ambient)
          .vessel;
  auto* light = new OmniLight(hVessel_, pos, range, att0, att1, att2, diffuse, specular, ambient);
  if (v != nullptr) {
    v->lights.push_back(light);
  } else {
    static std::vector<std::unique_ptr<OmniLight>> orphans;
    orphans.emplace_back(light);
  }
  return light;
}

std::uint32_t VESSEL::LightEmitterCount() const {
  Vessel* v = CallOn(hVessel_, "LightEmitterCount").vessel;
  return v != nullptr ? static_cast<std::uint32_t>(v->lights.size()) : 0;
}

LightEmitter* VESSEL::GetLightEmitter(std::uint32_t i) const {
  Vessel* v = CallOn(hVessel_, "GetLightEmitter", i).vessel;
  if (v == nullptr || i >= v->lights.size()) return nullptr;
  return v->lights[i];
}
