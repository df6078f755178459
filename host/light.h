// Light sources attached to a vessel.
#pragma once

#include "api.h"
#include "types.h"

// A light emitter created by the host for a vessel (VESSEL::AddSpotLight and friends).
// The host owns it; a module keeps the pointer for the vessel's lifetime and never frees it.
class ZAPI_CLASS LightEmitter {
 public:
  enum TYPE { LT_NONE = 0, LT_POINT = 1, LT_SPOT = 2 };

  // Switches the light on (true) or off (false); returns the new state.
  bool Activate(bool act);
  // Tells whether the light is on.
  bool IsActive() const;
  // Sets the brightness, nominally in [0, 1]; any value is kept as given.
  void SetIntensity(double intensity);
  // Returns the brightness.
  double GetIntensity() const;
  // Sets the light's direction in the vessel frame (used by directional kinds).
  void SetDirection(const VECTOR3& dir);
  // Returns the light's direction in the vessel frame.
  VECTOR3 GetDirection() const;
  // Sets the light's position in the vessel frame.
  void SetPosition(const VECTOR3& pos);
  // Returns the light's position in the vessel frame.
  VECTOR3 GetPosition() const;
  // Returns the kind of light.
  TYPE GetType() const;
  // Sets the colour the light gives the surfaces it lights (red, green, blue; alpha unused),
  // shown from the next frame on: one light can take any number of colours in turn.
  void SetDiffuseColour(COLOUR4 colour);
  // Returns the diffuse colour: the one given at creation, or the one last set.
  COLOUR4 GetDiffuseColour() const;
  // Sets the colour of the light's highlights on shiny surfaces.
  void SetSpecularColour(COLOUR4 colour);
  // Returns the specular colour: the one given at creation, or the one last set.
  COLOUR4 GetSpecularColour() const;
  // Sets the light's ambient colour (red, green, blue; alpha unused).
  void SetAmbientColour(COLOUR4 colour);
  // Returns the ambient colour: the one given at creation, or the one last set.
  COLOUR4 GetAmbientColour() const;
  // Returns the vessel the light belongs to.
  OBJHANDLE GetOwner() const;

 protected:
  LightEmitter(TYPE type, OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir, COLOUR4 diffuse,
               COLOUR4 specular, COLOUR4 ambient);
  ~LightEmitter() = default;

  TYPE type_;
  OBJHANDLE owner_;
  bool active_;
  double intensity_;
  VECTOR3 pos_;
  VECTOR3 dir_;
  COLOUR4 diffuse_;
  COLOUR4 specular_;
  COLOUR4 ambient_;
};

// A light that shines in all directions up to a range, dimming with distance d as
// 1 / (att0 + att1 d + att2 d^2).
class ZAPI_CLASS PointLight : public LightEmitter {
 public:
  // Sets the range in metres beyond which the light has no effect.
  void SetRange(double range);
  // Returns the range in metres.
  double GetRange() const;
  // Sets the three attenuation coefficients (constant, linear, quadratic).
  void SetAttenuation(double att0, double att1, double att2);
  // Returns the attenuation coefficient `i` (0, 1 or 2); 0.0 for any other index.
  double GetAttenuation(int i) const;

 protected:
  PointLight(TYPE type, OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir, double range,
             double att0, double att1, double att2, COLOUR4 diffuse, COLOUR4 specular,
             COLOUR4 ambient);
  ~PointLight() = default;

  double range_;
  double att_[3];
};

// A point light limited to a cone around its direction: full inside the umbra angle,
// fading out towards the penumbra angle (both full cone angles in radians).
class ZAPI_CLASS SpotLight final : public PointLight {
 public:
  // Makes a spot light; used by the host only (modules call VESSEL::AddSpotLight).
  SpotLight(OBJHANDLE owner, const VECTOR3& pos, const VECTOR3& dir, double range, double att0,
            double att1, double att2, double umbra, double penumbra, COLOUR4 diffuse,
            COLOUR4 specular, COLOUR4 ambient);
  // Sets the inner (umbra) and outer (penumbra) cone angles in radians.
  void SetAperture(double umbra, double penumbra);
  // Returns the umbra angle in radians.
  double GetUmbra() const;
  // Returns the penumbra angle in radians.
  double GetPenumbra() const;

 private:
  double umbra_;
  double penumbra_;
};

// A point light; used by the host only (modules call VESSEL::AddPointLight).
class ZAPI_CLASS OmniLight final : public PointLight {
 public:
  // Makes a point light shining in all directions.
  OmniLight(OBJHANDLE owner, const VECTOR3& pos, double range, double att0, double att1,
            double att2, COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient);
};
