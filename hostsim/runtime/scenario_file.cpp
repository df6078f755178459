// Scenario files: parsing and checking a whole file before the world changes, loading the
// vessels in their documented order, and writing the world back atomically.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "hostsim/platform/files.h"
#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

struct ParsedVessel {
  std::string name, className;
  int line = 0;
  // The block's lines: `count` lines of ParsedScenario::lines from `first` on.
  std::size_t first = 0, count = 0;
  std::optional<PendingAttachment> attached;
};

struct ParsedScenario {
  std::string title;
  double time = 0;
  std::string focus;
  int focusLine = 0;
  std::vector<ParsedVessel> vessels;
  std::vector<ScenarioReadObject::Line> lines;  // every block's lines, block after block
  std::vector<std::string> kept;                // top-level lines nobody knows
  std::vector<std::string> warnings;            // gathered while parsing, reported on success
};

// Why a line of a scenario or configuration cannot be text, or null: a control character other
// than the tab (and the carriage return of a CRLF line ending, removed before) marks a binary
// file, which is refused rather than kept line by line.
const char* NotText(std::string_view line) {
  bool control = false;  // one pass over the line without an early exit, which vectorises
  for (char ch : line) {
    const auto c = static_cast<unsigned char>(ch);
    control |= (c < 0x20 && c != '\t') || c == 0x7F;
  }
  return control ? "line holds a control character (not a text file?)" : nullptr;
}

// True when no line of the text can fail NotText: no control character but the tab and the
// line feed. One pass over the whole file, which vectorises; a file with any other (a carriage
// return of a CRLF line ending among them) has each of its lines checked instead.
bool PlainText(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  unsigned char odd = 0;
  // Below 0x20 but the tab (0x09) and the line feed (0x0A): below 0x09, or 0x0B to 0x1F. Written
  // without branches or a bool per byte, so that the compiler vectorises the loop.
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = p[i];
    odd |= static_cast<unsigned char>(c < 0x09) |
           static_cast<unsigned char>(static_cast<unsigned char>(c - 0x0B) < 0x15) |
           static_cast<unsigned char>(c == 0x7F);
  }
  return odd == 0;
}

std::string_view FirstWord(std::string_view line) {
  std::size_t b = 0;
  while (b < line.size() && IsBlank(line[b])) ++b;
  std::size_t e = b;
  while (e < line.size() && !IsBlank(line[e])) ++e;
  return line.substr(b, e - b);
}

std::string_view AfterFirstWord(std::string_view line) {
  line = Trim(line);
  std::size_t i = 0;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  return Trim(line.substr(i));
}

std::string Quote(std::string_view s) {
  std::string out;
  AppendQuoted(out, s);
  return out;
}

std::string Where(std::string_view file, int line) {
  if (file.empty()) return std::string();
  std::string out(file);
  if (line > 0) out += ":" + std::to_string(line);
  return out + ": ";
}

// The whole of a stream opened on a file, read in large pieces into one text that has the
// room for the file from the start (when its size can be told).
std::string ReadAll(std::ifstream& in) {
  std::string text;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.clear();
  in.seekg(0, std::ios::beg);
  if (size > 0) text.reserve(static_cast<std::size_t>(size));
  char piece[1 << 16];
  while (in.read(piece, sizeof piece) || in.gcount() > 0)
    text.append(piece, static_cast<std::size_t>(in.gcount()));
  return text;
}

// A scenario line may not break the file's structure: line breaks become blanks.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

// True for a line that, written into a vessel's block, would be read back as the block's END
// or as the start of another vessel: it would spill the rest of the block out of it, or make
// the file unreadable. No scenario file holds such a line inside a block; only a module's own
// lines, or a block handed to LoadVesselState, can.
bool BreaksBlock(std::string_view line) {
  const std::string_view key = FirstWord(line);
  return (EqualsNoCase(key, "END") && AfterFirstWord(line).empty()) || EqualsNoCase(key, "VESSEL");
}

