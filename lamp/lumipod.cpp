// The lamp's life: construction, class set-up, the per-step callbacks and destruction.
#include "lamp/lumipod.h"

#include <cmath>

namespace {

// Gives every plain field of the lamp its start value. The host objects (spot light,
// attachment point, mesh, animations) are created by clbkSetupClass itself.
void SetStartValues(lumipod& lamp) {
  lamp.intensity = 1.0;
  lamp.range = 300.0;
  lamp.lampOn = 0;
  lamp.aperture = 20 * lumipod::kRadPerDeg;
  lamp.lampColour = {1.0, 1.0, 1.0};
  lamp.attPos = {0.0, 0.0, 0.0};
  lamp.attDir = {0.0, 1.0, 0.0};
  lamp.attRot = {0.0, 0.0, 1.0};
  lamp.storedPos = {0.0, 0.0, 0.0};
  lamp.storedDir = {0.0, 0.0, 0.0};
  lamp.storedRot = {0.0, 0.0, 0.0};
  lamp.shiftStep = 0.0;
  lamp.rotStep = 0.0;
  lamp.altState = 0.5;
  lamp.azState = 0.0;
  const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) lamp.beamMatrix[i] = identity[i];
  lamp.beamDir = {0.0, 0.0, 1.0};
  lamp.placementRestored = 0;
  lamp.hDevMesh = nullptr;
}

// Brings one colour component read from the configuration into [0, 1]. A component that is
// not a number cannot be clamped and would spread into every colour derived from it; it
// falls back to the lamp's default white (1).
double ClampColour(double c) {
  if (c > 1.0) return 1.0;
  if (c < 0.0) return 0.0;
  if (std::isnan(c)) return 1.0;
  return c;
}

// True when the vector has a length greater than zero: some component is non-zero and none is
// not-a-number. Decided on the components, so a tiny non-zero vector whose squared length
// would underflow still counts, and an infinite component counts as non-zero.
bool HasLength(const VECTOR3& v) {
  if (std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z)) return false;
  return v.x != 0.0 || v.y != 0.0 || v.z != 0.0;
}

}  // namespace

// Every field is zero until clbkSetupClass: a lamp destroyed before its set-up frees nothing.
lumipod::lumipod(OBJHANDLE hVessel, int flightModel) : VESSEL3(hVessel, flightModel) {}

lumipod::~lumipod() {
  delete azRotation;
  delete altRotation;
}

void lumipod::clbkSetupClass(FILEHANDLE cfg) {
  SetStartValues(*this);

  SetSize(0.6);
  SetEmptyMass(3.0);
  SetEnableFocus(true);
  SetTouchdownPoints({0.0, -0.37, 1.0}, {-1.0, -0.37, -1.0}, {1.0, -0.37, -1.0});
  SetPMI({1.0, 1.0, 1.0});
  SetCrossSections({0.05, 0.05, 0.05});
  SetCW(1.0, 1.0, 1.0, 1.0);
  SetRotDrag({1.0, 1.0, 1.0});

  // Colour of the light from the class configuration; white when the item is missing.
  spotColour = {0.0, 0.0, 0.0};
  if (zapiReadItem_vec(cfg, "SpotColour", spotColour)) {
    spotColour.x = ClampColour(spotColour.x);
    lampColour.r = spotColour.x;
    spotColour.y = ClampColour(spotColour.y);
    lampColour.g = spotColour.y;
    spotColour.z = ClampColour(spotColour.z);
    lampColour.b = spotColour.z;
  }

  // Beacon sprite at the lamp glass. The host keeps the record's address and reads it and
  // the vectors it points at on every frame.
  beaconRestPos = {0.0, 0.0, 0.15};
  beaconPos = {0.0, 0.0, 0.15};
  beaconColour = {lampColour.r, lampColour.g, lampColour.b};
  beacon.shape = 2;
  beacon.pos = &beaconRestPos;
  beacon.col = &beaconColour;
  beacon.size = 0.35;
  beacon.falloff = 0.3;
  beacon.period = 0.0;
  beacon.duration = 0.0;
  beacon.tofs = 0.0;
  beacon.active = false;
  AddBeacon(&beacon);

  // Spot light, switched off until the lamp is switched on. Range, attenuation, aperture and
  // direction are replaced by the lamp's own at the first UpdateLightParams.
  const COLOUR4 colour = {static_cast<float>(lampColour.r), static_cast<float>(lampColour.g),
                          static_cast<float>(lampColour.b), 0.0f};
  const COLOUR4 black = {0.0f, 0.0f, 0.0f, 0.0f};
  spotLight = AddSpotLight({0.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, 200.0, 1.0, 0.0, 0.00005,
                           0.2617993877991494, 0.3490658503988659, colour, colour, black);
  spotLight->Activate(false);

  SetVisibilityLimit(0.0001, -1.0);

  // The lamp's own point towards a parent.
  hParentAttach =
      CreateAttachment(true, {0.0, -0.37, 0.0}, {0.0, -1.0, 0.0}, {0.0, 0.0, 1.0}, "GS", false);

  hMesh = zapiLoadMesh("lumipod");
  AddMesh(hMesh);  // becomes mesh 0
  SetMeshVisibilityMode(0, 1);

  DefineAnimations();
}

// Every frame: the step sizes follow the frame's length, and the first frame re-applies a
// placement loaded from the scenario, once in the lamp's life.
void lumipod::clbkBeforeStep(double /*simTime*/, double stepLength, double /*thirdTime*/) {
  shiftStep = 0.5 * stepLength;
  rotStep = stepLength * 0.2;
  if (placementRestored == 0) {
    if (HasLength(storedDir) && HasLength(storedRot)) ApplyStoredPlacement();
    placementRestored = 1;
  }
}

bool lumipod::StoredPlacementPending() const {
  return placementRestored == 0 && HasLength(storedDir) && HasLength(storedRot);
}

void lumipod::clbkAfterStep(double /*simTime*/, double /*stepLength*/, double /*thirdTime*/) {}
