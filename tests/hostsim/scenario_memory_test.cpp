// What a scenario's load makes the world hold, counted in bytes on the heap: a file's lines
// kept at about their own size, bare vessels at what they hold, and a file that would cost
// more than its bound refused before its vessels are built.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/error.h"
#include "hostsim/runtime/scenario_text.h"
#include "runtime_fixture.h"

namespace {

using hostsim_test::RuntimeWorld;
using testsupport::HeapInUse;

// The heap the world holds more after loading `text` than before (the classes read once).
long long LoadedBytes(RuntimeWorld& rw, const std::string& text) {
  rw.world->LoadScenario(rw.Write("warm.scn", "TIME 0\nVESSEL W block\nEND\nVESSEL T tug\nEND\n"));
  const auto file = rw.Write("big.scn", text);
  const long long before = HeapInUse();
  rw.world->LoadScenario(file);
  return HeapInUse() - before;
}

TEST(ScenarioMemory, LinesAndBareVesselsCostAboutWhatTheyHold) {
  if (HeapInUse() < 0) GTEST_SKIP() << "the heap in use cannot be told here";
  {
    // 100,000 unknown lines of one block: the file's bytes, the lines packed, and a dozen
    // warnings. A string and a warning for each line took over ten times the file.
    RuntimeWorld rw;
    std::string text = "TIME 0\nVESSEL Kept block\n";
    for (int i = 0; i < 100000; ++i) text += "  PAINT " + std::to_string(i) + "\n";
    text += "END\n";
    rw.world->TakeWarnings();
    const long long held = LoadedBytes(rw, text);
    EXPECT_LT(held, 4 * static_cast<long long>(text.size()));
    const std::vector<std::string> warnings = rw.world->TakeWarnings();
    EXPECT_LE(warnings.size(), 12u) << warnings.front();
    EXPECT_NE(warnings.back().find(":13: 99990 more lines of \"Kept\" kept"), std::string::npos)
        << warnings.back();
    EXPECT_EQ(rw.world->FindVessel("Kept")->keptLines.size(), 100000u);
  }
  {
    // 20,000 tugs (four points and a mesh), their visuals built: at most what the load's bound
    // counts for each (1,280 bytes a vessel, 192 a point, 768 a mesh).
    RuntimeWorld rw;
    constexpr int kVessels = 20000;
    std::string text = "TIME 0\n";
    for (int i = 0; i < kVessels; ++i) text += "VESSEL T" + std::to_string(i) + " tug\nEND\n";
    const long long held = LoadedBytes(rw, text);
    EXPECT_LT(held / kVessels, 1280 + 4 * 192 + 768);
  }
}

// A file whose vessels would cost more than its bound is refused at the line of a vessel,
// before any is built: by the parse past a count of vessels, by the load past their classes'
// cost (1 GiB for a file of this size), the world left as it was.
TEST(ScenarioMemory, AFileOverItsBoundIsRefusedAtAVesselLine) {
  try {
    hostsim::ParseScenario("TIME 0\nVESSEL A block\nEND\n# two\nVESSEL B block\nEND\n", "two.scn",
                           1);
    FAIL() << "parsed";
  } catch (const hostsim::Error& e) {
    EXPECT_STREQ(e.what(),
                 "two.scn:5: more than 1 vessels, the most a scenario of this size may hold");
  }

  RuntimeWorld rw;
  std::string points;
  for (int i = 0; i < 3000; ++i) points += "Attachment = C 0 0 0  0 1 0  0 0 1  P\n";
  rw.Write("config/many.cfg", points);
  std::string text = "TIME 0\n";
  for (int i = 0; i < 2500; ++i) text += "VESSEL V" + std::to_string(i) + " many\nEND\n";
  const auto file = rw.Write("over.scn", text);
  rw.world->LoadScenario(rw.Write("one.scn", "TIME 0\nVESSEL One block\nEND\n"), {false});
  const long long before = HeapInUse();
  try {
    rw.world->LoadScenario(file, {false});
    FAIL() << "loaded";
  } catch (const hostsim::Error& e) {
    EXPECT_NE(std::string(e.what()).find("too much for one scenario"), std::string::npos)
        << e.what();
    EXPECT_EQ(e.file(), file.string());
    // Vessel i is on line 2i + 2: past the 1,800th, before the last.
    EXPECT_EQ(e.line() % 2, 0) << e.what();
    EXPECT_GT(e.line(), 3600) << e.what();
    EXPECT_LT(e.line(), 5000) << e.what();
  }
  if (before >= 0) {
    EXPECT_LT(HeapInUse() - before, 1 << 20);
  }
  ASSERT_EQ(rw.world->Vessels().size(), 1u);
  EXPECT_EQ(rw.world->Vessels()[0]->name(), "One");
}

}  // namespace