ParsedScenario ParseScenario(std::string_view text, const std::string& file) {
  ParsedScenario out;
  ParsedVessel* open = nullptr;
  int number = 0;
  const bool plain = PlainText(text);
  // Room for every line from the start: a list grown step by step would copy itself again
  // and again.
  const auto lineCount = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  out.lines.reserve(lineCount);
  // And for the vessels of a file whose blocks hold a few lines each (name, position,
  // orientation, end), as most do; a file of shorter blocks grows the list as it needs.
  out.vessels.reserve(lineCount / 4);
  // Lines end at '\n'; a last line without one counts, an empty rest after the last does not.
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view raw = text.substr(pos, nl - pos);
    pos = nl + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (const char* why = plain ? nullptr : NotText(raw)) {
      if (raw.find('\0') != std::string_view::npos)
        throw Error("line holds a zero byte", file, number);
      throw Error(why, file, number);
    }
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    std::string_view key = FirstWord(line);
    if (open != nullptr) {
      if (EqualsNoCase(key, "END") && AfterFirstWord(line).empty()) {
        open = nullptr;
        continue;
      }
      if (EqualsNoCase(key, "VESSEL"))
        throw Error("VESSEL inside the block of \"" + open->name + "\" (missing END?)", file,
                    number);
      HostLine h = ParseHostLine(line, key);
      if (h.kind == HostLine::Kind::Malformed) throw Error(h.problem, file, number);
      if (h.kind == HostLine::Kind::Attached) {
        if (open->attached)
          throw Error(
              "second ATTACHED line for \"" + open->name + "\" (a vessel hangs on one parent)",
              file, number);
        open->attached = PendingAttachment{h.parent, h.index, h.pointId, file, number};
      }
      auto& added = out.lines.emplace_back();
      ++open->count;
      added.text = line;
      added.number = number;
      if (h.kind == HostLine::Kind::Pos || h.kind == HostLine::Kind::Ori) {
        added.hostKind = h.kind;
        added.hostVector = h.v;
      }
      continue;
    }
    std::string_view rest = AfterFirstWord(line);
    if (EqualsNoCase(key, "VESSEL")) {
      // Exactly two words: the name and the class.
      const std::string_view vesselName = FirstWord(rest);
      const std::string_view afterName = AfterFirstWord(rest);
      const std::string_view className = FirstWord(afterName);
      if (vesselName.empty() || className.empty() || !AfterFirstWord(afterName).empty())
        throw Error("expected VESSEL <name> <class>", file, number);
      ParsedVessel& pv = out.vessels.emplace_back();
      pv.name = vesselName;
      pv.className = className;
      pv.line = number;
      pv.first = out.lines.size();
      open = &pv;
    } else if (EqualsNoCase(key, "END")) {
      throw Error("END without a VESSEL block", file, number);
    } else if (EqualsNoCase(key, "TITLE")) {
      out.title = std::string(rest);
    } else if (EqualsNoCase(key, "TIME")) {
      if (!ParseDouble(rest, out.time))
        throw Error("TIME must be one number, got " + Quote(rest), file, number);
    } else if (EqualsNoCase(key, "FOCUS")) {
      auto words = SplitWords(rest);
      if (words.size() != 1) throw Error("expected FOCUS <vessel name>", file, number);
      out.focus = words[0];
      out.focusLine = number;
    } else {
      out.kept.emplace_back(line);
      out.warnings.push_back(Where(file, number) + "unknown line kept: " + Quote(line));
    }
  }
  if (open != nullptr)
    throw Error("block of vessel \"" + open->name + "\" has no END", file, open->line);
  return out;
}

// The scenario's vessels by name without regard to case, each name at its first block: open
// addressing over the indices of the blocks, without an allocation per name.
class BlockNames {
 public:
  explicit BlockNames(const std::vector<ParsedVessel>& vessels) : vessels_(vessels) {
    std::size_t size = 16;
    while (size < vessels.size() * 2) size *= 2;
    slots_.assign(size, Slot{0, kFree});
  }
  // Adds the block `index` under its name; returns the block that has the name already, or
  // null when it is new.
  const ParsedVessel* Add(std::uint32_t index) {
    const std::string_view name = vessels_[index].name;
    const std::uint64_t h = VesselsByName::Hash(name);
    std::size_t i = h & mask();
    for (; slots_[i].index != kFree; i = (i + 1) & mask()) {
      const ParsedVessel& other = vessels_[slots_[i].index];
      if (slots_[i].hash == h && EqualsNoCase(other.name, name)) return &other;
    }
    slots_[i] = {h, index};
    return nullptr;
  }
  const ParsedVessel* Find(std::string_view name) const {
    const std::uint64_t h = VesselsByName::Hash(name);
    for (std::size_t i = h & mask(); slots_[i].index != kFree; i = (i + 1) & mask()) {
      const ParsedVessel& v = vessels_[slots_[i].index];
      if (slots_[i].hash == h && EqualsNoCase(v.name, name)) return &v;
    }
    return nullptr;
  }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX;
  struct Slot {
    std::uint64_t hash;
    std::uint32_t index;
  };
  std::size_t mask() const { return slots_.size() - 1; }
  const std::vector<ParsedVessel>& vessels_;
  std::vector<Slot> slots_;
};

