// The world: its vessels, focus, time steps and keyboard.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

World* g_current = nullptr;

// The host's own vessel object for a class without a module.
class HostVessel final : public VESSEL3 {
 public:
  explicit HostVessel(OBJHANDLE h) : VESSEL3(h, 1) {}
};

bool ValidName(const std::string& name) {
  if (name.empty()) return false;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

HostClassItems ReadHostClassItems(World& world, const ConfigFile& cfg) {
  HostClassItems out;
  if (const ConfigItem* it = cfg.Find("Mesh"); it != nullptr && !it->value.empty()) {
    out.mesh = world.LoadMesh(it->value);
    if (out.mesh == nullptr)
      throw Error("cannot load mesh \"" + it->value + "\"", cfg.file, it->line);
  }
  auto number = [&](const char* key, std::optional<double>& dst) {
    if (const ConfigItem* it = cfg.Find(key)) {
      double v = 0;
      if (!ParseDouble(it->value, v))
        throw Error(std::string(key) + " must be one number, got \"" + it->value + "\"", cfg.file,
                    it->line);
      dst = v;
    }
  };
  number("Size", out.size);
  number("Mass", out.mass);
  for (const ConfigItem* it : cfg.FindAll("Attachment")) {
    auto w = SplitWords(it->value);
    HostClassItems::Point p{};
    bool ok = w.size() == 11 && (EqualsNoCase(w[0], "P") || EqualsNoCase(w[0], "C"));
    double n[9] = {};
    for (std::size_t i = 0; ok && i < 9; ++i) ok = ParseDouble(w[i + 1], n[i]);
    if (!ok)
      throw Error(
          "Attachment must be: P|C px py pz dx dy dz rx ry rz ID, got \"" + it->value + "\"",
          cfg.file, it->line);
    p.toParent = EqualsNoCase(w[0], "P");
    p.pos = {n[0], n[1], n[2]};
    p.dir = {n[3], n[4], n[5]};
    p.rot = {n[6], n[7], n[8]};
    p.id = w[10];
    out.points.push_back(p);
  }
  return out;
}

}  // namespace

World::Impl* g_currentImpl = nullptr;

void ClearCurrent() {
  g_current = nullptr;
  g_currentImpl = nullptr;
}

Paths Paths::FromRoot(const std::filesystem::path& root) {
  return Paths{root / "config", root / "meshes", root / "modules"};
}

// --- Vessel ---

Vessel::Vessel() : impl(std::make_unique<Impl>()) {}
Vessel::~Vessel() { FreeLights(*this); }
const std::string& Vessel::name() const { return impl->name; }
const std::string& Vessel::className() const { return impl->className; }
VESSEL* Vessel::iface() const { return impl->iface; }
VESSEL3* Vessel::callbacks() const { return impl->cb3; }
VESSEL2* Vessel::callbacks2() const { return impl->cb2; }
OBJHANDLE Vessel::handle() const { return reinterpret_cast<OBJHANDLE>(impl->token); }

// --- World ---

World::World(Paths paths) : impl_(std::make_unique<Impl>()) {
  impl_->paths = std::move(paths);
  impl_->self = this;
  MakeCurrent();
}

World::~World() {
  World* previous = g_current;
  MakeCurrent();  // the modules' exit callbacks reach this world
  impl_->box.reset();
  while (!impl_->vessels.empty()) DestroyVessel(*impl_->vessels.back());
  std::vector<std::string> names;
  for (const auto& [name, m] : impl_->modules) names.push_back(name);
  for (const auto& n : names) UnloadModule(n);
  if (previous == this || previous == nullptr) {
    g_current = nullptr;
    g_currentImpl = nullptr;
  } else {
    previous->MakeCurrent();
  }
}

World* World::Current() { return g_current; }
void World::MakeCurrent() {
  g_current = this;
  g_currentImpl = impl_.get();
}
Journal& World::journal() { return impl_->journal; }
const Paths& World::paths() const { return impl_->paths; }

