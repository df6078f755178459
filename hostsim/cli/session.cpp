#include "session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "view.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/render.h"
#endif

namespace hostsim::cli {
namespace fs = std::filesystem;

namespace {

// The frame count and HUD size are bounded so that no script can ask for arithmetic that
// overflows in the host or a module.
constexpr long long kMaxFrames = 1000000000;
constexpr int kMaxHudSize = 100000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Cuts a trailing comment: a '#' at the start or after a blank.
std::string_view CutComment(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s[i] == '#' && (i == 0 || IsBlank(s[i - 1]))) return s.substr(0, i);
  return s;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    std::size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

std::optional<long long> ParseCount(std::string_view s) {
  long long v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || v < 0) return std::nullopt;
  return v;
}

std::optional<double> ParseSeconds(std::string_view s) {
  double v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v) || v < 0)
    return std::nullopt;
  return v;
}

// Reads "[N] [DT]" into the command; returns an error text or "".
std::string ParseFrames(std::string_view what, const std::vector<std::string_view>& args,
                        Command& c) {
  if (args.size() > 2)
    return std::string(what) + ": too many arguments (expected N frames and DT seconds)";
  if (!args.empty()) {
    auto n = ParseCount(args[0]);
    if (!n || *n > kMaxFrames)
      return std::string(what) + ": frame count " + Quote(args[0], TextEncoding::Utf8) +
             " is not a whole number from 0 to " + std::to_string(kMaxFrames);
    c.frames = *n;
  }
  if (args.size() == 2) {
    auto dt = ParseSeconds(args[1]);
    if (!dt)
      return std::string(what) + ": step length " + Quote(args[1], TextEncoding::Utf8) +
             " is not a number of seconds of 0 or more";
    c.dt = *dt;
  }
  return {};
}

std::string Shortest(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

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
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error("cannot read the file back", PathToUtf8(file));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
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

ParsedLine ParseLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  // A zero byte would end a file name or a typed text early, so that the command acted on
  // something other than what the line says.
  if (line.find('\0') != std::string_view::npos) {
    ParsedLine r;
    r.error = "line holds a zero byte";
    return r;
  }
  std::string_view body = line;
  while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
  if (body.empty() || body.front() == '#') return {};

  std::size_t end = 0;
  while (end < body.size() && !IsBlank(body[end])) ++end;
  const std::string_view word = body.substr(0, end);
  std::string_view rest = body.substr(end);

  ParsedLine r;
  Command c;
  auto fail = [&r](std::string msg) {
    r.error = std::move(msg);
    return r;
  };

  if (word == "type") {
    // The text is taken as written, after the one blank that separates it from the word.
    c.kind = Command::Kind::Type;
    if (!rest.empty()) c.arg = std::string(rest.substr(1));
    r.command = std::move(c);
    return r;
  }

  rest = CutComment(rest);
  const std::vector<std::string_view> args = Words(rest);

  if (word == "load" || word == "save") {
    c.kind = word == "load" ? Command::Kind::Load : Command::Kind::Save;
    c.arg = std::string(TrimBlanks(rest));
    if (c.arg.empty()) return fail(std::string(word) + ": a scenario FILE is needed");
  } else if (word == "focus") {
    c.kind = Command::Kind::Focus;
    if (args.size() != 1) return fail("focus: one vessel NAME is needed");
    c.arg = std::string(args[0]);
  } else if (word == "step") {
    c.kind = Command::Kind::Step;
    if (auto e = ParseFrames("step", args, c); !e.empty()) return fail(e);
  } else if (word == "press") {
    c.kind = Command::Kind::Press;
    if (args.size() != 1) return fail("press: one key CHORD is needed, e.g. press Shift+V");
    std::string err;
    auto chord = ParseChord(args[0], err);
    if (!chord) return fail("press: " + err);
    c.chords.push_back(*chord);
  } else if (word == "hold") {
    c.kind = Command::Kind::Hold;
    std::size_t i = 0;
    for (; i < args.size() && args[i] != "for"; ++i) {
      std::string err;
      auto chord = ParseChord(args[i], err);
      if (!chord) return fail("hold: " + err);
      c.chords.push_back(*chord);
    }
    if (c.chords.empty() || i == args.size() || i + 1 == args.size())
      return fail("hold: expected hold CHORD [CHORD...] for N [DT]");
    const std::vector<std::string_view> frames(args.begin() + static_cast<long>(i) + 1, args.end());
    if (auto e = ParseFrames("hold", frames, c); !e.empty()) return fail(e);
  } else if (word == "cancel") {
    c.kind = Command::Kind::Cancel;
    if (!args.empty()) return fail("cancel: takes no arguments");
  } else if (word == "hud") {
    c.kind = Command::Kind::Hud;
    if (args.size() != 2) return fail("hud: the HUD size W H in pixels is needed");
    auto w = ParseCount(args[0]);
    auto h = ParseCount(args[1]);
    if (!w || !h || *w > kMaxHudSize || *h > kMaxHudSize)
      return fail("hud: W and H must be whole numbers from 0 to " + std::to_string(kMaxHudSize));
    c.width = static_cast<int>(*w);
    c.height = static_cast<int>(*h);
  } else if (word == "inspect") {
    c.kind = Command::Kind::Inspect;
    if (args.size() > 1) return fail("inspect: at most one vessel NAME");
    if (!args.empty()) c.arg = std::string(args[0]);
  } else if (word == "render") {
    c.kind = Command::Kind::Render;
    if (args.size() != 1 && args.size() != 3) return fail("render: expected render FILE.png [W H]");
    c.arg = std::string(args[0]);
    c.width = 800;
    c.height = 500;
    if (args.size() == 3) {
      auto w = ParseCount(args[1]);
      auto h = ParseCount(args[2]);
      if (!w || !h || *w < 1 || *h < 1 || *w > 8192 || *h > 8192)
        return fail("render: W and H must be whole numbers from 1 to 8192");
      c.width = static_cast<int>(*w);
      c.height = static_cast<int>(*h);
    }
  } else if (word == "visual") {
    c.kind = Command::Kind::Visual;
    if (args.empty() || args.size() > 2 || (args[0] != "build" && args[0] != "drop"))
      return fail("visual: expected visual build|drop [NAME]");
    c.build = args[0] == "build";
    if (args.size() == 2) c.arg = std::string(args[1]);
  } else {
    return fail("unknown command " + Quote(word, TextEncoding::Utf8) +
                " (known: load focus step press hold type cancel hud inspect save visual render)");
  }
  r.command = std::move(c);
  return r;
}

