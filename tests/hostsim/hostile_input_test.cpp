// Input no text file should hold, and lines that would break the file the host writes: a
// folder in place of a file, control characters of a binary file, and lines that would end
// a vessel's block or start another one when the scenario is read back.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "hostsim/runtime/config.h"
#include "hostsim/runtime_fixture.h"
#include "hostsim/world.h"

using hostsim::Error;
using hostsim_test::RuntimeWorld;

namespace {

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

TEST(HostileInput, FolderInPlaceOfAScenarioIsRefusedAndTheWorldStays) {
  RuntimeWorld rw;
  rw.world->CreateVessel("Keep", "block");
  const auto folder = rw.dir() / "folder.scn";
  std::filesystem::create_directories(folder);
  try {
    rw.world->LoadScenario(folder, {false});
    FAIL() << "a folder loaded as a scenario";
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), folder.string());
    EXPECT_NE(std::string(e.what()).find("folder"), std::string::npos) << e.what();
  }
  ASSERT_EQ(rw.world->Vessels().size(), 1u);
  EXPECT_EQ(rw.world->Vessels()[0]->name(), "Keep");
}

TEST(HostileInput, FolderInPlaceOfAClassConfigurationIsRefused) {
  RuntimeWorld rw;
  std::filesystem::create_directories(rw.dir() / "config" / "hollow.cfg");
  EXPECT_THROW(hostsim::ReadConfig(rw.dir() / "config" / "hollow.cfg"), Error);
  auto file = rw.Write("hollow.scn", "VESSEL H hollow\nEND\n");
  try {
    rw.world->LoadScenario(file, {false});
    FAIL() << "a class made from a folder";
  } catch (const Error& e) {
    EXPECT_EQ(e.line(), 1) << e.what();
  }
}

struct BinaryCase {
  const char* name;
  std::string text;
  int line;
};

void PrintTo(const BinaryCase& c, std::ostream* os) { *os << c.name; }

class BinaryScenario : public ::testing::TestWithParam<BinaryCase> {};

