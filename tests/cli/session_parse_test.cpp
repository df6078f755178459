// Parsing of session script lines: arguments, defaults, comments and malformed lines.
#include <gtest/gtest.h>

#include <string>

#include "hostsim/cli/session.h"

namespace hostsim::cli {
namespace {

using Kind = Command::Kind;

TEST(ParseLineTest, BlankAndCommentLinesAreNoCommands) {
  for (const char* line : {"", "   ", "\t", "# a comment", "   # indented comment", "\r"}) {
    ParsedLine p = ParseLine(line);
    EXPECT_FALSE(p.command.has_value()) << '"' << line << '"';
    EXPECT_TRUE(p.error.empty()) << p.error;
  }
}

TEST(ParseLineTest, StepAndHoldFrames) {
  const struct {
    const char* line;
    Kind kind;
    long long frames;
    double dt;
    std::size_t chords;
  } cases[] = {
      {"step", Kind::Step, 1, 0.02, 0},
      {"step 10", Kind::Step, 10, 0.02, 0},
      {"step 10 0.1", Kind::Step, 10, 0.1, 0},
      {"step 0", Kind::Step, 0, 0.02, 0},
      {"step 3 0", Kind::Step, 3, 0.0, 0},
      {"  step 2 1e-3  # trailing comment", Kind::Step, 2, 0.001, 0},
      {"step 5\r", Kind::Step, 5, 0.02, 0},
      {"hold J for 50", Kind::Hold, 50, 0.02, 1},
      {"hold Shift+Up Shift+Right for 25 0.04", Kind::Hold, 25, 0.04, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedLine p = ParseLine(c.line);
    ASSERT_TRUE(p.command.has_value()) << p.error;
    EXPECT_EQ(p.command->kind, c.kind);
    EXPECT_EQ(p.command->frames, c.frames);
    EXPECT_EQ(p.command->dt, c.dt);
    EXPECT_EQ(p.command->chords.size(), c.chords);
  }
}

TEST(ParseLineTest, TypeTakesTheRestOfTheLineVerbatim) {
  const struct {
    const char* line;
    const char* text;
  } cases[] = {
      {"type 500", "500"},
      {"type", ""},
      {"type ", ""},
      {"type Tug 1", "Tug 1"},
      {"type   75.5 m", "  75.5 m"},
      {"type 45 # not a comment", "45 # not a comment"},
      {"  type abc\r", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedLine p = ParseLine(c.line);
    ASSERT_TRUE(p.command.has_value()) << p.error;
    EXPECT_EQ(p.command->kind, Kind::Type);
    EXPECT_EQ(p.command->arg, c.text);
  }
}

TEST(ParseLineTest, ArgumentsOfTheOtherCommands) {
  ParsedLine p = ParseLine("load ../scenarios/my lamp.scn  # with a blank in the name");
  ASSERT_TRUE(p.command);
  EXPECT_EQ(p.command->kind, Kind::Load);
  EXPECT_EQ(p.command->arg, "../scenarios/my lamp.scn");

  p = ParseLine("save out/saved.scn");
  ASSERT_TRUE(p.command);
  EXPECT_EQ(p.command->kind, Kind::Save);
  EXPECT_EQ(p.command->arg, "out/saved.scn");

  p = ParseLine("press Shift+V");
  ASSERT_TRUE(p.command);
  EXPECT_EQ(p.command->kind, Kind::Press);
  ASSERT_EQ(p.command->chords.size(), 1u);
  EXPECT_EQ(p.command->chords[0].ToString(), "Shift+V");

  p = ParseLine("hud 1920 1080");
  ASSERT_TRUE(p.command);
  EXPECT_EQ(p.command->width, 1920);
  EXPECT_EQ(p.command->height, 1080);

  p = ParseLine("visual drop Lamp2");
  ASSERT_TRUE(p.command);
  EXPECT_FALSE(p.command->build);
  EXPECT_EQ(p.command->arg, "Lamp2");

  p = ParseLine("inspect");
  ASSERT_TRUE(p.command);
  EXPECT_EQ(p.command->kind, Kind::Inspect);
  EXPECT_TRUE(p.command->arg.empty());
}

TEST(ParseLineTest, MalformedLinesAreRefusedWithAReason) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"jump 3", "unknown command \"jump\""},
      {"Step 3", "unknown command \"Step\""},
      {"load", "FILE is needed"},
      {"save   # nothing", "FILE is needed"},
      {"focus", "one vessel NAME"},
      {"focus a b", "one vessel NAME"},
      {"step -1", "frame count \"-1\""},
      {"step 1.5", "frame count \"1.5\""},
      {"step 2000000000", "frame count"},
      {"step 1 -0.02", "step length \"-0.02\""},
      {"step 1 nan", "step length"},
      {"step 1 inf", "step length"},
      {"step 1 0.02 3", "too many arguments"},
      {"press", "one key CHORD"},
      {"press A B", "one key CHORD"},
      {"press Hyper+B", "unknown key \"Hyper\""},
      {"hold J", "hold CHORD"},
      {"hold for 5", "hold CHORD"},
      {"hold J for", "hold CHORD"},
      {"hold J 5", "hold CHORD"},  // 5 is a key; "for" is missing
      {"hold J for x", "frame count \"x\""},
      {"cancel now", "takes no arguments"},
      {"hud 1024", "W H"},
      {"hud -1 768", "whole numbers"},
      {"hud 1024 768.5", "whole numbers"},
      {"hud 200000 768", "whole numbers"},
      {"inspect a b", "at most one"},
      {"visual", "build|drop"},
      {"visual show", "build|drop"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedLine p = ParseLine(c.line);
    EXPECT_FALSE(p.command.has_value());
    EXPECT_NE(p.error.find(c.message), std::string::npos) << p.error;
  }
}

}  // namespace
}  // namespace hostsim::cli
