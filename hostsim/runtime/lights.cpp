// Light emitters and beacons of vessels.
#include <algorithm>

#include "hostsim/runtime/internal.h"

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

}  // namespace hostsim

using namespace hostsim;

namespace {

Vessel* Owner(World::Impl* w, OBJHANDLE h) { return w != nullptr ? w->Find(h) : nullptr; }

}  // namespace

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
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::Activate", act);
  active_ = act;
  return active_;
}

bool LightEmitter::IsActive() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::IsActive");
  return active_;
}

void LightEmitter::SetIntensity(double intensity) {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::SetIntensity", intensity);
  intensity_ = intensity;
}

double LightEmitter::GetIntensity() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetIntensity");
  return intensity_;
}

void LightEmitter::SetDirection(const VECTOR3& dir) {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::SetDirection", dir);
  dir_ = dir;
}

VECTOR3 LightEmitter::GetDirection() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetDirection");
  return dir_;
}

void LightEmitter::SetPosition(const VECTOR3& pos) {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::SetPosition", pos);
  pos_ = pos;
}

VECTOR3 LightEmitter::GetPosition() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetPosition");
  return pos_;
}

LightEmitter::TYPE LightEmitter::GetType() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetType");
  return type_;
}

COLOUR4 LightEmitter::GetDiffuseColour() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetDiffuseColour");
  return diffuse_;
}

COLOUR4 LightEmitter::GetSpecularColour() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetSpecularColour");
  return specular_;
}

COLOUR4 LightEmitter::GetAmbientColour() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetAmbientColour");
  return ambient_;
}

OBJHANDLE LightEmitter::GetOwner() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "LightEmitter::GetOwner");
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
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "PointLight::SetRange", range);
  range_ = range;
}

double PointLight::GetRange() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "PointLight::GetRange");
  return range_;
}

void PointLight::SetAttenuation(double att0, double att1, double att2) {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "PointLight::SetAttenuation", att0, att1, att2);
  att_[0] = att0;
  att_[1] = att1;
  att_[2] = att2;
}

double PointLight::GetAttenuation(int i) const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "PointLight::GetAttenuation", i);
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
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "SpotLight::SetAperture", umbra, penumbra);
  umbra_ = umbra;
  penumbra_ = penumbra;
}

double SpotLight::GetUmbra() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "SpotLight::GetUmbra");
  return umbra_;
}

double SpotLight::GetPenumbra() const {
  World::Impl* w = CurrentImpl();
  TraceOn(w, owner_, "SpotLight::GetPenumbra");
  return penumbra_;
}

OmniLight::OmniLight(OBJHANDLE owner, const VECTOR3& pos, double range, double att0, double att1,
                     double att2, COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient)
    : PointLight(LT_POINT, owner, pos, VECTOR3{0, 0, 1}, range, att0, att1, att2, diffuse, specular,
                 ambient) {}

// --- VESSEL: lights and beacons ---

bool VESSEL::AddBeacon(BEACONLIGHTSPEC* bs) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Owner(w, hVessel_);
  Trace(w, v, "AddBeacon", bs);
  if (v == nullptr || bs == nullptr) return false;
  if (std::find(v->beacons.begin(), v->beacons.end(), bs) == v->beacons.end())
    v->beacons.push_back(bs);
  return true;
}

LightEmitter* VESSEL::AddSpotLight(const VECTOR3& pos, const VECTOR3& dir, double range,
                                   double att0, double att1, double att2, double umbra,
                                   double penumbra, COLOUR4 diffuse, COLOUR4 specular,
                                   COLOUR4 ambient) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Owner(w, hVessel_);
  Trace(w, v, "AddSpotLight", pos, dir, range, att0, att1, att2, umbra, penumbra, diffuse, specular,
        ambient);
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
  World::Impl* w = CurrentImpl();
  Vessel* v = Owner(w, hVessel_);
  Trace(w, v, "AddPointLight", pos, range, att0, att1, att2, diffuse, specular, ambient);
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
  World::Impl* w = CurrentImpl();
  Vessel* v = Owner(w, hVessel_);
  Trace(w, v, "LightEmitterCount");
  return v != nullptr ? static_cast<std::uint32_t>(v->lights.size()) : 0;
}

LightEmitter* VESSEL::GetLightEmitter(std::uint32_t i) const {
  World::Impl* w = CurrentImpl();
  Vessel* v = Owner(w, hVessel_);
  Trace(w, v, "GetLightEmitter", i);
  if (v == nullptr || i >= v->lights.size()) return nullptr;
  return v->lights[i];
}
