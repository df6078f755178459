// The vessel interface: VESSEL (operations on a vessel), VESSEL2 and VESSEL3 (callbacks).
#pragma once

#include <cstdint>

#include "animation.h"
#include "api.h"
#include "beacon.h"
#include "hud.h"
#include "light.h"
#include "material.h"
#include "sketchpad.h"
#include "types.h"

// Operations on one vessel of the simulation. A module reaches other vessels through
// zapiGetVesselInterface and its own vessel through the VESSEL base of its class.
// Every operation acts on the host's world at once.
class ZAPI_CLASS VESSEL {
 public:
  // Binds the interface to the vessel `hVessel`; `fmodel` is the host's flight-model level.
  VESSEL(OBJHANDLE hVessel, int fmodel = 1);

  // Returns the vessel's object handle.
  OBJHANDLE GetHandle() const;
  // Returns the vessel's name; valid while the vessel exists.
  const char* GetName() const;
  // Returns the vessel's class name; valid while the vessel exists.
  const char* GetClassName() const;
  // Returns the interface version the vessel's object was built with (1, 2 or 3).
  int Version() const;

  // --- physical set-up ---
  // Sets the vessel's mean radius in metres.
  void SetSize(double size) const;
  // Sets the empty mass in kilograms.
  void SetEmptyMass(double emass) const;
  // Sets whether the vessel can take the input focus.
  void SetEnableFocus(bool enable) const;
  // Sets the three touchdown points (vessel frame) that define the ground contact plane.
  void SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const;
  // Sets the mass-normalised principal moments of inertia.
  void SetPMI(const VECTOR3& pmi) const;
  // Sets the cross sections in square metres projected along x, y and z.
  void SetCrossSections(const VECTOR3& cs) const;
  // Sets the drag coefficients for airflow along +z, -z, x and y.
  void SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const;
  // Sets the rotational drag coefficients about x, y and z.
  void SetRotDrag(const VECTOR3& rd) const;
  // Sets the visibility limits: the vessel's apparent size below which it is not drawn, and
  // the same for its spot (a negative value means: same as the first).
  void SetVisibilityLimit(double vislimit, double spotlimit = -1.0) const;

  // --- lights ---
  // Registers a beacon by address; the host reads the record live until the vessel goes.
  // Returns false for a null record.
  bool AddBeacon(BEACONLIGHTSPEC* bs) const;
  // Creates a spot light (initially active) owned by the host; never null.
  LightEmitter* AddSpotLight(const VECTOR3& pos, const VECTOR3& dir, double range, double att0,
                             double att1, double att2, double umbra, double penumbra,
                             COLOUR4 diffuse, COLOUR4 specular, COLOUR4 ambient) const;
  // Creates a point light (initially active) owned by the host; never null.
  LightEmitter* AddPointLight(const VECTOR3& pos, double range, double att0, double att1,
                              double att2, COLOUR4 diffuse, COLOUR4 specular,
                              COLOUR4 ambient) const;
  // Returns the number of light emitters of the vessel.
  std::uint32_t LightEmitterCount() const;
  // Returns light emitter `i`, or null when there is none.
  LightEmitter* GetLightEmitter(std::uint32_t i) const;

