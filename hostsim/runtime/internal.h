// Inner workings of the hostsim runtime shared by its sources: the world's and the vessels'
// private state, the handle registries, the open file objects, and the journal helpers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hostsim/runtime/config.h"
#include "hostsim/runtime/format.h"
#include "hostsim/world.h"

namespace hostsim {

// What a scenario line of the host says, once parsed.
struct HostLine {
  enum class Kind { None, Pos, Ori, Attached, Malformed } kind = Kind::None;
  VECTOR3 v{0, 0, 0};
  std::string parent;
  std::uint32_t index = 0;
  std::string pointId;
  std::string problem;  // for Malformed
};
HostLine ParseHostLine(std::string_view line);
// The same for a line without blanks around it that starts with the word `key`.
HostLine ParseHostLine(std::string_view line, std::string_view key);

// The files a module sees through a FILEHANDLE while one callback runs.
struct FileObject {
  enum class Kind { Config, ScenarioRead, ScenarioWrite };
  explicit FileObject(Kind k) : kind(k) {}
  virtual ~FileObject() = default;
  Kind kind;
  // File name as shown in messages and the journal; the text it views outlives the object.
  std::string_view name;
};

struct ConfigFileObject final : FileObject {
  ConfigFileObject() : FileObject(Kind::Config) {}
  const ConfigFile* config = nullptr;
};

// One vessel block being handed to clbkLoadScenario.
struct ScenarioReadObject final : FileObject {
  ScenarioReadObject() : FileObject(Kind::ScenarioRead) {}
  // A line of the block. Its text views the text the block was read from (the scenario
  // file's, held by the load), which outlives the object.
  struct Line {
    std::string_view text;
    int number = 0;
    // A POS or ORI line's numbers as the file's check read them (None: not read), so that
    // the line need not be read again when the module hands it back unchanged.
    HostLine::Kind hostKind = HostLine::Kind::None;
    VECTOR3 hostVector{0, 0, 0};
  };
  Vessel* vessel = nullptr;
  std::span<const Line> lines;  // held by the load for as long as the object lives
  std::size_t next = 0;         // index of the line the next call hands out
  int currentLine = 0;          // file line of the line handed out last
};

// One vessel block being written by clbkSaveState.
struct ScenarioWriteObject final : FileObject {
  ScenarioWriteObject() : FileObject(Kind::ScenarioWrite) {}
  Vessel* vessel = nullptr;
  std::vector<std::string> lines;
};

// What a config-only class sets up, read and checked before anything is created.
struct HostClassItems {
  const Mesh* mesh = nullptr;
  std::optional<double> size, mass;
  struct Point {
    bool toParent;
    VECTOR3 pos, dir, rot;
    std::string id;
  };
  std::vector<Point> points;
};

// A class as a scenario load reads it, once for all the vessels of the class.
struct ClassConfig {
  std::shared_ptr<const ConfigFile> file;
  std::optional<HostClassItems> hostItems;  // a config-only class's items, from its first vessel
  Module* module = nullptr;                 // a module class's library, loaded by the load's checks
};

struct PendingAttachment {
  std::string parent;
  std::uint32_t index = 0;
  std::string pointId;
  std::string file;
  int line = 0;
};

struct Vessel::Impl {
  World* world = nullptr;
  World::Impl* wimpl = nullptr;
  std::string name;
  std::string className;
  std::uintptr_t token = 0;                  // the OBJHANDLE value
  Module* module = nullptr;                  // null for a config-only vessel
  VESSEL* iface = nullptr;                   // the module's object, or the host's own
  VESSEL2* cb2 = nullptr;                    // set for interface version 2 and 3
  VESSEL3* cb3 = nullptr;                    // set for interface version 3
  bool hostObject = false;                   // iface is the host's own object (config-only class)
  std::shared_ptr<const ConfigFile> config;  // shared by the vessels of one scenario load
  // Position and orientation (degrees) as last given by a scenario; saved as given while the
  // free pose still matches them, so a round trip is exact.
  VECTOR3 pos{0, 0, 0};
  VECTOR3 ori{0, 0, 0};
  Transform givenPose;
  VECTOR3 velocity{0, 0, 0};
  // Last valid child-to-parent placement, used while the attachment vectors are degenerate.
  mutable Transform lastAttach;
  mutable bool haveLastAttach = false;
  std::optional<PendingAttachment> pendingAttach;
};

// Objects by the value of their handle, one of the host's tokens (multiples of 16 from 0x1010
// on, never reused). Open addressing over a table of slots that hold a token and its object:
// making and dropping objects by the ten thousand allocates nothing per object. Any value may
// be looked up (a module can hand in anything as a handle); only the host's tokens are stored.
template <class T>
class TokenMap {
 public:
  T* Find(std::uintptr_t token) const {
    if (slots_.empty() || token <= kGone) return nullptr;
    for (std::size_t i = Home(token);; i = (i + 1) & mask()) {
      const Slot& s = slots_[i];
      if (s.token == token) return s.value;
      if (s.token == kEmpty) return nullptr;
    }
  }
  // Makes `value` the object of `token`, in place of any other.
  void Set(std::uintptr_t token, T* value) {
    if ((used_ + 1) * 4 > slots_.size() * 3) Grow(live_ + 1);
    Slot* reuse = nullptr;
    std::size_t i = Home(token);
    for (; slots_[i].token != kEmpty; i = (i + 1) & mask()) {
      Slot& s = slots_[i];
      if (s.token == token) {
        s.value = value;
        return;
      }
      if (s.token == kGone && reuse == nullptr) reuse = &s;
    }
    if (reuse == nullptr) {
      reuse = &slots_[i];
      ++used_;
    }
    *reuse = {token, value};
    ++live_;
  }
  void Erase(std::uintptr_t token) {
    if (slots_.empty() || token <= kGone) return;
    for (std::size_t i = Home(token); slots_[i].token != kEmpty; i = (i + 1) & mask())
      if (slots_[i].token == token) {
        slots_[i] = {kGone, nullptr};
        --live_;
        return;
      }
  }
  std::size_t size() const { return live_; }
  // Room for `extra` more objects without growing on the way.
  void Reserve(std::size_t extra) {
    if ((used_ + extra) * 4 > slots_.size() * 3) Grow(live_ + extra);
  }

