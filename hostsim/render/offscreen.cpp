// Pictures without a display: an offscreen context (gl_context.h) drawing into a multisampled
// framebuffer object, read back and written as PNG. Everything is released again with the
// Offscreen that made it.
#include <stb/stb_image_write.h>

#include <algorithm>
#include <memory>
#include <string>

#include "hostsim/platform/files.h"
#include "hostsim/render/gl_api.h"
#include "hostsim/render/gl_context.h"
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
  Framebuffer target(W, H, samples > 1 ? samples : 0);
  if (!target.Complete()) throw Error("render: the offscreen framebuffer is incomplete");

  const Camera camera =
      opts.camera ? *opts.camera : DefaultCamera(world, static_cast<double>(W) / H);
  renderer.DrawWorld(world, W, H, opts, camera);

  Image image;
  image.width = W;
  image.height = H;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(W) * static_cast<std::size_t>(H) * 4);
  if (samples > 1) {
    Framebuffer resolved(W, H, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved.fbo);
    glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved.fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  } else {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  }
  glFinish();
  // OpenGL's rows run bottom to top; the picture's top to bottom.
  image.rgb.resize(static_cast<std::size_t>(W) * static_cast<std::size_t>(H) * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::size_t src = (static_cast<std::size_t>(H - 1 - y) * static_cast<std::size_t>(W) +
                               static_cast<std::size_t>(x)) *
                              4;
      const std::size_t dst = (static_cast<std::size_t>(y) * static_cast<std::size_t>(W) +
                               static_cast<std::size_t>(x)) *
                              3;
      image.rgb[dst] = rgba[src];
      image.rgb[dst + 1] = rgba[src + 1];
      image.rgb[dst + 2] = rgba[src + 2];
    }
  return image;
}

void WritePng(const Image& image, const std::filesystem::path& file) {
  if (image.width < 1 || image.height < 1 ||
      image.rgb.size() !=
          static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3)
    throw Error("render: not a picture", file.string());
  std::vector<unsigned char> png;
  const auto sink = [](void* ctx, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(ctx);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(sink, &png, image.width, image.height, 3, image.rgb.data(),
                              image.width * 3))
    throw Error("render: cannot encode the picture", file.string());
  const std::string_view bytes(reinterpret_cast<const char*>(png.data()), png.size());
  if (std::string reason = platform::WriteFile(file, bytes); !reason.empty())
    throw Error("cannot write the picture: " + reason, file.string());
}

void RenderToPng(World& world, const std::filesystem::path& file, int W, int H,
                 const RenderOptions& opts) {
  CheckSize(W, H);
  Image image = Offscreen().Render(world, W, H, opts);
  WritePng(image, file);
}

}  // namespace hostsim::render