Vessel& World::CreateVessel(const std::string& name, const std::string& className) {
  ScopedCurrent current(*this);
  if (!ValidName(name)) throw Error("invalid vessel name \"" + name + "\"");
  if (!ValidName(className) || className.find_first_of("/\\:") != std::string::npos ||
      className == "..")
    throw Error("invalid vessel class \"" + className + "\"");
  if (!impl_->namesChecked && FindVessel(name) != nullptr)
    throw Error("a vessel named \"" + name + "\" exists already");
  std::shared_ptr<const ConfigFile> cfg;
  ClassConfig* known = nullptr;  // the class as the scenario being loaded has read it
  if (impl_->classes != nullptr) {
    if (auto it = impl_->classes->find(className); it != impl_->classes->end()) {
      known = &it->second;
      cfg = known->file;
    }
  }
  if (cfg == nullptr) {
    auto cfgPath = impl_->paths.config / (className + ".cfg");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(cfgPath, ec))
      throw Error("unknown vessel class \"" + className + "\": no class configuration",
                  cfgPath.string());
    cfg = std::make_shared<const ConfigFile>(ReadConfig(cfgPath));
  }

  Module* mod = known != nullptr ? known->module : nullptr;
  HostClassItems items;
  if (mod != nullptr) {
    // The class's module, loaded while the scenario was checked.
  } else if (const ConfigItem* m = cfg->Find("Module"); m != nullptr && !m->value.empty()) {
    try {
      mod = &LoadModule(m->value);
    } catch (const Error& e) {
      throw Error(e.what(), cfg->file, m->line);
    }
  } else if (known != nullptr) {
    if (!known->hostItems) known->hostItems = ReadHostClassItems(*this, *cfg);
    items = *known->hostItems;
  } else {
    items = ReadHostClassItems(*this, *cfg);
  }

  std::unique_ptr<Vessel> owned;
  if (!impl_->spareVessels.empty()) {
    owned = std::move(impl_->spareVessels.back());
    impl_->spareVessels.pop_back();
  } else {
    owned = std::make_unique<Vessel>();
  }
  Vessel& v = *owned;
  Vessel::Impl& vi = Of(v);
  vi.world = this;
  vi.wimpl = impl_.get();
  vi.name = name;
  vi.className = className;
  vi.token = impl_->NewToken();
  vi.module = mod;
  vi.config = std::move(cfg);
  impl_->byToken.Set(vi.token, &v);
  impl_->IndexName(v);
  impl_->vessels.push_back(std::move(owned));
  ++impl_->vesselsChanged;
  auto unregister = [&] {
    impl_->byToken.erase(vi.token);
    impl_->UnindexName(v);
    impl_->vessels.pop_back();
    ++impl_->vesselsChanged;
  };

  if (mod == nullptr) {
    vi.iface = new HostVessel(v.handle());
    vi.hostObject = true;
    v.physics.focusEnabled = false;
    if (items.mesh != nullptr)
      AddMeshInternal(v, reinterpret_cast<MESHHANDLE>(const_cast<Mesh*>(items.mesh)), nullptr);
    if (items.size) v.physics.size = *items.size;
    if (items.mass) v.physics.emptyMass = *items.mass;
    for (const auto& p : items.points)
      CreateAttachmentInternal(v, p.toParent, p.pos, p.dir, p.rot, p.id.c_str(), false);
    return v;
  }

  VESSEL* obj = nullptr;
  {
    TraceCallback(*impl_, v, "zvcInit", v.handle(), 1);
    InCallback in(*impl_, &v);
    try {
      obj = mod->init(v.handle(), 1);
    } catch (...) {
      unregister();  // a module's exception leaves no half-made vessel behind
      throw;
    }
  }
  if (obj == nullptr) {
    unregister();
    throw Error("zvcInit returned no object for vessel \"" + name + "\"", mod->path.string());
  }
  int version = VersionOf(obj);
  if (HandleOf(obj) != v.handle() || version < 1 || version > 3) {
    mod->exit(obj);
    unregister();
    throw Error("zvcInit returned an object not bound to vessel \"" + name +
                    "\" (interface version " + std::to_string(version) + ")",
                mod->path.string());
  }
  vi.iface = obj;
  if (version >= 2) vi.cb2 = static_cast<VESSEL2*>(obj);
  if (version == 3) vi.cb3 = static_cast<VESSEL3*>(obj);
  ++mod->refCount;
  if (!impl_->setupDeferred) SetUpVessel(*this, *impl_, v);
  return v;
}

