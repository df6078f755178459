// The interactive window: the world runs in real time, the keyboard goes to the focused
// vessel, the input boxes are answered in the window.
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "hostsim/platform/files.h"
#include "hostsim/render/font.h"
#include "hostsim/render/gl_renderer.h"
#include "hostsim/render/keymap.h"
#include "hostsim/render/render.h"

namespace hostsim::render {
namespace {

// Appends UTF-8 text as the 8-bit characters (Windows-1252) the modules take, while `out`
// is shorter than `limit`; characters that have no such byte are dropped.
void AppendAs1252(std::string& out, const char* utf8, std::size_t limit) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s && out.size() < limit) {
    int cp = 0, extra = 0;
    if (*s < 0x80) {
      cp = *s;
    } else if ((*s & 0xE0) == 0xC0) {
      cp = *s & 0x1F;
      extra = 1;
    } else if ((*s & 0xF0) == 0xE0) {
      cp = *s & 0x0F;
      extra = 2;
    } else {
      cp = *s & 0x07;
      extra = 3;
    }
    ++s;
    for (int i = 0; i < extra && (*s & 0xC0) == 0x80; ++i, ++s) cp = (cp << 6) | (*s & 0x3F);
    for (int b = 0x20; b < 0x100; ++b)
      if (b != 0x7F && Font::CodePoint(static_cast<unsigned char>(b)) == cp) {
        out.push_back(static_cast<char>(b));
        break;
      }
  }
}

class Window {
 public:
  Window(World& world, const PlayOptions& opts) : world_(world), opts_(opts) {}

  int Run();

 private:
  bool Open();
  void HandleEvent(const SDL_Event& e);
  void HandleKey(const SDL_KeyboardEvent& k);
  void TakeKeyboard(bool byKey);
  // How many characters the open box takes: the length the module opened it with.
  std::size_t BoxLimit() const {
    const InputBox* box = world_.OpenBox();
    return box && box->length > 0 ? static_cast<std::size_t>(box->length) : 255;
  }
  void DrawFrame();
  void DrawBox(int W, int H);
  void DrawStatus(int W, int H);
  void Save();
  void Say(std::string text) {
    message_ = std::move(text);
    messageUntil_ = SDL_GetTicks64() + 4000;
  }
  void DrawableSize(int& W, int& H) const {
    SDL_GL_GetDrawableSize(window_, &W, &H);
    W = std::max(W, 1);
    H = std::max(H, 1);
  }
  void ResetCamera() {
    int W = 0, H = 0;
    DrawableSize(W, H);
    camera_ = opts_.render.camera ? *opts_.render.camera
                                  : DefaultCamera(world_, static_cast<double>(W) / H);
  }

  World& world_;
  const PlayOptions& opts_;
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  std::optional<GlRenderer> renderer_;
  Camera camera_;
  bool quit_ = false;
  bool boxOpen_ = false;
  std::string boxText_;
  bool skipOpenerText_ = false;  // the text of the key that opened the box is not typed
  std::string message_;
  std::uint64_t messageUntil_ = 0;
};

bool Window::Open() {
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
    window_ = SDL_CreateWindow(opts_.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               std::max(opts_.width, 64), std::max(opts_.height, 64), flags);
    if (!window_) continue;
    context_ = SDL_GL_CreateContext(window_);
    if (context_) break;
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  if (!window_ || !context_) {
    std::cerr << "hostsim play: cannot open an OpenGL 3.3 window: " << SDL_GetError() << "\n";
    return false;
  }
  SDL_GL_SetSwapInterval(1);
  try {
    renderer_.emplace();
  } catch (const Error& e) {
    std::cerr << "hostsim play: " << e.what() << "\n";
    return false;
  }
  return true;
}

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

