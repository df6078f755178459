// Pictures without a display: an EGL context (Mesa's surfaceless platform when there is one,
// else an EGL device, else the default display with a small pbuffer) drawing into a
// multisampled framebuffer object, read back and written as PNG. Everything is released
// again with the Offscreen that made it.
#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/files.h"
#include "hostsim/render/gl_renderer.h"
#include "hostsim/render/loaded_libraries.h"
#include "hostsim/render/render.h"

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

// A framebuffer object with colour and depth, multisampled when asked.
struct Framebuffer {
  GLuint fbo = 0, colour = 0, depth = 0;
  Framebuffer(int W, int H, int samples) {
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &colour);
    glGenRenderbuffers(1, &depth);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, W, H);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, W, H);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
  }
  ~Framebuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &colour);
    glDeleteRenderbuffers(1, &depth);
    glDeleteFramebuffers(1, &fbo);
  }
  Framebuffer(const Framebuffer&) = delete;
  Framebuffer& operator=(const Framebuffer&) = delete;
  bool Complete() const {
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }
};

void CheckSize(int W, int H) {
  if (W < 1 || H < 1 || W > 8192 || H > 8192)
    throw Error("render: picture size " + std::to_string(W) + "x" + std::to_string(H) +
                " is not within 1..8192");
}

}  // namespace

// The context, its surface (a small pbuffer where the display needs one: we draw into
// framebuffer objects) and the renderer's GL objects in it.
struct Offscreen::Context {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  EGLSurface surface = EGL_NO_SURFACE;
  std::unique_ptr<GlRenderer> renderer;

  Context() = default;
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Releases whatever Open made, also when it stopped half way.
  ~Context() {
    if (display != EGL_NO_DISPLAY) Close();
    // This thread's own EGL state, which the next use makes afresh (there is none without
    // the EGL library, and asking for it would end the program).
    if (MissingGlLibrary().empty()) eglReleaseThread();
  }

  void Close() {
    if (renderer) {
      // Its GL objects are deleted in their own context; when that cannot be made current,
      // they go with the context instead.
      if (!eglMakeCurrent(display, surface, surface, context)) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        renderer->Abandon();
      }
      renderer.reset();
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    ReleaseDisplay();
  }

