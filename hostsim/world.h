// hostsim: the stand-in host's world, as seen by its CLI, its tests and tools.
//
// The runtime library (libhostsim) implements every declaration of host/ against one
// World, the current one, and offers this C++ interface to drive it: create vessels from
// class configurations and modules, run time steps, send keys, answer input boxes, build
// visuals, draw the HUD, load and save scenario files, and read the journal of every host
// call the modules made.
//
// Files (under the folders of Paths):
//   config/<class>.cfg   class configuration: "key = value" lines, ';' starts a comment; a
//                        key given twice is refused (Attachment may repeat). The name of the
//                        file is the class (a class name is never a path); a ClassName that
//                        differs is a warning. Items the host reads itself:
//                          Module = <name>        module library of the class (none: a
//                                                 config-only vessel run by the host alone)
//                          Mesh = <name>          mesh of a config-only vessel
//                          Size = <m>, Mass = <kg>  (positive)
//                          Attachment = <P|C> px py pz dx dy dz rx ry rz <ID>
//                                                 (repeatable) attachment point of a
//                                                 config-only vessel: P to-parent, C child
//   meshes/<name>.obj    Wavefront OBJ mesh with its .mtl: groups in file order are the
//                        mesh groups, materials in .mtl order are the mesh materials. Text
//                        only, finite numbers, face corners naming what the file gave; an
//                        mtllib names a file beside the mesh.
//   modules/<name>.so    module library (<name>.dll on Windows).
//
// Scenario file (text, one item a line, '#' starts a comment line; the first other line is
// one of the first four below, or the file is no scenario and is refused):
//   TITLE <text>
//   TIME <seconds>
//   FOCUS <vessel name>
//   VESSEL <name> <class>          starts a vessel block, ended by END
//     POS <x> <y> <z>              host line: position in the world (m)
//     ORI <yaw> <pitch> <roll>     host line: orientation, degrees
//     ATTACHED <parent> <index> <own point id>
//                                  host line: hangs on the parent's child point <index>;
//                                  a parent, point or own point that is not there, or a
//                                  point that holds another vessel, refuses the file
//     <anything else>              the vessel module's own lines, or kept as written
//   END
// A scenario load reads and checks the whole file, and every class it names (configuration
// read, module loaded), before anything is made. It then builds the file's vessels one by one
// (zvcInit, clbkSetupClass, clbkLoadScenario for each), while the world keeps its own; only
// when every one is built do they replace the world's vessels (the old ones then end, zvcExit).
// Then all attachments are restored, clbkAfterCreation runs for every vessel, and visuals are
// built. A refused file, or a module failing to build its vessel (which no check can tell
// beforehand), leaves the world as it was: the vessels built so far end, and modules loaded
// only for the load are unloaded again. Without a FOCUS line the first vessel that takes the
// focus gets it.
// ORI turns the vessel frame by roll about z, then pitch about x, then yaw about y.
// Numbers in a scenario (and a class configuration) are finite: nan, inf and numbers beyond
// the range of double are refused. Saving writes numbers in the shortest form that reads back
// as the same double (POS/ORI as the file gave them while the vessel stands where the load
// or the lines put it) and every module line as written, two blanks in; line breaks inside a
// line become blanks. A load followed by a save gives the same file (comments and layout
// aside). The file is written beside the target and renamed over it.
//
// Meshes: every zapiLoadMesh call (and every vessel of a class without a module) gets a
// template of its own, with its own materials; the file is read once per world and its
// groups are shared by the templates made from it. A template loaded in a vessel's callback
// is that vessel's: its handle ends with the vessel.
//
// Attached vessels: the child's to-parent point sits on the parent's child point, the two
// directions face each other and the rotation references coincide. While a point's vectors
// are unusable (zero, parallel, not finite) the child keeps its last valid placement. A
// child released with a separation speed drifts along the parent point's direction on every
// Step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "hostsim/error.h"