 private:
  static constexpr std::uintptr_t kEmpty = 0, kGone = 1;
  struct Slot {
    std::uintptr_t token;  // kEmpty: never used; kGone: used, then erased
    T* value;
  };
  std::size_t mask() const { return slots_.size() - 1; }
  // Tokens differ in their bits from the fifth on, and are mostly made one after the other.
  // Runs of eight consecutive tokens keep neighbouring slots, so that objects made in a row
  // share the table's cache lines; a multiplication spreads the runs over the table.
  std::size_t Home(std::uintptr_t token) const {
    const std::uint64_t k = static_cast<std::uint64_t>(token) >> 4;
    const std::uint64_t run = ((k >> 3) * 0x9E3779B97F4A7C15ull) >> 32;
    return static_cast<std::size_t>((run << 3) | (k & 7)) & mask();
  }
  // Room for `live` entries at most three eighths full (at least 64 slots), without the erased
  // slots.
  void Grow(std::size_t live) {
    std::vector<Slot> old;
    old.swap(slots_);
    std::size_t size = 64;
    while (size * 3 < live * 8) size *= 2;
    slots_.assign(size, Slot{kEmpty, nullptr});
    used_ = 0;
    for (const Slot& s : old)
      if (s.token > kGone) {
        std::size_t i = Home(s.token);
        while (slots_[i].token != kEmpty) i = (i + 1) & mask();
        slots_[i] = s;
        ++used_;
      }
  }
  std::vector<Slot> slots_;
  std::size_t used_ = 0;  // slots ever used since the last Grow, erased ones included
  std::size_t live_ = 0;
};

// The vessels by the value of their handle. Nearly every host call looks up the vessel it
// acts on, mostly the same one many times running (a module setting itself up, drawing, saving),
// so the last answer is kept; every change of the index forgets it.
class VesselsByToken {
 public:
  void Set(std::uintptr_t token, Vessel* v) {
    Forget();
    map_.Set(token, v);
  }
  void erase(std::uintptr_t token) {
    Forget();
    map_.Erase(token);
  }
  void Reserve(std::size_t extra) { map_.Reserve(extra); }
  Vessel* Find(std::uintptr_t token) const {
    if (token != lastToken_ || token == 0) {
      lastToken_ = token;
      lastVessel_ = map_.Find(token);
    }
    return lastVessel_;
  }