// The checks that need no vessel: names, references between blocks, no cycles.
void CheckReferences(const ParsedScenario& s, const std::string& file) {
  if (s.vessels.size() >= UINT32_MAX) throw Error("too many vessels", file);
  BlockNames byName(s.vessels);
  for (std::uint32_t i = 0; i < s.vessels.size(); ++i) {
    const ParsedVessel& v = s.vessels[i];
    if (const ParsedVessel* first = byName.Add(i))
      throw Error("a vessel named \"" + v.name + "\" exists already (line " +
                      std::to_string(first->line) + ")",
                  file, v.line);
  }
  auto find = [&](std::string_view name) { return byName.Find(name); };
  for (const auto& v : s.vessels) {
    if (!v.attached) continue;
    const ParsedVessel* parent = find(v.attached->parent);
    if (parent == nullptr)
      throw Error("ATTACHED names no vessel of the scenario: \"" + v.attached->parent + "\"", file,
                  v.attached->line);
    if (parent == &v) throw Error("a vessel cannot hang on itself", file, v.attached->line);
    // Walk up the parents: coming back to this vessel means a cycle.
    const ParsedVessel* up = parent;
    for (std::size_t steps = 0; up != nullptr && up->attached; ++steps) {
      up = find(up->attached->parent);
      if (up == &v || steps > s.vessels.size())
        throw Error("ATTACHED lines form a cycle through \"" + v.name + "\"", file,
                    v.attached->line);
    }
  }
  if (!s.focus.empty() && find(s.focus) == nullptr)
    throw Error("FOCUS names no vessel of the scenario: \"" + s.focus + "\"", file, s.focusLine);
}

// Restores a pending attachment; false (with a warning) when the host cannot make it.
void RestoreAttachment(World& world, World::Impl& w, Vessel& child) {
  Vessel::Impl& ci = Of(child);
  if (!ci.pendingAttach) return;
  PendingAttachment p = std::move(*ci.pendingAttach);
  ci.pendingAttach.reset();
  auto where = [&] { return Where(p.file, p.line); };
  Vessel* parent = world.FindVessel(p.parent);
  if (parent == nullptr) {
    w.warnings.push_back(where() + "cannot attach \"" + child.name() + "\": no vessel \"" +
                         p.parent + "\"");
    return;
  }
  // The parent's child point number p.index, and the child's own point of that id (exactly,
  // else without regard to case).
  AttachmentPoint* at = nullptr;
  std::uint32_t n = 0;
  for (const auto& q : parent->attachments)
    if (!q->toParent && n++ == p.index) {
      at = q.get();
      break;
    }
  if (at == nullptr) {
    w.warnings.push_back(where() + "cannot attach \"" + child.name() + "\": \"" + parent->name() +
                         "\" has no child point " + std::to_string(p.index));
    return;
  }
  AttachmentPoint* own = nullptr;
  for (const auto& q : child.attachments)
    if (q->toParent && q->id == p.pointId) {
      own = q.get();
      break;
    }
  if (own == nullptr)
    for (const auto& q : child.attachments)
      if (q->toParent && EqualsNoCase(q->id, p.pointId)) {
        own = q.get();
        break;
      }
  if (own == nullptr) {
    w.warnings.push_back(where() + "cannot attach \"" + child.name() + "\": it has no point \"" +
                         p.pointId + "\"");
    return;
  }
  if (!AttachInternal(*parent, at, child, own))
    w.warnings.push_back(where() + "cannot attach \"" + child.name() + "\" to \"" + parent->name() +
                         "\" point " + std::to_string(p.index) +
                         ": the point or the vessel is taken");
}

