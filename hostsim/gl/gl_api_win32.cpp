// The table of the OpenGL functions beyond 1.1, filled from the driver of the current context.
#include <mutex>
#include <string>

#include "hostsim/gl/gl_api.h"

namespace hostsim::render {

#define HOSTSIM_GL_DEFINE(type, name) type name = nullptr;
HOSTSIM_GL_FUNCTIONS(HOSTSIM_GL_DEFINE)
#undef HOSTSIM_GL_DEFINE

namespace {

// The driver's function of that name; some drivers answer a missing one with a small number
// instead of null, and hand out the 1.1 functions only through the library itself.
PROC Lookup(const char* name) {
  PROC p = wglGetProcAddress(name);
  const auto value = reinterpret_cast<INT_PTR>(p);
  if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) {
    HMODULE library = GetModuleHandleW(L"opengl32.dll");
    p = library != nullptr ? GetProcAddress(library, name) : nullptr;
  }
  return p;
}

}  // namespace

std::string LoadGlFunctions() {
  static std::mutex mutex;
  static bool loaded = false;
  const std::lock_guard<std::mutex> lock(mutex);
  if (loaded) return {};
  std::string missing;
#define HOSTSIM_GL_LOAD(type, name)                                      \
  name = reinterpret_cast<type>(reinterpret_cast<void*>(Lookup(#name))); \
  if ((name) == nullptr && missing.empty()) missing = #name;
  HOSTSIM_GL_FUNCTIONS(HOSTSIM_GL_LOAD)
#undef HOSTSIM_GL_LOAD
  loaded = missing.empty();
  return missing;
}

}  // namespace hostsim::render