 private:
  void Forget() {
    lastToken_ = 0;
    lastVessel_ = nullptr;
  }
  TokenMap<Vessel> map_;
  mutable std::uintptr_t lastToken_ = 0;
  mutable Vessel* lastVessel_ = nullptr;
};

// The vessels by name without regard to case (FindVessel's index). Open addressing over a
// table of slots that hold a name's hash and its vessel, whose own name is the key: making
// and dropping vessels by the ten thousand allocates nothing per name.
class VesselsByName {
 public:
  // FNV-1a over the name folded to lower case.
  static std::uint64_t Hash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : name) h = (h ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211ull;
    return h;
  }
  Vessel* Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const std::uint64_t h = Hash(name);
    for (std::size_t i = h & mask(); slots_[i].vessel != nullptr; i = (i + 1) & mask()) {
      const Slot& s = slots_[i];
      if (s.vessel != Gone() && s.hash == h && EqualsNoCase(s.vessel->name(), name))
        return s.vessel;
    }
    return nullptr;
  }
  // Makes `v` the vessel of its name (in place of any other of that name).
  void Insert(Vessel& v) {
    if ((used_ + 1) * 4 > slots_.size() * 3) Grow(1);
    const std::uint64_t h = Hash(v.name());
    Slot* reuse = nullptr;
    std::size_t i = h & mask();
    for (; slots_[i].vessel != nullptr; i = (i + 1) & mask()) {
      Slot& s = slots_[i];
      if (s.vessel == Gone()) {
        if (reuse == nullptr) reuse = &s;
      } else if (s.hash == h && EqualsNoCase(s.vessel->name(), v.name())) {
        s.vessel = &v;
        return;
      }
    }
    if (reuse == nullptr) {
      reuse = &slots_[i];
      ++used_;
    }
    *reuse = {h, &v};
  }
  // Room for `extra` more names without growing on the way.
  void Reserve(std::size_t extra) {
    if ((used_ + extra) * 4 > slots_.size() * 3) Grow(extra);
  }
  // Forgets the name only while it still stands for `v` (a vessel being replaced by a
  // scenario's may share its name with the new one).
  void Erase(const Vessel& v) {
    if (slots_.empty()) return;
    const std::uint64_t h = Hash(v.name());
    for (std::size_t i = h & mask(); slots_[i].vessel != nullptr; i = (i + 1) & mask())
      if (slots_[i].vessel == &v) {
        slots_[i].vessel = Gone();
        return;
      }
  }

 private:
  struct Slot {
    std::uint64_t hash;
    Vessel* vessel;  // null: never used; Gone(): used, then erased
  };
  static Vessel* Gone() { return reinterpret_cast<Vessel*>(alignof(Vessel)); }
  std::size_t mask() const { return slots_.size() - 1; }
  // Room for the live names and `extra` more at most three eighths full (at least 64 slots),
  // without the erased slots.
  void Grow(std::size_t extra) {
    std::vector<Slot> old;
    old.swap(slots_);
    std::size_t size = 64;
    std::size_t live = 0;
    for (const Slot& s : old) live += s.vessel != nullptr && s.vessel != Gone();
    while (size * 3 < (live + extra) * 8) size *= 2;
    slots_.assign(size, Slot{0, nullptr});
    used_ = 0;
    for (const Slot& s : old)
      if (s.vessel != nullptr && s.vessel != Gone()) {
        std::size_t i = s.hash & mask();
        while (slots_[i].vessel != nullptr) i = (i + 1) & mask();
        slots_[i] = s;
        ++used_;
      }
  }
  std::vector<Slot> slots_;
  std::size_t used_ = 0;  // slots ever used since the last Grow, erased ones included
};

struct World::Impl {
  World* self = nullptr;
  Paths paths;
  Journal journal;
  std::vector<std::unique_ptr<Vessel>> vessels;
  VesselsByToken byToken;
  // The vessels by name folded to lower case (FindVessel's index), kept beside byToken: a
  // vessel is in both while it can be found.
  VesselsByName byName;
  std::map<std::string, std::unique_ptr<Module>> modules;
  std::map<std::string, std::unique_ptr<Mesh>> meshes;
  std::map<std::string, std::string> meshErrors;
  TokenMap<DeviceMesh> devMeshes;
  TokenMap<Vessel> visuals;            // visual token -> vessel
  std::vector<FileObject*> openFiles;  // a few at a time: one per running callback
  // The scenario line handed to a module last (zapiReadScenario_nextline), writable by it;
  // one buffer for every block, so reading a block allocates nothing once it has grown.
  std::vector<char> lineBuffer;
  std::uintptr_t nextToken = 0x1000;

