// What the CLI writes: JSON numbers and layout, quoted 8-bit texts, the trace.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "hostsim/cli/session.h"
#include "hostsim/cli/text.h"
#include "hostsim/cli/trace.h"
#include "hostsim/cli/view.h"
#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

// The inspect output of a whole world is written vessel by vessel; the text must be the one
// the array printed whole gives, whatever its elements hold.
TEST(JsonArrayWriterTest, WritesWhatTheWholeArrayPrintsAs) {
  const Json vessel = Json::parse(R"({"name": "Lamp", "pos": [1.5, 0, -2], "lights": [],
      "meshes": [{"file": "a.obj", "groups": [{"mat": {}}]}], "box": null})");
  const std::vector<std::vector<Json>> arrays = {
      {},
      {vessel},
      {vessel, Json::object(), vessel},
      {Json::array({1, 2, 3}), Json::array(), Json::array({vessel})},
  };
  for (const auto& elements : arrays) {
    std::ostringstream streamed;
    JsonArrayWriter writer(streamed);
    for (const Json& e : elements) writer.Add(e);
    writer.Close();
    EXPECT_EQ(streamed.str(), PrettyJson(Json(elements))) << Json(elements).dump();
  }
}

TEST(JsonArrayWriterTest, RefusesAPlainElement) {
  std::ostringstream out;
  JsonArrayWriter writer(out);
  EXPECT_THROW(writer.Add(Json(3)), std::invalid_argument);
  EXPECT_THROW(writer.Add(Json("text")), std::invalid_argument);
}

TEST(JsonNumberTest, FiniteValuesRoundTripAndOthersBecomeStrings) {
  EXPECT_EQ(Num(0.3490658503988659).dump(), "0.3490658503988659");
  EXPECT_EQ(Num(2.2222222222222223e-05).get<double>(), 2.2222222222222223e-05);
  EXPECT_EQ(Num(300.0).dump(), "300.0");
  EXPECT_EQ(Num(std::numeric_limits<double>::quiet_NaN()), Json("nan"));
  EXPECT_EQ(Num(std::numeric_limits<double>::infinity()), Json("inf"));
  EXPECT_EQ(Num(-std::numeric_limits<double>::infinity()), Json("-inf"));
  // Floats show their shortest decimal, not the digits of their double widening.
  EXPECT_EQ(Num(0.95f).dump(), "0.95");
  EXPECT_EQ(Num(0.375f).dump(), "0.375");
  EXPECT_EQ(static_cast<float>(Num(0.1f).get<double>()), 0.1f);
  EXPECT_EQ(Num(std::numeric_limits<float>::quiet_NaN()), Json("nan"));
}

TEST(PrettyJsonTest, PlainArraysStayOnOneLine) {
  Json j;
  j["name"] = "Lamp1";
  j["pos"] = Json::array({Num(1.0), Num(-0.5), Num(0.0)});
  j["rows"] = Json::array({Json::array({1, 0}), Json::array({0, 1})});
  j["empty"] = Json::array();
  j["none"] = nullptr;
  j["nested"] = Json::object();
  EXPECT_EQ(PrettyJson(j),
            "{\n"
            "  \"name\": \"Lamp1\",\n"
            "  \"pos\": [1.0, -0.5, 0.0],\n"
            "  \"rows\": [\n"
            "    [1, 0],\n"
            "    [0, 1]\n"
            "  ],\n"
            "  \"empty\": [],\n"
            "  \"none\": null,\n"
            "  \"nested\": {}\n"
            "}");
  // The text is JSON that reads back to the same value.
  EXPECT_EQ(Json::parse(PrettyJson(j)), j);
}

TEST(PrettyJsonTest, BytesThatAreNotUtf8DoNotThrow) {
  Json j;
  j["line"] = std::string("SPT \xB0\xFF");
  EXPECT_NO_THROW(PrettyJson(j));
}

TEST(QuoteTest, EightBitTextsAreShownAsUtf8WithEscapes) {
  const struct {
    std::string in;
    TextEncoding enc;
    std::string out;
  } cases[] = {
      {"[M] = Enter Spread Angle 20.0\xB0", TextEncoding::Latin1,
       "\"[M] = Enter Spread Angle 20.0\xC2\xB0\""},
      {"100%", TextEncoding::Latin1, "\"100%\""},
      {"say \"hi\" \\ bye", TextEncoding::Latin1, "\"say \\\"hi\\\" \\\\ bye\""},
      {std::string("a\0b\tc\x7F", 6), TextEncoding::Latin1, "\"a\\x00b\\x09c\\x7F\""},
      {"\x85\x9F\xA0\xFF", TextEncoding::Latin1, "\"\\x85\\x9F\xC2\xA0\xC3\xBF\""},
      {"caf\xC3\xA9", TextEncoding::Utf8, "\"caf\xC3\xA9\""},
      {"", TextEncoding::Utf8, "\"\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Quote(c.in, c.enc), c.out);
  }
  EXPECT_EQ(ToUtf8("20.0\xB0", TextEncoding::Latin1), "20.0\xC2\xB0");
}

// inspect shows what the host holds: its reads of a lamp's light are no calls of the module.
TEST(VesselViewTest, InspectingALampJournalsNothing) {
  World w(testsupport::ExamplePaths());
  Vessel& lamp = w.CreateVessel("Lamp", "lumipod");
  ASSERT_EQ(lamp.lights.size(), 1u);
  w.journal().Clear();
  const Json view = VesselView(w, lamp);
  EXPECT_TRUE(w.journal().Entries().empty()) << w.journal().Dump();
  ASSERT_EQ(view["lights"].size(), 1u);
  EXPECT_EQ(view["lights"][0]["type"], "spot");
  EXPECT_EQ(view["lights"][0]["active"], false);
}

// The trace file: entries under the command that made them, in the journal's own lines; what
// comes before the first command stays first; nothing is kept in the journal it follows.
TEST(TraceWriterTest, WritesEachEntryUnderItsCommandAndKeepsNoneInTheJournal) {
  testsupport::TempDir dir;
  const auto file = dir.path() / "t.trace";
  Journal j;
  {
    TraceWriter trace;
    ASSERT_EQ(trace.Open(file), "");
    trace.Follow(j);
    j.Record(Journal::Kind::Callback, "Lamp1", "clbkSetupClass", "cfg");
    trace.Mark("s.session:1: load a.scn");
    j.Record(Journal::Kind::Call, "Lamp1", "SetSize", "0.5");
    trace.EndOfFrame();
    trace.Mark("s.session:2: step");
    trace.Mark("s.session:3: press N");
    j.Record(Journal::Kind::Call, "", "zapiOpenInputBox", "\"Enter Range(m)\"");
    EXPECT_TRUE(j.Entries().empty());
    ASSERT_EQ(trace.Finish(), "");
  }
  EXPECT_FALSE(j.Enabled());
  EXPECT_EQ(testsupport::ReadFile(file),
            "Lamp1: -> clbkSetupClass(cfg)\n"
            "# s.session:1: load a.scn\n"
            "Lamp1: SetSize(0.5)\n"
            "# s.session:2: step\n"
            "# s.session:3: press N\n"
            "zapiOpenInputBox(\"Enter Range(m)\")\n");
}

}  // namespace
}  // namespace hostsim::cli