void LoadBlock(World::Impl& w, Vessel& v, std::span<const ScenarioReadObject::Line> lines,
               const std::string& file) {
  Vessel::Impl& vi = Of(v);
  if (vi.cb2 == nullptr) {
    for (const auto& l : lines) ApplyHostLine(w, v, l.text, file, l.number, &l);
    return;
  }
  ScenarioReadObject r;
  r.name = file;
  r.vessel = &v;
  r.lines = lines;
  OpenFile open(w, r);
  ScenarioReadObject* previous = w.activeRead;
  w.activeRead = &r;
  void* status = &r;
  TraceCallback(w, v, "clbkLoadScenario", open.handle(), status);
  {
    InCallback in(w, &v);
    vi.cb2->clbkLoadScenario(open.handle(), status);
  }
  w.activeRead = previous;
}

// While a scenario load makes its vessels: lends CreateVessel the classes the load has read,
// and tells it that the names are known to differ (the file's were checked against each
// other, and the old world is set aside).
class CreatingFromScenario {
 public:
  CreatingFromScenario(World::Impl& w, std::map<std::string, ClassConfig>& c, std::size_t n)
      : w_(w) {
    w_.classes = &c;
    w_.namesChecked = true;
    w_.setupDeferred = true;
    // The records of all the load's vessels first, handed out in this order.
    w_.spareVessels.resize(n);
    for (std::size_t i = n; i-- > 0;) w_.spareVessels[i] = std::make_unique<Vessel>();
  }
  ~CreatingFromScenario() {
    w_.classes = nullptr;
    w_.namesChecked = false;
    w_.setupDeferred = false;
    w_.spareVessels.clear();
  }
  CreatingFromScenario(const CreatingFromScenario&) = delete;
  CreatingFromScenario& operator=(const CreatingFromScenario&) = delete;

 private:
  World::Impl& w_;
};

void CallAfterCreation(World::Impl& w, Vessel& v) {
  if (VESSEL2* cb = Of(v).cb2) {
    TraceCallback(w, v, "clbkAfterCreation");
    InCallback in(w, &v);
    cb->clbkAfterCreation();
  }
}

}  // namespace

HostLine ParseHostLine(std::string_view line) {
  line = Trim(line);
  return ParseHostLine(line, FirstWord(line));
}

HostLine ParseHostLine(std::string_view line, std::string_view key) {
  HostLine h;
  bool pos = EqualsNoCase(key, "POS"), ori = EqualsNoCase(key, "ORI");
  const bool attached = !pos && !ori && EqualsNoCase(key, "ATTACHED");
  if (!pos && !ori && !attached) return h;  // a module's line
  const std::string_view rest = Trim(line.substr(key.size()));
  if (pos || ori) {
    h.kind = pos ? HostLine::Kind::Pos : HostLine::Kind::Ori;
    if (!ParseVector(rest, h.v)) {
      h.kind = HostLine::Kind::Malformed;
      h.problem = std::string(pos ? "POS" : "ORI") + " needs three numbers, got " + Quote(rest);
    }
    return h;
  }
  // The parent's name, the index, and the id: the rest of the line after the index (it may be
  // empty).
  const std::string_view parent = FirstWord(rest);
  const std::string_view afterParent = AfterFirstWord(rest);
  const std::string_view indexWord = FirstWord(afterParent);
  long long index = -1;
  if (parent.empty() || indexWord.empty() || !ParseInt(indexWord, index) || index < 0 ||
      index > UINT32_MAX) {
    h.kind = HostLine::Kind::Malformed;
    h.problem = "expected ATTACHED <parent> <index> <own point id>, got " + Quote(rest);
    return h;
  }
  h.kind = HostLine::Kind::Attached;
  h.parent = parent;
  h.index = static_cast<std::uint32_t>(index);
  h.pointId = AfterFirstWord(afterParent);
  return h;
}

