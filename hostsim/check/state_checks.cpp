// state.*: what the module saves, and whether loading it back gives the same save: fresh,
// after each step of a walk through every key and box, and after a random walk.
#include <algorithm>
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr const char* kName = "check_state";
constexpr int kWalkEvents = 600;

// Boxes are answered with these in the systematic walk, besides a text of the box's length.
const std::vector<std::string>& BoxTexts() {
  static const std::vector<std::string> texts = {
      "", "0", "1", "0.5", "-1", "42", "1e6", "-0", "1e309", "nan", "abc", "check_state 1"};
  return texts;
}

// Loads `saved` into a new world, runs a frame of no length there when `frame` is set, and
// saves again: the first difference from `saved`, or "".
std::string RoundTrip(Context& ctx, const std::string& cls, const std::vector<std::string>& saved,
                      bool frame) {
  World& w = ctx.LoadScenarioText(ScenarioOf(kName, cls, saved));
  if (frame) w.Step(0.0);
  std::string diff = BlockDifference(saved, SavedBlock(w, kName));
  ctx.DropWorld(w);
  return diff;
}

// Fails listing the walk's steps in the notes (the report's details).
[[noreturn]] void FailWalk(Context& ctx, const std::vector<std::string>& steps,
                           const std::string& why) {
  for (std::size_t i = 0; i < steps.size(); ++i)
    ctx.Note("step " + std::to_string(i + 1) + ": " + steps[i]);
  ctx.Fail(why);
}

// The keys the module takes: every code with no modifier and with each modifier alone, on a
// vessel of its own; a key is taken when its callback returns non-zero or it opens a box.
std::vector<Chord> TakenKeys(Context& ctx, const std::string& cls) {
  World& w = ctx.NewWorld();
  Vessel& v = ctx.MakeVessel(w, cls, kName);
  w.SetFocus(&v);
  std::vector<Chord> keys;
  for (unsigned m = 0; m <= std::size(kModifierKeys); ++m) {
    for (int c = 0; c < 256; ++c) {
      const Chord k{static_cast<std::uint8_t>(c), m == 0 ? 0u : 1u << (m - 1)};
      const int result = PressKey(w, k);
      const bool box = w.OpenBox() != nullptr;
      if (box) w.CancelBox();
      if (result != 0 || box) keys.push_back(k);
      ctx.Trim();
    }
  }
  ctx.DropWorld(w);
  return keys;
}

// Before any random walk, a systematic one on a fresh vessel: every key the module takes, and
// every box it opens cancelled and answered with typical and edge texts; after each step the
// save must come back the same from a new world (after a frame of no length there when
// `frame` is set). A fault that one key can reach is found whatever the seed.
void SystematicWalk(Context& ctx, const std::string& cls, bool frame) {
  const std::vector<Chord> keys = TakenKeys(ctx, cls);
  World& w = ctx.NewWorld();
  Vessel& v = ctx.MakeVessel(w, cls, kName);
  w.SetFocus(&v);
  std::vector<std::string> steps;
  auto expect = [&](std::string step) {
    steps.push_back(std::move(step));
    const std::string diff = RoundTrip(ctx, cls, SavedBlock(w, kName), frame);
    if (!diff.empty())
      FailWalk(ctx, steps,
               "after step " + std::to_string(steps.size()) + " of a walk through every key (" +
                   steps.back() + ") a vessel of class " + cls +
                   " was saved, loaded and saved again" + (frame ? " after a frame" : "") +
                   "; the second save differs at " + diff);
    ctx.Trim();
  };
  for (const Chord& k : keys) {
    const int result = PressKey(w, k);
    const InputBox* box = w.OpenBox();
    if (box == nullptr) {
      expect("press " + ChordText(k) + " -> " + std::to_string(result));
      continue;
    }
    const std::string title = box->title;
    std::vector<std::string> texts = BoxTexts();
    texts.push_back(std::string(static_cast<std::size_t>(std::max(box->length, 1)), '9'));
    w.CancelBox();
    expect("press " + ChordText(k) + ", box \"" + title + "\" cancelled");
    for (const std::string& text : texts) {
      PressKey(w, k);
      if (w.OpenBox() == nullptr) break;  // the module opens it only in some states
      const bool taken = w.AnswerBox(text);
      expect("press " + ChordText(k) + ", box \"" + title + "\" answered " + ShownText(text) +
             (taken ? " -> true" : " -> false"));
    }
  }
  ctx.DropWorld(w);
  ctx.Note("class " + cls + ": " + std::to_string(keys.size()) + " keys taken, " +
           std::to_string(steps.size()) + " steps walked through every key, each saved and loaded");
}

