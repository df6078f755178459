// Scenario files: refusal of malformed files with file:line, the load order, kept lines, and
// exact, atomic saving.
#include <gtest/gtest.h>

#include <cmath>

#include "hostsim/runtime/scenario_text.h"
#include "hostsim/runtime_fixture.h"
#include "hostsim/world.h"

using hostsim::Error;
using hostsim::World;
using hostsim_test::ReadFile;
using hostsim_test::RuntimeWorld;

namespace {

struct BadCase {
  const char* name;
  const char* text;
  int line;
  const char* message;
};

class ScenarioErrors : public ::testing::TestWithParam<BadCase> {};

TEST_P(ScenarioErrors, RefusedWithFileAndLineAndWorldUntouched) {
  RuntimeWorld rw;
  rw.world->CreateVessel("Keep", "block");
  auto file = rw.Write("bad.scn", GetParam().text);
  try {
    rw.world->LoadScenario(file, {false});
    FAIL() << "loaded a malformed scenario";
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), file.string());
    EXPECT_EQ(e.line(), GetParam().line) << e.what();
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind(
                  file.string() + ":" + std::to_string(GetParam().line) + ": ", 0),
              0u)
        << e.what();
  }
  ASSERT_EQ(rw.world->Vessels().size(), 1u);
  EXPECT_EQ(rw.world->Vessels()[0]->name(), "Keep");
}

INSTANTIATE_TEST_SUITE_P(
    Hostsim, ScenarioErrors,
    ::testing::Values(
        BadCase{"NotAScenario", "# lumipod\n\n`lumipod` is a vessel module\nTITLE x\n", 3,
                "not a scenario: a scenario begins with TITLE, TIME, FOCUS or VESSEL, not "
                "\"`lumipod`\""},
        BadCase{"EndFirst", "END\n", 1, "not a scenario"},
        BadCase{"VesselWithoutClass", "TIME 0\nVESSEL Tug\nEND\n", 2, "VESSEL <name> <class>"},
        BadCase{"MissingEnd", "VESSEL A block\n  POS 0 0 0\n", 1, "has no END"},
        BadCase{"EndWithoutVessel", "TITLE x\nEND\n", 2, "END without"},
        BadCase{"NestedVessel", "VESSEL A block\nVESSEL B block\nEND\n", 2, "missing END"},
        BadCase{"TimeNotANumber", "TIME soon\n", 1, "TIME must be one number"},
        // Numbers that are not finite are no numbers to the host.
        BadCase{"PosNotFinite", "VESSEL A block\n  POS 0 nan 0\nEND\n", 2, "POS needs three"},
        BadCase{"OriBeyondDouble", "VESSEL A block\n  ORI 1e999 0 0\nEND\n", 2, "ORI needs three"},
        BadCase{"TimeInfinite", "TIME inf\n", 1, "TIME must be one number"},
        BadCase{"PosTwoNumbers", "VESSEL A block\n  POS 1 2\nEND\n", 2, "POS needs three"},
        BadCase{"OriWord", "VESSEL A block\n  ORI 1 x 2\nEND\n", 2, "ORI needs three"},
        BadCase{"AttachedNegativeIndex",
                "VESSEL A block\nEND\nVESSEL B block\n  ATTACHED A -1 TOP\nEND\n", 4,
                "expected ATTACHED"},
        BadCase{"DuplicateName", "VESSEL A block\nEND\nVESSEL a block\nEND\n", 3, "exists already"},
        BadCase{"AttachedUnknownParent", "VESSEL A block\n  ATTACHED Nobody 0 TOP\nEND\n", 2,
                "names no vessel"},
        BadCase{"AttachedToSelf", "VESSEL A block\n  ATTACHED A 0 TOP\nEND\n", 2, "itself"},
        BadCase{
            "AttachedCycle",
            "VESSEL A block\n  ATTACHED B 0 TOP\nEND\nVESSEL B block\n  ATTACHED A 0 TOP\nEND\n", 2,
            "cycle"},
        BadCase{"SecondAttached",
                "VESSEL A block\nEND\nVESSEL B block\nEND\nVESSEL C block\n  ATTACHED A 0 TOP\n"
                "  ATTACHED B 0 TOP\nEND\n",
                7, "second ATTACHED"},
        // ATTACHED lines the host cannot carry out: the vessel would load unattached, and the
        // next save would lose the line.
        BadCase{"AttachedPastTheLastPoint",
                "VESSEL A block\nEND\nVESSEL B block\n  ATTACHED A 1 TOP\nEND\n", 4,
                "cannot hang \"B\": \"A\" has no child point 1 (its points are 0 to 0)"},
        BadCase{"AttachedOnAVesselWithoutChildPoints",
                "VESSEL A lumipod\nEND\nVESSEL B block\n  ATTACHED A 0 TOP\nEND\n", 4,
                "\"A\" has no child point 0 (it has none)"},
        BadCase{"AttachedByAPointItHasNot",
                "VESSEL A block\nEND\nVESSEL B block\n  ATTACHED A 0 NOPE\nEND\n", 4,
                "cannot hang \"B\": it has no point \"NOPE\" to hang by"},
        BadCase{"AttachedToATakenPoint",
                "VESSEL A block\nEND\nVESSEL B block\n  ATTACHED A 0 TOP\nEND\n"
                "VESSEL C block\n  ATTACHED A 0 top\nEND\n",
                7, "cannot hang \"C\": point 0 of \"A\" holds \"B\" already"},
        BadCase{"FocusUnknown", "FOCUS Ghost\nVESSEL A block\nEND\n", 1, "FOCUS names no vessel"},
        BadCase{"UnknownClass", "VESSEL A warpdrive\nEND\n", 1, "unknown vessel class"},
        BadCase{"ModuleMissing", "VESSEL A nomod\nEND\n", 1, "cannot load module"},
        BadCase{"ZvcInitNull", "VESSEL A probe\nEND\nVESSEL B nullmod\nEND\n", 3, "zvcInit"}),
    [](const auto& tc) { return std::string(tc.param.name); });

