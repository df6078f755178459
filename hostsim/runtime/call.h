// The way into the host and out of it. Every function a module calls starts with HostCall
// (a free function) or CallOn (a call on a vessel): it finds the current world, journals the
// call and finds the vessel. Every callback the host makes into a module runs inside a
// Callback, which journals it and marks the vessel whose callback is running.
#pragma once

#include <string>

#include "hostsim/runtime/format.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

// Journal forms of handles: what the handle names in the world (a vessel's name, a mesh's,
// "<dead visual>" ...).
void AppendHandle(const World::Impl& w, std::string& out, OBJHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, ATTACHMENTHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, MESHHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, DEVMESHHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, VISHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, FILEHANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, ANIMATIONCOMPONENT_HANDLE v);
void AppendHandle(const World::Impl& w, std::string& out, MODULEHANDLE v);

template <class T>
void AppendArg(const World::Impl& w, std::string& out, const T& v) {
  if constexpr (requires { AppendHandle(w, out, v); })
    AppendHandle(w, out, v);
  else
    AppendValue(out, v);
}

// The arguments of a call as the journal shows them: ", " between them.
template <class... Args>
std::string FormatArgs(const World::Impl& w, const Args&... args) {
  std::string out;
  [[maybe_unused]] const char* separator = "";
  ((out += separator, AppendArg(w, out, args), separator = ", "), ...);
  return out;
}

template <class... Args>
void Record(World::Impl& w, Journal::Kind kind, const Vessel* self, const char* call,
            const Args&... args) {
  if (!w.journal.Enabled()) return;
  w.journal.Record(kind, self != nullptr ? self->name() : std::string(), call,
                   FormatArgs(w, args...));
}

// A module's call of a free host function: the current world (null when there is none),
// with the call journalled.
template <class... Args>
World::Impl* HostCall(const char* call, const Args&... args) {
  World::Impl* w = CurrentWorld();
  if (w != nullptr) Record(*w, Journal::Kind::Call, nullptr, call, args...);
  return w;
}

// A module's call on the vessel whose handle is `self`: the current world and the vessel
// (either null when there is none), with the call journalled.
struct VesselCall {
  World::Impl* world;
  Vessel* vessel;
};

template <class... Args>
VesselCall CallOn(OBJHANDLE self, const char* call, const Args&... args) {
  World::Impl* w = CurrentWorld();
  if (w == nullptr) return {nullptr, nullptr};
  Vessel* v = w->Find(self);
  Record(*w, Journal::Kind::Call, v, call, args...);
  return {w, v};
}

// A callback into the module of vessel `v`, for as long as it lives: journalled as it starts
// (when `v` is given), with it and `v` marked as the callback that runs. `call` must be a
// text that outlives the world (a literal).
class Callback {
 public:
  template <class... Args>
  Callback(World::Impl& w, Vessel* v, const char* call, const Args&... args) : w_(w) {
    if (v != nullptr) Record(w, Journal::Kind::Callback, v, call, args...);
    Enter({call, v, v != nullptr ? Of(*v).module : nullptr});
  }
  // A module's own code run outside any vessel: its library's load or unload hook.
  Callback(World::Impl& w, const Module& m, const char* call) : w_(w) {
    Enter({call, nullptr, &m});
  }
  ~Callback() {
    w_.callbacks.pop_back();
    if (w_.callbacks.empty()) w_.callbackEdges.fetch_add(1, std::memory_order_release);
  }
  Callback(const Callback&) = delete;
  Callback& operator=(const Callback&) = delete;

 private:
  void Enter(World::Impl::Running running) {
    if (w_.callbacks.empty()) w_.callbackEdges.fetch_add(1, std::memory_order_release);
    w_.callbacks.push_back(running);
  }

  World::Impl& w_;
};

}  // namespace hostsim