int Window::Run() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::cerr << "hostsim play: cannot open a window: " << SDL_GetError() << "\n";
    return 1;
  }
  if (const std::string why = NoDisplay(); !why.empty()) {
    std::cerr << "hostsim play: no display to open the window on: " << why << "\n";
    SDL_Quit();
    return 1;
  }
  int status = 0;
  // A long session would fill memory with the record of every frame's calls.
  const bool journalWas = world_.journal().Enabled();
  world_.journal().SetEnabled(false);
  if (Open()) {
    // Text input stays on: turned on only once a box is open, the characters typed right
    // after the opening key, read in the same batch of events, would come without text.
    SDL_StartTextInput();
    ResetCamera();
    std::uint64_t last = SDL_GetPerformanceCounter();
    const double freq = static_cast<double>(SDL_GetPerformanceFrequency());
    while (!quit_) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) HandleEvent(e);
      if (quit_) break;
      const std::uint64_t now = SDL_GetPerformanceCounter();
      const double dt = std::clamp(static_cast<double>(now - last) / freq, 0.0, 0.1);
      last = now;
      try {
        world_.Step(dt);
      } catch (const std::exception& ex) {
        Say(std::string("step failed: ") + ex.what());
      }
      if (boxOpen_ && !world_.OpenBox()) {  // closed by someone else
        boxOpen_ = false;
      } else if (!boxOpen_ && world_.OpenBox()) {  // opened during the time step
        TakeKeyboard(false);
      }
      DrawFrame();
      SDL_GL_SwapWindow(window_);
      // Without a display that waits for the screen, keep to about 60 frames a second.
      const double spent = static_cast<double>(SDL_GetPerformanceCounter() - now) / freq;
      if (spent < 1.0 / 60) SDL_Delay(static_cast<std::uint32_t>((1.0 / 60 - spent) * 1000));
    }
  } else {
    status = 1;
  }

  std::filesystem::path dump = opts_.dumpOnExit;
  if (const char* env = std::getenv("HOSTSIM_PLAY_DUMP"); dump.empty() && env && *env) dump = env;
  if (!dump.empty()) {
    if (std::string reason = platform::WriteFile(dump, world_.ScenarioText()); !reason.empty())
      std::cerr << "hostsim play: " << dump.string() << ": cannot write: " << reason << "\n";
  }
  renderer_.reset();
  if (context_) SDL_GL_DeleteContext(context_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
  world_.journal().SetEnabled(journalWas);
  return status;
}

void Window::HandleEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      quit_ = true;
      break;
    case SDL_WINDOWEVENT:
      // Keys held while the window loses the keyboard would otherwise stay down.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) world_.ReleaseAllKeys();
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      HandleKey(e.key);
      break;
    case SDL_TEXTINPUT:
      if (skipOpenerText_)
        skipOpenerText_ = false;
      else if (boxOpen_)
        AppendAs1252(boxText_, e.text.text, BoxLimit());
      break;
    case SDL_MOUSEMOTION:
      if (e.motion.state & SDL_BUTTON_LMASK) {
        camera_.yaw -= e.motion.xrel * 0.008;
        camera_.pitch = std::clamp(camera_.pitch + e.motion.yrel * 0.006, -0.2, 1.5);
      } else if (e.motion.state & (SDL_BUTTON_RMASK | SDL_BUTTON_MMASK)) {
        // Pan in the ground plane, as far as the pointer moved at the target's distance.
        const double k = camera_.distance * 0.0016;
        const double sx = std::cos(camera_.yaw), sz = -std::sin(camera_.yaw);
        const double fx = -std::sin(camera_.yaw), fz = -std::cos(camera_.yaw);
        camera_.target.x -= (sx * e.motion.xrel - fx * e.motion.yrel) * k;
        camera_.target.z -= (sz * e.motion.xrel - fz * e.motion.yrel) * k;
      }
      break;
    case SDL_MOUSEWHEEL:
      camera_.distance = std::clamp(camera_.distance * std::pow(0.88, e.wheel.y), 0.3, 2000.0);
      break;
    default:
      break;
  }
}

void Window::HandleKey(const SDL_KeyboardEvent& k) {
  const bool down = k.type == SDL_KEYDOWN;
  const SDL_Scancode sc = k.keysym.scancode;
  if (boxOpen_) {
    // The box has the keyboard; typed characters arrive as text input, each after its key.
    if (!down) return;
    skipOpenerText_ = false;  // the opening key made no text: this key's text is typed
    if (sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER) {
      boxOpen_ = false;
      try {
        const bool accepted = world_.AnswerBox(boxText_);
        if (!accepted) Say("the vessel did not take \"" + boxText_ + "\"");
      } catch (const std::exception& ex) {
        Say(ex.what());
      }
    } else if (sc == SDL_SCANCODE_ESCAPE) {
      boxOpen_ = false;
      world_.CancelBox();
    } else if (sc == SDL_SCANCODE_BACKSPACE && !boxText_.empty()) {
      boxText_.pop_back();
    }
    return;
  }
  // The window's own keys; they do not reach the vessel.
  if (down && sc == SDL_SCANCODE_ESCAPE) {
    quit_ = true;
    return;
  }
  if (sc == SDL_SCANCODE_F2 || sc == SDL_SCANCODE_F3) {
    if (down && !k.repeat) sc == SDL_SCANCODE_F2 ? Save() : ResetCamera();
    return;
  }
  if (k.repeat) return;  // a held key is one press: its state stays down
  const std::uint8_t code = Set1Code(sc);
  if (code == 0) return;
  world_.SetKey(code, down);
  world_.KeyEvent(code, down);
  if (world_.OpenBox()) TakeKeyboard(true);  // a key opened a box
}

