// hostsim's pictures: draws the world the host holds — vessel meshes posed by their
// animations, their materials, spot and point lights, beacons, a ground plane under a night
// sky, and the focused vessel's HUD — with OpenGL 3.3, either into a PNG file (an offscreen
// context, no display needed) or live in a window (hostsim/play/play.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/world.h"

namespace hostsim::render {

// An orbit camera: it looks at `target` from `distance` metres away, from the direction
// given by `yaw` (radians about +y, 0 = from the +z side) and `pitch` (radians above the
// horizontal).
struct Camera {
  VECTOR3 target{0, 0, 0};
  double yaw = 0.0;
  double pitch = 0.35;
  double distance = 5.0;
  double fovY = 0.80;  // vertical field of view, radians

  VECTOR3 Eye() const;
};

struct RenderOptions {
  std::optional<Camera> camera;  // none: frame the focused vessel (DefaultCamera)
  bool hud = true;               // the focused vessel's HUD text on top
  bool beacons = true;           // beacon sprites
  bool ground = true;            // the ground plane
  // Spot and point lights cast shadows (off: every light lights all it reaches, through
  // anything, as for a quick look or a measure of what shadows cost).
  bool shadows = true;
  double ambient = 0.02;          // night-time ambient light level
  double moonlight = 0.05;        // a faint light from above so shapes read in the dark
  double exposure = 3.2;          // scale of the vessels' lights against the ambient
  std::optional<double> groundY;  // none: just under the lowest vessel
  int samples = 4;                // multisampling of offscreen pictures (0 or 1: none)
  // The largest part of an offscreen picture drawn at once, in pixels across and down: a larger
  // picture is drawn a tile at a time, so its multisampled buffers take a tile's memory. A
  // tiled picture may differ from one drawn whole in the odd edge pixel, where the rounding of
  // the moved viewport puts a sample on the other side of an edge.
  int tileSize = 2048;
};

// What the focused vessel (or, without a focus, the first vessel) looks like from a little
// in front of and beside it, with its first spot light's beam in view.
Camera DefaultCamera(World& world, double aspect);

// The centre of the sphere around a vessel's meshes as the vessel stands (its position when it
// has no mesh): what a camera that looks at the vessel looks at.
VECTOR3 VesselCentre(const Vessel& vessel);

// The height of the ground plane for these options: the given one, else the lowest
// touchdown point of the vessels that stand free, else the lowest point of every vessel's
// mesh (0 when there is none).
double GroundHeight(World& world, const RenderOptions& opts = {});

// Where a world point lands in a picture of W x H pixels seen through `camera`: pixel x
// (left to right) and y (top to bottom); none when it lies behind the camera.
std::optional<std::pair<double, double>> Project(const Camera& camera, int W, int H,
                                                 const VECTOR3& point);

// An 8-bit RGB picture, rows top to bottom.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3
  // What the picture leaves out or approximates, in words for whoever asked for it (such as
  // the lights that cast no shadow for want of shadow maps), one line each.
  std::vector<std::string> notes;
  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)) *
                3];
  }
};

// An offscreen OpenGL context (hostsim/gl/: on Linux EGL, which needs no display; on Windows
// WGL on a window that is never shown) with the renderer's GL objects in it. Making one is
// slow in software, so pictures taken in a row share one. Destroying it releases all it made:
// the GL objects, the context and what the system made for it (on Linux its surface, this
// thread's EGL state and, with the last Offscreen of the process, the EGL display; on Windows
// its window). Used by one thread at a time.
class Offscreen {
 public:
  // Throws hostsim::Error when no context can be had.
  Offscreen();
  ~Offscreen();
  Offscreen(const Offscreen&) = delete;
  Offscreen& operator=(const Offscreen&) = delete;

  // Draws the world into a picture of W x H pixels. Throws hostsim::Error when the size is
  // not within 1..8192 or the context cannot draw it.
  Image Render(World& world, int W, int H, const RenderOptions& opts = {});

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// One picture in a context of its own, written as a PNG file with the host's safe writer
// (platform::WriteFile: the folder must exist, a special or read-only target is refused).
// Throws hostsim::Error on failure, leaving no partial file. Returns the picture's notes
// (Image::notes), for the user.
std::vector<std::string> RenderToPng(World& world, const std::filesystem::path& file, int W, int H,
                                     const RenderOptions& opts = {});

// A picture size written "WxH" (e.g. "800x500"), each side 1 to 8192; none otherwise.
std::optional<std::pair<int, int>> ParseSize(std::string_view text);

// Writes a picture as a PNG file the same way.
void WritePng(const Image& image, const std::filesystem::path& file);

}  // namespace hostsim::render