TEST_P(BinaryScenario, ControlCharactersAreRefusedAtTheirLine) {
  RuntimeWorld rw;
  auto file = rw.Write("binary.scn", GetParam().text);
  try {
    rw.world->LoadScenario(file, {false});
    FAIL() << "loaded a file with control characters";
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), file.string());
    EXPECT_EQ(e.line(), GetParam().line) << e.what();
  }
  EXPECT_TRUE(rw.world->Vessels().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Hostsim, BinaryScenario,
    ::testing::Values(BinaryCase{"TopLevel", "TITLE x\n\x01\x02\x03\n", 2},
                      BinaryCase{"Escape", "TITLE \x1b[31mred\n", 1},
                      BinaryCase{"InBlock", "VESSEL A block\n  POS 0 0 0\n  K\x7f\nEND\n", 3},
                      BinaryCase{"CarriageReturnInside", "TIME 0\r1\n", 1},
                      BinaryCase{"FormFeed", "VESSEL A block\n\f\nEND\n", 2},
                      BinaryCase{"UnitSeparatorAmongCrlfLines",
                                 "TITLE x\r\nVESSEL A block\r\n  K\x1f\r\nEND\r\n", 3},
                      BinaryCase{"LastByte", "TITLE caf\xc3\xa9\nTIME 0\x08", 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(HostileInput, TabsAndLineEndingsAreText) {
  RuntimeWorld rw;
  auto file = rw.Write("text.scn", "TITLE\ta\ttitle\r\nVESSEL A block\r\n\tPOS 1 2 3\r\nEND\r\n");
  rw.world->LoadScenario(file, {false});
  ASSERT_EQ(rw.world->Vessels().size(), 1u);
  EXPECT_EQ(rw.world->title, "a\ttitle");
}

TEST(HostileInput, ControlCharactersInAClassConfigurationAreRefused) {
  EXPECT_NO_THROW(hostsim::ParseConfig("Size = 1\r\nMass\t= 2\r\n", "ok.cfg"));
  try {
    hostsim::ParseConfig("Size = 1\nMesh = \x1b[2Jtug\n", "esc.cfg");
    FAIL() << "took an escape sequence";
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), "esc.cfg");
    EXPECT_EQ(e.line(), 2);
  }
}

// Class configurations and meshes a hostile user might hand over: refused at their file and
// line, or (`expected` starting "warning: ") warned of while the vessel is made.
struct FileCase {
  const char* name;
  std::string cfg, obj, expected;  // config/<cls>.cfg; meshes/m.obj, then "@mtl" and m.mtl
  const char* cls = "hull";
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class HostileFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(HostileFiles, AreRefusedAtTheirLineOrWarnedOf) {
  const FileCase& c = GetParam();
  RuntimeWorld rw;
  const auto mtl = c.obj.find("@mtl\n");
  rw.Write("meshes/m.obj", c.obj.substr(0, mtl));
  if (mtl != std::string::npos) rw.Write("meshes/m.mtl", c.obj.substr(mtl + 5));
  if (!c.cfg.empty()) rw.Write(std::string("config/") + c.cls + ".cfg", c.cfg);
  hostsim::Paths p = rw.world->paths();
  p.meshes = rw.dir() / "meshes";
  hostsim::World w(p);
  std::string error;
  try {
    w.CreateVessel("V", c.cls);
  } catch (const Error& e) {
    error = e.what();
  }
  const std::vector<std::string> warnings = w.TakeWarnings();
  if (c.expected.starts_with("warning: "))
    EXPECT_TRUE(error.empty() && Contains(warnings, c.expected.substr(9)))
        << error << ::testing::PrintToString(warnings);
  else
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
}

const std::string kMesh = "Mesh = m\n", kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

INSTANTIATE_TEST_SUITE_P(
    Hostsim, HostileFiles,
    ::testing::Values(
        FileCase{"MeshOfZeroBytes", kMesh, std::string(64, '\0'),
                 "m.obj:1: mesh line holds a zero byte"},
        FileCase{"MeshOfBinaryBytes", kMesh, "v 0 0 0\n\x89PNG\r\n\x1a\n",
                 "m.obj:3: mesh line holds a control character"},
        FileCase{"VertexNotANumber", kMesh, "v 0 0 0\nv nan 0 0\n",
                 "m.obj:2: v: \"nan\" is not a finite number"},
        FileCase{"MaterialValueBeyondRange", kMesh,
                 "mtllib m.mtl\n" + kTriangle + "@mtl\nnewmtl a\nKd 1 1 1\nKa 1e999 0 0\n",
                 "m.mtl:3: Ka: \"1e999\" is too large for a float (at most 3.4e38)"},
        FileCase{"VertexBeyondAFloat", kMesh, "v 0 0 0\nv 1e39 0 0\n",
                 "m.obj:2: v: \"1e39\" is too large for a float (at most 3.4e38)"},
        FileCase{"FaceBeyondTheVertices", kMesh, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999\n",
                 "m.obj:4: f: corner \"99999\" names vertex 99999, but the lines before it give 3"},
        FileCase{"MaterialsOutsideTheMeshFolder", kMesh, "mtllib ../../../etc/passwd\n" + kTriangle,
                 "m.obj:1: mtllib: materials are read from the mesh's folder only"},
        FileCase{"MaterialsMissing", kMesh, "mtllib gone.mtl\n" + kTriangle,
                 "warning: m.obj:1: cannot load materials: "},
        FileCase{"MeshMissing", "Mesh = nosuchmesh\n", "",
                 "hull.cfg:1: cannot load mesh \"nosuchmesh\": "},
        FileCase{"LampMeshMissing", "", "",
                 "warning: vessel \"V\": cannot load mesh \"lumipod\": ", "lumipod"},
        FileCase{"MassNegative", "Size = 1\nMass = -5\n", "",
                 "hull.cfg:2: Mass must be positive, got \"-5\""},
        FileCase{"KeyTwice", "Size = 1\n\nsize = 2\n", "",
                 "hull.cfg:3: \"size\" is given again (first on line 1)"},
        FileCase{"ClassNameOfAnotherFile", "ClassName = tug\nSize = 1\n", "",
                 "warning: hull.cfg:1: ClassName \"tug\" differs from the file's name"},
        FileCase{"ClassNameIsAPath", "", "", "a class name is a name, not a path", "../config/tug"},
        FileCase{"BinaryBytesEscaped", "Size = 1\nMesh \xff\xfe\n", "",
                 "hull.cfg:2: expected 'key = value', got \"Mesh \\xFF\\xFE\""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Lines handed to the host that, saved as they are, would end the vessel's block or open
// another: left out with a warning, so that the saved file loads again with every vessel.
TEST(HostileInput, LinesThatWouldBreakTheSavedBlockAreLeftOut) {
  for (const char* cls : {"block", "lumipod", "probe"}) {
    SCOPED_TRACE(cls);
    RuntimeWorld rw;
    auto& v = rw.world->CreateVessel("V", cls);
    rw.world->CreateVessel("After", "block");
    rw.world->LoadVesselState(v, {"END", "  end  ", "VESSEL X block", "vessel", "END kept",
                                  std::string("END\0tail", 8), "POS 1 2 3"});
    const auto warnings = rw.world->TakeWarnings();
    EXPECT_TRUE(Contains(warnings, "dropped")) << ::testing::PrintToString(warnings);
    EXPECT_EQ(v.keptLines.text(), "END kept\n");

    auto file = rw.dir() / "saved.scn";
    rw.world->SaveScenario(file);
    RuntimeWorld again;
    ASSERT_NO_THROW(again.world->LoadScenario(file, {false})) << hostsim_test::ReadFile(file);
    ASSERT_EQ(again.world->Vessels().size(), 2u) << hostsim_test::ReadFile(file);
    EXPECT_EQ(again.world->Vessels()[0]->keptLines.text(), "END kept\n");
  }
}

TEST(HostileInput, ModuleLinesThatWouldBreakTheSavedBlockAreNotSaved) {
  RuntimeWorld rw;
  rw.Write("config/probe_raw.cfg", "Module = testmod_probe\nTag = raw\n");
  for (const char* value : {"END", "VESSEL X block", "vessel"}) {
    SCOPED_TRACE(value);
    auto file = rw.Write("raw.scn", std::string("VESSEL P probe_raw\n  PROBE ") + value +
                                        "\nEND\nVESSEL After block\nEND\n");
    rw.world->LoadScenario(file, {false});
    rw.world->TakeWarnings();
    auto saved = rw.dir() / "raw-saved.scn";
    rw.world->SaveScenario(saved);
    EXPECT_TRUE(Contains(rw.world->TakeWarnings(), "not saved"));
    RuntimeWorld again;
    again.Write("config/probe_raw.cfg", "Module = testmod_probe\nTag = raw\n");
    ASSERT_NO_THROW(again.world->LoadScenario(saved, {false})) << hostsim_test::ReadFile(saved);
    EXPECT_EQ(again.world->Vessels().size(), 2u) << hostsim_test::ReadFile(saved);
  }
}

}  // namespace
