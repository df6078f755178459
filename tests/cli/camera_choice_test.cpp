// The camera a user chooses: its words read strictly, written back as read, and the window's
// camera written as those words giving the view the window shows.
#include "hostsim/cli/camera_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "support/world_fixture.h"

#if defined(HOSTSIM_HAVE_RENDER)
#include "hostsim/render/camera.h"
#endif

namespace hostsim::cli {
namespace {

CameraChoice Choice(std::string vessel, std::optional<VECTOR3> point, std::optional<double> yaw,
                    std::optional<double> pitch, std::optional<double> distance) {
  CameraChoice c;
  c.vessel = std::move(vessel);
  c.point = point;
  c.yaw = yaw;
  c.pitch = pitch;
  c.distance = distance;
  return c;
}

TEST(CameraChoiceTest, GoodWordsAreReadAndWrittenBackAsRead) {
  const struct {
    const char* text;
    CameraChoice expected;
  } cases[] = {
      {"at=Tug", Choice("Tug", {}, {}, {}, {})},
      {"at=1.5,-2,3e1 yaw=30 pitch=-10.5 dist=12", Choice("", VECTOR3{1.5, -2, 30}, 30, -10.5, 12)},
      {"  dist=0.25\tyaw=-360 ", Choice("", {}, -360, {}, 0.25)},
      {"pitch=88 at=0,0,0", Choice("", VECTOR3{0, 0, 0}, {}, 88, {})},
      {"pitch=-88 dist=100000", Choice("", {}, {}, -88, 100000)},
      // Not three numbers: a vessel's name, whatever it holds.
      {"at=Lamp,2", Choice("Lamp,2", {}, {}, {}, {})},
      {"at=a=b", Choice("a=b", {}, {}, {}, {})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CameraChoice read;
    ASSERT_EQ(ParseCameraChoice(c.text, read), "");
    EXPECT_TRUE(read == c.expected) << FormatCameraChoice(read);
    const std::string written = FormatCameraChoice(read);
    CameraChoice back;
    ASSERT_EQ(ParseCameraChoice(written, back), "") << written;
    EXPECT_TRUE(back == read) << written;
  }
}

TEST(CameraChoiceTest, BadWordsAreRefusedNamingWhatIsWrong) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "no camera given"},
      {"Tug yaw=30", "\"Tug\" is not PART=VALUE"},
      {"zoom=2", "unknown camera part \"zoom\""},
      {"at=", "at= takes a vessel's NAME or a point"},
      {"yaw=nan", "\"yaw=nan\": not a finite number"},
      {"dist=1e999", "\"dist=1e999\": not a finite number"},
      {"yaw=30deg", "\"yaw=30deg\": not a finite number"},
      {"yaw=361", "not from -360 to 360 degrees"},
      {"pitch=89", "\"pitch=89\": not from -88 to 88 degrees"},
      {"dist=0", "\"dist=0\": not above 0 and at most 100000 metres"},
      {"at=1,nan,2", "\"at=1,nan,2\": a point's coordinates are finite numbers"},
      {"at=1e10,0,0",
       "a point's coordinates are finite numbers of metres, at most 1000000000 across"},
      {"yaw=10 yaw=20", "yaw= is given twice"},
      {"at=Tug at=1,2,3", "at= is given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CameraChoice read;
    const std::string error = ParseCameraChoice(c.text, read);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

#if defined(HOSTSIM_HAVE_RENDER)
class ChosenCameraTest : public ::testing::Test {
 protected:
  ChosenCameraTest() : world_(testsupport::ExamplePaths()) {
    world_.journal().SetEnabled(false);
    world_.LoadScenario(
        dir_.Write("tug.scn", "FOCUS Tug\nVESSEL Tug tug\n  POS 4 0 -7\n  ORI 30 0 0\nEND\n"));
    world_.Step(0.0);
  }
  testsupport::TempDir dir_;
  World world_;
};

// What F7 writes, given to render, is the window's view: the camera's matrices agree to the
// rounding of the words, and a point lands on the same pixel to a fraction of one (the most
// at the window's closest, where a ten-thousandth of a metre is a tenth of a pixel).
TEST_F(ChosenCameraTest, TheWindowsCameraWrittenOutGivesTheSameView) {
  const double aspect = 1024.0 / 640;
  render::Camera shown = render::DefaultCamera(world_, aspect);
  const render::Camera cameras[] = {
      shown,
      {{1.23456789, -0.5, 1e3 / 3}, 7.0, -0.19, 0.3, shown.fovY},  // yaw past a turn
      {{-250.125, 3, 40}, -4.0, 1.49, 1800.5, shown.fovY},
  };
  for (const render::Camera& camera : cameras) {
    const std::string text = FormatCameraChoice(ChoiceOf(camera));
    SCOPED_TRACE(text);
    CameraChoice read;
    ASSERT_EQ(ParseCameraChoice(text, read), "");
    const render::Camera taken = ChosenCamera(world_, read, aspect);
    const render::CameraMatrices a = render::MatricesOf(camera, aspect);
    const render::CameraMatrices b = render::MatricesOf(taken, aspect);
    for (std::size_t i = 0; i < 16; ++i) {
      EXPECT_NEAR(a.view.m[i], b.view.m[i], 2e-4 * (1 + std::abs(a.view.m[i]))) << i;
      EXPECT_NEAR(a.proj.m[i], b.proj.m[i], 1e-6 * (1 + std::abs(a.proj.m[i]))) << i;
    }
    for (const VECTOR3& p : {camera.target, VECTOR3{4, 0, -7}, VECTOR3{0, 1, 0}}) {
      const auto pa = render::Project(camera, 1024, 640, p);
      const auto pb = render::Project(taken, 1024, 640, p);
      ASSERT_EQ(pa.has_value(), pb.has_value());
      if (!pa) continue;
      EXPECT_NEAR(pa->first, pb->first, 0.25);
      EXPECT_NEAR(pa->second, pb->second, 0.25);
    }
  }
}

TEST_F(ChosenCameraTest, PartsLeftOutAreTheDefaultViewsAndAVesselIsLookedAtWhereItStands) {
  const render::Camera def = render::DefaultCamera(world_, 1.6);
  CameraChoice yawOnly;
  ASSERT_EQ(ParseCameraChoice("yaw=90", yawOnly), "");
  const render::Camera turned = ChosenCamera(world_, yawOnly, 1.6);
  EXPECT_DOUBLE_EQ(turned.yaw, std::numbers::pi / 2);
  EXPECT_EQ(turned.pitch, def.pitch);
  EXPECT_EQ(turned.distance, def.distance);
  EXPECT_EQ(turned.target.x, def.target.x);

  CameraChoice atTug;
  ASSERT_EQ(ParseCameraChoice("at=Tug dist=20", atTug), "");
  const render::Camera looking = ChosenCamera(world_, atTug, 1.6);
  const VECTOR3 centre = render::VesselCentre(*world_.FindVessel("Tug"));
  EXPECT_EQ(looking.target.x, centre.x);
  EXPECT_EQ(looking.target.z, centre.z);
  EXPECT_NEAR(centre.x, 4, 3);  // around the tug's position, not the origin
  EXPECT_NEAR(centre.z, -7, 3);
  EXPECT_EQ(looking.distance, 20);

  CameraChoice nobody;
  ASSERT_EQ(ParseCameraChoice("at=Nobody,1", nobody), "");
  try {
    ChosenCamera(world_, nobody, 1.6);
    ADD_FAILURE() << "no error for a vessel that is not there";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "no vessel named \"Nobody,1\" to look at (a point is at=X,Y,Z)");
  }
}
#endif

}  // namespace
}  // namespace hostsim::cli