// A vessel of class `cls` after a random walk: its saved lines, and the walk's steps.
std::vector<std::string> WalkedBlock(Context& ctx, const std::string& cls,
                                     std::vector<std::string>& steps) {
  World& w = ctx.NewWorld();
  Vessel& v = ctx.MakeVessel(w, cls, kName);
  Driver drive(ctx, w, v);
  drive.Walk(kWalkEvents);
  steps = drive.steps();
  auto lines = SavedBlock(w, kName);
  ctx.DropWorld(w);
  return lines;
}

}  // namespace

void StateFreshRoundTrip(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    ctx.MakeVessel(w, cls, kName);
    const auto saved = SavedBlock(w, kName);
    ctx.DropWorld(w);
    const std::string diff = RoundTrip(ctx, cls, saved, true);
    if (!diff.empty())
      ctx.Fail("a fresh vessel of class " + cls +
               " was saved, loaded and saved again; the second save differs at " + diff);
    ctx.Note("class " + cls + ": " + std::to_string(saved.size()) + " saved lines");
  }
}

void StateWalkRoundTrip(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    SystematicWalk(ctx, cls, true);
    std::vector<std::string> steps;
    const auto saved = WalkedBlock(ctx, cls, steps);
    const std::string diff = RoundTrip(ctx, cls, saved, true);
    if (!diff.empty())
      FailWalk(ctx, steps,
               "a vessel of class " + cls + " after " + std::to_string(kWalkEvents) +
                   " random events was saved, loaded and saved again after a frame; the "
                   "second save differs at " +
                   diff);
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
    const auto fresh = SavedBlock(w0, kName);
    ctx.DropWorld(w0);
    // The unknown lines before each of the module's own lines in turn, and after the last.
    for (std::size_t at = 0; at <= fresh.size(); ++at) {
      auto lines = fresh;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), unknown.begin(), unknown.end());
      World& w = ctx.LoadScenarioText(ScenarioOf(kName, cls, lines));
      const std::string where =
          at == fresh.size() ? "after the module's lines" : "before the line \"" + fresh[at] + "\"";
      auto expect = [&](const std::string& when) {
        const auto saved = SavedBlock(w, kName);
        for (const std::string& u : unknown) {
          bool found = false;
          for (const std::string& s : saved) found = found || s == u;
          if (!found)
            ctx.Fail("the scenario line \"" + u + "\", which the module does not know, " + where +
                     ", is missing from the save " + when + " (class " + cls + ")");
        }
      };
      expect("before the first frame");
      w.Step(0.02);
      expect("after a frame");
      ctx.DropWorld(w);
    }
  }
}

void StateSaveBeforeFrame(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    SystematicWalk(ctx, cls, false);
    std::vector<std::string> steps;
    const auto saved = WalkedBlock(ctx, cls, steps);
    const std::string diff = RoundTrip(ctx, cls, saved, false);
    if (!diff.empty())
      FailWalk(ctx, steps,
               "a vessel of class " + cls + " after " + std::to_string(kWalkEvents) +
                   " random events, saved before its first frame, does not keep what was "
                   "loaded: " +
                   diff);
  }
}

}  // namespace hostsim::check