namespace hostsim {

// The record of host calls. Every call a module makes into the host (kind Call) and every
// callback the host makes into a module (kind Callback) is appended in order while enabled.
class Journal {
 public:
  enum class Kind { Call, Callback };
  struct Entry {
    Kind kind;
    std::string self;  // vessel the call was made on or for; empty for free functions
    std::string call;  // e.g. "SetSize", "zapiLoadMesh", "SpotLight::SetAperture"
    std::string args;  // arguments as text: numbers %.17g, vectors (x, y, z), texts quoted
  };

  void SetEnabled(bool on);
  bool Enabled() const { return enabled_; }
  // Keeps only the latest entries, at least `n` and fewer than 2n, so that a long run's
  // journal stays small (its indices then no longer count from the start); 0 keeps them all.
  void KeepLast(std::size_t n);
  void Clear();
  const std::vector<Entry>& Entries() const { return entries_; }
  // Names of the recorded host calls (kind Call only), in order.
  std::vector<std::string> Calls() const;
  // How many host calls of that name were recorded.
  std::size_t Count(std::string_view call) const;
  // One line per entry: "self: call(args)" for calls, "self: -> callback(args)" for callbacks.
  std::string Dump() const;
  // Hands `put` the pieces of `e`'s line as Dump writes it, without its line end, the
  // arguments cut after `argsLimit` bytes with "..."; allocates nothing, so a crash report may
  // use it.
  template <class Put>
  static void WriteLine(const Entry& e, Put&& put, std::size_t argsLimit = std::string::npos) {
    if (!e.self.empty()) {
      put(std::string_view(e.self));
      put(std::string_view(": "));
    }
    if (e.kind == Kind::Callback) put(std::string_view("-> "));
    put(std::string_view(e.call));
    put(std::string_view("("));
    put(std::string_view(e.args).substr(0, argsLimit));
    if (e.args.size() > argsLimit) put(std::string_view("..."));
    put(std::string_view(")"));
  }
  void Record(Kind kind, std::string self, std::string call, std::string args);
  // Called with every entry recorded, after it is stored (null: none).
  using Listener = void (*)(void* data, const Entry& entry);
  void SetListener(Listener listener, void* data);

 private:
  bool enabled_ = true;
  std::size_t keep_ = 0;
  std::vector<Entry> entries_;
  Listener listener_ = nullptr;
  void* listenerData_ = nullptr;
};

class Vessel;
class World;

// A mesh file as the host read it (Wavefront OBJ with its MTL): groups in file order,
// materials in MTL order. Read once per world; shared by every template made from it.
struct MeshGroup {
  std::string name;
  std::vector<float> positions;        // x, y, z per vertex
  std::vector<float> normals;          // x, y, z per vertex (same count as positions)
  std::vector<std::uint32_t> indices;  // triangles
  int material = -1;                   // index into the materials, -1 none
};

struct MeshFile {
  std::vector<MeshGroup> groups;
  std::vector<MATERIAL> materials;
  std::vector<std::string> materialNames;
  std::vector<std::filesystem::path> libraries;  // the material libraries read for it
};

// A file the world read: what it was ("scenario", "class configuration", "mesh", "material
// library", "module library") and its path as it was opened.
struct FileRead {
  const char* kind;
  std::filesystem::path path;
};

// A template mesh: what zapiLoadMesh hands out. Its materials are its own (a module may change
// them in place); its groups are its file's.
struct Mesh {
  std::string name;
  std::shared_ptr<const MeshFile> file;
  std::vector<MATERIAL> materials;
  const std::vector<MeshGroup>& groups() const { return file->groups; }
  const std::vector<std::string>& materialNames() const { return file->materialNames; }
};

// A 3x4 affine transform: rotation r (row-major) then translation t.
struct Transform {
  double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  VECTOR3 t = {0, 0, 0};
  VECTOR3 Apply(const VECTOR3& p) const;
  Transform Then(const Transform& outer) const;  // outer ∘ this
};

struct AttachmentPoint {
  Vessel* owner = nullptr;
  std::string id;
  bool toParent = false;
  VECTOR3 pos{0, 0, 0}, dir{0, 1, 0}, rot{0, 0, 1};
  bool loose = false;
  // What hangs here: for a child point, the child's to-parent point; for a to-parent point,
  // the parent's child point. Null when free.
  AttachmentPoint* peer = nullptr;
  Transform looseOffset;  // relative pose kept for a loose attachment
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

struct MeshSlot {
  const Mesh* mesh = nullptr;  // template
  VECTOR3 ofs{0, 0, 0};
  std::uint16_t visMode = 1;
};

// One visual's copy of a vessel mesh: its own materials, changed by zapiSetMaterial.
struct DeviceMesh {
  Vessel* owner = nullptr;
  std::uint32_t index = 0;
  const Mesh* mesh = nullptr;
  std::vector<MATERIAL> materials;
  DEVMESHHANDLE handle = nullptr;  // what GetDevMesh hands out; dies with the visual
};

struct Visual {
  std::vector<std::unique_ptr<DeviceMesh>> meshes;
  VISHANDLE handle = nullptr;  // what clbkVisualBuilt receives; never reused
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
LightState ViewLight(const LightEmitter& light);

// One vessel of the world.
class Vessel {
 public:
  const std::string& name() const;
  const std::string& className() const;
  // The vessel's interface: the module's object for module vessels, the host's own for
  // config-only ones.
  VESSEL* iface() const;
  // The module's callbacks object, or null for a config-only vessel (and for a module object
  // of interface version 1 or 2).
  VESSEL3* callbacks() const;
  // The module's VESSEL2 part for objects of interface version 2 or 3, else null.
  VESSEL2* callbacks2() const;
  OBJHANDLE handle() const;

