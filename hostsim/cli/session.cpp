#include "session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "hostsim/inputs/inputs.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "root.h"
#include "text.h"
#include "view.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/render.h"
#endif

namespace hostsim::cli {
namespace fs = std::filesystem;
using platform::PathFromUtf8;
using platform::PathToUtf8;

namespace {

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string HexColour(std::uint32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(c));
  return buf;
}

std::string ReadFile(const fs::path& file) {
  std::string text;
  if (std::string reason = platform::ReadFile(file, platform::kScenarioLimit, text);
      !reason.empty())
    throw Error("cannot read the file back: " + reason, PathToUtf8(file));
  return text;
}

// Keys held down for the length of a command; the previous state comes back on release.
class HeldKeys {
 public:
  explicit HeldKeys(World& world) : world_(world) {}
  ~HeldKeys() { Release(); }
  HeldKeys(const HeldKeys&) = delete;
  HeldKeys& operator=(const HeldKeys&) = delete;

  void Down(std::uint8_t code) {
    const bool was = (static_cast<unsigned char>(world_.KeyState()[code]) & 0x80) != 0;
    held_.push_back({code, was});
    world_.SetKey(code, true);
  }
  void Release() {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) world_.SetKey(it->first, it->second);
    held_.clear();
  }

 private:
  World& world_;
  std::vector<std::pair<std::uint8_t, bool>> held_;
};

}  // namespace

Session::Session(World& world, std::ostream& out, SessionOptions opts)
    : world_(world), out_(out), opts_(std::move(opts)) {
  base_ = opts_.script.parent_path();
  if (base_.empty()) base_ = ".";
  if (opts_.label.empty()) opts_.label = PathToUtf8(opts_.script);
}

Session::~Session() = default;

void Session::Run(std::istream& script) {
  std::string line;
  int lineNo = 0;
  while (std::getline(script, line)) RunLine(line, ++lineNo);
  if (script.bad()) throw SessionError(opts_.label + ": cannot read the script");
  if (opts_.betweenCommands) opts_.betweenCommands();
}

void Session::RunLine(std::string_view line, int lineNo) {
  const std::string where = opts_.label + ":" + std::to_string(lineNo) + ": ";
  ParsedLine parsed = ParseLine(line);
  if (!parsed.error.empty()) throw SessionError(where + parsed.error);
  if (!parsed.command) return;
  std::string_view text = line;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  if (opts_.betweenCommands) opts_.betweenCommands();
  command_ = where + std::string(TrimBlanks(text));
  if (opts_.trace != nullptr) opts_.trace->Mark(command_);
  try {
    Execute(*parsed.command);
  } catch (const ModuleException&) {
    throw;
  } catch (const std::exception& e) {
    out_.flush();
    // An exception a module let out is the module's fault, not the script's.
    world_.ThrowIfEscaped(e.what());
    throw SessionError(where + e.what());
  } catch (...) {
    out_.flush();
    world_.ThrowIfEscaped(kNotAStdException);
    throw;
  }
  // A report nobody can read (a full disk, a file-size limit) ends the run.
  if (!out_.flush()) throw OutputError(errno);
}

void Session::Frame(double dt) {
  world_.Step(dt);
  if (opts_.trace != nullptr) opts_.trace->EndOfFrame();
}

