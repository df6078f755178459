// The script hostsim play --record writes: every action as the session command that replays
// it, and file names as the replay finds them from the script's folder.
#include "hostsim/cli/record.h"

#include <gtest/gtest.h>

#include "hostsim/platform/path_text.h"
#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    if (!line.starts_with("# ") || line.starts_with("# not recordable") ||
        line.starts_with("# reload"))
      lines.push_back(line);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

TEST(SessionRecorderTest, WritesEveryActionAsTheCommandThatReplaysIt) {
  testsupport::TempDir dir;
  fs::create_directories(dir.path() / "rec");
  const std::string scenario("TITLE t\r\n\0", 10);  // kept byte for byte
  SessionRecorder r(dir.path() / "rec" / "s.txt", scenario);
  ASSERT_EQ(r.Start(), "");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "rec" / "s.txt.scn"), scenario);
  for (int i = 0; i < 3; ++i) r.Steps(1, 0.02, {});
  r.Steps(2, 0.02, {0x2A, 0xCD});
  r.Press({0x2A}, 0x30);
  // Each line is in the file as soon as it is known.
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "rec" / "s.txt"), r.text());
  r.Type(" 25 # all of it");
  r.Cancel();
  r.Focus("Lamp1");
  r.Save(dir.path() / "rec" / "out" / "b.scn");
  // A save outside the script's folder is named absolutely: under --out a relative name may
  // not lead out of the output folder.
  r.Save(dir.path() / "elsewhere.scn");
  r.Focus("two words");
  // A reload the window made replays; one it refused stays a note, its reason on one line.
  r.Reload("lumipod");
  r.Refused("lumipod", "tried in a process of its own,\nthe world crashed");
  const std::vector<std::string> expected = {
      "load s.txt.scn",
      "step 3 0.02",
      "hold Shift Right for 2 0.02",
      "press Shift+B",
      "type  25 # all of it",
      "cancel",
      "focus Lamp1",
      "save out/b.scn",
      "save " + platform::PathToUtf8(fs::absolute(dir.path() / "elsewhere.scn").lexically_normal()),
      "# not recordable: the vessel name \"two words\" cannot be written as one word",
      "reload lumipod",
      "# reload lumipod refused: tried in a process of its own, the world crashed",
  };
  EXPECT_EQ(Lines(r.text()), expected) << r.text();
  for (const std::string& line : expected)
    EXPECT_TRUE(ParseLine(line).error.empty()) << line << ": " << ParseLine(line).error;

  ASSERT_EQ(r.Finish(), "");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "rec" / "s.txt"), r.text());
}

}  // namespace
}  // namespace hostsim::cli
