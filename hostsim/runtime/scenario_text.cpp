// Scenario files as text.
#include "hostsim/runtime/scenario_text.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "hostsim/error.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/text.h"

namespace hostsim {

HostLine ParseHostLine(std::string_view line) {
  HostLine h;
  const std::string_view key = FirstWord(line);
  const std::string_view rest = AfterFirstWord(line);
  const bool pos = EqualsNoCase(key, "POS"), ori = EqualsNoCase(key, "ORI");
  if (pos || ori) {
    h.kind = pos ? HostLine::Kind::Pos : HostLine::Kind::Ori;
    if (!ParseVector(rest, h.v)) {
      h.kind = HostLine::Kind::Malformed;
      h.problem = std::string(pos ? "POS" : "ORI") + " needs three numbers, got " + Quote(rest);
    }
    return h;
  }
  if (!EqualsNoCase(key, "ATTACHED")) return h;  // a module's line
  // The parent's name, the index, and the id: the rest of the line after the index (it may be
  // empty).
  const std::string_view parent = FirstWord(rest);
  const std::string_view indexWord = FirstWord(AfterFirstWord(rest));
  long long index = -1;
  if (parent.empty() || !ParseInt(indexWord, index) || index < 0 || index > UINT32_MAX) {
    h.kind = HostLine::Kind::Malformed;
    h.problem = "expected ATTACHED <parent> <index> <own point id>, got " + Quote(rest);
    return h;
  }
  h.kind = HostLine::Kind::Attached;
  h.parent = parent;
  h.index = static_cast<std::uint32_t>(index);
  h.pointId = AfterFirstWord(AfterFirstWord(rest));
  return h;
}

namespace {

bool IsEnd(std::string_view line) {
  return EqualsNoCase(FirstWord(line), "END") && AfterFirstWord(line).empty();
}

constexpr const char* kBegins = "a scenario begins with TITLE, TIME, FOCUS or VESSEL";

bool IsHeader(std::string_view key) {
  return EqualsNoCase(key, "TITLE") || EqualsNoCase(key, "TIME") || EqualsNoCase(key, "FOCUS") ||
         EqualsNoCase(key, "VESSEL");
}

// A word as a message shows it: at most 40 bytes.
std::string_view Cut(std::string_view word) { return word.substr(0, 40); }

}  // namespace

BlockLines BlockLines::OfText(std::string_view text, int first) {
  BlockLines b;
  b.text_ = text;
  b.number_ = first - 1;
  return b;
}

BlockLines BlockLines::Given(const std::vector<std::string>& lines) {
  BlockLines b;
  b.given_ = &lines;
  return b;
}

bool BlockLines::Next(std::string_view& line, int& number) {
  if (given_ != nullptr) {
    if (static_cast<std::size_t>(number_) >= given_->size()) return false;
    line = (*given_)[static_cast<std::size_t>(number_)];
    number = ++number_;
    return true;
  }
  // The rules of ParseScenario, which has checked the text.
  while (!text_.empty()) {
    const std::size_t end = text_.find('\n');
    const std::string_view raw = text_.substr(0, end);
    text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
    ++number_;
    line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    number = number_;
    return true;
  }
  return false;
}

ScenarioFile ParseScenario(std::string_view text, const std::string& file, std::size_t maxVessels) {
  ScenarioFile out;
  ScenarioVessel* open = nullptr;  // the block being read
  bool begun = false;              // a line other than a comment was read
  LineTally unknown;               // the unknown top-level lines
  ForEachLine(text, file, "line", [&](std::string_view raw, int number) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') return;
    const std::string_view key = FirstWord(line);
    const std::string_view rest = AfterFirstWord(line);
    // A scenario begins with one of its own lines: any other file (a text, a script) given
    // in its place is refused rather than loaded as an empty world.
    if (!begun && !IsHeader(key))
      throw Error(std::string("not a scenario: ") + kBegins + ", not " + Quote(Cut(key)), file,
                  number);
    begun = true;
    if (open != nullptr) {
      if (IsEnd(line)) {
        open->block = std::string_view(open->block.data(),
                                       static_cast<std::size_t>(raw.data() - open->block.data()));
        open = nullptr;
        return;
      }
      if (EqualsNoCase(key, "VESSEL"))
        throw Error("VESSEL inside the block of \"" + open->name + "\" (missing END?)", file,
                    number);
      HostLine h = ParseHostLine(line);
      if (h.kind == HostLine::Kind::Malformed) throw Error(h.problem, file, number);
      if (h.kind == HostLine::Kind::Attached) {
        if (open->attached)
          throw Error(
              "second ATTACHED line for \"" + open->name + "\" (a vessel hangs on one parent)",
              file, number);
        open->attached = std::make_unique<ScenarioAttachment>(
            ScenarioAttachment{h.parent, h.index, h.pointId, number});
      }
      return;
    }
    if (EqualsNoCase(key, "VESSEL")) {
      if (out.vessels.size() >= maxVessels)
        throw Error("more than " + std::to_string(maxVessels) +
                        " vessels, the most a scenario of this size may hold",
                    file, number);
      // Exactly two words: the name and the class.
      const std::vector<std::string> words = SplitWords(rest);
      if (words.size() != 2) throw Error("expected VESSEL <name> <class>", file, number);
      open = &out.vessels.emplace_back();
      open->name = words[0];
      open->className = words[1];
      open->line = number;
      // The block starts where this line ends; its END line ends it.
      open->block = std::string_view(raw.data() + raw.size(), 0);
    } else if (EqualsNoCase(key, "END")) {
      throw Error("END without a VESSEL block", file, number);
    } else if (EqualsNoCase(key, "TITLE")) {
      out.title = std::string(rest);
    } else if (EqualsNoCase(key, "TIME")) {
      if (!ParseDouble(rest, out.time))
        throw Error("TIME must be one number, got " + Quote(rest), file, number);
    } else if (EqualsNoCase(key, "FOCUS")) {
      const std::vector<std::string> words = SplitWords(rest);
      if (words.size() != 1) throw Error("expected FOCUS <vessel name>", file, number);
      out.focus = words[0];
      out.focusLine = number;
    } else {
      out.kept.Add(line);
      if (unknown.Name(number))
        out.warnings.push_back(Where(file, number) + "unknown line kept: " + Quote(line));
    }
  });
  if (open != nullptr)
    throw Error("block of vessel \"" + open->name + "\" has no END", file, open->line);
  if (!begun) throw Error("not a scenario: it holds no TITLE, TIME, FOCUS or VESSEL line", file);
  if (unknown.unnamed != 0) out.warnings.push_back(UnnamedLines(file, unknown, ""));
  return out;
}

