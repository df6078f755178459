// The recording Sketchpad against a plain model of it: whatever order a module calls the
// operations in, and whatever an earlier frame left in the list, the list ends up with one
// entry per operation in call order, each call returns what a Sketchpad returns, and a
// journalled recorder journals the calls in that order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/runtime_fixture.h"
#include "hostsim/world.h"

using hostsim::HudOp;
using hostsim_test::RuntimeWorld;

namespace {

struct Call {
  enum Kind { Colour, Background, Text, NullText, NegativeText, Line, CharHeight } kind;
  std::uint32_t colour = 0;
  int length = 0;  // of a text
};

Call Colour(std::uint32_t c) { return {Call::Colour, c, 0}; }
Call Background(std::uint32_t c) { return {Call::Background, c, 0}; }
Call Text(int length) { return {Call::Text, 0, length}; }
const Call kNullText{Call::NullText};
const Call kNegativeText{Call::NegativeText};
const Call kLine{Call::Line};
const Call kCharHeight{Call::CharHeight};

// A text of that length whose bytes differ from frame to frame.
std::string TextOf(int length, int frame, int at) {
  std::string s;
  for (int i = 0; i < length; ++i) s += static_cast<char>('!' + (i * 5 + frame * 11 + at) % 90);
  return s;
}

struct Script {
  const char* name;
  std::vector<Call> calls;
};

const std::vector<Script>& Scripts() {
  static const std::vector<Script> scripts = {
      {"colour before every text", {Colour(0x66FF66), Text(22), Colour(0x66FF66), Text(30)}},
      {"colours of their own", {Colour(1), Text(9), Colour(2), Text(40), Colour(3), Text(8)}},
      {"two colours, then a text", {Colour(5), Colour(6), Text(12)}},
      {"a colour set last", {Colour(7), Text(16), Colour(8)}},
      {"a colour, then a line", {Colour(9), kLine, Text(20), kLine}},
      {"a colour, then the background", {Colour(10), Background(11), Text(24), Background(12)}},
      {"a colour, then no text", {Colour(13), kNullText, Colour(14), kNegativeText, Text(10)}},
      {"short texts", {Colour(15), Text(0), Colour(16), Text(3), Colour(17), Text(7)}},
      {"the character height asked between", {Colour(18), kCharHeight, Text(11)}},
      {"texts with no colour set", {Text(13), Text(13), Colour(19)}},
      {"nothing drawn", {}},
  };
  return scripts;
}

struct Outcome {
  std::vector<HudOp> ops;
  std::vector<std::int64_t> results;  // what each call returned
  std::vector<std::string> journal;   // the Sketchpad calls journalled, in order
};

// What a Sketchpad that writes every call into the list at once records and returns.
Outcome Model(const Script& script, int frame) {
  Outcome out;
  std::uint32_t text = 0xFFFFFF, background = 0;
  int at = 0;
  for (const Call& c : script.calls) {
    HudOp op{};
    switch (c.kind) {
      case Call::Colour:
        op.kind = HudOp::Kind::TextColour;
        op.colour = c.colour;
        out.ops.push_back(op);
        out.results.push_back(text);
        text = c.colour;
        out.journal.push_back("Sketchpad::SetTextColor");
        break;
      case Call::Background:
        op.kind = HudOp::Kind::BackgroundColour;
        op.colour = c.colour;
        out.ops.push_back(op);
        out.results.push_back(background);
        background = c.colour;
        out.journal.push_back("Sketchpad::SetBackgroundColor");
        break;
      case Call::Text:
        op.kind = HudOp::Kind::Text;
        op.x = at;
        op.y = 2 * at;
        op.colour = text;
        op.text = TextOf(c.length, frame, at);
        out.ops.push_back(op);
        out.results.push_back(1);
        out.journal.push_back("Sketchpad::Text");
        break;
      case Call::NullText:
      case Call::NegativeText:
        out.results.push_back(0);
        out.journal.push_back("Sketchpad::Text");
        break;
      case Call::Line:
        op.kind = HudOp::Kind::Line;
        op.x = at;
        op.y = at + 1;
        op.x1 = at + 2;
        op.y1 = at + 3;
        out.ops.push_back(op);
        out.results.push_back(1);
        out.journal.push_back("Sketchpad::Line");
        break;
      case Call::CharHeight:
        out.results.push_back(16);
        out.journal.push_back("Sketchpad::GetCharHeight");
        break;
    }
    ++at;
  }
  return out;
}

// The script drawn with the host's recorder into `ops`.
Outcome Record(hostsim::World& w, const hostsim::Vessel& v, const Script& script, int frame,
               std::vector<HudOp>& ops) {
  Outcome out;
  w.journal().Clear();
  {
    hostsim::HudRecorder skp(w, v, ops);
    int at = 0;
    for (const Call& c : script.calls) {
      const std::string text = TextOf(c.length, frame, at);
      switch (c.kind) {
        case Call::Colour:
          out.results.push_back(skp.SetTextColor(c.colour));
          break;
        case Call::Background:
          out.results.push_back(skp.SetBackgroundColor(c.colour));
          break;
        case Call::Text:
          out.results.push_back(skp.Text(at, 2 * at, text.data(), c.length));
          break;
        case Call::NullText:
          out.results.push_back(skp.Text(at, 0, nullptr, 5));
          break;
        case Call::NegativeText:
          out.results.push_back(skp.Text(at, 0, "abc", -1));
          break;
        case Call::Line:
          out.results.push_back(skp.Line(at, at + 1, at + 2, at + 3));
          break;
        case Call::CharHeight:
          out.results.push_back(skp.GetCharHeight());
          break;
      }
      ++at;
    }
  }
  out.ops = ops;
  for (const auto& e : w.journal().Entries())
    if (e.call.rfind("Sketchpad::", 0) == 0) out.journal.push_back(e.call);
  return out;
}

void ExpectSame(const Outcome& got, const Outcome& want, bool journalled) {
  hostsim_test::ExpectSameOps(got.ops, want.ops);
  EXPECT_EQ(got.results, want.results);
  if (journalled)
    EXPECT_EQ(got.journal, want.journal);
  else
    EXPECT_TRUE(got.journal.empty());
}

// Every script drawn over an empty list, over the list another script left the frame before,
// and over lists of leftovers that no recorder wrote; with and without the journal.
TEST(HudRecorder, RecordsEveryOrderOfCallsAsAPlainRecorderWould) {
  RuntimeWorld rw;
  hostsim::World& w = *rw.world;
  const hostsim::Vessel& v = w.CreateVessel("P", "probe");
  // Leftovers with long texts, and with texts as long as the first text of the first script.
  const std::vector<HudOp> leftovers = hostsim_test::LeftoverOps(12);
  const std::vector<HudOp> sameLength = hostsim_test::LeftoverOps(12, TextOf(22, 0, 0));
  const std::vector<Script>& scripts = Scripts();
  for (const bool journalled : {false, true}) {
    w.journal().SetEnabled(journalled);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
      std::vector<HudOp> earlier;
      Record(w, v, scripts[(i + 1) % scripts.size()], 1, earlier);
      const std::vector<std::vector<HudOp>> before = {{}, earlier, leftovers, sameLength};
      for (std::size_t k = 0; k < before.size(); ++k) {
        SCOPED_TRACE(std::string(scripts[i].name) + " over list " + std::to_string(k) +
                     (journalled ? ", journalled" : ""));
        std::vector<HudOp> ops = before[k];
        ExpectSame(Record(w, v, scripts[i], 2, ops), Model(scripts[i], 2), journalled);
      }
    }
  }
}

}  // namespace