  Physics physics;
  std::vector<std::unique_ptr<AttachmentPoint>> attachments;  // creation order, both kinds
  std::vector<LightEmitter*> lights;      // created by the host for the vessel, freed with it
  std::vector<BEACONLIGHTSPEC*> beacons;  // as registered (module-owned)
  std::vector<Animation> animations;
  std::vector<std::unique_ptr<AnimationComponent>> components;
  std::vector<MeshSlot> meshes;
  std::unique_ptr<Visual> visual;      // null while none is built
  std::vector<std::string> keptLines;  // scenario lines nobody recognised, written back

  // Points of one kind in creation order.
  std::vector<AttachmentPoint*> Points(bool toParent) const;
  // The vessel this one hangs on, or null.
  Vessel* Parent() const;
  // Pose of the vessel frame in the world, following the parent chain: a walk to the root.
  // For many vessels at once take WorldPoses, which walks each chain once.
  Transform WorldPose() const;
  // Own pose when free (position and orientation set by scenario or API).
  Transform freePose;
  // Transform of every group of mesh `meshIdx` in the vessel frame, from the animation
  // states and the component parent chains (identity for groups no component moves).
  std::vector<Transform> GroupTransforms(std::uint32_t meshIdx) const;

  // Implementation details of the runtime.
  struct Impl;
  std::unique_ptr<Impl> impl;
  Vessel();
  ~Vessel();
};

// The world poses of vessels, by vessel.
using Poses = std::unordered_map<const Vessel*, Transform>;
// The world pose of each of the vessels, and of every vessel above them, as WorldPose gives
// it, each chain composed once from its root down: time in proportion to the vessels' number,
// where WorldPose for each would walk to the root from every one. The table holds while no
// vessel moves, hangs or is released: a view takes one per frame.
Poses WorldPoses(const std::vector<Vessel*>& vessels);

// A loaded module library.
struct Module {
  std::string name;
  std::filesystem::path path;
  void* library = nullptr;  // platform handle
  ZvcInitFn init = nullptr;
  ZvcExitFn exit = nullptr;
  ModuleDateFn date = nullptr;
  GetModuleVersionFn version = nullptr;
  int refCount = 0;                   // vessels using it
  MODULEHANDLE initHandle = nullptr;  // what the library passed to InitLib while loading
};

struct Paths {
  std::filesystem::path config, meshes, modules;
  // root/config, root/meshes, root/modules.
  static Paths FromRoot(const std::filesystem::path& root);
};

// What the host recorded of one HUD frame.
struct HudOp {
  enum class Kind { TextColour, BackgroundColour, Text, Line } kind;
  int x = 0, y = 0, x1 = 0, y1 = 0;
  std::uint32_t colour = 0;
  std::string text;  // exact bytes for Text
};

// The host's recording Sketchpad. What a module draws on it goes into a list of HudOp, one
// entry per operation in call order; the list is whole once the recorder has gone. The list
// passed in is drawn over from its first entry on, reusing its entries and their texts'
// storage (a list drawn into every frame allocates nothing once it has grown). Every call is
// journalled like a host call while the journal is on. World::DrawHUD draws with one; so may
// a host that calls a module's clbkDrawHUD itself.
class HudRecorder final : public zapi::Sketchpad {
 public:
  HudRecorder(World& world, const Vessel& vessel, std::vector<HudOp>& ops);
  ~HudRecorder() override;
  HudRecorder(const HudRecorder&) = delete;
  HudRecorder& operator=(const HudRecorder&) = delete;

