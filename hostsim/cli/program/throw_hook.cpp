// The program's own C++ throw call, ahead of the C++ runtime's: the dynamic linker looks in the
// program first, so a module's throws, those of the C++ library and the program's own all come
// here. Each is noted (platform::NoteThrow, which does next to nothing outside a module's code)
// and handed on to the runtime's throw call unchanged. Linux only: elsewhere a library's calls
// do not go through the program's symbols.
#if defined(__linux__)

#include <dlfcn.h>

#include <cstdlib>
#include <typeinfo>

#include "hostsim/platform/throw_site.h"

namespace {

using ThrowCall = void (*)(void*, std::type_info*, void (*)(void*));

ThrowCall NextThrowCall() {
  static const ThrowCall next = reinterpret_cast<ThrowCall>(dlsym(RTLD_NEXT, "__cxa_throw"));
  return next;
}

}  // namespace

// The names are the C++ ABI's.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" [[noreturn]] __attribute__((visibility("default"))) void __cxa_throw(
    void* object, std::type_info* type, void (*destroy)(void*));

extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destroy)(void*)) {
  hostsim::platform::NoteThrow(object, __builtin_return_address(0));
  const ThrowCall next = NextThrowCall();
  if (next == nullptr) std::abort();  // no C++ runtime to throw with
  next(object, type, destroy);
  std::abort();  // the runtime's throw call never returns
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

#endif