void ApplyHostLine(World::Impl& w, Vessel& v, std::string_view line, std::string_view file,
                   int number, const ScenarioReadObject::Line* known) {
  Vessel::Impl& vi = Of(v);
  // The line as a module reads it: up to a zero byte, if one was handed in.
  const std::string_view text = line.substr(0, line.find('\0'));
  HostLine h;
  if (known != nullptr && known->hostKind != HostLine::Kind::None && known->text == text) {
    h.kind = known->hostKind;
    h.v = known->hostVector;
  } else {
    h = ParseHostLine(text);
  }
  switch (h.kind) {
    case HostLine::Kind::Pos:
    case HostLine::Kind::Ori:
      (h.kind == HostLine::Kind::Pos ? vi.pos : vi.ori) = h.v;
      vi.givenPose = PoseFromAngles(vi.pos, vi.ori);
      v.freePose = vi.givenPose;
      return;
    case HostLine::Kind::Attached:
      vi.pendingAttach = PendingAttachment{h.parent, h.index, h.pointId, std::string(file), number};
      return;
    case HostLine::Kind::Malformed:
      w.warnings.push_back(Where(file, number) + h.problem + "; line kept");
      break;
    case HostLine::Kind::None:
      if (BreaksBlock(text)) {
        w.warnings.push_back(Where(file, number) + "line of \"" + v.name() +
                             "\" dropped: saved, it would end the vessel's block: " + Quote(text));
        return;
      }
      w.warnings.push_back(Where(file, number) + "unknown line of \"" + v.name() +
                           "\" kept: " + Quote(text));
      break;
  }
  v.keptLines.push_back(OneLine(std::string(text)));
}

void WriteHostLines(World::Impl&, Vessel& v, std::vector<std::string>& out) {
  Vessel::Impl& vi = Of(v);
  Transform pose = v.WorldPose();
  VECTOR3 pos = vi.pos, ori = vi.ori;
  if (!SameTransform(pose, vi.givenPose)) {
    pos = pose.t;
    ori = AnglesFromPose(pose);
  }
  auto vec = [](const char* key, const VECTOR3& p) {
    return std::string(key) + " " + FormatDouble(p.x) + " " + FormatDouble(p.y) + " " +
           FormatDouble(p.z);
  };
  out.push_back(vec("POS", pos));
  out.push_back(vec("ORI", ori));
  for (AttachmentPoint* own : v.Points(true)) {
    if (own->peer == nullptr) continue;
    Vessel* parent = own->peer->owner;
    auto points = parent->Points(false);
    auto idx = std::find(points.begin(), points.end(), own->peer) - points.begin();
    std::string line = "ATTACHED " + parent->name() + " " + std::to_string(idx);
    if (!own->id.empty()) line += " " + OneLine(own->id);
    out.push_back(line);
  }
  for (const auto& k : v.keptLines) out.push_back(k);
}

void World::LoadVesselState(Vessel& v, const std::vector<std::string>& lines) {
  if (impl_->Find(v.handle()) != &v) throw Error("not a vessel of this world");
  ScopedCurrent current(*this);
  // The block's lines view these texts, which stay in place (reserved) until it is loaded.
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  std::vector<ScenarioReadObject::Line> block;
  int n = 0;
  for (const auto& l : lines) {
    texts.push_back(OneLine(l));
    auto& added = block.emplace_back();
    added.text = texts.back();
    added.number = ++n;
  }
  LoadBlock(*impl_, v, block, "(state of " + v.name() + ")");
  RestoreAttachment(*this, *impl_, v);
}

void World::FinishCreation(Vessel& v) {
  if (impl_->Find(v.handle()) != &v) throw Error("not a vessel of this world");
  ScopedCurrent current(*this);
  CallAfterCreation(*impl_, v);
}