void Session::Execute(const Command& c) {
  std::optional<InputBox> before;
  if (const InputBox* b = world_.OpenBox()) before = *b;
  bool boxConsumed = false;

  switch (c.kind) {
    case Command::Kind::Load:
      Load(c.arg);
      break;
    case Command::Kind::Focus: {
      Vessel& v = Named(c.arg);
      world_.SetFocus(&v);
      out_ << "focus " << v.name() << "\n";
      break;
    }
    case Command::Kind::Step:
      for (long long i = 0; i < c.frames; ++i) Frame(c.dt);
      out_ << "step " << c.frames << " x " << Shortest(c.dt) << " s, time "
           << Fixed(world_.SimTime(), 4) << " s\n";
      break;
    case Command::Kind::Press:
      Press(c.chords.front());
      break;
    case Command::Kind::Hold:
      Hold(c);
      break;
    case Command::Kind::Type:
      Type(c.arg);
      boxConsumed = true;
      break;
    case Command::Kind::Cancel: {
      const InputBox* box = world_.OpenBox();
      if (!box) throw std::runtime_error("cancel: no input box is open");
      const std::string title = box->title;
      world_.CancelBox();
      out_ << "cancel " << Quote(title, TextEncoding::Latin1) << "\n";
      boxConsumed = true;
      break;
    }
    case Command::Kind::Hud:
      Hud(c.width, c.height);
      break;
    case Command::Kind::Inspect: {
      Vessel& v = c.arg.empty() ? Focused("inspect") : Named(c.arg);
      out_ << "inspect " << v.name() << "\n" << PrettyJson(VesselView(world_, v)) << "\n";
      break;
    }
    case Command::Kind::Save:
      Save(c.arg);
      break;
    case Command::Kind::Render:
      Render(c.arg, c.width, c.height, c.camera);
      break;
    case Command::Kind::Reload:
      ReloadModules(c.arg);
      break;
    case Command::Kind::Visual: {
      Vessel& v = c.arg.empty() ? Focused("visual") : Named(c.arg);
      const bool had = v.visual != nullptr;
      if (c.build) {
        world_.BuildVisual(v);
        out_ << "visual build " << v.name() << (had ? " (already built: nothing done)" : "")
             << "\n";
      } else {
        if (had) world_.DropVisual(v);
        out_ << "visual drop " << v.name() << (had ? "" : " (none built: nothing done)") << "\n";
      }
      break;
    }
  }
  ShowBoxIfNew(before, boxConsumed);
}

void Session::ShowBoxIfNew(const std::optional<InputBox>& before, bool boxConsumed) {
  const InputBox* now = world_.OpenBox();
  if (!now) return;
  if (before && !boxConsumed && before->title == now->title && before->opener == now->opener &&
      before->length == now->length)
    return;
  out_ << "box " << Quote(now->title, TextEncoding::Latin1) << " (" << now->length << ")";
  if (!now->initial.empty()) out_ << " " << Quote(now->initial, TextEncoding::Latin1);
  out_ << "\n";
}

Vessel& Session::Focused(const char* what) {
  Vessel* v = world_.Focus();
  if (!v) throw std::runtime_error(std::string(what) + ": no vessel has the input focus");
  return *v;
}

Vessel& Session::Named(const std::string& name) {
  Vessel* v = world_.FindVessel(name);
  if (!v) throw std::runtime_error("no vessel named " + Quote(name, TextEncoding::Utf8));
  return *v;
}

fs::path Session::Resolve(const std::string& file) const {
  fs::path p = PathFromUtf8(file);
  if (p.is_absolute()) return p.lexically_normal();
  return (base_ / p).lexically_normal();
}

fs::path Session::OutputTarget(const char* command, const std::string& file) const {
  fs::path p = PathFromUtf8(file);
  if (p.is_absolute() || !opts_.outDir) return Resolve(file);
  const fs::path rel = p.lexically_normal();
  if (!rel.empty() && *rel.begin() == "..")
    throw std::runtime_error(std::string(command) + ": " + Quote(file, TextEncoding::Utf8) +
                             " leads out of the output folder");
  return (*opts_.outDir / rel).lexically_normal();
}

bool Session::UnderOutDir(const fs::path& target) const {
  if (!opts_.outDir) return false;
  const fs::path below = target.lexically_relative(opts_.outDir->lexically_normal());
  return !below.empty() && *below.begin() != "..";
}

void Session::MakeFoldersFor(const fs::path& target) const {
  if (!UnderOutDir(target)) return;
  if (std::string reason = platform::CreateFolders(target.parent_path()); !reason.empty())
    throw Error("cannot create the folder " + reason);
}

