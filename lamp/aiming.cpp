// Aiming the lamp head: its two animations, the four step operations, the beam direction
// computed from the animation states, and pushing the light's parameters to the host.
#include <cmath>

#include "lamp/lumipod.h"

namespace {

// Mesh groups turned by the two rotations; the host reads them through the transforms for
// as long as the animations exist.
std::uint32_t azGroups[] = {0};
std::uint32_t altGroups[] = {1, 3};

// The whole turns in x: x with its fraction dropped towards zero. For a finite x this equals
// converting to a 32-bit integer and back wherever that conversion is defined; std::trunc
// also serves the states beyond that range (from a hand-edited scenario) without an
// out-of-range conversion.
double WholeTurns(double x) { return std::trunc(x); }

// The angle `state` × `perState` of an animation whose turn repeats every `period` of its
// state. For every state the product keeps finite it is that product; a state so large that the
// product overflows (from a hand-edited scenario) first drops its whole periods, which fmod does
// exactly, so the head and the beam still get a real angle.
double StateAngle(double state, double perState, double period) {
  const double angle = state * perState;
  return std::isfinite(angle) ? angle : std::fmod(state, period) * perState;
}

}  // namespace

void lumipod::DefineAnimations() {
  animAlt = CreateAnimation(0.5);
  animAz = CreateAnimation(0.0);

  azRotation = new MGROUP_ROTATE(0, azGroups, 1, {0.0, 0.0, 0.0}, {0.0, 1.0, 0.0},
                                 static_cast<float>(kTwoPi));
  azComponent = AddAnimationComponent(animAz, 0.0, 1.0, azRotation, nullptr);

  // The altitude groups ride on the azimuth rotation.
  altRotation = new MGROUP_ROTATE(0, altGroups, 2, {0.0, 0.0, 0.0}, {-1.0, 0.0, 0.0},
                                  static_cast<float>(kPi));
  AddAnimationComponent(animAlt, 0.0, 1.0, altRotation, azComponent);
}

void lumipod::StepAzimuth(Sign sign) {
  // The wrap tests are strict: exactly 1 and exactly 0 stay as they are. An infinite state
  // has no fraction left to keep and wraps to 0.
  if (sign == Sign::Plus) {
    const double x = rotStep + azState;
    azState = x;
    if (x > 1.0) azState = std::isinf(x) ? 0.0 : x - WholeTurns(x);
  } else {
    const double x = azState - rotStep;
    azState = x;
    if (x < 0.0) azState = std::isinf(x) ? 0.0 : (1.0 + x) - WholeTurns(x);
  }
  SetAnimation(animAz, azState);
  UpdateBeamDirection();
}

void lumipod::StepAltitude(Sign sign) {
  if (sign == Sign::Plus) {
    const double x = rotStep + altState;
    altState = x;
    if (x > 1.0) altState = 1.0;
  } else {
    const double x = altState - rotStep;
    altState = x;
    if (x < 0.0) altState = 0.0;
  }
  SetAnimation(animAlt, altState);
  UpdateBeamDirection();
}

void lumipod::UpdateBeamDirection() {
  // Azimuth: the turn about the vessel's y axis, as the images of the x, y and z axes.
  const double a = StateAngle(azState, kTwoPi, 1.0);
  const double ca = std::cos(a);
  const double sa = std::sin(a);
  const double azimuth[9] = {ca, 0.0, -sa, 0.0, 1.0, 0.0, sa, 0.0, ca};
  for (int i = 0; i < 9; ++i) beamMatrix[i] = azimuth[i];

  // Altitude: turn the forward axis f about the side axis k (right-handed), with the full
  // axis-angle matrix, the same turn the altitude transform gives the head.
  // (altState - 0.5) × (−π); two units of altitude state make a whole turn.
  const double b = StateAngle(altState - 0.5, -kPi, 2.0);
  const double t = std::cos(b);
  const double w = std::sin(b);
  const double u = 1.0 - t;
  const double k1 = beamMatrix[0], k2 = beamMatrix[1], k3 = beamMatrix[2];
  const double v1 = beamMatrix[6], v2 = beamMatrix[7], v3 = beamMatrix[8];
  const double m[3][3] = {
      {t + k1 * k1 * u, k1 * k2 * u - k3 * w, k1 * k3 * u + k2 * w},
      {k1 * k2 * u + k3 * w, t + k2 * k2 * u, k2 * k3 * u - k1 * w},
      {k1 * k3 * u - k2 * w, k2 * k3 * u + k1 * w, t + k3 * k3 * u},
  };
  beamDir.x = m[0][0] * v1 + m[0][1] * v2 + m[0][2] * v3;
  beamDir.y = m[1][0] * v1 + m[1][1] * v2 + m[1][2] * v3;
  beamDir.z = m[2][0] * v1 + m[2][1] * v2 + m[2][2] * v3;

  beaconPos.x = beamDir.x * 0.15;
  beaconPos.y = beamDir.y * 0.15;
  beaconPos.z = beamDir.z * 0.15;

  UpdateLightParams();
}

void lumipod::UpdateLightParams() {
  if (spotLight != nullptr) {
    // AddSpotLight created it, so the emitter is a spot light.
    auto* spot = static_cast<SpotLight*>(spotLight);
    spot->SetRange(range);
    spot->SetAperture(aperture * 0.75, aperture);
    spot->SetAttenuation(1.0, 0.0, 2.0 / (range * range));
    spot->SetDirection(beamDir);
  }
  // From now on the beacon sits in front of the glass, following the beam.
  beacon.pos = &beaconPos;
  beacon.size = BeaconSize();
}

double lumipod::BeaconSize() const { return std::sqrt(range) * 0.02 * intensity; }
