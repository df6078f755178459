// Parsing of session script lines: arguments, defaults, comments and malformed lines.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

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

  // A picture's camera follows its size, or its name when the size is left out.
  p = ParseLine("render a.png 64 40 at=Tug yaw=30  # from the side");
  ASSERT_TRUE(p.command) << p.error;
  EXPECT_EQ(p.command->width, 64);
  ASSERT_TRUE(p.command->camera);
  EXPECT_EQ(p.command->camera->vessel, "Tug");
  EXPECT_EQ(p.command->camera->yaw, 30);
  p = ParseLine("render a.png dist=5");
  ASSERT_TRUE(p.command) << p.error;
  EXPECT_EQ(p.command->width, 800);
  ASSERT_TRUE(p.command->camera);
  EXPECT_EQ(p.command->camera->distance, 5);
  p = ParseLine("render a.png 64 40");
  ASSERT_TRUE(p.command) << p.error;
  EXPECT_FALSE(p.command->camera);
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
      {"render", "render FILE.png [W H] [CAMERA]"},
      {"render a.png 64", "render FILE.png [W H] [CAMERA]"},
      {"render a.png 64 yaw=3", "render FILE.png [W H] [CAMERA]"},
      {"render a.png 64 40 Tug", "render: camera: \"Tug\" is not PART=VALUE"},
      {"render a.png pitch=90", "render: camera: \"pitch=90\": not from -88 to 88"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ParsedLine p = ParseLine(c.line);
    EXPECT_FALSE(p.command.has_value());
    EXPECT_NE(p.error.find(c.message), std::string::npos) << p.error;
  }
}

}  // namespace
// A recorded session is written with FormatLine: every line it writes must read back as the
// command it came from, the texts that a blank, a '#' or a chord would change included.
TEST(FormatLineTest, EveryCommandReadsBackAsItself) {
  auto make = [](Command::Kind kind, std::string arg = {}) {
    Command c;
    c.kind = kind;
    c.arg = std::move(arg);
    return c;
  };
  std::vector<Command> commands;
  commands.push_back(make(Command::Kind::Load, "scenarios/a b.scn"));
  commands.push_back(make(Command::Kind::Load, "/abs/x#1.scn"));
  commands.push_back(make(Command::Kind::Focus, "Lamp1"));
  Command step = make(Command::Kind::Step);
  step.frames = 0;
  step.dt = 1.0 / 60;
  commands.push_back(step);
  Command press = make(Command::Kind::Press);
  press.chords = {Chord{{0x2A, 0x38}, 0x30}};
  commands.push_back(press);
  Command hold = make(Command::Kind::Hold);
  hold.chords = {Chord{{}, 0x2A}, Chord{{}, 0xCB}, Chord{{}, 0x9D}};
  hold.frames = 1234;
  hold.dt = 0.02;
  commands.push_back(hold);
  for (const char* text : {"", " 25 # not a comment", "0.1", "\xE9t\xE9"})
    commands.push_back(make(Command::Kind::Type, text));
  commands.push_back(make(Command::Kind::Cancel));
  commands.push_back(make(Command::Kind::Save, "out/saved.scn"));
  commands.push_back(make(Command::Kind::Inspect, "Tug"));
  Command visual = make(Command::Kind::Visual);
  visual.build = false;
  commands.push_back(visual);
  Command render = make(Command::Kind::Render, "a.png");
  render.width = 64;
  render.height = 40;
  commands.push_back(render);
  render.camera = CameraChoice{};
  render.camera->point = VECTOR3{1.0 / 3, -0.0, 2e-7};
  render.camera->yaw = -179.5;
  commands.push_back(render);
  for (const Command& c : commands) {
    const std::string line = FormatLine(c);
    const ParsedLine back = ParseLine(line);
    ASSERT_TRUE(back.command) << line << ": " << back.error;
    const Command& r = *back.command;
    EXPECT_EQ(r.kind, c.kind) << line;
    EXPECT_EQ(r.arg, c.arg) << line;
    EXPECT_EQ(r.frames, c.frames) << line;
    EXPECT_EQ(r.dt, c.dt) << line;
    EXPECT_EQ(r.build, c.build) << line;
    EXPECT_TRUE(r.camera == c.camera) << line;
    ASSERT_EQ(r.chords.size(), c.chords.size()) << line;
    for (std::size_t i = 0; i < c.chords.size(); ++i) {
      EXPECT_EQ(r.chords[i].modifiers, c.chords[i].modifiers) << line;
      EXPECT_EQ(r.chords[i].key, c.chords[i].key) << line;
    }
  }
}

TEST(FormatLineTest, WhatALineCannotHoldIsRefused) {
  Command focus;
  focus.kind = Command::Kind::Focus;
  focus.arg = "two words";
  EXPECT_THROW(FormatLine(focus), std::invalid_argument);
  Command save;
  save.kind = Command::Kind::Save;
  for (const char* file : {"", " lead.scn", "a #b.scn", "line\nbreak.scn"}) {
    save.arg = file;
    EXPECT_THROW(FormatLine(save), std::invalid_argument) << file;
  }
  Command type;
  type.kind = Command::Kind::Type;
  type.arg = "a\rb";
  EXPECT_THROW(FormatLine(type), std::invalid_argument);
}

}  // namespace hostsim::cli
