// The way into the host and out of it. Every function a module calls starts with HostCall
// (a free function) or CallOn (a call on a vessel): it finds the current world, notes the
// call and finds the vessel. Every callback the host makes into a module runs inside a
// Callback, which notes it and marks the vessel whose callback is running.
#pragma once

#include <cmath>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "hostsim/platform/throw_site.h"
#include "hostsim/runtime/call_args.h"
#include "hostsim/runtime/call_ring.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

// Journal forms of handles: what the handle names in the world (a vessel's name, a mesh's,
// "<dead visual>" ...), found without a walk over the world's vessels.
void AppendHandle(const World::Impl& w, std::string& out, HandleKind kind, const void* handle);

// The writer of call_args.h that makes the journal's text at once.
struct TextWriter {
  const World::Impl& w;
  std::string& out;
  void Double(double v) { AppendNumber(out, v); }
  void Float(float v) { AppendFloat(out, v); }
  void Signed(long long v) { out += std::to_string(v); }
  void Unsigned(unsigned long long v) { out += std::to_string(v); }
  void Literal(const char* text) { out += text; }
  void Quoted(std::string_view text) { AppendQuoted(out, text); }
  void Hex(std::uint32_t value, int digits) { AppendHex(out, value, digits); }
  void Handle(HandleKind kind, const void* handle) { AppendHandle(w, out, kind, handle); }
};

// The writer of call_args.h that looks at a call's values as they are told, for what the host
// cannot accept (World::WatchArguments).
struct ArgumentLook {
  const World::Impl& w;
  bool nonFinite = false;
  bool deadHandle = false;
  void Double(double v) { nonFinite = nonFinite || !std::isfinite(v); }
  void Float(float v) { nonFinite = nonFinite || !std::isfinite(v); }
  void Signed(long long) {}
  void Unsigned(unsigned long long) {}
  void Literal(const char*) {}
  void Quoted(std::string_view) {}
  void Hex(std::uint32_t, int) {}
  // A device mesh or visual handle that names none of the living ones.
  void Handle(HandleKind kind, const void* handle);
};

// Keeps the call `look` found fault with as the first of its kind since the last take.
template <class... Args>
void NoteArguments(World::Impl& w, const ArgumentLook& look, const Vessel* self, const char* call,
                   const Args&... args) {
  World::Impl::ArgumentWatch& watch = w.argumentWatch;
  if (!(look.nonFinite && watch.nonFinite.empty()) &&
      !(look.deadHandle && watch.deadHandle.empty()))
    return;
  std::string text;
  TextWriter journal{w, text};
  PutArgs(journal, args...);
  std::string line;
  Journal::WriteLine(
      {Journal::Kind::Call, self != nullptr ? self->name() : std::string(), call, std::move(text)},
      [&line](std::string_view piece) { line += piece; });
  if (look.nonFinite && watch.nonFinite.empty()) watch.nonFinite = line;
  if (look.deadHandle && watch.deadHandle.empty()) watch.deadHandle = std::move(line);
}

// Notes a call or callback made on or for `self` (null for none), whose handle is `handle`:
// always in the ring of the latest calls, raw (by the handle: the vessel's own record need not
// be read); a call's arguments looked at while the world watches them; in the journal, as
// text, while it is on.
template <class... Args>
void Record(World::Impl& w, Journal::Kind kind, const Vessel* self, OBJHANDLE handle,
            const char* call, const Args&... args) {
  RawCall::Writer raw{w.lastCalls.Next(kind, call, handle, w.handleBirths)};
  PutArgs(raw, args...);
  if (w.argumentWatch.on && kind == Journal::Kind::Call) {
    ArgumentLook look{w};
    PutArgs(look, args...);
    if (look.nonFinite || look.deadHandle) NoteArguments(w, look, self, call, args...);
  }
  if (!w.journal.Enabled()) return;
  std::string text;
  TextWriter journal{w, text};
  PutArgs(journal, args...);
  w.journal.Record(kind, self != nullptr ? self->name() : std::string(), call, std::move(text));
}

template <class... Args>
void Record(World::Impl& w, Journal::Kind kind, const Vessel* self, const char* call,
            const Args&... args) {
  Record(w, kind, self, self != nullptr ? self->handle() : nullptr, call, args...);
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
  Record(*w, Journal::Kind::Call, v, v != nullptr ? self : nullptr, call, args...);
  return {w, v};
}

// A callback into the module of vessel `v`, for as long as it lives: noted as it starts
// (when `v` is given), with it and `v` marked as the callback that runs. `call` must be a
// text that outlives the world (a literal). The module's code itself runs through Run.
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

  // Runs `code`, the module's, and returns what it returns. An exception it lets out is the
  // module's fault: it is noted as the world's escape (World::TakeEscape; the innermost
  // callback it left stays noted) and leaves as a ModuleException. The exception is caught here,
  // where the module's library is still loaded and whatever C++ runtime the module carries
  // (a Windows DLL has its own) has handed it over, rather than seen passing by.
  template <class Code>
  decltype(auto) Run(Code&& code) {
    try {
      return std::forward<Code>(code)();
    } catch (const ModuleException&) {
      throw;  // left a callback nested in this one: noted there
    } catch (const std::exception& e) {
      Escaped(e.what());
    } catch (...) {
      Escaped(kNotAStdException);
    }
  }

 private:
  void Enter(World::Impl::Running running) {
    if (w_.callbacks.empty()) {
      w_.outerCall.store(running.call, std::memory_order_relaxed);
      w_.outerVessel.store(running.vessel, std::memory_order_relaxed);
      w_.outerModule.store(running.module, std::memory_order_relaxed);
      w_.callbackEdges.fetch_add(1, std::memory_order_release);
    }
    w_.callbacks.push_back(running);
  }
  // In a handler of the exception that left the module: notes it and throws it on as a
  // ModuleException saying `what`.
  [[noreturn]] void Escaped(const char* what);

  World::Impl& w_;
  platform::ThrowWatch throws_;  // the module's throws are noted while it runs
};

}  // namespace hostsim
