// The world: its vessels, focus, time steps and keyboard.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/vessels.h"

namespace hostsim {

Paths Paths::FromRoot(const std::filesystem::path& root) {
  return Paths{root / "config", root / "meshes", root / "modules", {}, {}};
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
const Transform& Vessel::FreePose() const { return impl->freePose; }
void Vessel::SetFreePose(const Transform& pose) { impl->freePose = pose; }

// --- the registries ---

// FNV-1a over the folded bytes: names equal without regard to case hash alike.
std::size_t NoCaseHash::operator()(std::string_view text) const noexcept {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(FoldCase(c));
    h *= 1099511628211ull;
  }
  return static_cast<std::size_t>(h);
}

Vessel& VesselRegistry::Add(std::unique_ptr<Vessel> v) {
  Vessel& added = *v;
  byName_[added.name()] = &added;
  order_.push_back(std::move(v));
  return added;
}

// Searched from the newest: a world is emptied newest first, so each of those removals
// finds its vessel at once and the whole emptying stays linear.
std::unique_ptr<Vessel> VesselRegistry::Remove(const Vessel& v) {
  // Searched from the newest: vessels end newest first, so ending a whole world takes time
  // in proportion to its size.
  auto it =
      std::find_if(order_.rbegin(), order_.rend(), [&](const auto& p) { return p.get() == &v; });
  if (it == order_.rend()) return nullptr;
  std::unique_ptr<Vessel> out = std::move(*it);
  order_.erase(std::next(it).base());
  byName_.erase(v.name());
  return out;
}

Vessel* VesselRegistry::Find(std::string_view name) const {
  auto it = byName_.find(name);
  return it != byName_.end() ? it->second : nullptr;
}

Vessel* World::Impl::Find(OBJHANDLE h) const {
  auto it = handles.find(reinterpret_cast<std::uintptr_t>(h));
  return it != handles.end() ? it->second : nullptr;
}

Vessel* World::Impl::PartOwner(const void* handle, std::uintptr_t& offset) const {
  constexpr std::uintptr_t kFirst = 0x1000;  // lastToken's start: every handle is above it
  const auto h = reinterpret_cast<std::uintptr_t>(handle);
  if (h <= kFirst) return nullptr;
  offset = (h - kFirst) % kPartHandles;
  return Find(reinterpret_cast<OBJHANDLE>(h - offset));
}

// --- World ---

World::World(Paths paths) : impl_(std::make_unique<Impl>()) {
  impl_->paths = std::move(paths);
  impl_->self = this;
  MakeCurrent();
}

World::~World() {
  Clear();
  if (CurrentWorld() == impl_.get()) ForgetCurrent();
}

void World::Clear() {
  ScopedCurrent current(impl_.get());  // the modules' exit callbacks reach this world
  impl_->box.reset();
  while (!impl_->vessels.Empty()) DestroyVessel(*impl_->vessels.InOrder().back());
  std::vector<std::string> names;
  for (const auto& [name, m] : impl_->modules) names.push_back(name);
  for (const auto& n : names) UnloadModule(n);
}

Journal& World::journal() { return impl_->journal; }
const Journal& World::journal() const { return impl_->journal; }

const std::vector<FileRead>& World::FilesRead() const { return impl_->filesRead; }

void NoteFileRead(World::Impl& w, const char* kind, const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec).lexically_normal();
  if (ec) absolute = file;
  if (w.filesReadNames.insert(absolute.string()).second) w.filesRead.push_back({kind, file});
}

World::Running World::RunningCallback() const {
  if (impl_->callbacks.empty()) return {};
  const World::Impl::Running& r = impl_->callbacks.back();
  return {r.call, r.vessel, r.module};
}

std::uint64_t World::CallbackEdges() const {
  return impl_->callbackEdges.load(std::memory_order_acquire);
}

World::Running World::OutermostCallback(std::uint64_t& edges) const {
  edges = impl_->callbackEdges.load(std::memory_order_acquire);
  if (edges % 2 == 0) return {};
  const Running r{impl_->outerCall.load(std::memory_order_relaxed),
                  impl_->outerVessel.load(std::memory_order_relaxed),
                  impl_->outerModule.load(std::memory_order_relaxed)};
  std::atomic_thread_fence(std::memory_order_acquire);
  if (impl_->callbackEdges.load(std::memory_order_relaxed) != edges) return {};
  return r;
}
const Paths& World::paths() const { return impl_->paths; }

Vessel& World::CreateVessel(const std::string& name, const std::string& className) {
  ScopedCurrent current(impl_.get());
  if (!ValidName(name)) throw Error("invalid vessel name \"" + name + "\"");
  if (!ValidName(className)) throw Error("invalid vessel class " + Quote(className));
  if (FindVessel(name) != nullptr) throw Error("a vessel named \"" + name + "\" exists already");
  const VesselClass cls = ReadClass(*impl_, className);
  return impl_->vessels.Add(MakeVessel(*impl_, name, cls));
}

