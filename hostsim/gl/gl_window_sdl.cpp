// The window on Linux: SDL2 with an OpenGL context, its events told in the window's own form.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "hostsim/gl/gl_context.h"
#include "hostsim/gl/loaded_libraries.h"
#include "hostsim/keys/keys.h"
#include "hostsim/platform/dynlib.h"

namespace hostsim::render {
namespace {

// Why no window can be seen here, or "" when there may be a display. Without one the video
// layer falls back to drawing into memory, and the window would run on unseen.
std::string NoDisplay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  const std::string name = driver ? driver : "";
  if (name != "offscreen" && name != "dummy" && name != "evdev") return {};
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return "DISPLAY is not set";
  return std::string("cannot connect to the display \"") + display + "\"";
}

// Starts the video layer. Where it cannot reach an X display it tries a Wayland desktop,
// whose client library looks for the desktop's socket in XDG_RUNTIME_DIR and, when that is
// unset or not an absolute path, says on the terminal that it is invalid. Without
// WAYLAND_DISPLAY no Wayland desktop was asked for, and that line is noise beside the error
// that says there is no display: the try then looks in a private empty folder instead (made
// with mode 0700 for the start alone, then removed) and finds nothing there in silence. With
// WAYLAND_DISPLAY set the line may be the reason there is no window, and it stays.
int StartVideo() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((runtime != nullptr && runtime[0] == '/') || (wayland != nullptr && *wayland != '\0'))
    return SDL_Init(SDL_INIT_VIDEO);
  const std::optional<std::string> before =
      runtime != nullptr ? std::optional<std::string>(runtime) : std::nullopt;
  std::error_code ec;
  std::string folder = (std::filesystem::temp_directory_path(ec) / "hostsim-XXXXXX").string();
  if (ec || folder[0] != '/' || mkdtemp(folder.data()) == nullptr) return SDL_Init(SDL_INIT_VIDEO);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  const int status = SDL_Init(SDL_INIT_VIDEO);
  if (before)
    setenv("XDG_RUNTIME_DIR", before->c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
  std::filesystem::remove_all(folder, ec);
  return status;
}

class SdlWindow final : public GlWindow {
 public:
  SdlWindow() = default;
  ~SdlWindow() override {
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
  }
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  // The video layer is started; opens the window and its context.
  bool Open(const std::string& title, int width, int height, std::string& why) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    const std::uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    // Multisampled when the display offers it, plain otherwise.
    for (int samples : {4, 0}) {
      SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
      SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
      window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                 width, height, flags);
      if (!window_) continue;
      context_ = SDL_GL_CreateContext(window_);
      if (context_) break;
      SDL_DestroyWindow(window_);
      window_ = nullptr;
    }
    if (!window_ || !context_) {
      why = std::string("cannot open an OpenGL 3.3 window: ") + SDL_GetError();
      // The video layer opens the system's GL library by name; without it the window has no
      // OpenGL at all, which a package brings.
      std::string reason;
      if (platform::OpenLibrary("libGL.so.1", reason) == nullptr)
        why += "\ncannot load libGL.so.1 (" + reason +
               "): install it (the Debian package libgl1) and a GL driver (libgl1-mesa-dri)";
      return false;
    }
    // Swaps wait for the display where it offers that; the loop keeps to 60 frames a second
    // where it does not.
    SDL_GL_SetSwapInterval(1);
    // Text input stays on: turned on only once a box is open, the characters typed right
    // after the opening key, read in the same batch of events, would come without text.
    SDL_StartTextInput();
    return true;
  }

  bool NextEvent(WindowEvent& out, int timeoutMs) override {
    SDL_Event e;
    if (!(timeoutMs > 0 ? SDL_WaitEventTimeout(&e, timeoutMs) : SDL_PollEvent(&e))) return false;
    out = WindowEvent{};
    switch (e.type) {
      case SDL_QUIT:
        out.type = WindowEvent::Type::Close;
        break;
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_FOCUS_LOST:
            out.type = WindowEvent::Type::FocusLost;
            break;
          case SDL_WINDOWEVENT_HIDDEN:
          case SDL_WINDOWEVENT_MINIMIZED:
            out.type = WindowEvent::Type::Hidden;
            break;
          default:  // shown, exposed, resized, restored: draw again
            out.type = WindowEvent::Type::Shown;
            break;
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        out.type = e.type == SDL_KEYDOWN ? WindowEvent::Type::KeyDown : WindowEvent::Type::KeyUp;
        out.key = Set1Code(e.key.keysym.scancode);
        out.repeat = e.key.repeat != 0;
        out.shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
        if (e.key.keysym.sym >= SDLK_a && e.key.keysym.sym <= SDLK_z)
          out.letter = static_cast<char>(e.key.keysym.sym);
        break;
      case SDL_TEXTINPUT:
        out.type = WindowEvent::Type::Text;
        out.text = e.text.text;
        break;
      case SDL_MOUSEMOTION:
        out.type = WindowEvent::Type::Mouse;
        out.dx = e.motion.xrel;
        out.dy = e.motion.yrel;
        out.orbit = (e.motion.state & SDL_BUTTON_LMASK) != 0;
        out.pan = (e.motion.state & (SDL_BUTTON_RMASK | SDL_BUTTON_MMASK)) != 0;
        break;
      case SDL_MOUSEWHEEL:
        out.type = WindowEvent::Type::Wheel;
        out.wheel = e.wheel.y;
        break;
      default:
        break;
    }
    return true;
  }

  void DrawableSize(int& W, int& H) const override {
    SDL_GL_GetDrawableSize(window_, &W, &H);
    W = std::max(W, 1);
    H = std::max(H, 1);
  }

  void Swap() override { SDL_GL_SwapWindow(window_); }

  void Close(const std::set<std::string>& notKept) override {
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    context_ = nullptr;
    window_ = nullptr;
    KeepLoadedSince(notKept);
  }

 private:
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
};

}  // namespace

std::unique_ptr<GlWindow> GlWindow::Open(const std::string& title, int W, int H, bool ownSignals,
                                         std::string& why) {
  // The program handles the signals that ask it to stop; the layer would make them a close
  // of the window, which asks before it quits.
  if (ownSignals) SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // What the video layer loads (the display's client libraries, the GL driver, the session
  // bus library) stays loaded after it quits: see loaded_libraries.h.
  const std::set<std::string> before = LoadedLibraries();
  if (StartVideo() != 0) {
    why = std::string("cannot open a window: ") + SDL_GetError();
    return nullptr;
  }
  auto window = std::make_unique<SdlWindow>();
  if (const std::string none = NoDisplay(); !none.empty()) {
    why = "no display to open the window on: " + none;
    return nullptr;
  }
  if (!window->Open(title, W, H, why)) {
    window->Close(before);
    return nullptr;
  }
  return window;
}

}  // namespace hostsim::render
