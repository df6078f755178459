// Where a C++ exception was thrown, kept for a report of one that leaves a module's callback:
// by the time the host catches it the stack is unwound, so the stack is read as the exception
// is thrown. A hook of the program ahead of the C++ runtime's throw call (where the system lets
// a program put one: Linux) calls NoteThrow; while this thread runs no module's code it does
// nothing else, and while it does it only copies the raw return addresses into a fixed buffer
// of the thread. Naming them (FindWhere) waits for a report.
#pragma once

#include <vector>

namespace hostsim::platform {

// Marks this thread, while it lives, as running a module's code: the throws made meanwhile
// are noted. Nests; the outermost forgets what was noted before it.
class ThrowWatch {
 public:
  ThrowWatch() noexcept;
  ~ThrowWatch();
  ThrowWatch(const ThrowWatch&) = delete;
  ThrowWatch& operator=(const ThrowWatch&) = delete;
};

// Notes the stack of the throw of `object` (the exception object the C++ runtime's throw call
// is handed) when this thread runs a module's code; `caller` is the return address into the
// code that threw, where the stack is read from. Allocates nothing and names nothing.
void NoteThrow(const void* object, const void* caller) noexcept;

// The stack noted for the throw of the exception this thread is handling now (called in a
// catch block), innermost first, each address inside its call instruction (as FaultStack gives
// them); empty when its throw was not noted (no hook, or thrown where no module ran).
std::vector<const void*> CaughtThrowStack();

}  // namespace hostsim::platform
