// The interactive window: the world runs in real time in fixed time steps, and a frame is
// drawn when what it shows changed, at most 60 a second; in between the window sleeps until
// the next time step or the next event.
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/files.h"
#include "hostsim/render/loaded_libraries.h"
#include "hostsim/render/play_window.h"

namespace hostsim::render {
namespace {

constexpr double kFrameGap = 1.0 / 60;  // seconds between frames at most
// After a stall (a slow step, the machine busy) the world catches up this many steps at once
// and lets the rest of the lost time go, rather than falling ever further behind.
constexpr int kMaxStepsAtOnce = 5;
constexpr std::uint64_t kCaretBlinkMs = 500;

double Seconds() {
  return static_cast<double>(SDL_GetPerformanceCounter()) /
         static_cast<double>(SDL_GetPerformanceFrequency());
}

bool SameColour(const COLOUR4& a, const COLOUR4& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

bool SameMaterial(const MATERIAL& a, const MATERIAL& b) {
  return SameColour(a.diffuse, b.diffuse) && SameColour(a.ambient, b.ambient) &&
         SameColour(a.specular, b.specular) && SameColour(a.emissive, b.emissive) &&
         a.power == b.power;
}

bool SameVec(const VECTOR3& a, const VECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

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

}  // namespace

bool SameLook(const FrameLook& a, const FrameLook& b) {
  const Scene &s = a.scene, &t = b.scene;
  if (a.focus != b.focus || s.groundY != t.groundY || s.groups.size() != t.groups.size() ||
      s.lights.size() != t.lights.size() || s.beacons.size() != t.beacons.size() ||
      a.hud.size() != b.hud.size())
    return false;
  for (std::size_t i = 0; i < s.groups.size(); ++i) {
    const DrawGroup &g = s.groups[i], &h = t.groups[i];
    if (g.mesh != h.mesh || g.groupIndex != h.groupIndex || g.model.m != h.model.m ||
        !SameMaterial(g.material, h.material))
      return false;
  }
  for (std::size_t i = 0; i < s.lights.size(); ++i) {
    const SceneLight &l = s.lights[i], &m = t.lights[i];
    if (l.spot != m.spot || !SameVec(l.pos, m.pos) || !SameVec(l.dir, m.dir) ||
        l.colour != m.colour || l.specular != m.specular || l.range != m.range || l.att != m.att ||
        l.cosInner != m.cosInner || l.cosOuter != m.cosOuter)
      return false;
  }
  for (std::size_t i = 0; i < s.beacons.size(); ++i) {
    const SceneBeacon &c = s.beacons[i], &d = t.beacons[i];
    if (!SameVec(c.pos, d.pos) || c.colour != d.colour || c.size != d.size) return false;
  }
  for (std::size_t i = 0; i < a.hud.size(); ++i) {
    const HudOp &o = a.hud[i], &p = b.hud[i];
    if (o.kind != p.kind || o.x != p.x || o.y != p.y || o.x1 != p.x1 || o.y1 != p.y1 ||
        o.colour != p.colour || o.text != p.text)
      return false;
  }
  return true;
}

void Window::Say(std::string text) {
  message_ = std::move(text);
  messageUntil_ = SDL_GetTicks64() + 4000;
  redraw_ = true;
}

void Window::DrawableSize(int& W, int& H) const {
  SDL_GL_GetDrawableSize(window_, &W, &H);
  W = std::max(W, 1);
  H = std::max(H, 1);
}

void Window::ResetCamera() {
  int W = 0, H = 0;
  DrawableSize(W, H);
  camera_ = opts_.render.camera ? *opts_.render.camera
                                : DefaultCamera(world_, static_cast<double>(W) / H);
  redraw_ = true;
}

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
    // The video layer opens the system's GL library by name; without it the window has no
    // OpenGL at all, which a package brings.
    std::string why;
    if (platform::OpenLibrary("libGL.so.1", why) == nullptr)
      std::cerr << "hostsim play: cannot load libGL.so.1 (" << why
                << "): install it (the Debian package libgl1) and a GL driver (libgl1-mesa-dri)\n";
    return false;
  }
  // Swaps wait for the display where it offers that; the loop keeps to 60 frames a second
  // where it does not.
  SDL_GL_SetSwapInterval(1);
  try {
    renderer_.emplace();
  } catch (const Error& e) {
    std::cerr << "hostsim play: " << e.what() << "\n";
    return false;
  }
  return true;
}

int Window::Run() {
  // The program handles the signals that ask it to stop; the layer would make them a close
  // of the window, which asks before it quits.
  if (opts_.stop != nullptr) SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // What the video layer loads (the display's client libraries, the GL driver, the session
  // bus library) stays loaded after it quits: see loaded_libraries.h.
  const std::set<std::string> before = LoadedLibraries();
  if (StartVideo() != 0) {
    std::cerr << "hostsim play: cannot open a window: " << SDL_GetError() << "\n";
    return 1;
  }
  if (const std::string why = NoDisplay(); !why.empty()) {
    std::cerr << "hostsim play: no display to open the window on: " << why << "\n";
    SDL_Quit();
    return 1;
  }
  int status = 0;
  if (Open()) {
    // Text input stays on: turned on only once a box is open, the characters typed right
    // after the opening key, read in the same batch of events, would come without text.
    SDL_StartTextInput();
    ResetCamera();
    Loop();
  } else {
    status = 1;
  }

  std::filesystem::path dump = opts_.dumpOnExit;
  if (const char* env = std::getenv("HOSTSIM_PLAY_DUMP"); dump.empty() && env && *env) dump = env;
  if (!dump.empty()) {
    std::string reason = opts_.outputReason ? opts_.outputReason(dump) : std::string();
    if (reason.empty()) reason = platform::WriteFile(dump, world_.ScenarioText());
    if (!reason.empty())
      std::cerr << "hostsim play: " << dump.string() << ": cannot write: " << reason << "\n";
  }
  renderer_.reset();
  if (context_) SDL_GL_DeleteContext(context_);
  if (window_) SDL_DestroyWindow(window_);
  // The modules' libraries are not the video layer's: they are unloaded with the world, their
  // unload hooks running while it stands.
  std::set<std::string> notKept = before;
  for (const Module* m : world_.Modules()) notKept.insert(m->loadedFrom.string());
  KeepLoadedSince(notKept);
  SDL_Quit();
  return status;
}

void Window::Loop() {
  double nextStep = Seconds() + kPlayStep;
  double nextFrame = 0;
  std::uint64_t caretPhase = 0;
  while (!quit_ && !StopAsked()) {
    // Sleep until the next time step, the next frame when one is wanted, or the next event.
    double wake = nextStep;
    if (redraw_ && !hidden_) wake = std::min(wake, nextFrame);
    const double wait = wake - Seconds();
    SDL_Event e;
    const bool got = wait >= 0.001
                         ? SDL_WaitEventTimeout(&e, static_cast<int>(std::ceil(wait * 1000)))
                         : SDL_PollEvent(&e);
    if (got) {
      HandleEvent(e);
      while (!quit_ && SDL_PollEvent(&e)) HandleEvent(e);
    }
    if (quit_ || StopAsked()) break;
    if (opts_.watch) WatchLibraries();
    if (opts_.slowCallback)
      if (std::string notice = opts_.slowCallback(); !notice.empty()) Say(notice);

    const double now = Seconds();
    int steps = 0;
    for (; now >= nextStep && steps < kMaxStepsAtOnce; ++steps) {
      StepOnce();
      nextStep += kPlayStep;
    }
    if (now >= nextStep) nextStep = now + kPlayStep;
    if (hidden_) continue;
    if (steps > 0 && LookChanged()) redraw_ = true;
    // The caret of an open box blinks; a message goes after a while.
    const std::uint64_t ticks = SDL_GetTicks64();
    if ((boxOpen_ || (prompt_ && !prompt_->Question())) && ticks / kCaretBlinkMs != caretPhase) {
      caretPhase = ticks / kCaretBlinkMs;
      redraw_ = true;
    }
    if (!message_.empty() && ticks >= messageUntil_) {
      message_.clear();
      redraw_ = true;
    }
    if (redraw_ && now >= nextFrame) {
      redraw_ = false;
      DrawFrame();
      SDL_GL_SwapWindow(window_);
      nextFrame = now + kFrameGap;
    }
  }
}

void Window::StepOnce() {
  const std::vector<std::uint8_t> held(held_.begin(), held_.end());
  // Told before it is taken: a step that crashes the module is in the recording.
  if (opts_.recorder) opts_.recorder->Steps(1, kPlayStep, held);
  if (std::any_of(held.begin(), held.end(), [](std::uint8_t k) { return !IsModifier(k); }))
    dirty_ = true;
  try {
    world_.Step(kPlayStep);
  } catch (const std::exception& ex) {
    Say(std::string("step failed: ") + ex.what());
  }
  if (boxOpen_ && !world_.OpenBox()) {  // closed by someone else
    boxOpen_ = false;
    redraw_ = true;
  } else if (!boxOpen_ && world_.OpenBox()) {  // opened during the time step
    TakeKeyboard(false);
  }
}

namespace {

// How often the window looks at the module libraries' files, and how long a file must have
// stood unchanged before it counts as rebuilt: a linker writes a library in several goes.
constexpr std::uint64_t kLookEveryMs = 250;
constexpr std::uint64_t kSettleMs = 750;

// The size and time of the last change of a file; empty when it is missing or no regular file.
std::string FileStamp(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return {};
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return {};
  const auto time = std::filesystem::last_write_time(file, ec);
  if (ec) return {};
  return std::to_string(size) + "@" + std::to_string(time.time_since_epoch().count());
}

}  // namespace

// Whether `kind` (of FileRead) is a file of the root that the window reads again when it
// changes: what a module author edits beside the library.
bool Window::Asset(std::string_view kind) {
  return kind == "class configuration" || kind == "mesh" || kind == "material library";
}

bool Window::Settled(const std::string& key, const std::filesystem::path& file, std::uint64_t now) {
  const std::string stamp = FileStamp(file);
  auto [it, first] = files_.try_emplace(key, WatchedFile{stamp, 0});
  WatchedFile& seen = it->second;
  if (first) return false;
  if (stamp != seen.stamp) {  // still being written, or gone for a moment
    seen.stamp = stamp;
    seen.changedAt = now;
  } else if (seen.changedAt != 0 && now - seen.changedAt >= kSettleMs && !stamp.empty()) {
    seen.changedAt = 0;
    return true;
  }
  return false;
}

void Window::WatchLibraries() {
  const std::uint64_t now = SDL_GetTicks64();
  if (now < nextLook_) return;
  nextLook_ = now + kLookEveryMs;
  std::vector<std::string> rebuilt;
  for (const Module* m : world_.Modules())
    if (Settled("module " + m->name, m->path, now)) rebuilt.push_back(m->name);
  std::vector<std::string> edited;
  for (const FileRead& f : world_.FilesRead())
    if (Asset(f.kind) && Settled(f.path.string(), f.path, now)) edited.push_back(f.path.string());
  for (const std::string& name : rebuilt) ReloadModule(name);
  if (!edited.empty()) ReloadFiles(edited);
}

void Window::ReloadFiles(const std::vector<std::string>& edited) {
  ReleaseKeys();
  std::string names;
  for (const std::string& file : edited) names += (names.empty() ? "" : ", ") + file;
  std::string why;
  try {
    world_.ReloadFiles();
  } catch (const std::exception& e) {
    why = e.what();
  }
  // The replay reads the files as they are then; the note says where the window read them.
  if (opts_.recorder)
    opts_.recorder->Note(why.empty() ? "files read again: " + names
                                     : "files not read again: " + why);
  boxOpen_ = world_.OpenBox() != nullptr;
  shown_.reset();
  redraw_ = true;
  if (why.empty()) {
    std::cerr << "hostsim play: read again " << names << "\n";
    Say("read again " + names);
  } else {
    std::cerr << "hostsim play: files not read again: " << why << "\n";
    Say("files not read again: " + why);
  }
}

void Window::ReloadModule(const std::string& module) {
  if (!opts_.reload) return;
  // Keys held now would stay down in a world that is loaded again.
  ReleaseKeys();
  const std::string why = opts_.reload(module);
  if (opts_.recorder) {
    if (why.empty())
      opts_.recorder->Reload(module);
    else
      opts_.recorder->Refused(module, why);
  }
  boxOpen_ = world_.OpenBox() != nullptr;
  shown_.reset();
  redraw_ = true;
  if (why.empty()) {
    std::cerr << "hostsim play: reloaded " << module << "\n";
    Say("reloaded " + module);
  } else {
    std::cerr << "hostsim play: " << module << " not reloaded: " << why << "\n";
    Say(module + " not reloaded: " + why);
  }
}

bool Window::LookChanged() {
  FrameLook look;
  look.scene = CaptureScene(world_, opts_.render);
  look.focus = world_.Focus();
  if (opts_.render.hud && look.focus) {
    int W = 0, H = 0;
    DrawableSize(W, H);
    look.hud = world_.DrawHUD(*world_.Focus(), W, H);
  }
  const bool changed = !shown_ || !SameLook(*shown_, look);
  shown_ = std::move(look);
  return changed;
}

void Window::HandleEvent(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      // Closing the window a second time while it asks closes it.
      if (prompt_ && prompt_->kind == Prompt::Kind::Quit)
        quit_ = true;
      else
        AskToQuit();
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST:
          // Keys held while the window loses the keyboard would otherwise stay down.
          ReleaseKeys();
          break;
        case SDL_WINDOWEVENT_HIDDEN:
        case SDL_WINDOWEVENT_MINIMIZED:
          hidden_ = true;
          break;
        default:  // shown, exposed, resized, restored: draw again
          hidden_ = false;
          redraw_ = true;
          break;
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      HandleKey(e.key);
      redraw_ = true;
      break;
    case SDL_TEXTINPUT:
      if (skipOpenerText_) {
        skipOpenerText_ = false;
      } else if (prompt_ && !prompt_->Question()) {
        if (prompt_->text.size() < 1024) prompt_->text += e.text.text;
      } else if (boxOpen_) {
        AppendAs1252(boxText_, e.text.text, BoxLimit());
      }
      redraw_ = true;
      break;
    case SDL_MOUSEMOTION:
      if (e.motion.state & SDL_BUTTON_LMASK) {
        camera_.yaw -= e.motion.xrel * 0.008;
        camera_.pitch = std::clamp(camera_.pitch + e.motion.yrel * 0.006, -0.2, 1.5);
        redraw_ = true;
      } else if (e.motion.state & (SDL_BUTTON_RMASK | SDL_BUTTON_MMASK)) {
        // Pan in the ground plane, as far as the pointer moved at the target's distance.
        const double k = camera_.distance * 0.0016;
        const double sx = std::cos(camera_.yaw), sz = -std::sin(camera_.yaw);
        const double fx = -std::sin(camera_.yaw), fz = -std::cos(camera_.yaw);
        camera_.target.x -= (sx * e.motion.xrel - fx * e.motion.yrel) * k;
        camera_.target.z -= (sz * e.motion.xrel - fz * e.motion.yrel) * k;
        redraw_ = true;
      }
      break;
    case SDL_MOUSEWHEEL:
      camera_.distance = std::clamp(camera_.distance * std::pow(0.88, e.wheel.y), 0.3, 2000.0);
      redraw_ = true;
      break;
    default:
      break;
  }
}

bool PlayAvailable() { return true; }

int Play(World& world, const PlayOptions& opts) {
  Window window(world, opts);
  return window.Run();
}

}  // namespace hostsim::render