// A file without a line of a scenario is none: it is refused, not loaded as an empty world.
TEST(Scenario, AFileWithoutScenarioLinesIsRefused) {
  for (const char* text : {"", "\n  \n", "# only a comment\n"}) {
    RuntimeWorld rw;
    rw.world->CreateVessel("Keep", "block");
    auto file = rw.Write("empty.scn", text);
    try {
      rw.world->LoadScenario(file, {false});
      ADD_FAILURE() << "loaded " << ::testing::PrintToString(text);
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                file.string() + ": not a scenario: it holds no TITLE, TIME, FOCUS or VESSEL line");
    }
    EXPECT_EQ(rw.world->Vessels().size(), 1u);
  }
}

// The host's own lines of a block as the host reads them: the words, the index's range, an id
// that is the rest of the line, any case and blanks; everything else is a module's line.
TEST(Scenario, HostLinesReadWordByWord) {
  using Kind = hostsim::HostLine::Kind;
  struct Case {
    const char* line;
    Kind kind;
    const char* parent;
    std::uint32_t index;
    const char* id;
  };
  const Case cases[] = {
      {"ATTACHED A 0 TOP", Kind::Attached, "A", 0, "TOP"},
      {"attached\tTug  3\t id with blanks ", Kind::Attached, "Tug", 3, "id with blanks"},
      {"ATTACHED A +2", Kind::Attached, "A", 2, ""},
      {"ATTACHED A 4294967295 P", Kind::Attached, "A", 4294967295u, "P"},
      {"ATTACHED A 4294967296 P", Kind::Malformed, "", 0, ""},
      {"ATTACHED A -1 P", Kind::Malformed, "", 0, ""},
      {"ATTACHED A x P", Kind::Malformed, "", 0, ""},
      {"ATTACHED A", Kind::Malformed, "", 0, ""},
      {"ATTACHED", Kind::Malformed, "", 0, ""},
      {"POS 1 2 3", Kind::Pos, "", 0, ""},
      {"ori 1 2", Kind::Malformed, "", 0, ""},
      {"ATTACHEDX A 0 P", Kind::None, "", 0, ""},
      {"SPT 1 100 0.3", Kind::None, "", 0, ""},
  };
  for (const auto& c : cases) {
    const hostsim::HostLine h = hostsim::ParseHostLine(c.line);
    EXPECT_EQ(h.kind, c.kind) << c.line;
    if (c.kind != Kind::Attached) continue;
    EXPECT_EQ(h.parent, c.parent) << c.line;
    EXPECT_EQ(h.index, c.index) << c.line;
    EXPECT_EQ(h.pointId, c.id) << c.line;
  }
}

