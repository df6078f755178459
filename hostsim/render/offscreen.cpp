// Pictures without a display: an offscreen context (gl_context.h) drawing into a multisampled
// framebuffer object, read back and written as PNG. Everything is released again with the
// Offscreen that made it.
#include <stb/stb_image_write.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "hostsim/gl/gl_api.h"
#include "hostsim/gl/gl_context.h"
#include "hostsim/platform/files.h"
#include "hostsim/render/gl_renderer.h"
#include "hostsim/render/render.h"

namespace hostsim::render {
namespace {

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

// The context and the renderer's GL objects in it.
struct Offscreen::Context {
  std::unique_ptr<GlContext> gl = GlContext::Create();
  std::unique_ptr<GlRenderer> renderer;

  Context() = default;
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  ~Context() {
    // The renderer's GL objects are deleted in their own context; when that cannot be made
    // current, they go with the context instead.
    if (renderer && !gl->MakeCurrent()) renderer->Abandon();
    renderer.reset();
  }

  void MakeCurrent() {
    if (!gl->MakeCurrent()) throw Error("render: " + gl->CurrentError());
  }
};

Offscreen::Offscreen() : context_(std::make_unique<Context>()) {}

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
  if (!renderer.LastLighting().note.empty()) image.notes.push_back(renderer.LastLighting().note);
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

std::vector<std::string> RenderToPng(World& world, const std::filesystem::path& file, int W, int H,
                                     const RenderOptions& opts) {
  CheckSize(W, H);
  Image image = Offscreen().Render(world, W, H, opts);
  WritePng(image, file);
  return std::move(image.notes);
}

}  // namespace hostsim::render