  Vessel* focus = nullptr;
  double simt = 0, simdt = 0;
  double mjd0 = 51544.5;
  std::array<char, 256> keys{};
  std::optional<InputBox> box;
  Vessel* boxOwner = nullptr;  // vessel whose callback opened the box
  bool defNav = true, defRCS = true;
  std::vector<std::string> warnings;
  std::vector<std::string> topLevelKept;
  Module* initialising = nullptr;      // module whose library is being loaded
  std::vector<Vessel*> callbackStack;  // vessels whose callbacks are running
  ScenarioReadObject* activeRead = nullptr;
  // While a scenario load makes its vessels: the class configurations it has read, which
  // CreateVessel uses instead of reading them again for every vessel.
  std::map<std::string, ClassConfig>* classes = nullptr;
  // Vessel records made ahead by a scenario load, taken by CreateVessel from the back. The
  // load makes them all before any module object, and then every vessel's object before any
  // is set up: the modules' objects, which a frame touches for every vessel, then lie side
  // by side in memory instead of among each vessel's other data.
  std::vector<std::unique_ptr<Vessel>> spareVessels;
  bool setupDeferred = false;  // CreateVessel leaves clbkSetupClass to SetUpVessel
  bool namesChecked = false;   // and the names it makes vessels of are known to be free
  // What Step needs of every vessel, in one compact list kept from frame to frame and made
  // again only when the vessels change (every change of `vessels` counts up vesselsChanged).
  // A frame then touches little besides the modules' own objects.
  struct FrameEntry {
    Vessel* vessel;
    Vessel::Impl* impl;
    VESSEL2* callbacks;
  };
  std::vector<FrameEntry> frame;
  // Set when a vessel is given a speed (only a release does that); Step looks for drifting
  // vessels only while it is set, and clears it when it finds none.
  bool mayDrift = false;
  std::uint64_t vesselsChanged = 0;
  std::uint64_t frameMadeAt = ~std::uint64_t{0};

  std::uintptr_t NewToken() {
    nextToken += 16;
    return nextToken;
  }
  // The key of a name in byName: names match without regard to case.
  static std::string NameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = FoldCase(c);
    return key;
  }
  void IndexName(Vessel& v) { byName.Insert(v); }
  void UnindexName(Vessel& v) { byName.Erase(v); }
  Vessel* Find(OBJHANDLE h) const { return byToken.Find(reinterpret_cast<std::uintptr_t>(h)); }
  FileObject* OpenFileOf(FILEHANDLE h) const {
    for (FileObject* f : openFiles)
      if (reinterpret_cast<FILEHANDLE>(f) == h) return f;
    return nullptr;
  }
  template <class T>
  T* File(FILEHANDLE h, FileObject::Kind kind) const {
    FileObject* f = OpenFileOf(h);
    if (f == nullptr || f->kind != kind) return nullptr;
    return static_cast<T*>(f);
  }
  DeviceMesh* DevMesh(DEVMESHHANDLE h) const {
    return devMeshes.Find(reinterpret_cast<std::uintptr_t>(h));
  }
  Mesh* MeshOf(MESHHANDLE h) const {
    if (h == nullptr) return nullptr;
    for (const auto& [name, m] : meshes)
      if (reinterpret_cast<MESHHANDLE>(m.get()) == h) return m.get();
    return nullptr;
  }
};

// Registers a file object for the duration of one callback.
class OpenFile {
 public:
  OpenFile(World::Impl& w, FileObject& f) : w_(w), f_(f) { w_.openFiles.push_back(&f_); }
  ~OpenFile() {
    auto& files = w_.openFiles;
    files.erase(std::find(files.begin(), files.end(), &f_));
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  FILEHANDLE handle() const { return reinterpret_cast<FILEHANDLE>(&f_); }

 private:
  World::Impl& w_;
  FileObject& f_;
};

// Marks the vessel whose callback is running (for input boxes opened from it).
class InCallback {
 public:
  InCallback(World::Impl& w, Vessel* v) : w_(w) { w_.callbackStack.push_back(v); }
  ~InCallback() { w_.callbackStack.pop_back(); }
  InCallback(const InCallback&) = delete;
  InCallback& operator=(const InCallback&) = delete;

