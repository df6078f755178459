// state.*: what the module saves, and whether loading it back gives the same save.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr const char* kName = "check_state";
constexpr int kWalkEvents = 600;

// A vessel of class `cls` after a random walk; its saved lines.
std::vector<std::string> WalkedBlock(Context& ctx, const std::string& cls) {
  World& w = ctx.NewWorld();
  Vessel& v = ctx.MakeVessel(w, cls, kName);
  Driver drive(ctx, w, v);
  drive.Walk(kWalkEvents);
  auto lines = SavedBlock(w, kName);
  ctx.DropWorld(w);
  return lines;
}

// Loads `saved` into a new world, runs a frame of no length and saves again: the same lines
// must come back.
void ExpectRoundTrip(Context& ctx, const std::string& cls, const std::vector<std::string>& saved,
                     const std::string& what) {
  World& w = ctx.LoadScenarioText(ScenarioOf(kName, cls, saved));
  w.Step(0.0);
  const auto again = SavedBlock(w, kName);
  const std::string diff = BlockDifference(saved, again);
  if (!diff.empty())
    ctx.Fail(what + " of class " + cls +
             " was saved, loaded and saved again; the second save "
             "differs at " +
             diff);
  ctx.DropWorld(w);
}

}  // namespace

void StateFreshRoundTrip(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    ctx.MakeVessel(w, cls, kName);
    const auto saved = SavedBlock(w, kName);
    ctx.DropWorld(w);
    ExpectRoundTrip(ctx, cls, saved, "a fresh vessel");
    ctx.Note("class " + cls + ": " + std::to_string(saved.size()) + " saved lines");
  }
}

void StateWalkRoundTrip(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    const auto saved = WalkedBlock(ctx, cls);
    ExpectRoundTrip(ctx, cls, saved,
                    "a vessel after " + std::to_string(kWalkEvents) + " random events");
  }
}

void StateUnknownLines(Context& ctx) {
  // Keys no module knows, with numbers and words after them.
  const std::vector<std::string> unknown = {
      "CHECK_UNKNOWN_" + std::to_string(ctx.Next() % 100000) + " 1 2 3",
      "ZZ_CHECK_WORDS some words after the key",
  };
  for (const std::string& cls : ctx.subject().classes) {
    World& w0 = ctx.NewWorld();
    ctx.MakeVessel(w0, cls, kName);
    auto lines = SavedBlock(w0, kName);
    ctx.DropWorld(w0);
    const std::size_t at =
        lines.empty() ? 0 : static_cast<std::size_t>(ctx.Below(static_cast<int>(lines.size()) + 1));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), unknown.begin(), unknown.end());
    World& w = ctx.LoadScenarioText(ScenarioOf(kName, cls, lines));
    auto expect = [&](const std::string& when) {
      const auto saved = SavedBlock(w, kName);
      for (const std::string& u : unknown) {
        bool found = false;
        for (const std::string& s : saved) found = found || s == u;
        if (!found)
          ctx.Fail("the scenario line \"" + u +
                   "\", which the module does not know, is missing "
                   "from the save " +
                   when + " (class " + cls + ")");
      }
    };
    expect("before the first frame");
    w.Step(0.02);
    expect("after a frame");
    ctx.DropWorld(w);
  }
}

void StateSaveBeforeFrame(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    const auto saved = WalkedBlock(ctx, cls);
    World& w = ctx.LoadScenarioText(ScenarioOf(kName, cls, saved));
    const auto again = SavedBlock(w, kName);
    const std::string diff = BlockDifference(saved, again);
    if (!diff.empty())
      ctx.Fail("a vessel of class " + cls +
               " saved before its first frame does not keep what "
               "was loaded: " +
               diff);
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