std::string Session::InputReason(const fs::path& target, bool anyInput) const {
  std::vector<Input> inputs = {{"the session script", opts_.script}};
  if (anyInput)
    for (const fs::path& input : inputs_) inputs.push_back({"a scenario it loaded", input});
  // The scenarios count as the run loaded them (above): one it saved itself is its output.
  const std::vector<Input> read = InputsOf(world_, false);
  inputs.insert(inputs.end(), read.begin(), read.end());
  return hostsim::InputReason(inputs, world_.paths(), target);
}

void Session::CheckOutput(const fs::path& target, const char* what, bool anyInput) const {
  if (std::string reason = InputReason(target, anyInput); !reason.empty())
    throw Error(std::string(what) + ": " + reason, PathToUtf8(target));
}

void Session::Load(const std::string& file) {
  fs::path path = Resolve(file);
  if (auto it = saved_.find(path); it != saved_.end()) path = it->second;
  try {
    world_.LoadScenario(path);
  } catch (const UnknownClassError& e) {
    throw WithRootHint(e);
  }
  // A file this run saved is its own output, to be saved again; any other is an input.
  const auto same = [&path](const fs::path& other) { return platform::SameFile(other, path); };
  const bool ours =
      std::any_of(saved_.begin(), saved_.end(), [&](const auto& s) { return same(s.second); });
  if (!ours && std::none_of(inputs_.begin(), inputs_.end(), same)) inputs_.push_back(path);
  out_ << "load " << file << "\n";
  if (!world_.title.empty()) out_ << "  title " << Quote(world_.title, TextEncoding::Utf8) << "\n";
  ListWorld();
}

void Session::ListWorld() {
  for (const Vessel* v : world_.Vessels()) {
    out_ << "  vessel " << v->name() << " (" << v->className() << ")";
    for (const AttachmentPoint* own : v->Points(true)) {
      const AttachmentPoint* slot = own->peer;
      if (!slot || !slot->owner) continue;
      out_ << " on " << slot->owner->name() << " point " << slot->index;
      break;
    }
    out_ << "\n";
  }
  for (const std::string& w : world_.TakeWarnings()) out_ << "  warning: " << w << "\n";
  const Vessel* focus = world_.Focus();
  out_ << "  focus " << (focus ? focus->name() : std::string("(none)")) << "\n";
}

// A library that does not reload is reported and the script goes on, as the window goes on
// with the world it had: a recording of a window where a rebuild failed replays so.
void Session::ReloadModules(const std::string& module) {
  std::vector<std::string> names;
  for (const Module* m : world_.Modules())
    if (module.empty() || m->name == module) names.push_back(m->name);
  if (names.empty())
    throw std::runtime_error(module.empty() ? std::string("reload: no module is loaded")
                                            : "reload: no module " +
                                                  Quote(module, TextEncoding::Utf8) + " is loaded");
  for (const std::string& name : names) {
    if (std::string why = Reload(world_, name, opts_.reload); !why.empty()) {
      out_ << "reload " << name << ": not reloaded: " << ErrorText(why) << "\n";
      for (const std::string& w : world_.TakeWarnings()) out_ << "  warning: " << w << "\n";
      continue;
    }
    out_ << "reload " << name << "\n";
    ListWorld();
  }
}

void Session::Save(const std::string& file) {
  const fs::path target = OutputTarget("save", file);
  std::error_code ec;
  if (!target.has_filename() || fs::is_directory(target, ec))
    throw std::runtime_error("save: " + Quote(file, TextEncoding::Utf8) +
                             " names a folder, not a scenario file");
  CheckOutput(target, "cannot save scenario", UnderOutDir(target));
  MakeFoldersFor(target);
  world_.SaveScenario(target);
  saved_[Resolve(file)] = target;
  out_ << "save " << file << "\n";
  std::istringstream text(ReadFile(target));
  std::string line;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out_ << "  " << line << "\n";
  }
}

// While an input box is open the keyboard belongs to it, as in the window: a key for the
// vessel would reach the module behind the box's back.
void Session::NoBoxOpen(const char* what) const {
  if (world_.OpenBox())
    throw std::runtime_error(std::string(what) + ": an input box is open: type or cancel first");
}