TEST(Scenario, FailedCreationMidwayLeavesTheOldWorld) {
  RuntimeWorld rw;
  World& w = *rw.world;
  hostsim::Vessel& keep = w.CreateVessel("Keep", "probe");
  w.SetFocus(&keep);
  w.SetSimTime(5);
  auto file = rw.Write("s.scn", "TIME 9\nVESSEL Keep probe\nEND\nVESSEL B nullmod\nEND\n");
  EXPECT_THROW(w.LoadScenario(file, {false}), Error);
  ASSERT_EQ(w.Vessels().size(), 1u);
  EXPECT_EQ(w.Vessels()[0], &keep);
  EXPECT_EQ(w.Focus(), &keep);
  EXPECT_EQ(w.SimTime(), 5);
  EXPECT_EQ(zapiGetObjectByName("keep"), keep.handle());
  // The half-made "Keep" of the file was created and destroyed again.
  EXPECT_EQ(w.journal().Count("VESSEL2::clbkAfterCreation"), 0u);
  ASSERT_EQ(w.Modules().size(), 1u);
  EXPECT_EQ(w.Modules()[0]->refCount, 1);
}

TEST(Scenario, LoadOrderAndAttachmentRestoredBeforeAfterCreation) {
  RuntimeWorld rw;
  auto file = rw.Write("s.scn",
                       "TITLE Deck test\nTIME 12.5\nFOCUS Probe1\n"
                       "VESSEL Probe1 probe\n  ATTACHED Base 0 TOP\n  PROBE hello\nEND\n"
                       "VESSEL Base block\n  POS 1 2 3\nEND\n");
  rw.world->LoadScenario(file);
  World& w = *rw.world;
  EXPECT_EQ(w.title, "Deck test");
  EXPECT_EQ(w.SimTime(), 12.5);
  ASSERT_NE(w.Focus(), nullptr);
  EXPECT_EQ(w.Focus()->name(), "Probe1");
  // The child hangs on the parent declared after it.
  EXPECT_EQ(w.FindVessel("probe1")->Parent(), w.FindVessel("Base"));

  std::vector<std::string> order;
  for (const auto& e : w.journal().Entries())
    if (e.kind == hostsim::Journal::Kind::Callback) order.push_back(e.call);
  std::vector<std::string> expected = {"zvcInit",           "clbkSetupClass",   "clbkLoadScenario",
                                       "clbkAfterCreation", "clbkFocusChanged", "clbkVisualBuilt"};
  EXPECT_EQ(order, expected);
}

// Every vessel of a load meets its own callbacks in their order, whatever comes between.
TEST(Scenario, EveryVesselIsMadeSetUpAndLoadedInThatOrder) {
  RuntimeWorld rw;
  auto file =
      rw.Write("s.scn", "VESSEL P1 probe\nEND\nVESSEL B block\nEND\nVESSEL P2 probe\nEND\n");
  rw.world->LoadScenario(file);
  for (const char* name : {"P1", "P2"}) {
    std::vector<std::string> order;
    for (const auto& e : rw.world->journal().Entries())
      if (e.kind == hostsim::Journal::Kind::Callback && e.self == name) order.push_back(e.call);
    const std::vector<std::string> expected = {"zvcInit", "clbkSetupClass", "clbkLoadScenario",
                                               "clbkAfterCreation", "clbkVisualBuilt"};
    EXPECT_EQ(order, expected) << name;
  }
}

