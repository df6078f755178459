#include "support/lamp_fixture.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testsupport {

lumipod* AsLamp(hostsim::Vessel& v) { return static_cast<lumipod*>(v.iface()); }

hostsim::LightState Light(const hostsim::Vessel& v) { return hostsim::ViewLight(*v.lights.at(0)); }

const BEACONLIGHTSPEC& Beacon(const hostsim::Vessel& v) { return *v.beacons.at(0); }

std::string_view Method(std::string_view call) {
  auto p = call.rfind("::");
  return p == std::string_view::npos ? call : call.substr(p + 2);
}

std::vector<hostsim::Journal::Entry> HostCalls(const hostsim::Journal& j, std::string_view name) {
  std::vector<hostsim::Journal::Entry> out;
  for (const auto& e : j.Entries()) {
    if (e.kind != hostsim::Journal::Kind::Call) continue;
    if (name.empty() || Method(e.call) == Method(name)) out.push_back(e);
  }
  return out;
}

std::size_t CountCalls(const hostsim::Journal& j, std::string_view name) {
  return HostCalls(j, name).size();
}

std::vector<std::string> CallMethods(const hostsim::Journal& j) {
  std::vector<std::string> out;
  for (const auto& e : HostCalls(j)) out.emplace_back(Method(e.call));
  return out;
}

std::vector<hostsim::Journal::Entry> CallsDuring(const hostsim::Journal& j,
                                                 std::string_view callback) {
  const auto& es = j.Entries();
  std::size_t start = es.size();
  for (std::size_t i = es.size(); i-- > 0;) {
    if (es[i].kind == hostsim::Journal::Kind::Callback && Method(es[i].call) == callback) {
      start = i + 1;
      break;
    }
  }
  std::vector<hostsim::Journal::Entry> out;
  for (std::size_t i = start; i < es.size(); ++i) {
    if (es[i].kind == hostsim::Journal::Kind::Callback) break;
    out.push_back(es[i]);
  }
  return out;
}

std::vector<double> Numbers(std::string_view args) {
  std::vector<double> out;
  const std::string s(args);
  const char* base = s.c_str();
  std::size_t i = 0;
  auto isWordChar = [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == ':';
  };
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {  // quoted text
      auto end = s.find('"', i + 1);
      i = end == std::string::npos ? s.size() : end + 1;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {  // a word
      std::size_t b = i;
      while (i < s.size() && isWordChar(s[i])) ++i;
      std::string w = s.substr(b, i - b);
      for (auto& ch : w) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (w == "nan" || w == "inf" || w == "infinity")
        out.push_back(std::strtod(w.c_str(), nullptr));
    } else if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      i += 2;  // a pointer
      while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) ++i;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
      char* end = nullptr;
      double v = std::strtod(base + i, &end);
      if (end != base + i) {
        out.push_back(v);
        i = static_cast<std::size_t>(end - base);
      } else {
        ++i;
      }
    } else {
      ++i;
    }
  }
  return out;
}

::testing::AssertionResult VecNear(const VECTOR3& a, const VECTOR3& e, double tol) {
  // Equal values pass also when infinite, where the difference is not a number.
  auto near = [tol](double x, double y) { return x == y || std::fabs(x - y) <= tol; };
  if (near(a.x, e.x) && near(a.y, e.y) && near(a.z, e.z)) return ::testing::AssertionSuccess();
  std::ostringstream os;
  os.precision(17);
  os << "(" << a.x << ", " << a.y << ", " << a.z << ") is not within " << tol << " of (" << e.x
     << ", " << e.y << ", " << e.z << ")";
  return ::testing::AssertionFailure() << os.str();
}