  std::uint32_t SetTextColor(std::uint32_t col) override;
  std::uint32_t SetBackgroundColor(std::uint32_t col) override;
  bool Text(int x, int y, const char* str, int len) override;
  bool Line(int x0, int y0, int x1, int y1) override;
  int GetCharHeight() const override;

 private:
  // The next entry of the list, as a fresh operation of that kind.
  HudOp& Add(HudOp::Kind kind);
  template <class... Args>
  void Note(const char* call, const Args&... args) const;  // journals the call

  World& world_;
  const Vessel& vessel_;
  std::vector<HudOp>& ops_;
  std::size_t used_ = 0;  // entries of this frame
  std::uint32_t text_ = 0xFFFFFF;
  std::uint32_t background_ = 0;
};

struct InputBox {
  std::string title;
  std::string initial;  // the text shown at first ("" for a null pointer)
  int length = 0;
  InputCallback callback = nullptr;
  void* userData = nullptr;
  std::string opener;  // vessel that had the focus when the box was opened
};

struct LoadOptions {
  bool buildVisuals = true;
};

class World {
 public:
  explicit World(Paths paths);
  ~World();  // Clear()
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // The world the host's free functions and VESSEL operations act on: the one made current
  // last (a new World makes itself current).
  static World* Current();
  void MakeCurrent();
  // Destroys every vessel (zvcExit) and unloads every module: the world is empty.
  void Clear();

  Journal& journal();
  const Journal& journal() const;
  const Paths& paths() const;
  // Every file the world has read, each once, in the order read: the inputs a run's outputs
  // may not replace.
  const std::vector<FileRead>& FilesRead() const;

  // A callback of a module that the host is running: its name ("clbkBufferedKey", "the
  // library's load hook"), the vessel it was made for and the module (either may be null).
  struct Running {
    const char* call = nullptr;
    const Vessel* vessel = nullptr;
    const Module* module = nullptr;
  };
  // The innermost callback running now; all null when none runs. Only reads memory, so a
  // crash report may ask it.
  Running RunningCallback() const;
  // A count that grows whenever an outermost callback starts or ends, odd while one runs;
  // safe to read from any thread (a watchdog tells a callback that never returns by it).
  std::uint64_t CallbackEdges() const;

  // --- modules ---
  // Loads modules/<name> (once; shared by its vessels); throws Error when it cannot be loaded
  // or lacks an entry point.
  Module& LoadModule(const std::string& name);
  // Unloads a module no vessel uses any more; false when it is in use or not loaded.
  bool UnloadModule(const std::string& name);
  std::vector<const Module*> Modules() const;

