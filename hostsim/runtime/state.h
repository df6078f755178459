// The runtime's private state: the world's, in the parts a reader can name, and each vessel's.
// The parts are plain records; what acts on them lives in the sources named after each part.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hostsim/packed_lines.h"
#include "hostsim/platform/files.h"
#include "hostsim/runtime/call_ring.h"
#include "hostsim/runtime/config.h"
#include "hostsim/runtime/text.h"
#include "hostsim/world.h"

namespace hostsim {

class FileObject;

// A vessel class as the host knows it: its configuration and, for a module class, its
// module; for a class without one, what the configuration sets up.
struct VesselClass {
  std::string name;
  std::shared_ptr<const ConfigFile> config;
  Module* module = nullptr;
  ClassItems items;  // what it sets up when module is null
};

// An ATTACHED line a vessel's block gave, applied once every vessel of the load exists.
struct PendingAttachment {
  std::string parent;
  std::uint32_t index = 0;
  std::string pointId;
  std::string file;
  int line = 0;
};

// The runtime's own record of a vessel: what no view reads as it is (see hostsim/vessel.h for
// which state lives here and which on Vessel).
struct Vessel::Impl {
  World::Impl* world = nullptr;
  std::string name;
  std::string className;
  std::uintptr_t token = 0;  // the OBJHANDLE value
  Module* module = nullptr;  // null for a class without a module
  VESSEL* iface = nullptr;   // the module's object, or the host's own
  VESSEL2* cb2 = nullptr;    // set for interface version 2 and 3
  VESSEL3* cb3 = nullptr;    // set for interface version 3
  bool hostObject = false;   // iface is the host's own object (a class without a module)
  std::shared_ptr<const ConfigFile> config;
  // Own pose when free: set by a scenario's POS and ORI, a release, a drift or SetFreePose.
  Transform freePose;
  // Position and orientation (degrees) as last given by a scenario; saved as given while the
  // free pose still matches the pose they make, so a round trip is exact.
  VECTOR3 pos{0, 0, 0};
  VECTOR3 ori{0, 0, 0};
  bool poseGiven = false;  // a POS or ORI line of its block set pos or ori
  // The parts below are made when first needed, and most vessels never need them: a bare
  // vessel pays a pointer for each rather than the record.
  // Where the scenario load put it, when its block gave its pose. Until something moves it
  // from there (the first time step, most often, when a module re-applies a placement), it is
  // saved with the POS and ORI the file gave: a load and a save are then the same file.
  std::unique_ptr<Transform> loadedPose;
  VECTOR3 velocity{0, 0, 0};  // given by a release; a free vessel drifts with it
  // Last valid child-to-parent placement, used while the attachment vectors are degenerate;
  // null while there is none.
  mutable std::unique_ptr<Transform> lastAttach;
  std::unique_ptr<PendingAttachment> pendingAttach;
  std::uint32_t childPoints = 0, parentPoints = 0;  // the points made so far, of each kind
  // The templates its mesh slots show, kept while it lives (another vessel's template among
  // them outlives that vessel's end); and those it loaded, whose handles end with it.
  std::vector<std::shared_ptr<const Mesh>> shownMeshes;
  std::vector<MESHHANDLE> loadedMeshes;
};

// Hashes and compares names without regard to case, and finds a key by a string_view: a
// module's lookup by name (every frame, often) then copies nothing.
struct NoCaseHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept;
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualsNoCase(a, b);
  }
};

// The world's vessels: owned in creation order, found by name without regard to case.
class VesselRegistry {
 public:
  Vessel& Add(std::unique_ptr<Vessel> v);
  // Takes the vessel out; null when it is not in the registry.
  std::unique_ptr<Vessel> Remove(const Vessel& v);
  Vessel* Find(std::string_view name) const;
  const std::vector<std::unique_ptr<Vessel>>& InOrder() const { return order_; }
  bool Empty() const { return order_.empty(); }

 private:
  std::vector<std::unique_ptr<Vessel>> order_;
  std::unordered_map<std::string, Vessel*, NoCaseHash, NoCaseEqual> byName_;
};

struct Clock {
  double simt = 0;        // simulation time, seconds
  double simdt = 0;       // length of the last step
  double mjd0 = 51544.5;  // the date at simulation time 0
};

// What the mesh handles the host handed out name: templates, device meshes and visuals.
struct Meshes {
  std::map<std::string, std::shared_ptr<const MeshFile>> files;  // by mesh name, read once
  // A template loaded in a vessel's callback is that vessel's: its handle ends with it. One
  // loaded outside any is the world's.
  std::unordered_map<MESHHANDLE, std::shared_ptr<Mesh>> templates;
  std::unordered_map<DEVMESHHANDLE, DeviceMesh*> deviceMeshes;  // of live visuals
  std::unordered_map<VISHANDLE, Vessel*> visuals;               // live visuals' vessels
};

