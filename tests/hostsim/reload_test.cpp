// A module's library reloaded into a running world: what its vessels saved survives, with the
// time, the focus and the attachments; a rebuilt library that cannot be loaded leaves the world
// as it was. The world runs copies of its libraries, so the file can be replaced meanwhile, as
// a build replaces it (on Windows a loaded library's own file cannot be).
#include <gtest/gtest.h>

#include "host/keys.h"
#include "hostsim/world.h"
#include "support/world_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path Library(const std::string& name) {
  return fs::path(LUMIPOD_MODULE_DIR) / (name + LUMIPOD_MODULE_SUFFIX);
}

TEST(ModuleReload, KeepsWhatTheModuleSavesAndSurvivesABrokenRebuild) {
  testsupport::TempDir dir;
  hostsim::Paths paths = testsupport::ExamplePaths();
  paths.modules = dir.path() / "modules";
  const fs::path copies = dir.path() / "copies";
  paths.copies = std::make_shared<hostsim::LibraryCopies>(copies);
  fs::create_directories(paths.modules);
  fs::create_directories(copies);
  const fs::path lamp = paths.modules / ("lumipod" LUMIPOD_MODULE_SUFFIX);
  fs::copy_file(Library("lumipod"), lamp);

  hostsim::World world(paths);
  world.LoadScenario(fs::path(LUMIPOD_SOURCE_DIR) / "examples/scenarios/demo.scn");
  world.Step(0.02);
  world.KeyEvent(ZKEY_N, true);  // the range box of Lamp2, which has the focus
  ASSERT_TRUE(world.AnswerBox("500"));
  world.Step(0.02);
  const std::string before = world.ScenarioText();
  ASSERT_NE(before.find("SPT 0 500.0000"), std::string::npos) << before;

  // The build writes the library again while the world runs it.
  fs::copy_file(Library("lumipod"), lamp, fs::copy_options::overwrite_existing);
  world.ReloadModule("lumipod");
  EXPECT_EQ(world.ScenarioText(), before);
  EXPECT_EQ(world.Focus(), world.FindVessel("Lamp2"));
  ASSERT_NE(world.FindVessel("Lamp1"), nullptr);
  EXPECT_EQ(world.FindVessel("Lamp1")->Parent(), world.FindVessel("Tug"));
  EXPECT_EQ(world.SimTime(), 0.04);
  ASSERT_NE(world.FindVessel("Lamp2")->visual, nullptr);
  // The old library's copy went with it; the new one runs from a copy of its own.
  const auto modules = world.Modules();
  ASSERT_EQ(modules.size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(copies), fs::directory_iterator()), 1);

  // A library without the entry points, then none at all: refused, the same world runs on.
  const hostsim::Vessel* lamp2 = world.FindVessel("Lamp2");
  fs::copy_file(Library("testmod_noinit"), lamp, fs::copy_options::overwrite_existing);
  try {
    world.ReloadModule("lumipod");
    FAIL() << "a library without zvcInit was loaded";
  } catch (const hostsim::Error& e) {
    EXPECT_NE(std::string(e.what()).find("lacks the entry point zvcInit"), std::string::npos)
        << e.what();
  }
  fs::remove(lamp);
  EXPECT_THROW(world.ReloadModule("lumipod"), hostsim::Error);
  EXPECT_THROW(world.ReloadModule("nosuch"), hostsim::Error);
  EXPECT_EQ(world.FindVessel("Lamp2"), lamp2);
  EXPECT_EQ(world.Modules().front(), modules.front());
  world.Step(0.02);
  EXPECT_GT(world.SimTime(), 0.04);
}

// Edited class configurations, meshes and material libraries take effect when the world reads
// its files again; a file that no longer loads leaves the world as it was.
TEST(FilesReload, EditedConfigurationsMeshesAndMaterialsTakeEffect) {
  testsupport::TempDir dir;
  dir.Write("root/config/box.cfg", "Mesh = m\nSize = 2\n");
  dir.Write("root/meshes/m.obj", "mtllib m.mtl\nusemtl c\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.Write("root/meshes/m.mtl", "newmtl c\nKd 1 0 0\n");
  dir.Write("b.scn", "TIME 5\nVESSEL B box\nEND\n");
  hostsim::World world(hostsim::Paths::FromRoot(dir.path() / "root"));
  world.LoadScenario(dir.path() / "b.scn");
  const auto diffuseRed = [&world] {
    const hostsim::Vessel* b = world.FindVessel("B");
    return b->visual->meshes.at(0)->materials.at(0).diffuse.r;
  };
  ASSERT_EQ(diffuseRed(), 1.0f);

  dir.Write("root/config/box.cfg", "Mesh = m\nSize = 3\n");
  dir.Write("root/meshes/m.mtl", "newmtl c\nKd 0.25 0 0\n");
  world.ReloadFiles();
  EXPECT_EQ(world.FindVessel("B")->physics.size, 3);
  EXPECT_EQ(diffuseRed(), 0.25f);
  EXPECT_EQ(world.SimTime(), 5);

  // Each broken file is named with its line, and the vessel keeps what it showed.
  const struct {
    const char* file;
    const char* text;
    const char* named;
  } broken[] = {
      {"root/config/box.cfg", "Mesh = m\nSize = big\n", "box.cfg:2"},
      {"root/meshes/m.obj", "mtllib m.mtl\nusemtl c\nv 0 0 0\nv 1 0 0\nf 1 2 9\n", "m.obj:5"},
      {"root/meshes/m.mtl", "newmtl c\nKd red 0 0\n", "m.mtl:2"},
  };
  for (const auto& b : broken) {
    SCOPED_TRACE(b.file);
    const std::string good = testsupport::ReadFile(dir.path() / b.file);
    dir.Write(b.file, b.text);
    try {
      world.ReloadFiles();
      ADD_FAILURE() << "read again";
    } catch (const hostsim::Error& e) {
      EXPECT_NE(std::string(e.what()).find(b.named), std::string::npos) << e.what();
    }
    EXPECT_EQ(world.FindVessel("B")->physics.size, 3);
    EXPECT_EQ(diffuseRed(), 0.25f);
    dir.Write(b.file, good);
  }
  world.ReloadFiles();
  EXPECT_EQ(diffuseRed(), 0.25f);
}

}  // namespace
