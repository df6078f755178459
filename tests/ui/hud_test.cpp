// The HUD help text: thirteen lines in light green, their positions for several HUD sizes,
// the exact bytes of every line, and the values shown in three of them.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "support/hud_text.h"
#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

// The text lines of one HUD frame, after checking that the colour is set before each.
std::vector<hostsim::HudOp> TextLines(const std::vector<hostsim::HudOp>& ops) {
  std::vector<hostsim::HudOp> out;
  EXPECT_EQ(ops.size(), 26u);
  for (std::size_t i = 0; i + 1 < ops.size(); i += 2) {
    EXPECT_EQ(ops[i].kind, hostsim::HudOp::Kind::TextColour) << "op " << i;
    EXPECT_EQ(ops[i].colour, kHudColour) << "op " << i;
    EXPECT_EQ(ops[i + 1].kind, hostsim::HudOp::Kind::Text) << "op " << i + 1;
    out.push_back(ops[i + 1]);
  }
  return out;
}

struct LayoutRow {
  int W, H;
  int x;
  std::array<int, 13> y;
};

TEST(LampHud, LayoutAndTextAtSeveralSizes) {
  const LayoutRow rows[] = {
      {1024, 768, 10, {167, 183, 199, 215, 231, 247, 279, 295, 311, 327, 343, 359, 375}},
      {1920, 1080, 310, {113, 135, 158, 180, 203, 225, 270, 293, 315, 338, 360, 383, 405}},
      {1024, 745, 170, {77, 93, 109, 124, 140, 155, 186, 202, 217, 233, 248, 264, 279}},
      {1024, 746, 10, {163, 178, 194, 209, 225, 240, 271, 287, 303, 318, 334, 349, 365}},
      {0, 768, 10, {167, 183, 199, 215, 231, 247, 279, 295, 311, 327, 343, 359, 375}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.W) + "x" + std::to_string(r.H));
    LampWorld w;
    auto& v = w.AddLamp();
    auto lines = TextLines(w.world().DrawHUD(v, r.W, r.H));
    ASSERT_EQ(lines.size(), 13u);
    for (std::size_t i = 0; i < 13; ++i) {
      SCOPED_TRACE(i + 1);
      EXPECT_EQ(lines[i].x, r.x);
      EXPECT_EQ(lines[i].y, r.y[i]);
      EXPECT_EQ(lines[i].text, kHudDefaultLines[i]);
    }
  }
  EXPECT_EQ(kHudDefaultLines[2].size(), 30u);
}

TEST(LampHud, DefaultDisplaysAreSwitchedOffEveryFrame) {
  LampWorld w;
  auto& v = w.AddLamp();
  for (int frame = 0; frame < 3; ++frame) {
    w.journal().Clear();
    w.world().DrawHUD(v, 1024, 768);
    auto nav = HostCalls(w.journal(), "zapiSetDefNavDisplay");
    auto rcs = HostCalls(w.journal(), "zapiSetDefRCSDisplay");
    ASSERT_EQ(nav.size(), 1u);
    ASSERT_EQ(rcs.size(), 1u);
    EXPECT_EQ(nav[0].args, "0");
    EXPECT_EQ(rcs[0].args, "0");
    EXPECT_FALSE(w.world().DefNavDisplay());
    EXPECT_FALSE(w.world().DefRCSDisplay());
  }
}

struct ValueRow {
  const char* name;
  std::vector<std::string> lines;
  double intensity;
  std::size_t line;  // 1-based
  std::string text;
};

TEST(LampHud, ValuesShown) {
  const ValueRow rows[] = {
      {"intensity 0.57 truncates to 56", {}, 0.57, 4, "[J]/[K] = -/+ Intensity 56%"},
      {"intensity 0", {}, 0.0, 4, "[J]/[K] = -/+ Intensity 0%"},
      {"intensity 0.999", {}, 0.999, 4, "[J]/[K] = -/+ Intensity 99%"},
      {"spread 3 rad", {"SPT 0 300 3"}, 1.0, 3, "[M] = Enter Spread Angle 171.9\xB0"},
      {"spread 0.3491 rad", {"SPT 0 300 0.3491"}, 1.0, 3, "[M] = Enter Spread Angle 20.0\xB0"},
      {"range 500", {"SPT 0 500"}, 1.0, 2, "[N] = Enter Range 500.0m"},
      {"range 150000 unclamped", {"SPT 0 150000"}, 1.0, 2, "[N] = Enter Range 150000.0m"},
      {"range 0.04", {"SPT 0 0.04"}, 1.0, 2, "[N] = Enter Range 0.0m"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& v = w.AddLamp("L1", r.lines);
    AsLamp(v)->intensity = r.intensity;
    auto lines = TextLines(w.world().DrawHUD(v, 1024, 768));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[r.line - 1].text, r.text);
  }
}

TEST(LampHud, AbsurdRangeStaysInsideTheBuffer) {
  LampWorld w;
  auto& v = w.AddLamp("L1", {"SPT 0 1e300 0.3491"});
  auto lines = TextLines(w.world().DrawHUD(v, 1024, 768));
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_LE(lines[1].text.size(), 255u);
  EXPECT_EQ(lines[1].text.rfind("[N] = Enter Range 1000000000", 0), 0u) << lines[1].text;
  EXPECT_EQ(lines[2].text, kHudDefaultLines[2]);
  EXPECT_EQ(lines[3].text, kHudDefaultLines[3]);
}

// A Sketchpad that only counts, to see the callback's own result.
class CountingPad : public zapi::Sketchpad {
 public:
  std::uint32_t SetTextColor(std::uint32_t c) override {
    ++colours;
    return c;
  }
  std::uint32_t SetBackgroundColor(std::uint32_t c) override { return c; }
  bool Text(int, int, const char* str, int len) override {
    texts.emplace_back(str, static_cast<std::size_t>(len));
    return true;
  }
  bool Line(int, int, int, int) override { return true; }
  int GetCharHeight() const override { return 16; }
  int colours = 0;
  std::vector<std::string> texts;
};

TEST(LampHud, CallbackReportsThatItDrew) {
  LampWorld w;
  auto& v = w.AddLamp();
  HUDPAINTSPEC hps{1024, 768, 512, 384, 10.0, 6};
  CountingPad pad;
  EXPECT_TRUE(v.callbacks()->clbkDrawHUD(0, &hps, &pad));
  EXPECT_EQ(pad.colours, 13);
  ASSERT_EQ(pad.texts.size(), 13u);
  for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(pad.texts[i], kHudDefaultLines[i]);
}

}  // namespace