  // --- attachments ---
  // Creates an attachment point: towards a parent (`toparent` true) or for a child. `dir` and
  // `rot` should be perpendicular unit vectors; `id` is copied (at most 8 characters kept).
  ATTACHMENTHANDLE CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir,
                                    const VECTOR3& rot, const char* id, bool loose = false) const;
  // Returns the object attached at the point: the parent for a to-parent point, the child
  // for a child point; null when free or when the point is not this vessel's.
  OBJHANDLE GetAttachmentStatus(ATTACHMENTHANDLE attachment) const;
  // Returns the number of to-parent points (`toparent` true) or child points.
  std::uint32_t AttachmentCount(bool toparent) const;
  // Returns point `i` of the chosen kind, or null when `i` is out of range.
  ATTACHMENTHANDLE GetAttachmentHandle(bool toparent, std::uint32_t i) const;
  // Returns the index of the point among those of its kind, or -1 when not this vessel's.
  int GetAttachmentIndex(ATTACHMENTHANDLE attachment) const;
  // Returns the point's id text, or null when the point is not this vessel's.
  const char* GetAttachmentId(ATTACHMENTHANDLE attachment) const;
  // Reads the point's position, direction and rotation reference (vessel frame); leaves the
  // three outputs untouched when the point is not this vessel's.
  void GetAttachmentParams(ATTACHMENTHANDLE attachment, VECTOR3& pos, VECTOR3& dir,
                           VECTOR3& rot) const;
  // Replaces the point's three parameters; an attached child follows from the next query on.
  // Values are stored as given (non-finite ones included); ignored for a foreign point.
  void SetAttachmentParams(ATTACHMENTHANDLE attachment, const VECTOR3& pos, const VECTOR3& dir,
                           const VECTOR3& rot) const;
  // Hangs `child` by its to-parent point `child_attachment` on this vessel's child point
  // `attachment`. Fails (false, nothing changed) when a point is unknown or of the wrong
  // kind, either point is occupied, the child is this vessel or one of its parents.
  bool AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment,
                   ATTACHMENTHANDLE child_attachment) const;
  // Releases whatever hangs at this vessel's child point `attachment`, giving it the
  // separation speed `vel` in m/s; false when nothing hangs there.
  bool DetachChild(ATTACHMENTHANDLE attachment, double vel = 0.0) const;

  // --- meshes and visuals ---
  // Adds a template mesh to the vessel at offset `ofs` (null: no offset); returns its index.
  std::uint32_t AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs = nullptr) const;
  // Sets when mesh `idx` is drawn (1 external views, 2 cockpit, 3 both, 0 never); false when
  // there is no such mesh.
  bool SetMeshVisibilityMode(std::uint32_t idx, std::uint16_t mode) const;
  // Returns the device mesh of mesh `idx` in the visual `vis`, or null when that visual does
  // not exist (any more) or has no such mesh.
  DEVMESHHANDLE GetDevMesh(VISHANDLE vis, std::uint32_t idx) const;

  // --- animations ---
  // Creates an animation at `initial_state` (the state in which the mesh is stored);
  // returns its id.
  ANIMATION_ID CreateAnimation(double initial_state) const;
  // Adds a component to animation `anim` that applies `trans` between states `state0` and
  // `state1`, riding on `parent` when given. The transform is read through the pointer for
  // the animation's lifetime. Returns null for an unknown animation or a null transform.
  ANIMATIONCOMPONENT_HANDLE AddAnimationComponent(ANIMATION_ID anim, double state0, double state1,
                                                  MGROUP_TRANSFORM* trans,
                                                  ANIMATIONCOMPONENT_HANDLE parent = nullptr) const;
  // Sets the state of animation `anim` (any value is kept); false for an unknown animation.
  bool SetAnimation(ANIMATION_ID anim, double state) const;
  // Returns the state of animation `anim`, 0.0 for an unknown one.
  double GetAnimation(ANIMATION_ID anim) const;

  // --- scenario ---
  // Lets the host interpret a scenario line of the vessel's block that the module does not
  // know; `status` is the pointer the host gave clbkLoadScenario. Lines the host does not
  // know either are kept and written back on the next save.
  void ParseScenarioLineEx(char* line, void* status) const;

 protected:
  OBJHANDLE hVessel_;  // the vessel this interface is bound to
  int fmodel_;         // flight-model level given at construction
  int version_;        // 1 for VESSEL, 2 for VESSEL2, 3 for VESSEL3 objects
};

// VESSEL with callbacks: the host calls these virtual functions of a module's vessel object.
// The defaults do the host's own part and nothing else. The table order is part of the binary
// interface; no virtual destructor.
class ZAPI_CLASS VESSEL2 : public VESSEL {
 public:
  // Binds the callbacks object to the vessel `hVessel`.
  VESSEL2(OBJHANDLE hVessel, int fmodel = 1);