 private:
  World::Impl& w_;
};

// The current world's private state, or null when there is no world.
// (Read inline: every host call starts here.)
extern World::Impl* g_currentImpl;
inline World::Impl* CurrentImpl() { return g_currentImpl; }

// Makes no world current.
void ClearCurrent();

// Calls a new vessel's clbkSetupClass with its class configuration (CreateVessel does, unless
// a scenario load defers it); a module's exception destroys the vessel and goes on.
void SetUpVessel(World& world, World::Impl& w, Vessel& v);

// Makes a world current while it calls into modules, and restores the previous one after.
class ScopedCurrent {
 public:
  explicit ScopedCurrent(World& w) : previous_(World::Current()) { w.MakeCurrent(); }
  ~ScopedCurrent() {
    if (previous_ != nullptr)
      previous_->MakeCurrent();
    else
      ClearCurrent();
  }
  ScopedCurrent(const ScopedCurrent&) = delete;
  ScopedCurrent& operator=(const ScopedCurrent&) = delete;

 private:
  World* previous_;
};

inline Vessel::Impl& Of(Vessel& v) { return *v.impl; }
inline const Vessel::Impl& Of(const Vessel& v) { return *v.impl; }

template <class... Args>
void RecordCall(World::Impl* w, const Vessel* self, const char* call, const Args&... args) {
  std::string text;
  FormatArgs(*w, text, args...);
  w->journal.Record(Journal::Kind::Call, self != nullptr ? self->name() : std::string(), call,
                    std::move(text));
}

template <class... Args>
void RecordCallOn(World::Impl* w, OBJHANDLE self, const char* call, const Args&... args) {
  RecordCall(w, w->Find(self), call, args...);
}

template <class... Args>
void RecordCallback(World::Impl& w, const Vessel& self, const char* call, const Args&... args) {
  std::string text;
  FormatArgs(w, text, args...);
  w.journal.Record(Journal::Kind::Callback, self.name(), call, std::move(text));
}

// Records a call of the module into the host when the journal is on. The check is inline so
// that a disabled journal costs one branch; formatting happens only behind it.
template <class... Args>
inline void Trace(World::Impl* w, const Vessel* self, const char* call, const Args&... args) {
  if (w == nullptr || !w->journal.Enabled()) [[likely]]
    return;
  RecordCall(w, self, call, args...);
}

// The same for a call on the vessel `self`, looked up only when the journal is on.
template <class... Args>
inline void TraceOn(World::Impl* w, OBJHANDLE self, const char* call, const Args&... args) {
  if (w == nullptr || !w->journal.Enabled()) [[likely]]
    return;
  RecordCallOn(w, self, call, args...);
}

// Records a callback of the world into a module when the journal is on.
template <class... Args>
inline void TraceCallback(World::Impl& w, const Vessel& self, const char* call,
                          const Args&... args) {
  if (!w.journal.Enabled()) [[likely]]
    return;
  RecordCallback(w, self, call, args...);
}

// Host-internal operations shared by the sources (no journal entries).
// `known`, when given, is the block line `line` came from; its numbers are used when the
// line still reads the same.
void ApplyHostLine(World::Impl& w, Vessel& v, std::string_view line, std::string_view file,
                   int number, const ScenarioReadObject::Line* known = nullptr);
void WriteHostLines(World::Impl& w, Vessel& v, std::vector<std::string>& out);
void DetachAll(World::Impl& w, Vessel& v);
bool AttachInternal(Vessel& parent, AttachmentPoint* at, Vessel& child, AttachmentPoint* childAt);
bool DetachInternal(World::Impl& w, AttachmentPoint* at, double vel);
AttachmentPoint* OwnPoint(const Vessel& v, ATTACHMENTHANDLE h);
std::uint32_t AddMeshInternal(Vessel& v, MESHHANDLE h, const VECTOR3* ofs);
AttachmentPoint* CreateAttachmentInternal(Vessel& v, bool toparent, const VECTOR3& pos,
                                          const VECTOR3& dir, const VECTOR3& rot, const char* id,
                                          bool loose);
void FreeLights(Vessel& v);
// Builds the visual of a vessel of the current world `w` that has none (World::BuildVisual
// after its checks).
void BuildVisualOf(World::Impl& w, Vessel& v);
Transform PoseFromAngles(const VECTOR3& pos, const VECTOR3& oriDeg);
VECTOR3 AnglesFromPose(const Transform& t);
bool SameTransform(const Transform& a, const Transform& b);
Transform Inverse(const Transform& t);
// The pointer-to-member of VESSEL's protected fields, for the host's own reads.
int VersionOf(const VESSEL* v);
OBJHANDLE HandleOf(const VESSEL* v);

}  // namespace hostsim