Session::Session(World& world, std::ostream& out, SessionOptions opts)
    : world_(world), out_(out), opts_(std::move(opts)) {
  base_ = opts_.script.parent_path();
  if (base_.empty()) base_ = ".";
  if (opts_.label.empty()) opts_.label = PathToUtf8(opts_.script);
}

void Session::Run(std::istream& script) {
  std::string line;
  int lineNo = 0;
  while (std::getline(script, line)) RunLine(line, ++lineNo);
  if (script.bad()) throw SessionError(opts_.label + ": cannot read the script");
}

void Session::RunLine(std::string_view line, int lineNo) {
  const std::string where = opts_.label + ":" + std::to_string(lineNo) + ": ";
  ParsedLine parsed = ParseLine(line);
  if (!parsed.error.empty()) throw SessionError(where + parsed.error);
  if (!parsed.command) return;
  std::string_view text = line;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  marks_.push_back({world_.journal().Entries().size(), where + std::string(TrimBlanks(text))});
  try {
    Execute(*parsed.command);
  } catch (const std::exception& e) {
    out_.flush();
    throw SessionError(where + e.what());
  }
  out_.flush();
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
      for (long long i = 0; i < c.frames; ++i) world_.Step(c.dt);
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
      Render(c.arg, c.width, c.height);
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

fs::path Session::SaveTarget(const std::string& file) const {
  fs::path p = PathFromUtf8(file);
  if (p.is_absolute() || !opts_.outDir) return Resolve(file);
  const fs::path rel = p.lexically_normal();
  if (!rel.empty() && *rel.begin() == "..")
    throw std::runtime_error("save: " + Quote(file, TextEncoding::Utf8) +
                             " leads out of the output folder");
  return (*opts_.outDir / rel).lexically_normal();
}

void Session::Load(const std::string& file) {
  fs::path path = Resolve(file);
  if (auto it = saved_.find(path); it != saved_.end()) path = it->second;
  world_.LoadScenario(path);
  out_ << "load " << file << "\n";
  if (!world_.title.empty()) out_ << "  title " << Quote(world_.title, TextEncoding::Utf8) << "\n";
  for (const Vessel* v : world_.Vessels()) {
    out_ << "  vessel " << v->name() << " (" << v->className() << ")";
    for (const AttachmentPoint* own : v->Points(true)) {
      const AttachmentPoint* slot = own->peer;
      if (!slot || !slot->owner) continue;
      const auto pts = slot->owner->Points(false);
      const auto idx = std::find(pts.begin(), pts.end(), slot) - pts.begin();
      out_ << " on " << slot->owner->name() << " point " << idx;
      break;
    }
    out_ << "\n";
  }
  for (const std::string& w : world_.TakeWarnings()) out_ << "  warning: " << w << "\n";
  const Vessel* focus = world_.Focus();
  out_ << "  focus " << (focus ? focus->name() : std::string("(none)")) << "\n";
}

void Session::Save(const std::string& file) {
  const fs::path target = SaveTarget(file);
  std::error_code ec;
  if (!target.has_filename() || fs::is_directory(target, ec))
    throw std::runtime_error("save: " + Quote(file, TextEncoding::Utf8) +
                             " names a folder, not a scenario file");
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
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

void Session::Press(const Chord& chord) {
  Focused("press");
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
  {
    HeldKeys held(world_);
    for (const Chord& chord : c.chords) {
      for (std::uint8_t m : chord.modifiers) held.Down(m);
      held.Down(chord.key);
    }
    for (long long i = 0; i < c.frames; ++i) world_.Step(c.dt);
  }
  out_ << "hold";
  for (const Chord& chord : c.chords) out_ << " " << chord.ToString();
  out_ << " for " << c.frames << " x " << Shortest(c.dt) << " s, time "
       << Fixed(world_.SimTime(), 4) << " s\n";
}

void Session::Type(const std::string& text) {
  if (!world_.OpenBox()) throw std::runtime_error("type: no input box is open");
  const bool accepted = world_.AnswerBox(text);
  out_ << "type " << Quote(text, TextEncoding::Utf8) << " -> " << (accepted ? "true" : "false")
       << "\n";
}

void Session::Render(const std::string& file, int w, int h) {
#if defined(HOSTSIM_HAVE_RENDER)
  const fs::path target = SaveTarget(file);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  render::RenderToPng(world_, target, w, h);
  out_ << "render " << file << " " << w << "x" << h << "\n";
#else
  (void)file, (void)w, (void)h;
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

std::string TraceText(const Journal& journal, const std::vector<TraceMark>& marks) {
  const auto& entries = journal.Entries();
  auto dump = [&entries](std::size_t from, std::size_t to) {
    Journal part;
    for (std::size_t i = from; i < to && i < entries.size(); ++i) {
      const auto& e = entries[i];
      part.Record(e.kind, e.self, e.call, e.args);
    }
    std::string text = part.Dump();
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
  };
  std::string out;
  std::size_t pos = 0;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    const std::size_t start = std::min(marks[m].entry, entries.size());
    if (start > pos) out += dump(pos, start);
    pos = std::max(pos, start);
    const std::size_t next =
        m + 1 < marks.size() ? std::min(marks[m + 1].entry, entries.size()) : entries.size();
    out += "# " + marks[m].text + "\n";
    if (next > pos) {
      out += dump(pos, next);
      pos = next;
    }
  }
  if (pos < entries.size()) out += dump(pos, entries.size());
  return out;
}

void WriteFileAtomic(const fs::path& file, const std::string& text) {
  fs::path tmp = file;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw Error("cannot write the file", PathToUtf8(file));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(tmp, ec);
      throw Error("cannot write the file", PathToUtf8(file));
    }
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(tmp, ignored);
    throw Error("cannot replace the file: " + ec.message(), PathToUtf8(file));
  }
}

fs::path PathFromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string PathToUtf8(const fs::path& p) {
  const std::u8string u = p.generic_u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace hostsim::cli
