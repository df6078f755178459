// lumipod: a small portable floodlight vessel.
//
// The lamp head turns in azimuth and altitude, the spot light and a beacon sprite follow the
// lamp's state, the glass glows in the lamp's colour, and the lamp can hang on another
// vessel's attachment point and fine-place that point. Everything reaches the lamp through
// the host's callbacks; its state is saved in three scenario lines (SPT, PAT, GBL).
#pragma once

#include <cstdint>

#include "host/host.h"

// The lamp's colour, each component in [0, 1].
struct LampRGB {
  double r, g, b;
};

class lumipod final : public VESSEL3 {
 public:
  enum class Sign { Minus, Plus };
  enum class Axis { X, Y, Z };
  enum class Ramp { Down, Up };

  // The parent vessel's interface and its child point that holds the lamp.
  struct ParentSlot {
    VESSEL* parent;
    ATTACHMENTHANDLE slot;
  };

  lumipod(OBJHANDLE hVessel, int flightModel);
  ~lumipod();
  lumipod(const lumipod&) = delete;
  lumipod& operator=(const lumipod&) = delete;

  // --- host callbacks ---
  void clbkSetupClass(FILEHANDLE cfg) override;
  void clbkSaveState(FILEHANDLE scn) override;
  void clbkLoadScenario(FILEHANDLE scn, void* status) override;
  void clbkAfterCreation() override;
  void clbkBeforeStep(double simTime, double stepLength, double thirdTime) override;
  void clbkAfterStep(double simTime, double stepLength, double thirdTime) override;
  void clbkVisualBuilt(VISHANDLE vis, int refcount) override;
  // Forgets the device mesh of a visual the host is about to destroy.
  void clbkVisualDestroyed(VISHANDLE vis, int refcount) override;
  int clbkDirectKeys(char* kstate) override;
  int clbkBufferedKey(std::uint32_t key, bool down, char* kstate) override;
  using VESSEL3::clbkDrawHUD;
  bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) override;

  // --- aiming and beam (lamp/aiming.cpp) ---
  void DefineAnimations();
  void StepAzimuth(Sign sign);
  void StepAltitude(Sign sign);
  void UpdateBeamDirection();
  void UpdateLightParams();
  // The beacon's size: √range × 0.02 × intensity, multiplied in that order.
  double BeaconSize() const;

  // --- output (lamp/output.cpp) ---
  void SetGlassLit();
  void SetGlassDark();
  void ToggleLamp();
  void AdjustIntensity(Ramp direction);
  bool SetRangeFromText(const char* text);
  bool SetSpreadFromText(const char* text);

  // --- parent attachment and fine adjustment (attach/) ---
  // Finds the parent's child point that holds the lamp; false when there is none.
  bool FindParentSlot(ParentSlot& out) const;
  bool AttachFromText(const char* text);
  void DetachFromParent();
  void CaptureStoredPlacement();
  void ApplyStoredPlacement();
  // True while a loaded placement waits for the first time step to re-apply it.
  bool StoredPlacementPending() const;
  void ShiftAttachment(Axis axis, Sign sign);
  void RotateAttachment(Axis axis, Sign sign);

  // --- angles ---
  static constexpr double kPi = 3.141592653589793;
  static constexpr double kTwoPi = 6.283185307179586;
  static constexpr double kRadPerDeg = 0.017453292519943295;  // pi / 180
  static constexpr double kDegPerRad = 57.29577951308232;     // 180 / pi

  // --- state, in declaration order ---
  // Zero (null) from construction; clbkSetupClass gives every field its start value.
  std::int32_t lampOn{};
  double range{};
  double aperture{};
  LightEmitter* spotLight{};
  BEACONLIGHTSPEC beacon{};
  VECTOR3 spotColour{};
  VECTOR3 beaconColour{};
  VECTOR3 beaconRestPos{};
  VECTOR3 beaconPos{};
  LampRGB lampColour{};
  double intensity{};
  ATTACHMENTHANDLE hParentAttach{};
  ANIMATIONCOMPONENT_HANDLE azComponent{};
  VECTOR3 attPos{};
  VECTOR3 attDir{};
  VECTOR3 attRot{};
  VECTOR3 storedPos{};
  VECTOR3 storedDir{};
  VECTOR3 storedRot{};
  double shiftStep{};
  double rotStep{};
  double altState{};
  double azState{};
  MESHHANDLE hMesh{};
  DEVMESHHANDLE hDevMesh{};
  double beamMatrix[9]{};
  VECTOR3 beamDir{};
  MGROUP_ROTATE* azRotation{};
  MGROUP_ROTATE* altRotation{};
  ANIMATION_ID animAlt{};
  ANIMATION_ID animAz{};
  std::int32_t placementRestored{};
};

// Input-box callbacks: each turns `usrdata` back into the lamp and forwards the text.
bool RangeInputCallback(void* id, char* str, void* usrdata);
bool SpreadInputCallback(void* id, char* str, void* usrdata);
bool AttachInputCallback(void* id, char* str, void* usrdata);