void World::DestroyVessel(Vessel& v) {
  if (impl_->Find(v.handle()) != &v) return;
  ScopedCurrent current(impl_.get());
  EndVessel(*impl_, v);
  impl_->vessels.Remove(v);
}

Vessel* World::FindVessel(std::string_view name) const { return impl_->vessels.Find(name); }

Vessel* World::FromHandle(OBJHANDLE h) const { return impl_->Find(h); }

std::vector<Vessel*> World::Vessels() const {
  std::vector<Vessel*> out;
  for (const auto& v : impl_->vessels.InOrder()) out.push_back(v.get());
  return out;
}

void World::SetFocus(Vessel* v) {
  if (v != nullptr && impl_->Find(v->handle()) != v)
    throw Error("cannot focus a vessel of another world");
  Vessel* old = impl_->focus;
  if (old == v) return;
  ScopedCurrent current(impl_.get());
  impl_->focus = v;
  OBJHANDLE hnew = v != nullptr ? v->handle() : nullptr;
  OBJHANDLE hold = old != nullptr ? old->handle() : nullptr;
  if (old != nullptr && Of(*old).cb2 != nullptr) {
    Callback in(*impl_, old, "clbkFocusChanged", false, hnew, hold);
    in.Run([&] { Of(*old).cb2->clbkFocusChanged(false, hnew, hold); });
  }
  if (v != nullptr && Of(*v).cb2 != nullptr) {
    Callback in(*impl_, v, "clbkFocusChanged", true, hnew, hold);
    in.Run([&] { Of(*v).cb2->clbkFocusChanged(true, hnew, hold); });
  }
}

Vessel* World::Focus() const { return impl_->focus; }

void World::Step(double dt) {
  ScopedCurrent current(impl_.get());
  Impl& w = *impl_;
  // A time that is not finite could be neither saved nor loaded again: refuse the frame
  // before any module sees it.
  if (!std::isfinite(w.clock.simt + dt))
    throw Error("a step of " + ShortestDouble(dt) + " s from the time " +
                ShortestDouble(w.clock.simt) + " s would take the time past the largest number");
  w.clock.simdt = dt;
  const double simt = w.clock.simt;
  const double mjd = Mjd();
  // Modules cannot make or destroy vessels: the list stays as it is for the frame.
  const std::vector<Vessel*> vessels = Vessels();
  for (Vessel* v : vessels)
    if (VESSEL2* cb = Of(*v).cb2) {
      Callback in(w, v, "clbkBeforeStep", simt, dt, mjd);
      in.Run([&] { cb->clbkBeforeStep(simt, dt, mjd); });
    }
  if (Vessel* f = w.focus; f != nullptr && Of(*f).cb2 != nullptr) {
    Callback in(w, f, "clbkDirectKeys", KeysDown{&w.keys});
    in.Run([&] { Of(*f).cb2->clbkDirectKeys(w.keys.data()); });
  }
  // Free vessels drift with the speed they were given when released.
  for (Vessel* v : vessels) {
    const VECTOR3 vel = Of(*v).velocity;
    if ((vel.x == 0 && vel.y == 0 && vel.z == 0) || v->Parent() != nullptr) continue;
    VECTOR3& at = Of(*v).freePose.t;
    at.x += vel.x * dt;
    at.y += vel.y * dt;
    at.z += vel.z * dt;
  }
  for (Vessel* v : vessels)
    if (VESSEL2* cb = Of(*v).cb2) {
      Callback in(w, v, "clbkAfterStep", simt, dt, mjd);
      in.Run([&] { cb->clbkAfterStep(simt, dt, mjd); });
    }
  w.clock.simt = simt + dt;
}

double World::SimTime() const { return impl_->clock.simt; }
double World::SimStep() const { return impl_->clock.simdt; }
void World::SetSimTime(double t) { impl_->clock.simt = t; }
double World::Mjd() const { return impl_->clock.mjd0 + impl_->clock.simt / 86400.0; }
char* World::KeyState() { return impl_->keys.data(); }

void World::SetKey(std::uint8_t code, bool down) {
  char& k = impl_->keys[code];
  k = static_cast<char>(down ? (static_cast<unsigned char>(k) | 0x80u)
                             : (static_cast<unsigned char>(k) & 0x7Fu));
}

void World::ReleaseAllKeys() { impl_->keys.fill(0); }

int World::KeyEvent(std::uint8_t code, bool down) {
  ScopedCurrent current(impl_.get());
  Vessel* f = impl_->focus;
  if (f == nullptr || Of(*f).cb2 == nullptr) return 0;
  Callback in(*impl_, f, "clbkBufferedKey", static_cast<unsigned>(code), down);
  return in.Run([&] { return Of(*f).cb2->clbkBufferedKey(code, down, impl_->keys.data()); });
}

std::vector<std::string> World::TakeWarnings() {
  std::vector<std::string> out;
  out.swap(impl_->warnings);
  return out;
}

}  // namespace hostsim