void SetUpVessel(World& world, World::Impl& w, Vessel& v) {
  Vessel::Impl& vi = Of(v);
  if (vi.cb2 == nullptr) return;
  ConfigFileObject file;
  file.name = vi.config->file;
  file.config = vi.config.get();
  OpenFile open(w, file);
  TraceCallback(w, v, "clbkSetupClass", open.handle());
  InCallback in(w, &v);
  try {
    vi.cb2->clbkSetupClass(open.handle());
  } catch (...) {
    world.DestroyVessel(v);
    throw;
  }
}

namespace {

// Where the vessel stands in the world's list. Searched from the end: vessels are mostly
// destroyed newest first (a world's end, a scenario replacing the world), which makes each
// search one step.
auto PositionOf(std::vector<std::unique_ptr<Vessel>>& vessels, const Vessel& v) {
  auto it =
      std::find_if(vessels.rbegin(), vessels.rend(), [&](const auto& p) { return p.get() == &v; });
  return it == vessels.rend() ? vessels.end() : std::prev(it.base());
}

// Calls `Callback` (clbkBeforeStep or clbkAfterStep) of every vessel of the frame that has
// them, in order, journalled under `name`. A template argument, so that each call is a plain
// virtual call.
template <void (VESSEL2::*Callback)(double, double, double)>
void StepCallbacks(World::Impl& w, const std::vector<World::Impl::FrameEntry>& frame,
                   const char* name, double simt, double dt, double mjd) {
  const std::size_t n = frame.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto& [v, vi, cb] = frame[i];
    if (cb == nullptr) continue;
    TraceCallback(w, *v, name, simt, dt, mjd);
    InCallback in(w, v);
    (cb->*Callback)(simt, dt, mjd);
  }
}

}  // namespace

void World::DestroyVessel(Vessel& v) {
  ScopedCurrent current(*this);
  auto it = PositionOf(impl_->vessels, v);
  if (it == impl_->vessels.end()) return;
  DropVisual(v);
  if (impl_->box && impl_->boxOwner == &v) {
    impl_->box.reset();
    impl_->boxOwner = nullptr;
  }
  DetachAll(*impl_, v);
  if (impl_->focus == &v) impl_->focus = nullptr;
  Vessel::Impl& vi = Of(v);
  if (vi.hostObject) {
    delete static_cast<HostVessel*>(vi.iface);
  } else if (vi.module != nullptr && vi.iface != nullptr) {
    TraceCallback(*impl_, v, "zvcExit", v.handle());
    InCallback in(*impl_, &v);
    vi.module->exit(vi.iface);
    --vi.module->refCount;
  }
  vi.iface = nullptr;
  vi.cb2 = nullptr;
  vi.cb3 = nullptr;
  impl_->byToken.erase(vi.token);
  impl_->UnindexName(v);
  // The vessel may have moved in the list while its callbacks ran; find it again.
  it = PositionOf(impl_->vessels, v);
  impl_->vessels.erase(it);
  ++impl_->vesselsChanged;
}

Vessel* World::FindVessel(std::string_view name) const { return impl_->byName.Find(name); }

Vessel* World::FromHandle(OBJHANDLE h) const { return impl_->Find(h); }

std::vector<Vessel*> World::Vessels() const {
  std::vector<Vessel*> out;
  for (const auto& v : impl_->vessels) out.push_back(v.get());
  return out;
}

