// hostsim play: the world in a window in real time, drawn by the renderer (render.h) in a
// window of the system seam (hostsim/gl/), with the keys, the mouse, input boxes, saving,
// recording and live reload of module libraries.
#pragma once

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "hostsim/play/play_recorder.h"
#include "hostsim/render/render.h"
#include "hostsim/world.h"

namespace hostsim::render {

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
