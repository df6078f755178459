// Running session scripts in-process: where saves go, how a later load finds them, and how a
// failure stops the run with the script's position in front of the host's message.
#include "hostsim/cli/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTugScenario =
    "TITLE One tug\n"
    "FOCUS Tug\n"
    "VESSEL Tug tug\n"
    "  POS 1 2 3\n"
    "END\n";

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() : world_(testsupport::ExamplePaths()) {
    world_.journal().SetEnabled(false);
    dir_.Write("scripts/tug.scn", kTugScenario);
  }

  // Runs `script` as if it were the file scripts/test.session; returns the error, or "".
  std::string Run(const std::string& script, std::optional<fs::path> outDir = std::nullopt) {
    SessionOptions opts;
    opts.script = dir_.path() / "scripts" / "test.session";
    opts.label = "test.session";
    opts.outDir = std::move(outDir);
    Session session(world_, out_, opts);
    std::istringstream in(script);
    try {
      session.Run(in);
    } catch (const SessionError& e) {
      return e.what();
    }
    return {};
  }

  testsupport::TempDir dir_;
  World world_;
  std::ostringstream out_;
};

TEST_F(SessionTest, SavesGoBesideTheScriptWithoutAnOutputFolder) {
  // Folders are made only under an output folder: here a missing one is an error naming it.
  const std::string error = Run("load tug.scn\nsave saved/a.scn\n");
  EXPECT_NE(error.find("test.session:2: "), std::string::npos) << error;
  EXPECT_NE(error.find("scripts/saved: No such file or directory"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir_.path() / "scripts" / "saved"));
  fs::create_directory(dir_.path() / "scripts" / "saved");
  EXPECT_EQ(Run("load tug.scn\nsave saved/a.scn\n"), "");
  EXPECT_TRUE(fs::exists(dir_.path() / "scripts" / "saved" / "a.scn"));
  EXPECT_NE(out_.str().find("save saved/a.scn\n  TITLE One tug\n"), std::string::npos)
      << out_.str();
}

TEST_F(SessionTest, SavesGoUnderTheOutputFolderAndLoadsOfThemFollow) {
  const fs::path out = dir_.path() / "out";
  // The script folder gets a file of the same name that must not be read back.
  dir_.Write("scripts/saved/a.scn", "VESSEL Wrong tug\nEND\n");
  EXPECT_EQ(Run("load tug.scn\nsave saved/a.scn\nload saved/a.scn\ninspect Tug\n", out), "");
  EXPECT_TRUE(fs::exists(out / "saved" / "a.scn"));
  ASSERT_NE(world_.FindVessel("Tug"), nullptr);
  EXPECT_EQ(world_.FindVessel("Wrong"), nullptr);
}

TEST_F(SessionTest, NoOutputMayLeaveTheOutputFolder) {
  const fs::path out = dir_.path() / "out";
  EXPECT_EQ(Run("load tug.scn\nsave ../escaped.scn\n", out),
            "test.session:2: save: \"../escaped.scn\" leads out of the output folder");
  EXPECT_FALSE(fs::exists(dir_.path() / "escaped.scn"));
  // The error names the command that was refused.
  EXPECT_EQ(Run("render ../x.png\n", out),
            "test.session:1: render: \"../x.png\" leads out of the output folder");
  // Inside the folder, ".." that stays inside is fine.
  EXPECT_EQ(Run("save sub/../kept.scn\n", out), "");
  EXPECT_TRUE(fs::exists(out / "kept.scn"));
}

TEST_F(SessionTest, ASaveToAFolderIsRefusedBeforeAnythingIsWritten) {
  const fs::path out = dir_.path() / "out";
  EXPECT_EQ(Run("load tug.scn\nsave sub/\n", out),
            "test.session:2: save: \"sub/\" names a folder, not a scenario file");
  EXPECT_FALSE(fs::exists(out / "sub"));
  fs::create_directories(out / "taken");
  EXPECT_EQ(Run("save taken\n", out),
            "test.session:1: save: \"taken\" names a folder, not a scenario file");
}

TEST_F(SessionTest, AFailureStopsTheRunAfterTheCommandsBeforeIt) {
  const std::string error = Run("load tug.scn\nstep 2\n\n# comment\ntype 500\nstep 5\n");
  EXPECT_EQ(error, "test.session:5: type: no input box is open");
  EXPECT_NE(out_.str().find("step 2 x 0.02 s"), std::string::npos);
  EXPECT_EQ(out_.str().find("step 5"), std::string::npos);
  EXPECT_DOUBLE_EQ(world_.SimTime(), 0.04);
}

TEST_F(SessionTest, AStepThatWouldMakeTheTimeInfiniteIsRefused) {
  EXPECT_EQ(Run("load tug.scn\nstep 1 1e308\nhold B for 1 1e308\nsave t.scn\n"),
            "test.session:3: a step of 1e+308 s from the time 1e+308 s would take the time past "
            "the largest number");
  EXPECT_EQ(world_.SimTime(), 1e308);
  EXPECT_FALSE(fs::exists(dir_.path() / "scripts" / "t.scn"));
}

TEST_F(SessionTest, ScenarioErrorsCarryBothPositions) {
  dir_.Write("scripts/bad.scn", "VESSEL Tug tug\nPOS 1 two 3\nEND\n");
  const std::string error = Run("load tug.scn\nload bad.scn\n");
  // The script's line, then the scenario's own file and line.
  EXPECT_EQ(error.rfind("test.session:2: ", 0), 0u) << error;
  EXPECT_NE(error.find("bad.scn:2: "), std::string::npos) << error;
  // The world is left as it was.
  EXPECT_NE(world_.FindVessel("Tug"), nullptr);
}

#if defined(HOSTSIM_HAVE_RENDER)
// A picture from a camera of the script's choosing: the transcript says which; a vessel to
// look at that is not there stops the run at that line, before anything is written.
TEST_F(SessionTest, RenderTakesTheCameraAfterTheSize) {
  const fs::path out = dir_.path() / "out";
  EXPECT_EQ(Run("load tug.scn\nrender c.png 16 10 at=Nobody\n", out),
            "test.session:2: render: no vessel named \"Nobody\" to look at");
  EXPECT_FALSE(fs::exists(out / "c.png"));
#if !defined(_WIN32)  // under Wine only the renderer's own tests have a display to draw on
  EXPECT_EQ(Run("render a.png 16 10 at=Tug yaw=-30.5 dist=9\nrender b.png at=1,2,3\n", out), "");
  EXPECT_NE(out_.str().find("render a.png 16x10 at=Tug yaw=-30.5 dist=9\n"
                            "render b.png 800x500 at=1,2,3\n"),
            std::string::npos)
      << out_.str();
  EXPECT_TRUE(fs::exists(out / "a.png"));
#endif
}
#endif

TEST_F(SessionTest, KeyCommandsNeedAFocusedVessel) {
  EXPECT_EQ(Run("press B\n"), "test.session:1: press: no vessel has the input focus");
  EXPECT_EQ(Run("hud 1024 768\n"), "test.session:1: hud: no vessel has the input focus");
  EXPECT_EQ(Run("focus Nobody\n"), "test.session:1: no vessel named \"Nobody\"");
}

TEST_F(SessionTest, PressLeavesNoKeyDownAfterwards) {
  EXPECT_EQ(Run("load tug.scn\npress Shift+Alt+B\nhold Ctrl+J K for 3\n"), "");
  const char* keys = world_.KeyState();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(keys[i] & 0x80, 0) << "key " << i;
}

}  // namespace
}  // namespace hostsim::cli