void Session::Press(const Chord& chord) {
  Focused("press");
  NoBoxOpen("press");
  HeldKeys held(world_);
  for (std::uint8_t m : chord.modifiers) held.Down(m);
  held.Down(chord.key);
  const int down = world_.KeyEvent(chord.key, true);
  world_.SetKey(chord.key, false);
  const int up = world_.KeyEvent(chord.key, false);
  held.Release();
  out_ << "press " << chord.ToString() << " -> " << down;
  if (up != 0) out_ << " (release -> " << up << ")";
  out_ << "\n";
}

void Session::Hold(const Command& c) {
  Focused("hold");
  NoBoxOpen("hold");
  {
    HeldKeys held(world_);
    for (const Chord& chord : c.chords) {
      for (std::uint8_t m : chord.modifiers) held.Down(m);
      held.Down(chord.key);
    }
    for (long long i = 0; i < c.frames; ++i) Frame(c.dt);
  }
  out_ << "hold";
  for (const Chord& chord : c.chords) out_ << " " << chord.ToString();
  out_ << " for " << c.frames << " x " << Shortest(c.dt) << " s, time "
       << Fixed(world_.SimTime(), 4) << " s\n";
}

void Session::Type(const std::string& text) {
  const InputBox* box = world_.OpenBox();
  if (!box) throw std::runtime_error("type: no input box is open");
  // The module opened the box for at most `length` characters (bytes, as it receives them),
  // as the window lets the user type no more.
  if (box->length > 0 && text.size() > static_cast<std::size_t>(box->length))
    throw std::runtime_error("type: " + std::to_string(text.size()) +
                             " characters, but the box takes at most " +
                             std::to_string(box->length));
  const bool accepted = world_.AnswerBox(text);
  out_ << "type " << Quote(text, TextEncoding::Utf8) << " -> " << (accepted ? "true" : "false")
       << "\n";
}

void Session::Render(const std::string& file, int w, int h,
                     const std::optional<CameraChoice>& camera) {
  const fs::path target = OutputTarget("render", file);
#if defined(HOSTSIM_HAVE_RENDER)
  render::RenderOptions opts;
  if (camera) {
    try {
      opts.camera = ChosenCamera(world_, *camera, static_cast<double>(w) / h);
    } catch (const Error& e) {
      throw std::runtime_error("render: " + e.message());
    }
  }
  CheckOutput(target, "cannot write the picture", true);
  MakeFoldersFor(target);
  if (!offscreen_) offscreen_ = std::make_unique<render::Offscreen>();
  const render::Image image = offscreen_->Render(world_, w, h, opts);
  render::WritePng(image, target);
  out_ << "render " << file << " " << w << "x" << h;
  if (camera) out_ << " " << FormatCameraChoice(*camera);
  out_ << "\n";
  for (const std::string& note : image.notes)
    std::cerr << "render " << file << ": " << note << "\n";
#else
  (void)target, (void)w, (void)h, (void)camera;
  throw std::runtime_error("render: this hostsim was built without its renderer");
#endif
}

void Session::Hud(int w, int h) {
  Vessel& v = Focused("hud");
  const std::vector<HudOp> ops = world_.DrawHUD(v, w, h);
  out_ << "hud " << w << "x" << h << " " << v.name() << ": default nav display "
       << (world_.DefNavDisplay() ? "on" : "off") << ", RCS display "
       << (world_.DefRCSDisplay() ? "on" : "off") << "\n";
  for (const HudOp& op : ops) {
    switch (op.kind) {
      case HudOp::Kind::TextColour:
        break;  // shown with each text
      case HudOp::Kind::BackgroundColour:
        out_ << "hud background " << HexColour(op.colour) << "\n";
        break;
      case HudOp::Kind::Text:
        out_ << "hud " << op.x << " " << op.y << " " << HexColour(op.colour) << " "
             << Quote(op.text, TextEncoding::Latin1) << "\n";
        break;
      case HudOp::Kind::Line:
        out_ << "hud line " << op.x << " " << op.y << " " << op.x1 << " " << op.y1 << "\n";
        break;
    }
  }
}

}  // namespace hostsim::cli
