// Scenario files in the world: a load (parse, check, build, swap in), a save, a single
// vessel's block, and the functions a module reads and writes its block with.
#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "hostsim/platform/files.h"
#include "hostsim/runtime/attachments.h"
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/modules.h"
#include "hostsim/runtime/vessel_state.h"
#include "hostsim/runtime/vessels.h"
#include "hostsim/runtime/visuals.h"
#include "hostsim/unknown_class.h"

namespace hostsim {

UnknownClassError::UnknownClassError(std::string subject, std::string missing, std::string file,
                                     int line)
    : Error(subject + " (no " + missing + ")", std::move(file), line),
      subject_(std::move(subject)),
      missing_(std::move(missing)) {}

UnknownClassError::~UnknownClassError() = default;

namespace {

std::string ReadScenarioFile(const std::filesystem::path& file) {
  std::string text;
  if (std::string reason = platform::ReadTextFile(file, platform::kScenarioLimit, text);
      !reason.empty())
    throw Error("cannot read scenario: " + reason, file.string());
  return text;
}

// Unloads, when it goes, the modules loaded while it lived, unless it was told to keep them.
class NewModules {
 public:
  explicit NewModules(World& world) : world_(world) {
    for (const Module* m : world.Modules()) before_.push_back(m->name);
  }
  ~NewModules() {
    if (kept_) return;
    for (const Module* m : world_.Modules())
      if (std::find(before_.begin(), before_.end(), m->name) == before_.end())
        world_.UnloadModule(m->name);
  }
  NewModules(const NewModules&) = delete;
  NewModules& operator=(const NewModules&) = delete;
  void Keep() { kept_ = true; }

