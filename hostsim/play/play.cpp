// The interactive window: the world runs in real time in fixed time steps, and a frame is
// drawn when what it shows changed, at most 60 a second; in between the window sleeps until
// the next time step or the next event.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "hostsim/gl/gl_api.h"
#include "hostsim/gl/loaded_libraries.h"
#include "hostsim/platform/files.h"
#include "hostsim/play/play_window.h"

namespace hostsim::render {
namespace {

constexpr double kFrameGap = 1.0 / 60;  // seconds between frames at most
// After a stall (a slow step, the machine busy) the world catches up this many steps at once
// and lets the rest of the lost time go, rather than falling ever further behind.
constexpr int kMaxStepsAtOnce = 5;
constexpr std::uint64_t kCaretBlinkMs = 500;

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// When the program started: the window's clock (Ticks) counts from there.
const std::chrono::steady_clock::time_point kStart = std::chrono::steady_clock::now();

bool SameColour(const COLOUR4& a, const COLOUR4& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

bool SameMaterial(const MATERIAL& a, const MATERIAL& b) {
  return SameColour(a.diffuse, b.diffuse) && SameColour(a.ambient, b.ambient) &&
         SameColour(a.specular, b.specular) && SameColour(a.emissive, b.emissive) &&
         a.power == b.power;
}

bool SameVec(const VECTOR3& a, const VECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

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

std::uint64_t Window::Ticks() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - kStart)
                                        .count());
}

namespace {

// The `where` of a refused reload's reason (its line "  where: LIB: FUNC at FILE:LINE"), short
// enough for the status line: " (at FILE:LINE in FUNC)", the file without its folder and the
// function without its parameters; "" when the reason names no place.
std::string BriefWhere(const std::string& why) {
  constexpr std::string_view kWhere = "\n  where: ";
  const std::size_t start = why.find(kWhere);
  if (start == std::string::npos) return {};
  std::string line = why.substr(start + kWhere.size());
  line = line.substr(0, line.find('\n'));
  std::string function, source;
  if (const std::size_t at = line.rfind(" at "); at != std::string::npos) {
    source = line.substr(at + 4);
    line.erase(at);
    source = source.substr(source.find_last_of("/\\") + 1);
  }
  // "LIB: FUNC": the library is named when no source is.
  const std::size_t colon = line.find(": ");
  if (colon != std::string::npos) function = line.substr(colon + 2);
  constexpr std::string_view kAnonymous = "(anonymous namespace)::";
  for (std::size_t at = function.find(kAnonymous); at != std::string::npos;
       at = function.find(kAnonymous))
    function.erase(at, kAnonymous.size());
  function = function.substr(0, function.find('('));
  if (!source.empty()) return " (at " + source + (function.empty() ? "" : " in " + function) + ")";
  const std::string library = line.substr(0, colon);
  return " (in " + library.substr(library.find_last_of("/\\") + 1) + ")";
}

}  // namespace

void Window::Say(std::string text) {
  message_ = std::move(text);
  messageUntil_ = Ticks() + 4000;
  redraw_ = true;
}

void Window::DrawableSize(int& W, int& H) const { gl_->DrawableSize(W, H); }

void Window::ResetCamera() {
  int W = 0, H = 0;
  DrawableSize(W, H);
  camera_ = opts_.render.camera ? *opts_.render.camera
                                : DefaultCamera(world_, static_cast<double>(W) / H);
  redraw_ = true;
}

bool Window::Open() {
  std::string why;
  gl_ = GlWindow::Open(opts_.title, std::max(opts_.width, 64), std::max(opts_.height, 64),
                       opts_.stop != nullptr, why);
  if (!gl_) {
    std::size_t from = 0;
    while (from < why.size()) {
      const std::size_t end = std::min(why.find('\n', from), why.size());
      std::cerr << "hostsim play: " << why.substr(from, end - from) << "\n";
      from = end + 1;
    }
    return false;
  }
  try {
    renderer_.emplace();
  } catch (const Error& e) {
    std::cerr << "hostsim play: " << e.what() << "\n";
    return false;
  }
  return true;
}

int Window::Run() {
  // The libraries loaded from here on are the window layer's, kept loaded when it quits, but
  // for the modules' libraries: they are unloaded with the world, their unload hooks running
  // while it stands.
  const std::set<std::string> before = LoadedLibraries();
  int status = 0;
  if (Open()) {
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
  if (gl_) {
    std::set<std::string> notKept = before;
    for (const Module* m : world_.Modules()) notKept.insert(m->loadedFrom.string());
    gl_->Close(notKept);
    gl_.reset();
  }
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
    WindowEvent e;
    if (gl_->NextEvent(e, wait >= 0.001 ? static_cast<int>(std::ceil(wait * 1000)) : 0)) {
      HandleEvent(e);
      while (!quit_ && gl_->NextEvent(e, 0)) HandleEvent(e);
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
    const std::uint64_t ticks = Ticks();
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
      gl_->Swap();
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
  const std::uint64_t now = Ticks();
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
  // F6 reads them all again, edited or not.
  if (names.empty()) names = "the class configurations, meshes and materials";
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
    Say(module + " not reloaded" + BriefWhere(why) + ": " + why.substr(0, why.find('\n')));
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

void Window::HandleEvent(const WindowEvent& e) {
  switch (e.type) {
    case WindowEvent::Type::Close:
      // Closing the window a second time while it asks closes it.
      if (prompt_ && prompt_->kind == Prompt::Kind::Quit)
        quit_ = true;
      else
        AskToQuit();
      break;
    case WindowEvent::Type::FocusLost:
      // Keys held while the window loses the keyboard would otherwise stay down.
      ReleaseKeys();
      break;
    case WindowEvent::Type::Hidden:
      hidden_ = true;
      break;
    case WindowEvent::Type::Shown:  // shown, exposed, resized, restored: draw again
      hidden_ = false;
      redraw_ = true;
      break;
    case WindowEvent::Type::KeyDown:
    case WindowEvent::Type::KeyUp:
      HandleKey(e);
      redraw_ = true;
      break;
    case WindowEvent::Type::Text:
      if (skipOpenerText_) {
        skipOpenerText_ = false;
      } else if (prompt_ && !prompt_->Question()) {
        if (prompt_->text.size() < 1024) prompt_->text += e.text;
      } else if (boxOpen_) {
        AppendAs1252(boxText_, e.text.c_str(), BoxLimit());
      }
      redraw_ = true;
      break;
    case WindowEvent::Type::Mouse:
      if (e.orbit) {
        camera_.yaw -= e.dx * 0.008;
        camera_.pitch = std::clamp(camera_.pitch + e.dy * 0.006, -0.2, 1.5);
        redraw_ = true;
      } else if (e.pan) {
        // Pan in the ground plane, as far as the pointer moved at the target's distance.
        const double k = camera_.distance * 0.0016;
        const double sx = std::cos(camera_.yaw), sz = -std::sin(camera_.yaw);
        const double fx = -std::sin(camera_.yaw), fz = -std::cos(camera_.yaw);
        camera_.target.x -= (sx * e.dx - fx * e.dy) * k;
        camera_.target.z -= (sz * e.dx - fz * e.dy) * k;
        redraw_ = true;
      }
      break;
    case WindowEvent::Type::Wheel:
      camera_.distance = std::clamp(camera_.distance * std::pow(0.88, e.wheel), 0.3, 2000.0);
      redraw_ = true;
      break;
    case WindowEvent::Type::Other:
      break;
  }
}

bool PlayAvailable() { return true; }

int Play(World& world, const PlayOptions& opts) {
  Window window(world, opts);
  return window.Run();
}

}  // namespace hostsim::render