void Window::TakeKeyboard(bool byKey) {
  // From now on the keys and the typing go to the box, not to the vessel.
  boxOpen_ = true;
  boxText_ = world_.OpenBox()->initial;
  skipOpenerText_ = byKey;
  world_.ReleaseAllKeys();
}

void Window::Save() {
  if (opts_.scenario.empty()) {
    Say("no scenario file to save to");
    return;
  }
  try {
    world_.SaveScenario(opts_.scenario);
    Say("saved " + opts_.scenario.string());
  } catch (const std::exception& ex) {
    Say(std::string("save failed: ") + ex.what());
  }
}

void Window::DrawFrame() {
  int W = 0, H = 0;
  DrawableSize(W, H);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  renderer_->DrawWorld(world_, W, H, opts_.render, camera_);
  if (boxOpen_) DrawBox(W, H);
  DrawStatus(W, H);
}

void Window::DrawBox(int W, int H) {
  const InputBox* box = world_.OpenBox();
  if (!box) return;
  const float px = std::max(14.0f, static_cast<float>(H) / 36.0f);
  const float pad = px * 0.8f;
  const float fieldChars = static_cast<float>(std::clamp(box->length, 10, 60));
  const float fieldW = std::max(renderer_->TextWidth("0", px) * fieldChars,
                                renderer_->TextWidth(boxText_ + "_", px));
  const float w = std::max(renderer_->TextWidth(box->title, px), fieldW) + 2 * pad;
  const float h = px * 3.2f + 2 * pad;
  const float x = (static_cast<float>(W) - w) / 2, y = static_cast<float>(H) * 0.35f - h / 2;
  const float panel[4] = {0.05f, 0.07f, 0.10f, 0.92f};
  const float frame[4] = {0.40f, 1.0f, 0.40f, 0.9f};
  const float field[4] = {0.0f, 0.0f, 0.0f, 0.9f};
  const float title[4] = {0.85f, 0.90f, 0.95f, 1.0f};
  const float text[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  renderer_->FillRect(W, H, x - 1, y - 1, w + 2, h + 2, frame);
  renderer_->FillRect(W, H, x, y, w, h, panel);
  renderer_->DrawText(W, H, x + pad, y + pad, box->title, title, px);
  const float fy = y + pad + px * 1.5f;
  renderer_->FillRect(W, H, x + pad - 4, fy - 3, w - 2 * pad + 8, px * 1.4f, field);
  const bool caret = (SDL_GetTicks64() / 500) % 2 == 0;
  renderer_->DrawText(W, H, x + pad, fy, boxText_ + (caret ? "_" : ""), text, px, false);
}

void Window::DrawStatus(int W, int H) {
  const float px = std::max(11.0f, static_cast<float>(H) / 56.0f);
  const float grey[4] = {0.65f, 0.68f, 0.72f, 0.85f};
  const float bright[4] = {1.0f, 0.92f, 0.55f, 1.0f};
  const float y = static_cast<float>(H) - px * 1.6f;
  std::string help = boxOpen_ ? "Enter: answer   Esc: cancel"
                              : "F2: save   F3: reset view   drag: orbit   right drag: pan   "
                                "wheel: zoom   Esc: quit";
  if (Vessel* focus = world_.Focus()) help = focus->name() + "   " + help;
  renderer_->DrawText(W, H, px * 0.6f, y, help, grey, px);
  if (!message_.empty() && SDL_GetTicks64() < messageUntil_)
    renderer_->DrawText(W, H, px * 0.6f, y - px * 1.5f, message_, bright, px);
}

}  // namespace

bool PlayAvailable() { return true; }

int Play(World& world, const PlayOptions& opts) {
  Window window(world, opts);
  return window.Run();
}

}  // namespace hostsim::render
