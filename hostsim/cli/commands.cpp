#include "commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include "text.h"

namespace hostsim::cli {
namespace {

// The frame count and HUD size are bounded so that no script can ask for arithmetic that
// overflows in the host or a module.
constexpr long long kMaxFrames = 1000000000;
constexpr int kMaxHudSize = 100000;
constexpr int kMaxPictureSize = 8192;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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

// The blank-separated arguments of a line's rest, without its comment.
std::vector<std::string_view> Args(std::string_view rest) { return Words(CutComment(rest)); }

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

std::string Q(std::string_view s) { return Quote(s, TextEncoding::Utf8); }

// Reads "[N] [DT]" into the command; returns an error text or "".
std::string ParseFrames(std::string_view what, std::span<const std::string_view> args, Command& c) {
  if (args.size() > 2)
    return std::string(what) + ": too many arguments (expected N frames and DT seconds)";
  if (!args.empty()) {
    auto n = ParseCount(args[0]);
    if (!n || *n > kMaxFrames)
      return std::string(what) + ": frame count " + Q(args[0]) +
             " is not a whole number from 0 to " + std::to_string(kMaxFrames);
    c.frames = *n;
  }
  if (args.size() == 2) {
    auto dt = ParseSeconds(args[1]);
    if (!dt)
      return std::string(what) + ": step length " + Q(args[1]) +
             " is not a number of seconds of 0 or more";
    c.dt = *dt;
  }
  return {};
}

// FILE: the rest of the line without its comment and surrounding blanks.
std::string ParseFile(std::string_view what, std::string_view rest, Command& c) {
  c.arg = std::string(TrimBlanks(CutComment(rest)));
  if (c.arg.empty()) return std::string(what) + ": a scenario FILE is needed";
  return {};
}

std::string ParseLoad(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Load;
  return ParseFile("load", rest, c);
}

std::string ParseSave(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Save;
  return ParseFile("save", rest, c);
}

std::string ParseFocus(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Focus;
  const auto args = Args(rest);
  if (args.size() != 1) return "focus: one vessel NAME is needed";
  c.arg = std::string(args[0]);
  return {};
}

std::string ParseStep(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Step;
  return ParseFrames("step", Args(rest), c);
}

std::string ParsePress(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Press;
  const auto args = Args(rest);
  if (args.size() != 1) return "press: one key CHORD is needed, e.g. press Shift+V";
  std::string err;
  auto chord = ParseChord(args[0], err);
  if (!chord) return "press: " + err;
  c.chords.push_back(*chord);
  return {};
}

std::string ParseHold(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Hold;
  const auto args = Args(rest);
  std::size_t i = 0;
  for (; i < args.size() && args[i] != "for"; ++i) {
    std::string err;
    auto chord = ParseChord(args[i], err);
    if (!chord) return "hold: " + err;
    c.chords.push_back(*chord);
  }
  if (c.chords.empty() || i == args.size() || i + 1 == args.size())
    return "hold: expected hold CHORD [CHORD...] for N [DT]";
  return ParseFrames("hold", std::span(args).subspan(i + 1), c);
}

// The text is taken as written, after the one blank that separates it from the word.
std::string ParseType(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Type;
  if (!rest.empty()) c.arg = std::string(rest.substr(1));
  return {};
}

std::string ParseCancel(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Cancel;
  if (!Args(rest).empty()) return "cancel: takes no arguments";
  return {};
}

std::string ParseHud(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Hud;
  const auto args = Args(rest);
  if (args.size() != 2) return "hud: the HUD size W H in pixels is needed";
  auto w = ParseCount(args[0]);
  auto h = ParseCount(args[1]);
  if (!w || !h || *w > kMaxHudSize || *h > kMaxHudSize)
    return "hud: W and H must be whole numbers from 0 to " + std::to_string(kMaxHudSize);
  c.width = static_cast<int>(*w);
  c.height = static_cast<int>(*h);
  return {};
}

std::string ParseInspect(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Inspect;
  const auto args = Args(rest);
  if (args.size() > 1) return "inspect: at most one vessel NAME";
  if (!args.empty()) c.arg = std::string(args[0]);
  return {};
}

std::string ParseReload(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Reload;
  const auto args = Args(rest);
  if (args.size() > 1) return "reload: at most one MODULE";
  if (!args.empty()) c.arg = std::string(args[0]);
  return {};
}

std::string ParseVisual(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Visual;
  const auto args = Args(rest);
  if (args.empty() || args.size() > 2 || (args[0] != "build" && args[0] != "drop"))
    return "visual: expected visual build|drop [NAME]";
  c.build = args[0] == "build";
  if (args.size() == 2) c.arg = std::string(args[1]);
  return {};
}

// FILE.png, then W H unless the next word is a camera part, then the camera's parts.
std::string ParseRender(std::string_view rest, Command& c) {
  c.kind = Command::Kind::Render;
  const auto args = Args(rest);
  if (args.empty()) return "render: expected render FILE.png [W H] [CAMERA]";
  c.arg = std::string(args[0]);
  c.width = 800;
  c.height = 500;
  std::size_t next = 1;
  if (args.size() > 1 && args[1].find('=') == std::string_view::npos) {
    if (args.size() < 3 || args[2].find('=') != std::string_view::npos)
      return "render: expected render FILE.png [W H] [CAMERA]";
    auto w = ParseCount(args[1]);
    auto h = ParseCount(args[2]);
    if (!w || !h || *w < 1 || *h < 1 || *w > kMaxPictureSize || *h > kMaxPictureSize)
      return "render: W and H must be whole numbers from 1 to " + std::to_string(kMaxPictureSize);
    c.width = static_cast<int>(*w);
    c.height = static_cast<int>(*h);
    next = 3;
  }
  if (next < args.size()) {
    CameraChoice camera;
    const std::string error = ParseCameraWords(
        std::vector(args.begin() + static_cast<std::ptrdiff_t>(next), args.end()), camera);
    if (!error.empty()) return "render: camera: " + error;
    c.camera = std::move(camera);
  }
  return {};
}

// The formatters: each writes what its parser reads back.

// One word: no blanks, no comment start, not empty.
std::string Word(std::string_view what, const std::string& s) {
  if (s.empty() || s.front() == '#' || std::any_of(s.begin(), s.end(), [](char ch) {
        return IsBlank(ch) || ch == '\n' || ch == '\r' || ch == '\0';
      }))
    throw std::invalid_argument(std::string(what) + " " + Q(s) + " cannot be written as one word");
  return s;
}

std::string FormatFile(const Command& c) {
  const std::string& f = c.arg;
  if (f.empty() || f != TrimBlanks(f) || CutComment(f).size() != f.size() ||
      f.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos)
    throw std::invalid_argument("the file name " + Q(f) + " cannot be written in a script");
  return f;
}

std::string FormatFrames(const Command& c) {
  return std::to_string(c.frames) + " " + Shortest(c.dt);
}

std::string FormatFocus(const Command& c) { return Word("the vessel name", c.arg); }

std::string FormatStep(const Command& c) { return FormatFrames(c); }

std::string FormatPress(const Command& c) { return c.chords.at(0).ToString(); }

std::string FormatHold(const Command& c) {
  std::string s;
  for (const Chord& chord : c.chords) s += chord.ToString() + " ";
  return s + "for " + FormatFrames(c);
}

std::string FormatType(const Command& c) {
  if (c.arg.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos)
    throw std::invalid_argument("a typed text with a line break cannot be written in a script");
  return c.arg;
}

std::string FormatNone(const Command&) { return {}; }

std::string FormatSize(const Command& c) {
  return std::to_string(c.width) + " " + std::to_string(c.height);
}

std::string FormatName(const Command& c) {
  return c.arg.empty() ? std::string() : Word("the vessel name", c.arg);
}

std::string FormatModule(const Command& c) {
  return c.arg.empty() ? std::string() : Word("the module name", c.arg);
}

std::string FormatVisual(const Command& c) {
  return std::string(c.build ? "build" : "drop") + (c.arg.empty() ? "" : " " + FormatName(c));
}

std::string FormatRender(const Command& c) {
  std::string s = Word("the picture name", c.arg) + " " + FormatSize(c);
  if (c.camera) {
    if (!c.camera->vessel.empty()) Word("the vessel name", c.camera->vessel);
    s += " " + FormatCameraChoice(*c.camera);
  }
  return s;
}

constexpr std::array kCommands = {
    CommandSpec{Command::Kind::Load, "load", "FILE",
                "load a scenario; its FOCUS vessel gets the input focus", ParseLoad, FormatFile},
    CommandSpec{Command::Kind::Focus, "focus", "NAME", "give the input focus to a vessel",
                ParseFocus, FormatFocus},
    CommandSpec{Command::Kind::Step, "step", "[N] [DT]",
                "run N frames (default 1) of DT seconds (default 0.02)", ParseStep, FormatStep},
    CommandSpec{Command::Kind::Press, "press", "CHORD",
                "press and release a key on the focused vessel, modifiers held", ParsePress,
                FormatPress},
    CommandSpec{Command::Kind::Hold, "hold", "CHORD [CHORD...] for N [DT]",
                "hold keys down during N frames of DT seconds, then release them", ParseHold,
                FormatHold},
    CommandSpec{Command::Kind::Type, "type", "TEXT",
                "answer the open input box with the rest of the line, verbatim", ParseType,
                FormatType},
    CommandSpec{Command::Kind::Cancel, "cancel", "", "close the open input box without an answer",
                ParseCancel, FormatNone},
    CommandSpec{Command::Kind::Hud, "hud", "W H",
                "draw the focused vessel's HUD at W x H pixels (0 to 100000)", ParseHud,
                FormatSize},
    CommandSpec{Command::Kind::Inspect, "inspect", "[NAME]",
                "the host's view of a vessel as JSON (default: the focused one)", ParseInspect,
                FormatName},
    CommandSpec{Command::Kind::Save, "save", "FILE",
                "save the scenario, then print the file as written", ParseSave, FormatFile},
    CommandSpec{Command::Kind::Visual, "visual", "build|drop [NAME]",
                "build or drop a vessel's visual (default: the focused one)", ParseVisual,
                FormatVisual},
    CommandSpec{Command::Kind::Render, "render", "FILE.png [W H] [CAMERA]",
                "draw the scene into a PNG picture (default 800 x 500), seen from CAMERA "
                "(at=NAME|X,Y,Z yaw=DEG pitch=DEG dist=M, each optional) when given",
                ParseRender, FormatRender},
    CommandSpec{Command::Kind::Reload, "reload", "[MODULE]",
                "load a rebuilt module library again, through its save and load (default: every "
                "module)",
                ParseReload, FormatModule},
};

}  // namespace

std::span<const CommandSpec> SessionCommands() { return kCommands; }

std::string Usage(const CommandSpec& spec) {
  std::string s(spec.name);
  if (!spec.synopsis.empty()) s.append(" ").append(spec.synopsis);
  return s;
}

ParsedLine ParseLine(std::string_view line) {
  ParsedLine r;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  // A zero byte would end a file name or a typed text early, so that the command acted on
  // something other than what the line says.
  if (line.find('\0') != std::string_view::npos) {
    r.error = "line holds a zero byte";
    return r;
  }
  std::string_view body = line;
  while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
  if (body.empty() || body.front() == '#') return r;

  std::size_t end = 0;
  while (end < body.size() && !IsBlank(body[end])) ++end;
  const std::string_view word = body.substr(0, end);
  const auto spec = std::find_if(kCommands.begin(), kCommands.end(),
                                 [word](const CommandSpec& s) { return s.name == word; });
  if (spec == kCommands.end()) {
    r.error = "unknown command " + Q(word) + " (known:";
    for (const CommandSpec& s : kCommands) r.error.append(" ").append(s.name);
    r.error += ")";
    return r;
  }
  Command c;
  r.error = spec->parse(body.substr(end), c);
  if (r.error.empty()) r.command = std::move(c);
  return r;
}

std::string FormatLine(const Command& c) {
  const auto spec = std::find_if(kCommands.begin(), kCommands.end(),
                                 [&c](const CommandSpec& s) { return s.kind == c.kind; });
  const std::string args = spec->format(c);
  // `type` keeps its text as written, an empty one too: the blank after the name starts it.
  if (args.empty() && c.kind != Command::Kind::Type) return std::string(spec->name);
  return std::string(spec->name) + " " + args;
}

std::string CommandHelp() {
  std::size_t width = 0;
  for (const CommandSpec& s : kCommands) width = std::max(width, Usage(s).size());
  std::string out;
  for (const CommandSpec& s : kCommands) {
    const std::string usage = Usage(s);
    out.append("  ").append(usage).append(width + 2 - usage.size(), ' ');
    out.append(s.summary).append("\n");
  }
  return out;
}

std::string CommandTableMarkdown() {
  // A '|' inside a cell would end it.
  auto cell = [](std::string_view text) {
    std::string s;
    for (char ch : text) {
      if (ch == '|') s += '\\';
      s += ch;
    }
    return s;
  };
  std::string out = "| command | does |\n|---|---|\n";
  for (const CommandSpec& s : kCommands)
    out += "| `" + cell(Usage(s)) + "` | " + cell(s.summary) + " |\n";
  return out;
}

}  // namespace hostsim::cli
