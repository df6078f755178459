// The offscreen context on Linux: EGL (Mesa's surfaceless platform when there is one, else an
// EGL device, else the default display with a small pbuffer).
#include <epoxy/egl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "hostsim/error.h"
#include "hostsim/gl/gl_context.h"
#include "hostsim/gl/loaded_libraries.h"
#include "hostsim/platform/dynlib.h"

namespace hostsim::render {
namespace {

bool HasClientExtension(const char* name) {
  const char* all = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!all) return false;
  const std::string list = std::string(" ") + all + " ";
  return list.find(std::string(" ") + name + " ") != std::string::npos;
}

std::string EglErrorText(const char* what) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s (EGL error 0x%04X)", what,
                static_cast<unsigned>(eglGetError()));
  return buf;
}

// The process's EGL display, initialised while some Offscreen uses it and terminated when the
// last one is gone. EGL hands out one display per platform, so Offscreens alive at the same
// time share it: terminating it under one of them would destroy that one's context.
std::mutex displayMutex;
int displayUsers = 0;
EGLDisplay sharedDisplay = EGL_NO_DISPLAY;

// The GL-loading layer opens the system's EGL library, and a GL library for the core
// functions, when it is first asked for a function, and ends the program with an abort when it
// cannot. They are opened here first (and stay loaded), so that a missing one is an error that
// says which package brings it. Returns "" when both are there, else that error.
const std::string& MissingGlLibrary() {
  static const std::string error = [] {
    std::string why;
    if (platform::OpenLibrary("libEGL.so.1", why) == nullptr)
      return "render: no OpenGL: cannot load libEGL.so.1 (" + why +
             "): install it (the Debian package libegl1) and an EGL driver (libegl-mesa0)";
    std::string whyGl;
    if (platform::OpenLibrary("libOpenGL.so.0", why) == nullptr &&
        platform::OpenLibrary("libGL.so.1", whyGl) == nullptr)
      return "render: no OpenGL: cannot load libOpenGL.so.0 or libGL.so.1 (" + whyGl +
             "): install one of them (the Debian package libgl1)";
    return std::string();
  }();
  return error;
}

// Mesa's surfaceless platform when there is one, else an EGL device, else the default display.
EGLDisplay OpenDisplay() {
  if (const std::string& missing = MissingGlLibrary(); !missing.empty()) throw Error(missing);
  EGLDisplay display = EGL_NO_DISPLAY;
  const bool platforms = HasClientExtension("EGL_EXT_platform_base");
  if (platforms && HasClientExtension("EGL_MESA_platform_surfaceless"))
    display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if ((display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) && platforms &&
      HasClientExtension("EGL_EXT_platform_device")) {
    EGLDeviceEXT devices[8];
    EGLint count = 0;
    if (eglQueryDevicesEXT(8, devices, &count) && count > 0)
      display = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
  }
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
    display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
      throw Error("render: no offscreen OpenGL context: " + EglErrorText("no EGL display") +
                  ": is an EGL driver installed? (Mesa's: the Debian packages libegl-mesa0 and "
                  "libgl1-mesa-dri)");
  }
  return display;
}

EGLDisplay AcquireDisplay() {
  const std::lock_guard<std::mutex> lock(displayMutex);
  if (displayUsers == 0) {
    // The GL driver that initialising the display loads, and what it needs, stay loaded after
    // the display is terminated (its shader compiler's state among what it keeps).
    const std::set<std::string> before = LoadedLibraries();
    sharedDisplay = OpenDisplay();
    KeepLoadedSince(before);
  }
  ++displayUsers;
  return sharedDisplay;
}

void ReleaseDisplay() {
  const std::lock_guard<std::mutex> lock(displayMutex);
  if (--displayUsers > 0) return;
  eglTerminate(sharedDisplay);
  sharedDisplay = EGL_NO_DISPLAY;
}

// The context and its surface (a small pbuffer where the display needs one: the renderer
// draws into framebuffer objects).
class EglContext final : public GlContext {
 public:
  EglContext() = default;

  // Releases whatever Open made, also when it stopped half way.
  ~EglContext() override {
    if (display_ != EGL_NO_DISPLAY) {
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
      if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
      ReleaseDisplay();
    }
    // This thread's own EGL state, which the next use makes afresh (there is none without
    // the EGL library, and asking for it would end the program).
    if (MissingGlLibrary().empty()) eglReleaseThread();
  }
  EglContext(const EglContext&) = delete;
  EglContext& operator=(const EglContext&) = delete;

  void Open() {
    display_ = AcquireDisplay();
    if (!eglBindAPI(EGL_OPENGL_API)) Fail("EGL offers no desktop OpenGL");

    const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                    EGL_PBUFFER_BIT,
                                    EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    eglChooseConfig(display_, configAttribs, &config, 1, &configs);
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     3,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    const bool surfaceless = epoxy_has_egl_extension(display_, "EGL_KHR_surfaceless_context");
    if (configs < 1 && !surfaceless)
      throw Error("render: no offscreen OpenGL context: EGL has no pbuffer configuration");
    context_ = eglCreateContext(display_, configs > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                                contextAttribs);
    if (context_ == EGL_NO_CONTEXT) Fail("cannot create an OpenGL 3.3 core context");
    if (!surfaceless) {
      const EGLint pbufferAttribs[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
      surface_ = eglCreatePbufferSurface(display_, config, pbufferAttribs);
      if (surface_ == EGL_NO_SURFACE) Fail("cannot create a pbuffer");
    }
  }

  bool MakeCurrent() override {
    // The thread's API is bound afresh: releasing another context resets it.
    return eglBindAPI(EGL_OPENGL_API) && eglMakeCurrent(display_, surface_, surface_, context_);
  }

  std::string CurrentError() override {
    return EglErrorText("cannot make the offscreen context current");
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    throw Error("render: no offscreen OpenGL context: " + EglErrorText(what));
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
};

}  // namespace

std::unique_ptr<GlContext> GlContext::Create() {
  auto context = std::make_unique<EglContext>();
  context->Open();
  return context;
}

}  // namespace hostsim::render
