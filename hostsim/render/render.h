// hostsim's pictures: draws the world the host holds — vessel meshes posed by their
// animations, their materials, spot and point lights, beacons, a ground plane under a night
// sky, and the focused vessel's HUD — with OpenGL 3.3, either into a PNG file (an offscreen
// context, no display needed) or live in a window (Play).
#pragma once

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/render/play_recorder.h"
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
  std::optional<Camera> camera;   // none: frame the focused vessel (DefaultCamera)
  bool hud = true;                // the focused vessel's HUD text on top
  bool beacons = true;            // beacon sprites
  bool ground = true;             // the ground plane
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
  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)) *
                3];
  }
};

// An offscreen OpenGL context (EGL; works without a display) with the renderer's GL objects
// in it. Making one is slow in software, so pictures taken in a row share one. Destroying it
// releases all it made: the GL objects, the context and its surface, this thread's EGL state
// and, with the last Offscreen of the process, the EGL display. Used by one thread at a time.
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
// Throws hostsim::Error on failure, leaving no partial file.
void RenderToPng(World& world, const std::filesystem::path& file, int W, int H,
                 const RenderOptions& opts = {});

// A picture size written "WxH" (e.g. "800x500"), each side 1 to 8192; none otherwise.
std::optional<std::pair<int, int>> ParseSize(std::string_view text);

// Writes a picture as a PNG file the same way.
void WritePng(const Image& image, const std::filesystem::path& file);

struct PlayOptions {
  std::filesystem::path scenario;  // the scenario loaded: saved over only when chosen
  std::filesystem::path saveAs;    // what F2 offers to save to; empty: a new name beside it
  std::string title = "hostsim";
  int width = 1024, height = 640;
  RenderOptions render;
  // When set, the scenario text is written here when the window closes (for scripted checks;
  // the environment variable HOSTSIM_PLAY_DUMP does the same).
  std::filesystem::path dumpOnExit;
  PlayRecorder* recorder = nullptr;  // told every action when set, before it is done
  // Why the window may not write a file (a save, F2's typed path, the dump on exit): it is an
  // input of the run, the recording, no regular file...; "" when it may. Unset: the writer's
  // own refusals alone.
  std::function<std::string(const std::filesystem::path& file)> outputReason;
  // Tells what the window should say about a callback that has been running for a long time
  // (a watchdog on another thread sees it while the window cannot); "" when there is nothing
  // new to say. Unset: nothing is told.
  std::function<std::string()> slowCallback;
  // When set, the window closes at once, without asking and without saving, once this holds
  // a value other than 0 (a signal asked the program to stop); the system's own handling of
  // such signals by the window layer is turned off.
  const volatile std::sig_atomic_t* stop = nullptr;
  // Loads a module's library again (see World::ReloadModule); returns "" when the world runs
  // on the new library, else why it was not reloaded (the world is then as it was). Unset:
  // the window reloads nothing.
  std::function<std::string(const std::string& module)> reload;
  // Whether the window watches the files of the module libraries its world loaded and reloads
  // one that was rebuilt, once it has stopped changing (with `reload`), and the class
  // configurations, meshes and material libraries it read, loading the world again with an
  // edited one (World::ReloadFiles).
  bool watch = false;
  // How F7 writes the window's camera: as the option that takes a picture from where the
  // camera stands. Unset: F7 writes nothing.
  std::function<std::string(const Camera& camera)> cameraText;
};

// The time step of the window's world, whatever the drawing rate: fixed, so that a recorded
// session runs again to the same state.
inline constexpr double kPlayStep = 0.02;

// Whether this build can open a window (Play).
bool PlayAvailable();

// Runs the world in a window in real time, in time steps of kPlayStep, until it is closed
// (or Escape is pressed while no input box is open; with unsaved changes the window asks
// first). A key pressed reaches the focused vessel as a key event (pressed and released at
// once) and, while it is held, as a held key every time step; the input boxes are answered in
// the window; F4 gives the focus to the next vessel (Shift+F4: the one before) and F5 to a
// vessel by name; F6 reloads every module library and reads the class configurations, meshes
// and material libraries again, and while `watch` is on a library that was rebuilt is
// reloaded by itself, an edited file of those read again; the mouse orbits (left drag), pans
// (right drag) and zooms (wheel) the camera, F3 puts it back and F7 writes it (cameraText) on
// the standard output and in the status bar; F2 saves the scenario to a file named in a box (a
// new one by default; replacing a file is confirmed). Frames are drawn only when something
// changed, at most 60 a second, and none while the window is hidden. A world whose journal is
// on keeps every call of the window's session: turn it off, or bound it (Journal::KeepLast),
// for a long one. Returns 0, or 1 with a message on stderr when no window can be opened.
int Play(World& world, const PlayOptions& opts);

}  // namespace hostsim::render
