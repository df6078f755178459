// Draws a captured scene, the HUD and the window's overlays with OpenGL 3.3 core into the
// framebuffer that is bound. Needs a current context for its whole life.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/gl/gl_api.h"
#include "hostsim/render/camera.h"
#include "hostsim/render/font.h"
#include "hostsim/render/lighting.h"
#include "hostsim/render/math.h"
#include "hostsim/render/render.h"
#include "hostsim/render/scene.h"

namespace hostsim::render {

class GlRenderer {
 public:
  // Compiles the shaders; throws hostsim::Error when the context cannot run them.
  GlRenderer();
  ~GlRenderer();
  GlRenderer(const GlRenderer&) = delete;
  GlRenderer& operator=(const GlRenderer&) = delete;

  // What one picture of the world shows, taken from it once: the scene, the camera and the
  // focused vessel's HUD (when asked), for a W x H picture.
  struct Frame {
    int W = 0, H = 0;
    Scene scene;
    Camera camera;
    RenderOptions opts;
    std::vector<HudOp> hud;
    std::uint64_t serial = 0;  // tells frames apart: its lights are sorted once, for all tiles
  };
  Frame Capture(World& world, int W, int H, const RenderOptions& opts, const Camera& camera);
  // Draws the frame into the bound framebuffer, whose pixel (0, 0) is the picture's pixel
  // (x0, y0) counted from its bottom left: a framebuffer smaller than the picture receives
  // that part of it, exactly as drawn whole.
  void Draw(const Frame& frame, int x0 = 0, int y0 = 0);
  // Draws the world (and, when asked, the focused vessel's HUD) into a W x H viewport.
  void DrawWorld(World& world, int W, int H, const RenderOptions& opts, const Camera& camera);

  // How the last frame drawn was lit: the lights that reached its view, and of those that
  // could cast a shadow, how many did.
  struct Lighting {
    int lightsInView = 0;
    int shadowCandidates = 0;
    int shadowCasters = 0;
    std::string note;  // what was left out, in words (ShadowNote); empty when nothing
  };
  const Lighting& LastLighting() const { return lighting_; }

  // Overlays, in pixels with y down.
  void FillRect(int W, int H, float x, float y, float w, float h, const float rgba[4]);
  // Draws 8-bit text with its top-left corner at (x, y); `pixelHeight` picks the font size.
  // Returns the width drawn; 0 when no font could be loaded.
  float DrawText(int W, int H, float x, float y, std::string_view text, const float rgba[4],
                 float pixelHeight, bool shadow = true);
  float TextWidth(std::string_view text, float pixelHeight);

  // Drops the GPU copies of meshes (to be called when the meshes they came from may be gone).
  void ForgetMeshes();
  // Forgets its GL objects without deleting them, for when its context cannot be made
  // current: they go with the context. Makes no GL call, then or when destroyed.
  void Abandon();

 private:
  struct GroupBuffers {
    GLuint vao = 0, vbo = 0, ebo = 0;
    GLsizei count = 0;
    VECTOR3 centre{};  // a sphere around the group's vertices, in the mesh's frame
    double radius = 0;
  };
  struct MeshBuffers {
    std::vector<GroupBuffers> groups;
  };

  const MeshBuffers& Buffers(const Mesh& mesh);
  // Lists the frame's lights per cluster and draws its shadow maps, once per frame.
  void PrepareLights(const Frame& frame, const CameraMatrices& cam);
  void DrawShadowMaps(const Scene& scene, const ShadowPlan& plan);
  void DrawScene(const Scene& scene, const CameraMatrices& cam, const Camera& camera,
                 const RenderOptions& opts, int x0, int y0);
  void DrawBeacons(const Scene& scene, const CameraMatrices& cam);
  void DrawHud(const std::vector<HudOp>& ops, int W, int H);
  // Triangles given as x, y pairs in pixels, in one colour.
  void DrawSolid(int W, int H, const std::vector<float>& xy, const float rgba[4]);
  Font* FontFor(float pixelHeight);

  GLuint meshProgram_ = 0, spriteProgram_ = 0, overlayProgram_ = 0, shadowProgram_ = 0;
  // The lights of the frame, their clusters' lists (texture buffers), and the shadow maps
  // (a depth texture array of kShadowMapSize squares) with the framebuffer that draws them.
  GLuint lightsBuf_ = 0, lightsTex_ = 0, clustersBuf_ = 0, clustersTex_ = 0, indicesBuf_ = 0,
         indicesTex_ = 0;
  GLuint shadowTex_ = 0, shadowFbo_ = 0;
  int shadowLayers_ = 0;  // layers the texture array has
  std::size_t maxTexels_ = 0;
  std::uint64_t preparedSerial_ = 0;  // the frame whose lights are in the buffers
  ClusterGrid grid_;
  std::vector<float> shadowMats_;  // kShadowLayers matrices, for the mesh shader
  Lighting lighting_;
  GLuint groundVao_ = 0, groundVbo_ = 0;
  GLuint spriteVao_ = 0, spriteVbo_ = 0;
  GLuint overlayVao_ = 0, overlayVbo_ = 0;
  std::map<const MeshFile*, MeshBuffers> meshes_;  // by file: its templates share its groups
  const World* meshesOf_ = nullptr;

  struct FontAtlas {
    std::optional<Font> font;
    GLuint texture = 0;
  };
  std::map<int, FontAtlas> fonts_;  // by pixel height
  bool fontMissing_ = false;
  bool abandoned_ = false;
};

}  // namespace hostsim::render