  // Class set-up: called once after creation with the class configuration file.
  virtual void clbkSetupClass(FILEHANDLE cfg);
  // Scenario save: the default writes the host's own lines for the vessel.
  virtual void clbkSaveState(FILEHANDLE scn);
  // Scenario load: the default hands every line of the block to ParseScenarioLineEx.
  virtual void clbkLoadScenario(FILEHANDLE scn, void* status);
  // Creation from a status record instead of a scenario block.
  virtual void clbkSetStateEx(const void* status);
  // Called once after the vessel and its loaded state exist.
  virtual void clbkAfterCreation();
  // Called when the input focus moves to or from the vessel.
  virtual void clbkFocusChanged(bool getfocus, OBJHANDLE hNewVessel, OBJHANDLE hOldVessel);
  // Called before each time step: simulation time, step length (s), and the date (MJD).
  virtual void clbkBeforeStep(double simt, double simdt, double mjd);
  // Called after each time step with the same three values.
  virtual void clbkAfterStep(double simt, double simdt, double mjd);
  // Called for a recorded event during playback; true when the module handled it.
  virtual bool clbkPlaybackEvent(double simt, double event_t, const char* event_type,
                                 const char* event);
  // Called when the host has built a visual for the vessel.
  virtual void clbkVisualBuilt(VISHANDLE vis, int refcount);
  // Called before the host destroys a visual of the vessel.
  virtual void clbkVisualDestroyed(VISHANDLE vis, int refcount);
  // HUD drawing into a device context (older form); the default draws nothing.
  virtual void clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, DEVCONTEXT hDC);
  // Attitude-thruster mode changed.
  virtual void clbkRCSMode(int mode);
  // Aerodynamic control mode changed.
  virtual void clbkADCtrlMode(std::uint32_t mode);
  // HUD mode changed.
  virtual void clbkHUDMode(int mode);
  // Multi-function display mode changed.
  virtual void clbkMFDMode(int mfd, int mode);
  // Navigation mode switched on or off.
  virtual void clbkNavMode(int mode, bool active);
  // Docking port `dock` docked to `mate` (null: undocked).
  virtual void clbkDockEvent(int dock, OBJHANDLE mate);
  // Called once per frame to let the module animate its meshes.
  virtual void clbkAnimate(double simt);
  // Called once per frame with the 256-byte keyboard state, indexed by key code (keys.h);
  // returns 0 to let the host handle the keys too.
  virtual int clbkDirectKeys(char* kstate);
  // Called for each key event (key code, true on press); returns 1 when the module used the key.
  virtual int clbkBufferedKey(std::uint32_t key, bool down, char* kstate);
  // Asks for the generic cockpit; true when the module set it up.
  virtual bool clbkLoadGenericCockpit();
  // Asks for 2-D panel `id` (older form).
  virtual bool clbkLoadPanel(int id);
  // Mouse event on a panel area (older form).
  virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my);
  // Redraw request for a panel area (older form).
  virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf);
  // Asks for virtual cockpit `id`.
  virtual bool clbkLoadVC(int id);
  // Mouse event in a virtual cockpit area.
  virtual bool clbkVCMouseEvent(int id, int event, VECTOR3& p);
  // Redraw request for a virtual cockpit area.
  virtual bool clbkVCRedrawEvent(int id, int event, SURFHANDLE surf);
};

// VESSEL2 with the later callbacks appended to the table.
class ZAPI_CLASS VESSEL3 : public VESSEL2 {
 public:
  // Binds the callbacks object to the vessel `hVessel`.
  VESSEL3(OBJHANDLE hVessel, int fmodel = 1);

  using VESSEL2::clbkDrawHUD;
  using VESSEL2::clbkPanelMouseEvent;
  using VESSEL2::clbkPanelRedrawEvent;

  // Mouse event on a panel area, with the area's context pointer.
  virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my, void* context);
  // Redraw request for a panel area, with the area's context pointer.
  virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf, void* context);
  // Generic message from the host; returns a message-defined result (0: not handled).
  virtual int clbkGeneric(int msgid, int prm, void* context);
  // Asks for 2-D panel `id` of a view of viewW x viewH pixels.
  virtual bool clbkLoadPanel2D(int id, PANELHANDLE hPanel, std::uint32_t viewW,
                               std::uint32_t viewH);
  // Draws the vessel's HUD through `skp`, in pixels of the hps->W x hps->H area with (0, 0) at
  // its top left, while the vessel has the focus. The base draws the host's own HUD elements
  // and returns true when it drew any; an override that keeps them calls it first. The result
  // tells whether anything was drawn.
  virtual bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp);
  // Called after the HUD is drawn, for drawing into its texture.
  virtual void clbkRenderHUD(int mode, const HUDPAINTSPEC* hps, SURFHANDLE hDefaultTex);
  // Asks for the radiation force on the vessel; the default leaves F and pos unchanged.
  virtual void clbkGetRadiationForce(const VECTOR3& mflux, VECTOR3& F, VECTOR3& pos);
};