void World::LoadScenario(const std::filesystem::path& file, LoadOptions opts) {
  const std::string name = file.string();
  // A folder opens like a file on some systems and reads as empty: it would load as a
  // scenario without vessels.
  std::error_code dirEc;
  if (std::filesystem::is_directory(file, dirEc))
    throw Error("cannot read scenario: a folder", name);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error("cannot read scenario", name);
  // Its lines are parsed in place: the vessels' blocks view this text until they are loaded.
  const std::string text = ReadAll(in);
  if (in.bad()) throw Error("cannot read scenario", name);
  ParsedScenario s = ParseScenario(text, name);
  CheckReferences(s, name);

  ScopedCurrent current(*this);
  // Every class must be known and every module loadable before the world changes; modules
  // loaded only for this check are unloaded again when it fails.
  std::set<std::string> loadedBefore;
  for (const auto& [n, m] : impl_->modules) loadedBefore.insert(n);
  auto unloadNew = [&] {
    std::vector<std::string> added;
    for (const auto& [n, m] : impl_->modules)
      if (!loadedBefore.count(n)) added.push_back(n);
    for (const auto& n : added) UnloadModule(n);
  };
  // Each class's configuration is read once, here, and every vessel of the class is made
  // from that reading.
  std::map<std::string, ClassConfig> classes;
  try {
    const std::string* previous = nullptr;  // the class of the vessel before
    for (const auto& pv : s.vessels) {
      // Vessels of one class mostly come one after the other.
      if (previous != nullptr && *previous == pv.className) continue;
      previous = &pv.className;
      auto [slot, fresh] = classes.try_emplace(pv.className);
      if (!fresh) continue;  // checked with the class's first vessel
      auto cfgPath = impl_->paths.config / (pv.className + ".cfg");
      std::error_code ec;
      if (pv.className.find_first_of("/\\:") != std::string::npos ||
          !std::filesystem::is_regular_file(cfgPath, ec))
        throw Error("unknown vessel class \"" + pv.className + "\" (no " + cfgPath.string() + ")",
                    name, pv.line);
      try {
        slot->second.file = std::make_shared<const ConfigFile>(ReadConfig(cfgPath));
      } catch (const Error& e) {
        throw Error("class \"" + pv.className + "\": " + e.what(), name, pv.line);
      }
      const ConfigFile& cfg = *slot->second.file;
      if (const ConfigItem* m = cfg.Find("Module"); m != nullptr && !m->value.empty()) {
        try {
          slot->second.module = &LoadModule(m->value);
        } catch (const Error& e) {
          throw Error("class \"" + pv.className + "\": " + e.what(), name, pv.line);
        }
      }
    }
  } catch (...) {
    unloadNew();
    throw;
  }

  // The file is sound. The new vessels are made while the old ones are set aside, out of
  // reach of every lookup, so that a module failing to make its object (which no check can
  // tell beforehand) leaves the world as it was.
  std::vector<std::unique_ptr<Vessel>> old;
  old.swap(impl_->vessels);
  ++impl_->vesselsChanged;
  for (const auto& v : old) impl_->byToken.erase(Of(*v).token);
  VesselsByName oldNames;
  std::swap(oldNames, impl_->byName);
  Vessel* oldFocus = impl_->focus;
  const double oldSimt = impl_->simt, oldSimdt = impl_->simdt;
  std::string oldTitle = title;
  const std::size_t oldWarnings = impl_->warnings.size();
  impl_->focus = nullptr;
  impl_->simt = s.time;
  impl_->simdt = 0;
  title = s.title;
  for (auto& wmsg : s.warnings) impl_->warnings.push_back(std::move(wmsg));

  // The vessels whose blocks hang them on a parent, in creation order.
  std::vector<Vessel*> attaching;
  try {
    CreatingFromScenario creating(*impl_, classes, s.vessels.size());
    impl_->vessels.reserve(s.vessels.size());
    impl_->byToken.Reserve(s.vessels.size());
    impl_->byName.Reserve(s.vessels.size());
    // Every vessel's object first, then each one set up and loaded in turn: each vessel
    // still sees zvcInit, clbkSetupClass and clbkLoadScenario in that order.
    std::vector<Vessel*> made;
    made.reserve(s.vessels.size());
    for (auto& pv : s.vessels) {
      try {
        made.push_back(&CreateVessel(pv.name, pv.className));
      } catch (const Error& e) {
        throw Error("cannot create \"" + pv.name + "\": " + e.what(), name, pv.line);
      }
    }
    for (std::size_t i = 0; i < made.size(); ++i) {
      const auto& pv = s.vessels[i];
      Vessel* v = made[i];
      try {
        SetUpVessel(*this, *impl_, *v);
      } catch (const Error& e) {
        throw Error("cannot create \"" + pv.name + "\": " + e.what(), name, pv.line);
      }
      LoadBlock(*impl_, *v, std::span(s.lines).subspan(pv.first, pv.count), name);
      if (Of(*v).pendingAttach) attaching.push_back(v);
    }
  } catch (...) {
    while (!impl_->vessels.empty()) DestroyVessel(*impl_->vessels.back());
    impl_->vessels.swap(old);
    ++impl_->vesselsChanged;
    for (const auto& v : impl_->vessels) impl_->byToken.Set(Of(*v).token, v.get());
    std::swap(impl_->byName, oldNames);
    impl_->focus = oldFocus;
    impl_->simt = oldSimt;
    impl_->simdt = oldSimdt;
    title = oldTitle;
    impl_->warnings.resize(oldWarnings);
    unloadNew();
    throw;
  }

  // The old vessels go now, through the ordinary destruction. Their names stay out of the
  // index: they are the new vessels' now.
  std::vector<Vessel*> doomed;
  for (auto& v : old) {
    impl_->byToken.Set(Of(*v).token, v.get());
    doomed.push_back(v.get());
    impl_->vessels.push_back(std::move(v));
    ++impl_->vesselsChanged;
  }
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) DestroyVessel(**it);
  impl_->box.reset();
  impl_->boxOwner = nullptr;
  impl_->topLevelKept = s.kept;

  for (Vessel* v : attaching) RestoreAttachment(*this, *impl_, *v);
  // Modules cannot make or destroy vessels: the list stays as it is for the rest of the load.
  const std::vector<Vessel*> loaded = Vessels();
  for (Vessel* v : loaded) CallAfterCreation(*impl_, *v);
  Vessel* focus = !s.focus.empty() ? FindVessel(s.focus) : nullptr;
  if (focus == nullptr)
    for (Vessel* v : loaded)
      if (v->physics.focusEnabled) {
        focus = v;
        break;
      }
  if (focus != nullptr) SetFocus(focus);
  if (opts.buildVisuals) {
    impl_->visuals.Reserve(loaded.size());
    impl_->devMeshes.Reserve(loaded.size());
  }
  if (opts.buildVisuals)
    for (Vessel* v : loaded)
      if (!v->visual) BuildVisualOf(*impl_, *v);
}