std::string UnnamedLines(const std::string& file, const LineTally& tally,
                         const std::string& vessel) {
  if (tally.unnamed == 0) return std::string();
  return Where(file, tally.firstUnnamed) + std::to_string(tally.unnamed) +
         (vessel.empty() ? " more unknown lines kept"
                         : " more lines of \"" + vessel + "\" kept or dropped") +
         " from this line on, not named one by one";
}

void CheckScenario(const ScenarioFile& s, const std::string& file) {
  // The blocks by name without regard to case.
  std::unordered_map<std::string, const ScenarioVessel*> byName;
  for (const ScenarioVessel& v : s.vessels) {
    auto [it, fresh] = byName.emplace(Folded(v.name), &v);
    if (!fresh)
      throw Error("a vessel named \"" + v.name + "\" exists already (line " +
                      std::to_string(it->second->line) + ")",
                  file, v.line);
  }
  auto find = [&](const std::string& name) -> const ScenarioVessel* {
    auto it = byName.find(Folded(name));
    return it != byName.end() ? it->second : nullptr;
  };
  // Each vessel's parent, by index; then every chain is walked once: a walk that meets a
  // vessel of its own path has found a ring, one that meets a vessel walked before stops.
  const std::size_t n = s.vessels.size();
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> parentOf(n, kNone);
  for (std::size_t i = 0; i < n; ++i) {
    const ScenarioVessel& v = s.vessels[i];
    if (!v.attached) continue;
    const ScenarioVessel* parent = find(v.attached->parent);
    if (parent == nullptr)
      throw Error("ATTACHED names no vessel of the scenario: \"" + v.attached->parent + "\"", file,
                  v.attached->line);
    if (parent == &v) throw Error("a vessel cannot hang on itself", file, v.attached->line);
    parentOf[i] = static_cast<std::size_t>(parent - s.vessels.data());
  }
  enum class Walk : unsigned char { Not, OnPath, Done };
  std::vector<Walk> walked(n, Walk::Not);
  for (std::size_t start = 0; start < n; ++start) {
    std::size_t i = start;
    while (i != kNone && walked[i] == Walk::Not) {
      walked[i] = Walk::OnPath;
      i = parentOf[i];
    }
    if (i != kNone && walked[i] == Walk::OnPath) {
      // The ring is reported at the first of its vessels in the file.
      std::size_t first = i;
      for (std::size_t j = parentOf[i]; j != i; j = parentOf[j]) first = std::min(first, j);
      const ScenarioVessel& v = s.vessels[first];
      throw Error("ATTACHED lines form a cycle through \"" + v.name + "\"", file, v.attached->line);
    }
    for (i = start; i != kNone && walked[i] == Walk::OnPath; i = parentOf[i])
      walked[i] = Walk::Done;
  }
  if (!s.focus.empty() && find(s.focus) == nullptr)
    throw Error("FOCUS names no vessel of the scenario: \"" + s.focus + "\"", file, s.focusLine);
}

std::string FormatScenarioTop(const std::string& title, double time, const std::string& focus,
                              const PackedLines& kept) {
  std::string out;
  if (!title.empty()) out += "TITLE " + OneLine(title) + "\n";
  out += "TIME " + ShortestDouble(time) + "\n";
  if (!focus.empty()) out += "FOCUS " + focus + "\n";
  out += kept.text();
  return out;
}

void AppendVesselBlock(std::string& out, const std::string& name, const std::string& className,
                       const PackedLines& lines) {
  out += "\nVESSEL ";
  out += name;
  out += ' ';
  out += className;
  out += '\n';
  for (const std::string_view line : lines) {
    out += "  ";
    out += line;
    out += '\n';
  }
  out += "END\n";
}

namespace {

std::string VectorLine(const char* key, const VECTOR3& v) {
  return std::string(key) + " " + ShortestDouble(v.x) + " " + ShortestDouble(v.y) + " " +
         ShortestDouble(v.z);
}

}  // namespace

std::string PosLine(const VECTOR3& pos) { return VectorLine("POS", pos); }
std::string OriLine(const VECTOR3& ori) { return VectorLine("ORI", ori); }

std::string AttachedLine(const std::string& parent, std::uint32_t index, const std::string& id) {
  std::string line = "ATTACHED " + parent + " " + std::to_string(index);
  if (!id.empty()) line += " " + OneLine(id);
  return line;
}

std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

bool BreaksBlock(std::string_view line) {
  return IsEnd(line) || EqualsNoCase(FirstWord(line), "VESSEL");
}

std::string Where(std::string_view file, int line) {
  if (file.empty()) return std::string();
  std::string out(file);
  if (line > 0) out += ":" + std::to_string(line);
  return out + ": ";
}

}  // namespace hostsim