 private:
  World& world_;
  std::vector<std::string> before_;
  bool kept_ = false;
};

// Every class the scenario names, each read once: its configuration, and its module loaded.
std::map<std::string, VesselClass> ReadClasses(World::Impl& w, const ScenarioFile& s,
                                               const std::string& file) {
  std::map<std::string, VesselClass> classes;
  for (const ScenarioVessel& sv : s.vessels) {
    if (classes.count(sv.className) != 0) continue;
    std::filesystem::path path;
    try {
      path = ClassConfigPath(w.paths.config, sv.className);
    } catch (const Error& e) {
      throw Error(e.message(), file, sv.line);
    }
    if (!ClassConfigPresent(path))
      throw UnknownClassError("unknown vessel class " + Quote(sv.className), path.string(), file,
                              sv.line);
    try {
      classes.emplace(sv.className, ReadClass(w, sv.className));
    } catch (const Error& e) {
      throw Error("class \"" + sv.className + "\": " + e.what(), file, sv.line);
    }
  }
  return classes;
}

// What loading a scenario file may make the host hold, as the load counts it before it builds
// a vessel: 32 times the file's size, and 1 GiB whatever its size (docs/formats.md, "What a
// scenario may cost"). The text is counted at four times the file's size (the bytes kept, the
// lines kept, the records of the parse); each vessel at what the host holds for it, measured
// on the heap and rounded up: its records, names, handles and visual and, for a
// class without a module, each attachment point and mesh the class gives it (the template, its
// slot and the visual's copy). What a module makes for its vessels is its own, and not counted.
constexpr std::size_t kCostTimes = 32;
constexpr std::size_t kCostFloor = 1024 * platform::kMiB;
constexpr std::size_t kTextTimes = 4;
constexpr std::size_t kVesselCost = 1280;
constexpr std::size_t kPointCost = 192;
constexpr std::size_t kMeshCost = 768;

std::size_t CostBound(std::size_t fileSize) { return std::max(kCostFloor, kCostTimes * fileSize); }

std::size_t VesselCost(const VesselClass& cls) {
  if (cls.module != nullptr) return kVesselCost;
  return kVesselCost + kPointCost * cls.items.points.size() +
         (cls.items.mesh.empty() ? 0 : kMeshCost);
}

// Refuses, at the line of the vessel that passes it, a file of `fileSize` bytes whose text and
// vessels would cost more than its bound.
void CheckCost(const ScenarioFile& s, const std::map<std::string, VesselClass>& classes,
               std::size_t fileSize, const std::string& file) {
  const std::size_t bound = CostBound(fileSize);
  std::size_t cost = kTextTimes * fileSize;
  for (const ScenarioVessel& sv : s.vessels) {
    cost += VesselCost(classes.at(sv.className));
    if (cost > bound)
      throw Error("too much for one scenario: its vessels up to this one would take more than " +
                      std::to_string(bound / platform::kMiB) +
                      " MiB, the most a file of its size may make the host hold",
                  file, sv.line);
  }
}

// Ends the vessels of the registry, newest first.
void EndAll(World::Impl& w, VesselRegistry& vessels) {
  while (!vessels.Empty()) {
    Vessel& v = *vessels.InOrder().back();
    EndVessel(w, v);
    vessels.Remove(v);
  }
}

}  // namespace

namespace {

// Builds the vessels of a checked scenario while the world keeps its own, then makes them the
// world: its old vessels end, its time, title and focus become the scenario's. A failure
// before the swap leaves the world as it was; `swapped` tells whether the swap was made.
// A file's load (`fileSize` given; not the world's own text read again) refuses a file whose
// vessels would cost more than its bound (CheckCost).
void BuildAndSwap(World::Impl& w, ScenarioFile& s, const std::string& name, LoadOptions opts,
                  std::optional<std::size_t> fileSize, bool& swapped) {
  World& world = *w.self;
  ScopedCurrent current(&w);
  NewModules modules(world);
  const std::map<std::string, VesselClass> classes = ReadClasses(w, s, name);
  if (fileSize) CheckCost(s, classes, *fileSize, name);

  // The file's vessels, built while the world keeps its own.
  VesselRegistry built;
  const std::size_t warnings = w.warnings.size();
  try {
    for (const ScenarioVessel& sv : s.vessels) {
      std::unique_ptr<Vessel> v;
      try {
        v = MakeVessel(w, sv.name, classes.at(sv.className));
      } catch (const Error& e) {
        throw Error("cannot create \"" + sv.name + "\": " + e.what(), name, sv.line);
      }
      LoadBlock(w, built.Add(std::move(v)), BlockLines::OfText(sv.block, sv.line), name);
    }
    // Every vessel exists: the ATTACHED lines are carried out, and one the host cannot carry
    // out refuses the file (saved again, the vessel would have lost its line).
    for (const auto& v : built.InOrder()) RestoreAttachment(built, *v);
  } catch (...) {
    EndAll(w, built);
    w.warnings.resize(warnings);  // they were about the vessels just ended
    throw;
  }
  modules.Keep();

  // The scenario is the world now; the old vessels end.
  std::swap(w.vessels, built);
  swapped = true;
  EndAll(w, built);
  w.box.reset();
  w.boxOwner = nullptr;
  w.clock.simt = s.time;
  w.clock.simdt = 0;
  world.title = s.title;
  w.topLevelKept = std::move(s.kept);
  w.warnings.insert(w.warnings.begin() + static_cast<std::ptrdiff_t>(warnings), s.warnings.begin(),
                    s.warnings.end());

  const std::vector<Vessel*> loaded = world.Vessels();
  const auto poses = WorldPoses(loaded);
  for (Vessel* v : loaded)
    if (Of(*v).poseGiven) Of(*v).loadedPose = std::make_unique<Transform>(poses.at(v));
  for (Vessel* v : loaded) CallAfterCreation(w, *v);
  Vessel* focus = !s.focus.empty() ? world.FindVessel(s.focus) : nullptr;
  for (auto it = loaded.begin(); focus == nullptr && it != loaded.end(); ++it)
    if ((*it)->physics.focusEnabled) focus = *it;
  if (focus != nullptr) world.SetFocus(focus);
  if (opts.buildVisuals)
    for (Vessel* v : loaded)
      if (!v->visual) BuildVisualOf(w, *v);
}

}  // namespace

void World::LoadScenario(const std::filesystem::path& file, LoadOptions opts) {
  const std::string name = file.string();
  NoteFileRead(*impl_, "scenario", file);
  std::string bytes = ReadScenarioFile(file);
  // The parse refuses the vessels past those the bound would allow of the least costly class,
  // before it holds their records; the load counts each vessel's class once it is read.
  const std::size_t bound = CostBound(bytes.size());
  ScenarioFile s = ParseScenario(bytes, name, (bound - kTextTimes * bytes.size()) / kVesselCost);
  CheckScenario(s, name);
  bool swapped = false;
  BuildAndSwap(*impl_, s, name, opts, bytes.size(), swapped);
  s = {};  // its blocks are views into the bytes, which the world keeps
  impl_->loadedScenario = std::move(bytes);
}

void World::ReloadModule(const std::string& name, const std::filesystem::path& copy) {
  auto it = impl_->modules.find(name);
  if (it == impl_->modules.end()) throw Error("no module " + Quote(name) + " is loaded");
  const std::string label = "(the world saved to reload " + name + ")";
  ScopedCurrent current(impl_.get());
  // The world as its modules save it, while the old library still runs its vessels.
  const std::string text = ScenarioText();
  ScenarioFile s = ParseScenario(text, label);
  CheckScenario(s, label);

  // The new library takes the module's name, so the load finds it; the old one keeps
  // running the world's vessels until they end.
  const std::filesystem::path library = copy.empty() ? CopyModuleLibrary(name) : copy;
  std::unique_ptr<Module> old = std::exchange(it->second, OpenModule(*impl_, name, library));
  bool swapped = false;
  try {
    BuildAndSwap(*impl_, s, label, {}, std::nullopt, swapped);
  } catch (...) {
    // Before the swap the world is the old one, run by the old library; after it (a module
    // failing once its vessels are the world's) it is the new one.
    if (swapped)
      AdoptModuleCopy(*impl_, name, library);
    else
      std::swap(it->second, old);
    CloseModule(*impl_, *old);
    throw;
  }
  // Later loads of the module (a scenario loaded after its vessels ended) run the new library.
  AdoptModuleCopy(*impl_, name, library);
  CloseModule(*impl_, *old);
}

void World::ReloadFiles() {
  const std::string label = "(the world saved to read its files again)";
  ScopedCurrent current(impl_.get());
  const std::string text = ScenarioText();
  ScenarioFile s = ParseScenario(text, label);
  CheckScenario(s, label);
  // The meshes are read once and kept: forgotten, the load reads them again. The old vessels
  // keep theirs for as long as they live.
  auto kept = std::exchange(impl_->meshes.files, {});
  // Each mesh is read again before the world is: one that no longer reads, or whose material
  // library does not, refuses the whole, and the vessels keep the meshes they show.
  const std::size_t warnings = impl_->warnings.size();
  for (const auto& [mesh, file] : kept) {
    std::string why;
    if (ReadMeshFile(*impl_, mesh, &why) != nullptr && impl_->warnings.size() == warnings) continue;
    if (why.empty()) why = impl_->warnings.back();
    impl_->warnings.resize(warnings);
    impl_->meshes.files = std::move(kept);
    throw Error("mesh " + Quote(mesh) + " not read again: " + why);
  }
  bool swapped = false;
  try {
    BuildAndSwap(*impl_, s, label, {}, std::nullopt, swapped);
  } catch (...) {
    if (!swapped) impl_->meshes.files = std::move(kept);
    throw;
  }
}

const std::string& World::LoadedScenarioBytes() const { return impl_->loadedScenario; }

void World::LoadVesselState(Vessel& v, const std::vector<std::string>& lines) {
  if (impl_->Find(v.handle()) != &v) throw Error("not a vessel of this world");
  ScopedCurrent current(impl_.get());
  std::vector<std::string> block;
  block.reserve(lines.size());
  for (const std::string& line : lines) block.push_back(OneLine(line));
  LoadBlock(*impl_, v, BlockLines::Given(block), "(state of " + v.name() + ")");
  try {
    RestoreAttachment(impl_->vessels, v);
  } catch (const Error& e) {
    impl_->warnings.push_back(std::string(e.what()) + "; not attached");
  }
}

void World::FinishCreation(Vessel& v) {
  if (impl_->Find(v.handle()) != &v) throw Error("not a vessel of this world");
  ScopedCurrent current(impl_.get());
  CallAfterCreation(*impl_, v);
}

std::string World::ScenarioText() {
  ScopedCurrent current(impl_.get());
  std::string out =
      FormatScenarioTop(title, impl_->clock.simt,
                        impl_->focus != nullptr ? impl_->focus->name() : "", impl_->topLevelKept);
  const std::vector<Vessel*> vessels = Vessels();
  // Where every vessel stands, worked out once from the roots down: working it out from the
  // root for each vessel would make the save of a deep chain take time in the square of its
  // length.
  const auto poses = WorldPoses(vessels);
  for (Vessel* v : vessels)
    AppendVesselBlock(out, v->name(), v->className(), SaveBlock(*impl_, *v, poses.at(v)));
  return out;
}

void World::SaveScenario(const std::filesystem::path& file) {
  if (std::string reason = platform::WriteFile(file, ScenarioText()); !reason.empty())
    throw Error("cannot save scenario: " + reason, file.string());
}

}  // namespace hostsim

using namespace hostsim;

void zapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* string) {
  World::Impl* w = HostCall("zapiWriteScenario_string", scn, item, string);
  auto* out = OpenFileOf<ScenarioWriteObject>(w, scn);
  if (out == nullptr) return;
  std::string line = item != nullptr ? item : "";
  line += ' ';
  line += string != nullptr ? string : "";
  line = OneLine(std::move(line));
  if (BreaksBlock(line)) {
    w->warnings.push_back("line of \"" + out->vessel.name() +
                          "\" not saved: it would end the vessel's block: " + Quote(line));
    return;
  }
  out->lines.Add(line);
}

bool zapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
  World::Impl* w = HostCall("zapiReadScenario_nextline", scn);
  auto* in = OpenFileOf<ScenarioReadObject>(w, scn);
  std::string_view text;
  int number = 0;
  if (in == nullptr || !in->lines.Next(text, number)) return false;
  in->currentLine = number;
  in->current = text;  // the module may change it in place
  line = in->current.data();
  return true;
}