bool Finite(const VECTOR3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

double Length(const VECTOR3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// --- ConfigFolder ---

ConfigFolder::ConfigFolder(std::optional<std::string> spotColour) {
  std::string lamp = "ClassName = lumipod\nModule = lumipod\n";
  if (spotColour) lamp += "SpotColour = " + *spotColour + "\n";
  dir_.Write("lumipod.cfg", lamp);
  std::ifstream tug(ExamplePaths().config / "tug.cfg", std::ios::binary);
  std::ostringstream tugText;
  tugText << tug.rdbuf();
  dir_.Write("tug.cfg", tugText.str());
  dir_.Write("twin.cfg",
             "ClassName = twin\nMesh = tug\nSize = 2.0\nMass = 800\n"
             "Attachment = C  0.5 0.5 0.0  0 1 0  0 0 1  P1\n"
             "Attachment = C -0.5 0.5 0.0  0 1 0  0 0 1  P2\n");
}

hostsim::Paths ConfigFolder::paths() const {
  hostsim::Paths p = ExamplePaths();
  p.config = dir_.path();
  return p;
}

void ConfigFolder::Write(const std::string& file, const std::string& text) const {
  dir_.Write(file, text);
}

// --- LampWorld ---

LampWorld::LampWorld(hostsim::Paths paths)
    : world_(std::make_unique<hostsim::World>(std::move(paths))) {}

hostsim::Vessel& LampWorld::SetUpLamp(const std::string& name) {
  return world_->CreateVessel(name, "lumipod");
}

hostsim::Vessel& LampWorld::AddLamp(const std::string& name,
                                    const std::vector<std::string>& lines) {
  auto& v = world_->CreateVessel(name, "lumipod");
  world_->LoadVesselState(v, lines);
  world_->FinishCreation(v);
  world_->SetFocus(&v);
  return v;
}

hostsim::Vessel& LampWorld::AddParent(const std::string& name, const std::string& cls) {
  return world_->CreateVessel(name, cls);
}

lumipod* LampWorld::Lamp(const std::string& name) {
  auto* v = world_->FindVessel(name);
  return v ? AsLamp(*v) : nullptr;
}

void LampWorld::Hang(hostsim::Vessel& child, hostsim::Vessel& parent, int index) {
  VESSEL* p = parent.iface();
  ATTACHMENTHANDLE slot = p->GetAttachmentHandle(false, static_cast<std::uint32_t>(index));
  ATTACHMENTHANDLE own = child.iface()->GetAttachmentHandle(true, 0);
  ASSERT_TRUE(p->AttachChild(child.handle(), slot, own));
}

Slot LampWorld::GetSlot(hostsim::Vessel& parent, int index) {
  auto* pt = parent.Points(false).at(static_cast<std::size_t>(index));
  return {pt->pos, pt->dir, pt->rot};
}

void LampWorld::SetSlot(hostsim::Vessel& parent, int index, const Slot& s) {
  auto* pt = parent.Points(false).at(static_cast<std::size_t>(index));
  pt->pos = s.pos;
  pt->dir = s.dir;
  pt->rot = s.rot;
}

int LampWorld::HeldAt(hostsim::Vessel& parent, hostsim::Vessel& child) {
  auto pts = parent.Points(false);
  for (std::size_t i = 0; i < pts.size(); ++i)
    if (pts[i]->peer && pts[i]->peer->owner == &child) return static_cast<int>(i);
  return -1;
}

void LampWorld::Frame(double dt, std::initializer_list<std::uint8_t> held) {
  world_->ReleaseAllKeys();
  for (auto k : held) world_->SetKey(k, true);
  world_->Step(dt);
  world_->ReleaseAllKeys();
}

int LampWorld::Press(std::uint8_t code, std::initializer_list<std::uint8_t> held) {
  world_->ReleaseAllKeys();
  for (auto k : held) world_->SetKey(k, true);
  world_->SetKey(code, true);
  int r = world_->KeyEvent(code, true);
  world_->ReleaseAllKeys();
  return r;
}

bool LampWorld::Answer(std::uint8_t code, const std::string& text) {
  Press(code);
  if (!world_->OpenBox()) {
    ADD_FAILURE() << "no input box opened";
    return false;
  }
  return world_->AnswerBox(text);
}

// --- scenario text ---

static std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> BlockLines(const std::string& scenario, const std::string& vessel) {
  std::istringstream in(scenario);
  std::string line;
  std::vector<std::string> out;
  bool inBlock = false;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (!inBlock) {
      std::istringstream ws(t);
      std::string kw, name;
      ws >> kw >> name;
      inBlock = kw == "VESSEL" && name == vessel;
      continue;
    }
    if (t == "END") break;
    out.push_back(t);
  }
  return out;
}

std::optional<std::string> LampLine(const std::string& scenario, const std::string& vessel,
                                    const std::string& key) {
  for (const auto& l : BlockLines(scenario, vessel)) {
    if (l.rfind(key + " ", 0) == 0) return Trim(l.substr(key.size() + 1));
  }
  return std::nullopt;
}

}  // namespace testsupport