  // --- vessels ---
  // Creates a vessel of class `className` (config/<class>.cfg): module vessels through
  // zvcInit then clbkSetupClass; config-only vessels from their configuration. Throws Error
  // for an unknown class, a missing module, a taken name or a null zvcInit result.
  Vessel& CreateVessel(const std::string& name, const std::string& className);
  // Feeds a block of scenario lines to clbkLoadScenario (host lines go to the host).
  void LoadVesselState(Vessel& v, const std::vector<std::string>& lines);
  // Calls clbkAfterCreation.
  void FinishCreation(Vessel& v);
  // Detaches the vessel from everything, calls zvcExit, forgets it.
  void DestroyVessel(Vessel& v);
  // Case-insensitive lookup; null when none.
  Vessel* FindVessel(std::string_view name) const;
  Vessel* FromHandle(OBJHANDLE h) const;
  std::vector<Vessel*> Vessels() const;  // creation order

  // --- focus, time, keys ---
  void SetFocus(Vessel* v);
  Vessel* Focus() const;
  // One frame: clbkBeforeStep of every vessel, clbkDirectKeys of the focused one with the
  // current key state, clbkAfterStep of every vessel; the simulation time advances by dt.
  // Throws Error, running nothing, when the time would stop being a finite number.
  void Step(double dt);
  double SimTime() const;
  double SimStep() const;
  void SetSimTime(double t);
  // The date passed to the step callbacks: a fixed start date plus the simulation time.
  double Mjd() const;
  char* KeyState();  // 256 bytes, bit 7 = down
  void SetKey(std::uint8_t code, bool down);
  void ReleaseAllKeys();
  // One key event to the focused vessel's clbkBufferedKey, with the current key state;
  // returns its result (0 when no module vessel has the focus).
  int KeyEvent(std::uint8_t code, bool down);

  // --- input box ---
  const InputBox* OpenBox() const;  // null when none is open
  // Used by zapiOpenInputBox.
  bool OpenInputBox(InputBox box);
  // Answers the open box with `text`; the box closes; returns the callback's result.
  // Throws Error when no box is open.
  bool AnswerBox(const std::string& text);
  void CancelBox();

  // --- visuals, HUD ---
  // Builds a visual (device meshes copied from the templates) and calls clbkVisualBuilt;
  // does nothing when one exists.
  void BuildVisual(Vessel& v);
  // Calls clbkVisualDestroyed and drops the visual; its device mesh handles die with it.
  void DropVisual(Vessel& v);
  // Draws the vessel's HUD at W x H through VESSEL3::clbkDrawHUD into a recording Sketchpad.
  std::vector<HudOp> DrawHUD(Vessel& v, int W, int H);
  // The same into `ops`, which is replaced by this frame's operations. Its storage is reused:
  // a host drawing every frame into one list allocates nothing once the list has grown.
  void DrawHUD(Vessel& v, int W, int H, std::vector<HudOp>& ops);
  bool DefNavDisplay() const;
  bool DefRCSDisplay() const;

  // --- meshes, configuration ---
  // A new template of meshes/<name>.obj (the file is read once); null, with a warning saying
  // why, when it cannot be read.
  const Mesh* LoadMesh(const std::string& name);
  // The mesh a handle names, or null.
  const Mesh* MeshFromHandle(MESHHANDLE h) const;
  // The live device mesh a handle names, or null (dropped visuals' handles give null).
  const DeviceMesh* DeviceMeshFromHandle(DEVMESHHANDLE h) const;

  // --- scenarios ---
  // Replaces the world's vessels with the scenario's. A malformed file is refused with an
  // Error naming file and line, and the world is left as it was before the call.
  void LoadScenario(const std::filesystem::path& file, LoadOptions opts = {});
  // The bytes of the scenario file the world holds, as LoadScenario read them ("" before the
  // first load): a copy that later saves over that file do not change.
  const std::string& LoadedScenarioBytes() const;
  // Writes the scenario (every vessel, clbkSaveState for module vessels) with the host's safe
  // writer (platform::WriteFile: the folder must exist, a special or read-only target is
  // refused, a link is written through); throws Error on failure, leaving no partial file.
  void SaveScenario(const std::filesystem::path& file);
  // The scenario as text, as SaveScenario would write it.
  std::string ScenarioText();
  std::string title;
  // Warnings gathered while loading (unknown lines kept, etc.), cleared by the call.
  std::vector<std::string> TakeWarnings();

  struct Impl;

 private:
  friend class HudRecorder;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hostsim