TEST(Scenario, UnknownLinesAreKeptWarnedAndWrittenBack) {
  RuntimeWorld rw;
  auto file = rw.Write("s.scn",
                       "TITLE Kept\nCAMERA far\n"
                       "VESSEL A block\n  POS 0 0 0\n  PAINT red\nEND\n"
                       "VESSEL P probe\n  WEIRD 1 2\nEND\n");
  rw.world->LoadScenario(file, {false});
  auto warnings = rw.world->TakeWarnings();
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_EQ(warnings[0].rfind(file.string() + ":2: unknown line kept", 0), 0u) << warnings[0];
  EXPECT_EQ(warnings[1].rfind(file.string() + ":5: ", 0), 0u) << warnings[1];
  EXPECT_EQ(warnings[2].rfind(file.string() + ":8: ", 0), 0u) << warnings[2];
  EXPECT_TRUE(rw.world->TakeWarnings().empty());
  EXPECT_EQ(rw.world->FindVessel("A")->keptLines.text(), "PAINT red\n");

  std::string text = rw.world->ScenarioText();
  EXPECT_NE(text.find("CAMERA far\n"), std::string::npos);
  EXPECT_NE(text.find("  PAINT red\n"), std::string::npos);
  EXPECT_NE(text.find("  WEIRD 1 2\n"), std::string::npos);
}

TEST(Scenario, RoundTripIsExact) {
  RuntimeWorld rw;
  auto first =
      rw.Write("a.scn",
               "TITLE Round trip\nTIME 0.10000000000000001\nFOCUS P\n"
               "VESSEL Base block\n  POS 0.1 -1e-300 123456789.123\n  ORI 33.3 -12.5 -0\nEND\n"
               "VESSEL P probe\n  ATTACHED Base 0 TOP\n  PROBE  two  spaces and \xB0\nEND\n");
  rw.world->LoadScenario(first, {false});
  auto second = rw.dir() / "b.scn";
  rw.world->SaveScenario(second);
  std::string saved = ReadFile(second);
  // Numbers are written in the shortest form that reads back as the same double.
  EXPECT_EQ(saved.rfind("TITLE Round trip\nTIME 0.1\n", 0), 0u) << saved;
  EXPECT_NE(saved.find("  POS 0.1 -1e-300 123456789.123\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("  ORI 33.3 -12.5 0\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("  ATTACHED Base 0 TOP\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("  PROBE  two  spaces and \xB0\n"), std::string::npos) << saved;

  // Loading the saved file and saving again gives the same bytes.
  World again(rw.world->paths());
  again.LoadScenario(second, {false});
  auto third = rw.dir() / "c.scn";
  again.SaveScenario(third);
  EXPECT_EQ(ReadFile(third), saved);
}

TEST(Scenario, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  RuntimeWorld rw;
  rw.world->CreateVessel("A", "block");
  auto file = rw.Write("out/s.scn", "old contents\n");
  rw.world->SaveScenario(file);
  EXPECT_EQ(ReadFile(file).rfind("TIME 0\n", 0), 0u);
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(file.parent_path())) {
    ++n;
    EXPECT_EQ(e.path().filename(), "s.scn");
  }
  EXPECT_EQ(n, 1u);
}

TEST(Scenario, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  RuntimeWorld rw;
  rw.world->CreateVessel("A", "block");
  // Into a folder that does not exist.
  auto missing = rw.dir() / "nowhere" / "s.scn";
  try {
    rw.world->SaveScenario(missing);
    FAIL() << "saved into a missing folder";
  } catch (const Error& e) {
    EXPECT_EQ(e.file(), missing.string());
  }
  EXPECT_FALSE(std::filesystem::exists(rw.dir() / "nowhere"));

  // Over something that cannot be replaced by a file: a non-empty folder.
  auto target = rw.dir() / "dir" / "s.scn";
  rw.Write("dir/s.scn/keep.txt", "precious");
  EXPECT_THROW(rw.world->SaveScenario(target), Error);
  EXPECT_EQ(ReadFile(target / "keep.txt"), "precious");
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(rw.dir() / "dir")) ++n;
  EXPECT_EQ(n, 1u) << "a temporary file was left behind";
}

TEST(Scenario, LinesTheModuleWritesCannotBreakTheFile) {
  RuntimeWorld rw;
  auto file = rw.Write("s.scn", "VESSEL P probe\nEND\n");
  rw.world->LoadScenario(file, {false});
  rw.world->SetKey(0x31, true);
  rw.world->SetFocus(rw.world->FindVessel("P"));
  ASSERT_EQ(rw.world->KeyEvent(0x31, true), 1);
  ASSERT_TRUE(rw.world->AnswerBox("evil\nEND\nVESSEL X block"));
  std::string text = rw.world->ScenarioText();
  EXPECT_NE(text.find("  PROBE evil END VESSEL X block\n"), std::string::npos) << text;
}

}  // namespace
