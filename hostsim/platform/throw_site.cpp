// The stacks of throws made while a module's code runs, in a few fixed slots per thread.
#include "hostsim/platform/throw_site.h"

#include <unwind.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>

namespace hostsim::platform {

namespace {

// Enough of a module's frames for a report (it names a handful), with room for the C++
// library's own frames above them.
constexpr std::size_t kFrames = 24;
// The latest throws kept: one that is caught inside the module and thrown anew leaves the
// first one's note behind, and a handler may throw again before its exception leaves.
constexpr std::size_t kSlots = 4;
// Frames above the code that threw (this function, the hook) passed over at most.
constexpr int kHookFrames = 8;

struct Noted {
  const void* object = nullptr;
  std::size_t count = 0;
  std::array<const void*, kFrames> frames{};
};

struct ThreadThrows {
  int depth = 0;  // the module calls this thread is in
  std::size_t next = 0;
  std::array<Noted, kSlots> slots{};
};

thread_local ThreadThrows t_throws;

struct Walk {
  const void* caller;
  Noted& into;
  int passed = 0;
};

_Unwind_Reason_Code Step(_Unwind_Context* context, void* arg) {
  Walk& walk = *static_cast<Walk*>(arg);
  const auto ip = reinterpret_cast<const void*>(_Unwind_GetIP(context));
  if (ip == nullptr) return _URC_NORMAL_STOP;  // the outermost frame
  if (walk.into.count == 0 && ip != walk.caller)
    return ++walk.passed < kHookFrames ? _URC_NO_REASON : _URC_NORMAL_STOP;
  walk.into.frames[walk.into.count++] = ip;
  return walk.into.count < kFrames ? _URC_NO_REASON : _URC_NORMAL_STOP;
}

}  // namespace

ThrowWatch::ThrowWatch() noexcept {
  if (t_throws.depth++ == 0)
    for (Noted& slot : t_throws.slots) slot.object = nullptr;
}

ThrowWatch::~ThrowWatch() { --t_throws.depth; }

void NoteThrow(const void* object, const void* caller) noexcept {
  ThreadThrows& t = t_throws;
  if (t.depth == 0) return;
  Noted& slot = t.slots[t.next];
  t.next = (t.next + 1) % kSlots;
  slot.object = object;
  slot.count = 0;
  Walk walk{caller, slot};
  _Unwind_Backtrace(Step, &walk);
  // A stack the unwinder could not read still names the code that threw.
  if (slot.count == 0) slot.frames[slot.count++] = caller;
}

std::vector<const void*> CaughtThrowStack() {
  const std::exception_ptr current = std::current_exception();
  if (current == nullptr) return {};
  // The C++ library's exception_ptr holds just the address of the thrown object, the one its
  // throw call was handed.
  const void* object = nullptr;
  static_assert(sizeof current == sizeof object);
  std::memcpy(&object, static_cast<const void*>(&current), sizeof object);
  const ThreadThrows& t = t_throws;
  for (std::size_t k = 1; k <= kSlots; ++k) {
    const Noted& slot = t.slots[(t.next + kSlots - k) % kSlots];
    if (slot.object != object) continue;
    std::vector<const void*> stack;
    for (std::size_t i = 0; i < slot.count; ++i)
      stack.push_back(
          reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(slot.frames[i]) - 1));
    return stack;
  }
  return {};
}

}  // namespace hostsim::platform