  void Open() {
    display = AcquireDisplay();
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
    eglChooseConfig(display, configAttribs, &config, 1, &configs);
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     3,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    const bool surfaceless = epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context");
    if (configs < 1 && !surfaceless)
      throw Error("render: no offscreen OpenGL context: EGL has no pbuffer configuration");
    context = eglCreateContext(display, configs > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                               contextAttribs);
    if (context == EGL_NO_CONTEXT) Fail("cannot create an OpenGL 3.3 core context");
    if (!surfaceless) {
      const EGLint pbufferAttribs[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
      surface = eglCreatePbufferSurface(display, config, pbufferAttribs);
      if (surface == EGL_NO_SURFACE) Fail("cannot create a pbuffer");
    }
  }

  void MakeCurrent() {
    // The thread's API is bound afresh: releasing another Offscreen resets it.
    if (!eglBindAPI(EGL_OPENGL_API) || !eglMakeCurrent(display, surface, surface, context))
      throw Error("render: " + EglErrorText("cannot make the offscreen context current"));
  }

  [[noreturn]] static void Fail(const char* what) {
    throw Error("render: no offscreen OpenGL context: " + EglErrorText(what));
  }
};

Offscreen::Offscreen() : context_(std::make_unique<Context>()) { context_->Open(); }

Offscreen::~Offscreen() = default;

Image Offscreen::Render(World& world, int W, int H, const RenderOptions& opts) {
  CheckSize(W, H);
  context_->MakeCurrent();
  if (!context_->renderer) context_->renderer = std::make_unique<GlRenderer>();
  GlRenderer& renderer = *context_->renderer;
  // The world's meshes may have been replaced since the last picture.
  renderer.ForgetMeshes();

  GLint maxSamples = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  const int samples = std::clamp(opts.samples, 0, static_cast<int>(maxSamples));
  GLint maxViewport[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  if (W > maxViewport[0] || H > maxViewport[1])
    throw Error("render: this OpenGL draws pictures of at most " + std::to_string(maxViewport[0]) +
                "x" + std::to_string(maxViewport[1]) + " pixels");

  // A large picture is drawn a tile at a time into one framebuffer of a tile's size, so the
  // memory a picture takes (multisampled, its samples' colour and depth) does not grow with it
  // beyond the picture itself: 0.5 GB at 8192 x 8192, not 3.2. The module's HUD is asked for
  // once.
  const int tileSize = std::max(opts.tileSize, 16);
  const int tileW = std::min(W, tileSize), tileH = std::min(H, tileSize);
  Framebuffer target(tileW, tileH, samples > 1 ? samples : 0);
  if (!target.Complete()) throw Error("render: the offscreen framebuffer is incomplete");
  std::optional<Framebuffer> resolved;
  if (samples > 1) resolved.emplace(tileW, tileH, 0);

  const Camera camera =
      opts.camera ? *opts.camera : DefaultCamera(world, static_cast<double>(W) / H);
  const GlRenderer::Frame frame = renderer.Capture(world, W, H, opts, camera);

  Image image;
  image.width = W;
  image.height = H;
  image.rgb.resize(static_cast<std::size_t>(W) * static_cast<std::size_t>(H) * 3);
  std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileW) * tileH * 3);
  for (int y0 = 0; y0 < H; y0 += tileH)
    for (int x0 = 0; x0 < W; x0 += tileW) {
      const int w = std::min(tileW, W - x0), h = std::min(tileH, H - y0);
      glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
      renderer.Draw(frame, x0, y0);
      if (resolved) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved->fbo);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      }
      glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved ? resolved->fbo : target.fbo);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, tile.data());
      // OpenGL's rows run bottom to top; the picture's top to bottom.
      const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
      for (int row = 0; row < h; ++row) {
        const std::size_t pictureRow = static_cast<std::size_t>(H - 1 - (y0 + row));
        std::copy_n(
            tile.data() + static_cast<std::size_t>(row) * rowBytes, rowBytes,
            image.rgb.data() +
                (pictureRow * static_cast<std::size_t>(W) + static_cast<std::size_t>(x0)) * 3);
      }
    }
  glFinish();
  return image;
}

void WritePng(const Image& image, const std::filesystem::path& file) {
  if (image.width < 1 || image.height < 1 ||
      image.rgb.size() !=
          static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3)
    throw Error("render: not a picture", file.string());
  // The encoder hands over the whole file at once; it is written from the encoder's own buffer.
  struct Sink {
    const std::filesystem::path* file;
    std::string reason;
    bool called = false;
  } sink{&file, {}, false};
  const auto write = [](void* ctx, void* data, int size) {
    auto* to = static_cast<Sink*>(ctx);
    if (to->called) {  // a second piece would replace the first
      to->reason = "the encoder gave the picture in pieces";
      return;
    }
    to->called = true;
    to->reason = platform::WriteFile(*to->file, std::string_view(static_cast<const char*>(data),
                                                                 static_cast<std::size_t>(size)));
  };
  if (!stbi_write_png_to_func(write, &sink, image.width, image.height, 3, image.rgb.data(),
                              image.width * 3) ||
      !sink.called)
    throw Error("render: cannot encode the picture", file.string());
  if (!sink.reason.empty()) throw Error("cannot write the picture: " + sink.reason, file.string());
}

void RenderToPng(World& world, const std::filesystem::path& file, int W, int H,
                 const RenderOptions& opts) {
  CheckSize(W, H);
  Image image = Offscreen().Render(world, W, H, opts);
  WritePng(image, file);
}

}  // namespace hostsim::render