// The handles of a vessel's parts are its own handle plus an offset, so that what one names is
// found without a table: its i-th attachment point is at 2i + 1, its i-th animation component at
// 2i + 2. A vessel's handle is followed by this many values of its own.
inline constexpr std::uintptr_t kPartHandles = std::uintptr_t{1} << 20;
// The most attachment points, and animation components, a vessel can have.
inline constexpr std::size_t kMaxParts = kPartHandles / 2 - 1;

struct World::Impl {
  World* self = nullptr;
  Paths paths;
  Journal journal;
  CallRing lastCalls;  // the latest calls, raw, for a fault's report
  // The calls the host cannot accept, while World::WatchArguments is on: the first of each
  // kind since it was last taken, as a journal line.
  struct ArgumentWatch {
    bool on = false;
    std::string nonFinite, deadHandle;
  };
  ArgumentWatch argumentWatch;
  std::map<std::string, std::unique_ptr<Module>> modules;
  Module* initialising = nullptr;  // the module whose library is being opened
  // The copies a reload makes where Paths::copies is null: made on first use.
  std::unique_ptr<LibraryCopies> ownCopies;

  // Every vessel alive, by the value of its handle: the world's, and those a scenario load
  // is building or ending. Every call of a module on its vessel finds it here.
  std::unordered_map<std::uintptr_t, Vessel*> handles;
  VesselRegistry vessels;  // the world's
  Vessel* focus = nullptr;
  std::uintptr_t lastToken = 0x1000;  // handles are never used again

  Clock clock;
  std::array<char, 256> keys{};  // the keyboard: bit 7 = down
  Meshes meshes;
  std::vector<FileObject*> openFiles;  // those a running callback was handed
  // The objects whose handles are their addresses (files handed to a callback, mesh
  // templates), counted as each is made: an address used again names a younger object, which
  // the ring of the latest calls must not name for an older call.
  std::uint64_t handleBirths = 0;
  // The callbacks running, innermost last.
  struct Running {
    const char* call;
    Vessel* vessel;
    const Module* module;
  };
  std::vector<Running> callbacks;
  // The callback the latest exception left, thrown out of a module's code; until taken.
  std::optional<World::Escape> escape;
  std::function<void(World::Escape&)> escapeTeller;  // World::SetEscapeTeller
  // Counts every start and end of an outermost callback: odd while one runs. Read by a
  // watchdog on another thread.
  std::atomic<std::uint64_t> callbackEdges{0};
  // The outermost callback, for that watchdog: written only while none runs (the count even),
  // just before the count turns odd, so that a reader who sees the same odd count before and
  // after reading them has read the callback that runs (World::OutermostCallback).
  std::atomic<const char*> outerCall{nullptr};
  std::atomic<Vessel*> outerVessel{nullptr};
  std::atomic<const Module*> outerModule{nullptr};
  std::optional<InputBox> box;
  Vessel* boxOwner = nullptr;  // vessel whose callback opened the box
  bool defNav = true, defRCS = true;
  std::vector<std::string> warnings;
  std::vector<FileRead> filesRead;
  std::set<std::string> filesReadNames;  // their absolute paths, to note each once
  PackedLines topLevelKept;              // a loaded scenario's unknown top-level lines
  std::string loadedScenario;            // the bytes of the scenario loaded last

  std::uintptr_t NewToken() { return lastToken += kPartHandles; }
  Vessel* Find(OBJHANDLE h) const;
  // The living vessel one of whose parts `handle` may name, and the handle's offset from the
  // vessel's own; null when none.
  Vessel* PartOwner(const void* handle, std::uintptr_t& offset) const;
};

inline Vessel::Impl& Of(Vessel& v) { return *v.impl; }
inline const Vessel::Impl& Of(const Vessel& v) { return *v.impl; }

// Notes that the world read `file` (a `kind` of file, a text that outlives the world).
void NoteFileRead(World::Impl& w, const char* kind, const std::filesystem::path& file);

// The world the host's functions act on, or null.
World::Impl* CurrentWorld();
// Makes no world current.
void ForgetCurrent();

// Makes a world current (or none) for as long as it lives, and the previous one after.
class ScopedCurrent {
 public:
  explicit ScopedCurrent(World::Impl* w);
  ~ScopedCurrent();
  ScopedCurrent(const ScopedCurrent&) = delete;
  ScopedCurrent& operator=(const ScopedCurrent&) = delete;

 private:
  World::Impl* previous_;
};

}  // namespace hostsim
