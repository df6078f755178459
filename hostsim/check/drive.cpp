// Driving vessels with random input and reading back what the module gave the host.
#include "hostsim/check/drive.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "hostsim/keys/keys.h"

namespace hostsim::check {

namespace {

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Vec(const VECTOR3& v) {
  return "(" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + ")";
}

bool Finite(const VECTOR3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool Finite(const COLOUR4& c) {
  return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}

bool Finite(const MATERIAL& m) {
  return Finite(m.diffuse) && Finite(m.ambient) && Finite(m.specular) && Finite(m.emissive) &&
         std::isfinite(m.power);
}

// Collects the first non-finite value found, with what it is.
class Scan {
 public:
  explicit Scan(const Vessel& v) : v_(v) {}
  void Value(const std::string& what, double x) {
    if (found.empty() && !std::isfinite(x)) found = Where() + what + " = " + Number(x);
  }
  void Vector(const std::string& what, const VECTOR3& x) {
    if (found.empty() && !Finite(x)) found = Where() + what + " = " + Vec(x);
  }
  void Colour(const std::string& what, const COLOUR4& c) {
    if (found.empty() && !Finite(c))
      found = Where() + what + " = (" + Number(c.r) + ", " + Number(c.g) + ", " + Number(c.b) +
              ", " + Number(c.a) + ")";
  }
  void Material(const std::string& what, const MATERIAL& m) {
    if (found.empty() && !Finite(m)) {
      Colour(what + " diffuse", m.diffuse);
      Colour(what + " ambient", m.ambient);
      Colour(what + " specular", m.specular);
      Colour(what + " emissive", m.emissive);
      Value(what + " power", m.power);
    }
  }
  std::string found;

 private:
  std::string Where() const { return "vessel " + v_.name() + ": "; }
  const Vessel& v_;
};

void ScanVessel(const Vessel& v, Scan& s) {
  const Physics& p = v.physics;
  s.Value("size", p.size);
  s.Value("empty mass", p.emptyMass);
  for (int i = 0; i < 3; ++i) s.Vector("touchdown point " + std::to_string(i), p.touchdown[i]);
  s.Vector("PMI", p.pmi);
  s.Vector("cross sections", p.crossSections);
  s.Vector("rotational drag", p.rotDrag);
  for (int i = 0; i < 4; ++i) s.Value("drag coefficient " + std::to_string(i), p.cw[i]);
  s.Value("visibility limit", p.visLimit);
  s.Value("spot visibility limit", p.spotLimit);
  for (std::size_t i = 0; i < v.lights.size(); ++i) {
    if (v.lights[i] == nullptr) continue;
    const LightState l = ViewLight(*v.lights[i]);
    const std::string n = "light " + std::to_string(i) + " ";
    s.Value(n + "intensity", l.intensity);
    s.Vector(n + "position", l.position);
    s.Vector(n + "direction", l.direction);
    s.Colour(n + "diffuse colour", l.diffuse);
    s.Colour(n + "specular colour", l.specular);
    s.Colour(n + "ambient colour", l.ambient);
    if (l.type == LightEmitter::LT_POINT || l.type == LightEmitter::LT_SPOT) {
      s.Value(n + "range", l.range);
      for (int k = 0; k < 3; ++k) s.Value(n + "attenuation " + std::to_string(k), l.attenuation[k]);
    }
    if (l.type == LightEmitter::LT_SPOT) {
      s.Value(n + "umbra", l.umbra);
      s.Value(n + "penumbra", l.penumbra);
    }
  }
  for (std::size_t i = 0; i < v.beacons.size(); ++i) {
    const BEACONLIGHTSPEC* b = v.beacons[i];
    if (b == nullptr) continue;
    const std::string n = "beacon " + std::to_string(i) + " ";
    if (b->pos != nullptr) s.Vector(n + "position", *b->pos);
    if (b->col != nullptr) s.Vector(n + "colour", *b->col);
    s.Value(n + "size", b->size);
    s.Value(n + "falloff", b->falloff);
    s.Value(n + "period", b->period);
    s.Value(n + "duration", b->duration);
    s.Value(n + "time offset", b->tofs);
  }
  for (std::size_t i = 0; i < v.animations.size(); ++i)
    s.Value("animation " + std::to_string(i) + " state", v.animations[i].state);
  for (const auto& c : v.components) {
    s.Value("animation component state0", c->state0);
    s.Value("animation component state1", c->state1);
  }
  for (const auto& a : v.attachments) {
    const std::string n = "attachment point \"" + a->id + "\" ";
    s.Vector(n + "position", a->pos);
    s.Vector(n + "direction", a->dir);
    s.Vector(n + "rotation reference", a->rot);
  }
  for (std::size_t i = 0; i < v.meshes.size(); ++i) {
    const MeshSlot& m = v.meshes[i];
    s.Vector("mesh " + std::to_string(i) + " offset", m.ofs);
    if (m.mesh == nullptr) continue;
    for (std::size_t k = 0; k < m.mesh->materials.size(); ++k)
      s.Material("mesh " + std::to_string(i) + " material " + std::to_string(k),
                 m.mesh->materials[k]);
  }
  if (v.visual) {
    for (const auto& dm : v.visual->meshes) {
      for (std::size_t k = 0; k < dm->materials.size(); ++k)
        s.Material("device mesh " + std::to_string(dm->index) + " material " + std::to_string(k),
                   dm->materials[k]);
    }
  }
}

// The words of a journal entry's arguments outside quoted texts.
std::vector<std::string> ArgumentWords(const std::string& args) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (char c : args) {
    if (c == '"') {
      quoted = !quoted;
      word.clear();
      continue;
    }
    if (quoted) continue;
    // Arguments are separated by commas, blanks and brackets; a handle's text ("module:x",
    // "devmesh:y#0") stays one word.
    const bool part = c != ',' && c != ' ' && c != '(' && c != ')' && c != '[' && c != ']' &&
                      c != '{' && c != '}' && c != '\t';
    if (part) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty() && !quoted) words.push_back(word);
  return words;
}

bool NonFiniteWord(std::string w) {
  if (!w.empty() && (w[0] == '-' || w[0] == '+')) w.erase(0, 1);
  std::transform(w.begin(), w.end(), w.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return w == "nan" || w == "inf" || w == "infinity";
}

}  // namespace

std::string FindNonFinite(World& world) {
  for (const Vessel* v : world.Vessels()) {
    Scan s(*v);
    ScanVessel(*v, s);
    if (!s.found.empty()) return s.found;
  }
  return {};
}

std::string FindNonFiniteCall(const Journal& journal, std::size_t from) {
  const auto& entries = journal.Entries();
  for (std::size_t i = from; i < entries.size(); ++i) {
    const Journal::Entry& e = entries[i];
    if (e.kind != Journal::Kind::Call) continue;
    for (const std::string& w : ArgumentWords(e.args))
      if (NonFiniteWord(w)) return JournalLine(e);
  }
  return {};
}

std::string FindDeadHandleCall(const Journal& journal, std::size_t from) {
  const auto& entries = journal.Entries();
  for (std::size_t i = from; i < entries.size(); ++i) {
    const Journal::Entry& e = entries[i];
    if (e.kind != Journal::Kind::Call) continue;
    if (e.args.find("<dead device mesh>") != std::string::npos ||
        e.args.find("<dead visual>") != std::string::npos)
      return JournalLine(e);
  }
  return {};
}

std::vector<std::string> Registrations(const Vessel& v) {
  std::vector<std::string> out;
  std::string lights = "lights: " + std::to_string(v.lights.size());
  for (const LightEmitter* light : v.lights) {
    if (light == nullptr) continue;
    const LightState l = ViewLight(*light);
    const char* kind = l.type == LightEmitter::LT_SPOT    ? "spot"
                       : l.type == LightEmitter::LT_POINT ? "point"
                                                          : "other";
    lights +=
        std::string(" [") + kind + " at " + Vec(l.position) + (l.active ? ", on" : ", off") + "]";
  }
  out.push_back(lights);
  out.push_back("beacons: " + std::to_string(v.beacons.size()));
  std::string points = "attachment points: " + std::to_string(v.attachments.size());
  for (const auto& a : v.attachments)
    points += " [" + std::string(a->toParent ? "to parent" : "child") + " \"" + a->id + "\"]";
  out.push_back(points);
  out.push_back("animations: " + std::to_string(v.animations.size()) + " with " +
                std::to_string(v.components.size()) + " components");
  std::string meshes = "meshes: " + std::to_string(v.meshes.size());
  for (const MeshSlot& m : v.meshes)
    meshes += " [" + (m.mesh != nullptr ? "\"" + m.mesh->name + "\"" : std::string("none")) + "]";
  out.push_back(meshes);
  return out;
}

std::vector<std::string> SavedBlock(World& world, const std::string& vessel) {
  std::istringstream in(world.ScenarioText());
  std::vector<std::string> out;
  std::string line;
  bool inside = false;
  const std::string head = "VESSEL " + vessel + " ";
  while (std::getline(in, line)) {
    if (!inside) {
      inside = line.rfind(head, 0) == 0;
      continue;
    }
    if (line == "END") break;
    out.push_back(line.size() >= 2 ? line.substr(2) : line);
  }
  return out;
}

std::string ScenarioOf(const std::string& vessel, const std::string& cls,
                       const std::vector<std::string>& lines) {
  std::string text = "FOCUS " + vessel + "\nVESSEL " + vessel + " " + cls + "\n";
  for (const std::string& l : lines) text += "  " + l + "\n";
  return text + "END\n";
}

std::string BlockDifference(const std::vector<std::string>& before,
                            const std::vector<std::string>& after) {
  const std::size_t n = std::max(before.size(), after.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::string a = i < before.size() ? "\"" + before[i] + "\"" : "(no line)";
    const std::string b = i < after.size() ? "\"" + after[i] + "\"" : "(no line)";
    if (a != b) return "line " + std::to_string(i + 1) + ": " + a + " became " + b;
  }
  return {};
}

const std::vector<std::string>& HostileTexts() {
  static const std::vector<std::string> texts = {
      "",
      " ",
      "0",
      "-0",
      "1",
      "-1",
      "0.5",
      "1e308",
      "-1e308",
      "1e309",
      "-1e309",
      "1.7976931348623157e308",
      "-1.7976931348623157e308",
      "4.9e-324",
      "2.2250738585072014e-308",
      "1e-320",
      "nan",
      "-nan",
      "NaN",
      "inf",
      "-inf",
      "infinity",
      "0x1p1023",
      "9223372036854775807",
      "-9223372036854775808",
      "18446744073709551616",
      "2147483648",
      "-2147483649",
      "%s%s%s%s%n",
      "1 2 3",
      "1,5",
      "  42  ",
      "12abc",
      "\t\r\n",
      std::string("12\0"
                  "34",
                  5),
      "\xff\xfe\xfd",
      "\xc3\x28",
      "\xe2\x82",
      "\xf0\x9f\x92\xa1 lamp",
      std::string(100000, '9'),
      std::string(65536, 'x'),
      std::string(1000, ' ') + "5",
      "1" + std::string(400, '0'),
      "-" + std::string(330, '1'),
  };
  return texts;
}

std::string ChordText(const Chord& k) {
  std::string text;
  for (std::size_t i = 0; i < std::size(kModifierKeys); ++i)
    if ((k.mods & (1u << i)) != 0) text += KeyName(kModifierKeys[i]) + "+";
  return text + KeyText(k.code);
}

std::string ShownText(const std::string& text) {
  if (text.size() > 40) return "a text of " + std::to_string(text.size()) + " bytes";
  return "\"" + text + "\"";
}

int PressKey(World& world, const Chord& k) {
  for (std::size_t i = 0; i < std::size(kModifierKeys); ++i)
    if ((k.mods & (1u << i)) != 0) world.SetKey(kModifierKeys[i], true);
  world.SetKey(k.code, true);
  const int result = world.KeyEvent(k.code, true);
  world.SetKey(k.code, false);
  world.KeyEvent(k.code, false);
  world.ReleaseAllKeys();
  return result;
}

Driver::Driver(Context& ctx, World& world, Vessel& vessel, bool answerBoxes)
    : ctx_(ctx), world_(world), vessel_(vessel), answerBoxes_(answerBoxes) {
  world_.SetFocus(&vessel_);
}

std::string Driver::RandomText() {
  switch (ctx_.Below(5)) {
    case 0: {
      const auto& h = HostileTexts();
      return h[static_cast<std::size_t>(ctx_.Below(static_cast<int>(h.size())))];
    }
    case 1:
      return Number((ctx_.Uniform() - 0.5) * ctx_.LogUniform(1e-3, 1e6));
    case 2:
      return std::to_string(ctx_.Below(200000) - 100000);
    case 3: {
      const auto vessels = world_.Vessels();
      const Vessel* v =
          vessels[static_cast<std::size_t>(ctx_.Below(static_cast<int>(vessels.size())))];
      return v->name() + " " + std::to_string(ctx_.Below(6) - 1);
    }
    default: {
      std::string s(static_cast<std::size_t>(ctx_.Below(40)), ' ');
      for (char& c : s) c = static_cast<char>(1 + ctx_.Below(255));
      return s;
    }
  }
}

void Driver::Step(std::string step) {
  if (frames_ > 0)
    steps_.push_back(std::to_string(frames_) + (frames_ == 1 ? " frame" : " frames"));
  frames_ = 0;
  steps_.push_back(std::move(step));
}

void Driver::Answer(const std::string& text) {
  const InputBox* box = world_.OpenBox();
  if (box == nullptr) return;
  const std::string title = box->title;
  const bool taken = world_.AnswerBox(text);
  Step("box \"" + title + "\" answered " + ShownText(text) + (taken ? " -> true" : " -> false"));
  ctx_.Trim();
}

std::string Driver::Press(std::uint8_t code, unsigned mods) {
  const int result = PressKey(world_, {code, mods});
  if (result != 0) Step("press " + ChordText({code, mods}) + " -> " + std::to_string(result));
  std::string title;
  if (const InputBox* box = world_.OpenBox()) {
    title = box->title;
    if (result == 0) Step("press " + ChordText({code, mods}) + " -> 0");
    // Mostly answered, now and then left to be cancelled, as a user would.
    if (!answerBoxes_ || ctx_.Below(8) == 0) {
      world_.CancelBox();
      Step("box \"" + title + "\" cancelled");
    } else {
      Answer(RandomText());
    }
  }
  ctx_.Trim();
  return title;
}

void Driver::Frame(double dt, const std::vector<std::uint8_t>& held) {
  for (std::uint8_t k : held) world_.SetKey(k, true);
  world_.Step(dt);
  world_.ReleaseAllKeys();
  if (held.empty()) {
    ++frames_;
  } else {
    std::string keys;
    for (std::uint8_t k : held) keys += (keys.empty() ? "" : ", ") + ChordText({k, 0}).substr(4);
    Step("frame of " + Number(dt) + " s holding keys " + keys);
  }
  ctx_.Trim();
}

std::uint8_t Driver::NextKey() {
  if (round_.empty()) {
    for (int c = 255; c >= 0; --c) round_.push_back(static_cast<std::uint8_t>(c));
    for (std::size_t i = round_.size(); i > 1; --i)
      std::swap(round_[i - 1], round_[static_cast<std::size_t>(ctx_.Below(static_cast<int>(i)))]);
  }
  const std::uint8_t code = round_.back();
  round_.pop_back();
  return code;
}

void Driver::Walk(int events) {
  Press(NextKey(), 0);
  for (int i = 0; i < events; ++i) RandomEvent();
  while (!round_.empty()) Press(NextKey(), 0);
}

void Driver::RandomEvent() {
  const int kind = ctx_.Below(10);
  if (kind < 5) {
    const std::uint8_t code = NextKey();
    // Modifiers now and then: one in four presses has one or two held.
    unsigned mods = 0;
    if (ctx_.Below(4) == 0) {
      mods |= 1u << ctx_.Below(static_cast<int>(std::size(kModifierKeys)));
      if (ctx_.Below(2) == 0) mods |= 1u << ctx_.Below(static_cast<int>(std::size(kModifierKeys)));
    }
    Press(code, mods);
  } else if (kind < 8) {
    Frame(RandomStep());
  } else {
    std::vector<std::uint8_t> held;
    for (int i = 1 + ctx_.Below(3); i > 0; --i)
      held.push_back(static_cast<std::uint8_t>(ctx_.Below(256)));
    Frame(RandomStep(), held);
  }
}

}  // namespace hostsim::check