std::string World::ScenarioText() {
  ScopedCurrent current(*this);
  std::string out;
  if (!title.empty()) out += "TITLE " + OneLine(title) + "\n";
  out += "TIME " + FormatDouble(impl_->simt) + "\n";
  if (impl_->focus != nullptr) out += "FOCUS " + impl_->focus->name() + "\n";
  for (const auto& k : impl_->topLevelKept) out += k + "\n";
  for (Vessel* v : Vessels()) {
    Vessel::Impl& vi = Of(*v);
    std::vector<std::string> lines;
    if (vi.cb2 != nullptr) {
      ScenarioWriteObject wr;
      wr.name = "(saving)";
      wr.vessel = v;
      OpenFile open(*impl_, wr);
      TraceCallback(*impl_, *v, "clbkSaveState", open.handle());
      {
        InCallback in(*impl_, v);
        vi.cb2->clbkSaveState(open.handle());
      }
      lines = std::move(wr.lines);
    } else {
      WriteHostLines(*impl_, *v, lines);
    }
    out += "\nVESSEL " + v->name() + " " + v->className() + "\n";
    for (const auto& l : lines) out += "  " + l + "\n";
    out += "END\n";
  }
  return out;
}

void World::SaveScenario(const std::filesystem::path& file) {
  const std::string text = ScenarioText();
  if (std::string reason = platform::WriteFile(file, text); !reason.empty())
    throw Error("cannot save scenario: " + reason, file.string());
}

}  // namespace hostsim

using namespace hostsim;

void zapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* string) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiWriteScenario_string", scn, item, string);
  if (w == nullptr) return;
  auto* out = w->File<ScenarioWriteObject>(scn, FileObject::Kind::ScenarioWrite);
  if (out == nullptr) return;
  std::string line = item != nullptr ? item : "";
  line += ' ';
  line += string != nullptr ? string : "";
  line = OneLine(std::move(line));
  if (BreaksBlock(line)) {
    w->warnings.push_back("line of \"" + (out->vessel != nullptr ? out->vessel->name() : "") +
                          "\" not saved: it would end the vessel's block: " + Quote(line));
    return;
  }
  out->lines.push_back(std::move(line));
}

bool zapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiReadScenario_nextline", scn);
  if (w == nullptr) return false;
  auto* in = w->File<ScenarioReadObject>(scn, FileObject::Kind::ScenarioRead);
  if (in == nullptr || in->next >= in->lines.size()) return false;
  const auto& l = in->lines[in->next++];
  in->currentLine = l.number;
  const std::size_t n = l.text.size();
  if (w->lineBuffer.size() < n + 1) w->lineBuffer.resize(n + 1);
  std::memcpy(w->lineBuffer.data(), l.text.data(), n);
  w->lineBuffer[n] = '\0';
  line = w->lineBuffer.data();
  return true;
}
