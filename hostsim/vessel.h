// hostsim: one vessel of the world, as the host's views (the CLI, the renderer, the validator)
// and the tests see it: what its module set up through the host, and where it stands.
//
// Each piece of a vessel's state has one home. The data members of Vessel are what its module
// set up through host calls (physics, attachment points, lights, beacons, animations, mesh
// slots), the visual built for it and the scenario lines kept for it: the views read these as
// they are, in many places and on every frame, so they stay plain members. Everything else is
// the runtime's own record in Vessel::Impl (hostsim/runtime/state.h), out of the views' reach:
// the vessel's name, class and handle, its module and interface objects, and its place and
// motion (the free pose, the pose its scenario block gave, the speed a release gave, the last
// valid attached placement). The views read what they need of that through the functions
// below; the rules tying those pieces together (a save writes the pose the file gave while the
// vessel has not moved; a drift stops while the vessel hangs) stay in the runtime alone.
// How attached vessels are placed is described in docs/formats.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/animation.h"
#include "host/beacon.h"
#include "host/light.h"
#include "host/types.h"
#include "host/vessel.h"
#include "hostsim/mesh.h"
#include "hostsim/packed_lines.h"
#include "hostsim/transform.h"

namespace hostsim {

class Vessel;

struct AttachmentPoint {
  Vessel* owner = nullptr;
  std::string id;
  bool toParent = false;
  std::uint32_t index = 0;  // its number among the owner's points of its kind, from 0
  VECTOR3 pos{0, 0, 0}, dir{0, 1, 0}, rot{0, 0, 1};
  bool loose = false;
  // What hangs here: for a child point, the child's to-parent point; for a to-parent point,
  // the parent's child point. Null when free.
  AttachmentPoint* peer = nullptr;
  // The child's pose in the parent's frame, kept while a loose attachment holds (null else):
  // made when one is made, as few points ever hold one.
  std::unique_ptr<Transform> looseOffset;
};

struct AnimationComponent {
  ANIMATION_ID anim = 0;
  double state0 = 0, state1 = 1;
  MGROUP_TRANSFORM* trans = nullptr;  // owned by the module
  AnimationComponent* parent = nullptr;
};

struct Animation {
  double initial = 0;
  double state = 0;
  std::vector<AnimationComponent*> components;
};

struct Physics {
  double size = 0, emptyMass = 0;
  bool focusEnabled = false;
  VECTOR3 touchdown[3] = {};
  VECTOR3 pmi{0, 0, 0}, crossSections{0, 0, 0}, rotDrag{0, 0, 0};
  double cw[4] = {0, 0, 0, 0};
  double visLimit = 0, spotLimit = 0;
};

// A light as the host sees it: what the module set through the light's functions, read
// without a journal entry (the host's own look is no module's call).
struct LightState {
  LightEmitter::TYPE type = LightEmitter::LT_NONE;
  bool active = false;
  double intensity = 0;
  VECTOR3 position{0, 0, 0}, direction{0, 0, 0};
  double range = 0;                   // point and spot lights
  double attenuation[3] = {0, 0, 0};  // point and spot lights
  double umbra = 0, penumbra = 0;     // spot lights
  COLOUR4 diffuse{}, specular{}, ambient{};
};
// The state of `light` as its functions would report it, journalling nothing.
LightState ViewLight(const LightEmitter& light);

// One vessel of the world.
class Vessel {
 public:
  // The name it has in the world.
  const std::string& name() const;
  // Its class: the name of its configuration file.
  const std::string& className() const;
  // The vessel's interface: the module's object for module vessels, the host's own for
  // config-only ones.
  VESSEL* iface() const;
  // The module's callbacks object, or null for a config-only vessel (and for a module object
  // of interface version 1 or 2).
  VESSEL3* callbacks() const;
  // The module's VESSEL2 part for objects of interface version 2 or 3, else null.
  VESSEL2* callbacks2() const;
  // The handle modules name it by; never used again for another vessel.
  OBJHANDLE handle() const;

  Physics physics;
  std::vector<std::unique_ptr<AttachmentPoint>> attachments;  // creation order, both kinds
  std::vector<LightEmitter*> lights;      // created by the host for the vessel, freed with it
  std::vector<BEACONLIGHTSPEC*> beacons;  // as registered (module-owned)
  std::vector<Animation> animations;
  std::vector<std::unique_ptr<AnimationComponent>> components;
  std::vector<MeshSlot> meshes;
  std::unique_ptr<Visual> visual;  // null while none is built
  PackedLines keptLines;           // scenario lines nobody recognised, written back

  // Points of one kind in creation order.
  std::vector<AttachmentPoint*> Points(bool toParent) const;
  // The vessel this one hangs on, or null.
  Vessel* Parent() const;
  // Pose of the vessel frame in the world, following the parent chain: a walk to the root.
  // For many vessels at once take WorldPoses, which walks each chain once.
  Transform WorldPose() const;
  // Own pose when free, as the scenario, a release, a drift or SetFreePose left it; a vessel
  // that hangs on another keeps it unused until it is released.
  const Transform& FreePose() const;
  // Sets the own pose when free (see FreePose); a vessel that hangs stays where it hangs.
  void SetFreePose(const Transform& pose);
  // Transform of every group of mesh `meshIdx` in the vessel frame, from the animation
  // states and the component parent chains (identity for groups no component moves).
  std::vector<Transform> GroupTransforms(std::uint32_t meshIdx) const;

  // The runtime's own record of the vessel (see the top of this file).
  struct Impl;
  std::unique_ptr<Impl> impl;
  // An empty vessel; the runtime fills in its record as it makes it.
  Vessel();
  // Frees the lights the host made for it.
  ~Vessel();
};

// The world poses of vessels, by vessel.
using Poses = std::unordered_map<const Vessel*, Transform>;
// The world pose of each of the vessels, and of every vessel above them, as WorldPose gives
// it, each chain composed once from its root down: time in proportion to the vessels' number,
// where WorldPose for each would walk to the root from every one. The table holds while no
// vessel moves, hangs or is released: a view takes one per frame.
Poses WorldPoses(const std::vector<Vessel*>& vessels);

}  // namespace hostsim