void World::SetFocus(Vessel* v) {
  if (v != nullptr && impl_->Find(v->handle()) != v)
    throw Error("cannot focus a vessel of another world");
  Vessel* old = impl_->focus;
  if (old == v) return;
  ScopedCurrent current(*this);
  impl_->focus = v;
  OBJHANDLE hnew = v != nullptr ? v->handle() : nullptr;
  OBJHANDLE hold = old != nullptr ? old->handle() : nullptr;
  if (old != nullptr && Of(*old).cb2 != nullptr) {
    TraceCallback(*impl_, *old, "clbkFocusChanged", false, hnew, hold);
    InCallback in(*impl_, old);
    Of(*old).cb2->clbkFocusChanged(false, hnew, hold);
  }
  if (v != nullptr && Of(*v).cb2 != nullptr) {
    TraceCallback(*impl_, *v, "clbkFocusChanged", true, hnew, hold);
    InCallback in(*impl_, v);
    Of(*v).cb2->clbkFocusChanged(true, hnew, hold);
  }
}

Vessel* World::Focus() const { return impl_->focus; }

void World::Step(double dt) {
  ScopedCurrent current(*this);
  impl_->simdt = dt;
  const double simt = impl_->simt;
  const double mjd = Mjd();
  // The frame's list of vessels, made again when they have changed since it was made.
  auto& frame = impl_->frame;
  if (impl_->frameMadeAt != impl_->vesselsChanged || frame.size() != impl_->vessels.size()) {
    frame.clear();
    for (const auto& v : impl_->vessels) frame.push_back({v.get(), v->impl.get(), Of(*v).cb2});
    impl_->frameMadeAt = impl_->vesselsChanged;
  }
  StepCallbacks<&VESSEL2::clbkBeforeStep>(*impl_, frame, "clbkBeforeStep", simt, dt, mjd);
  if (Vessel* f = impl_->focus; f != nullptr && Of(*f).cb2 != nullptr) {
    if (impl_->journal.Enabled()) {
      std::string down = "[";
      for (int i = 0; i < 256; ++i) {
        if ((static_cast<unsigned char>(impl_->keys[static_cast<std::size_t>(i)]) & 0x80) == 0)
          continue;
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s0x%02X", down.size() > 1 ? ", " : "", i);
        down += buf;
      }
      down += "]";
      TraceCallback(*impl_, *f, "clbkDirectKeys", Raw{down});
    }
    InCallback in(*impl_, f);
    Of(*f).cb2->clbkDirectKeys(impl_->keys.data());
  }
  // Free vessels drift with the speed they were given when released.
  if (impl_->mayDrift) {
    bool moving = false;
    for (const auto& [v, vi, cb] : frame) {
      const VECTOR3 vel = vi->velocity;
      if (vel.x == 0 && vel.y == 0 && vel.z == 0) continue;
      moving = true;
      if (v->Parent() != nullptr) continue;
      v->freePose.t.x += vel.x * dt;
      v->freePose.t.y += vel.y * dt;
      v->freePose.t.z += vel.z * dt;
    }
    impl_->mayDrift = moving;
  }
  StepCallbacks<&VESSEL2::clbkAfterStep>(*impl_, frame, "clbkAfterStep", simt, dt, mjd);
  impl_->simt = simt + dt;
}

double World::SimTime() const { return impl_->simt; }
double World::SimStep() const { return impl_->simdt; }
void World::SetSimTime(double t) { impl_->simt = t; }
double World::Mjd() const { return impl_->mjd0 + impl_->simt / 86400.0; }
char* World::KeyState() { return impl_->keys.data(); }

void World::SetKey(std::uint8_t code, bool down) {
  char& k = impl_->keys[code];
  k = static_cast<char>(down ? (static_cast<unsigned char>(k) | 0x80u)
                             : (static_cast<unsigned char>(k) & 0x7Fu));
}

void World::ReleaseAllKeys() { impl_->keys.fill(0); }

int World::KeyEvent(std::uint8_t code, bool down) {
  ScopedCurrent current(*this);
  Vessel* f = impl_->focus;
  if (f == nullptr || Of(*f).cb2 == nullptr) return 0;
  TraceCallback(*impl_, *f, "clbkBufferedKey", static_cast<unsigned>(code), down);
  InCallback in(*impl_, f);
  return Of(*f).cb2->clbkBufferedKey(code, down, impl_->keys.data());
}

std::vector<std::string> World::TakeWarnings() {
  std::vector<std::string> out;
  out.swap(impl_->warnings);
  return out;
}

}  // namespace hostsim
