// The system's side of the renderer: an OpenGL 3.3 core context without a window (pictures
// drawn into framebuffer objects), and a window with such a context, its events in a form of
// the window's own. Linux: EGL and SDL2 (gl_context_egl.cpp, gl_window_sdl.cpp). Windows: the
// Win32 API and WGL (gl_context_wgl.cpp, gl_window_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace hostsim::render {

// An offscreen context. Destroying it releases the context and whatever the system made for
// it (on Linux this thread's EGL state and, with the last one, the EGL display).
class GlContext {
 public:
  // Throws hostsim::Error, naming what is missing, when no context can be had.
  static std::unique_ptr<GlContext> Create();
  virtual ~GlContext() = default;
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;

  // Makes the context current on this thread; false when it cannot be.
  virtual bool MakeCurrent() = 0;
  // Why the last MakeCurrent failed, in words.
  virtual std::string CurrentError() = 0;

 protected:
  GlContext() = default;
};

// What happened to a window, in the order it happened.
struct WindowEvent {
  enum class Type { Other, Close, FocusLost, Hidden, Shown, KeyDown, KeyUp, Text, Mouse, Wheel };
  Type type = Type::Other;
  // KeyDown, KeyUp: the key's set-1 code (hostsim/keys/keys.h; 0 for a key without one),
  // whether it repeats while held, whether a shift key is down, and the letter the keyboard
  // layout puts on it ('a' to 'z'; 0 for other keys).
  std::uint8_t key = 0;
  bool repeat = false;
  bool shift = false;
  char letter = 0;
  std::string text;    // Text: what was typed, UTF-8
  int dx = 0, dy = 0;  // Mouse: how far the pointer moved, in pixels
  bool orbit = false;  // Mouse: with the left button down
  bool pan = false;    // Mouse: with the right or the middle button down
  double wheel = 0;    // Wheel: notches, away from the user positive
};

// A window with an OpenGL 3.3 core context current on the thread that opened it.
class GlWindow {
 public:
  // Opens the window, the context current; null with the reason in `why` (one or more lines,
  // each to follow "hostsim play: ") when it cannot. `ownSignals`: the program handles the
  // signals that ask it to stop, which the window layer must leave alone.
  static std::unique_ptr<GlWindow> Open(const std::string& title, int W, int H, bool ownSignals,
                                        std::string& why);
  virtual ~GlWindow() = default;
  GlWindow(const GlWindow&) = delete;
  GlWindow& operator=(const GlWindow&) = delete;

  // The next event, waiting for one up to `timeoutMs` milliseconds (0: only what is there).
  virtual bool NextEvent(WindowEvent& e, int timeoutMs) = 0;
  // The size of what is drawn, in pixels (at least 1 x 1).
  virtual void DrawableSize(int& W, int& H) const = 0;
  // Shows what was drawn.
  virtual void Swap() = 0;
  // Closes the window and its context; the window layer itself stays until the object goes,
  // and with it what it loaded but for the libraries loaded since then, save `notKept`
  // (see loaded_libraries.h).
  virtual void Close(const std::set<std::string>& notKept) = 0;

 protected:
  GlWindow() = default;
};

}  // namespace hostsim::render
