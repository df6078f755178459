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

ScenarioFile ParseScenario(std::string_view text, const std::string& file) {
  ScenarioFile out;
  ScenarioVessel* open = nullptr;  // the block being read
  bool begun = false;              // a line other than a comment was read
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
        open->attached = ScenarioAttachment{h.parent, h.index, h.pointId, number};
      }
      open->lines.push_back({std::string(line), number});
      return;
    }
    if (EqualsNoCase(key, "VESSEL")) {
      // Exactly two words: the name and the class.
      const std::vector<std::string> words = SplitWords(rest);
      if (words.size() != 2) throw Error("expected VESSEL <name> <class>", file, number);
      open = &out.vessels.emplace_back();
      open->name = words[0];
      open->className = words[1];
      open->line = number;
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
      out.kept.emplace_back(line);
      out.warnings.push_back(Where(file, number) + "unknown line kept: " + Quote(line));
    }
  });
  if (open != nullptr)
    throw Error("block of vessel \"" + open->name + "\" has no END", file, open->line);
  if (!begun) throw Error("not a scenario: it holds no TITLE, TIME, FOCUS or VESSEL line", file);
  return out;
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

std::string FormatScenario(const ScenarioFile& s) {
  std::string out;
  if (!s.title.empty()) out += "TITLE " + OneLine(s.title) + "\n";
  out += "TIME " + ShortestDouble(s.time) + "\n";
  if (!s.focus.empty()) out += "FOCUS " + s.focus + "\n";
  for (const std::string& k : s.kept) out += k + "\n";
  for (const ScenarioVessel& v : s.vessels) {
    out += "\nVESSEL " + v.name + " " + v.className + "\n";
    for (const ScenarioLine& l : v.lines) out += "  " + l.text + "\n";
    out += "END\n";
  }
  return out;
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
