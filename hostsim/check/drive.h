// Driving a vessel as a host and a user would (keys, input boxes, frames), and reading back
// what the module gave the host: non-finite values, registrations, saved lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/keys.h"
#include "hostsim/check/context.h"

namespace hostsim::check {

// The modifier keys a module reads from the key state.
inline constexpr std::uint8_t kModifierKeys[] = {ZKEY_LSHIFT, ZKEY_RSHIFT, ZKEY_LCTRL,
                                                 ZKEY_LALT,   ZKEY_RCTRL,  ZKEY_RALT};

// The first non-finite value the host holds from the module for any vessel of the world
// (physics, lights, beacons, animation states, attachment points, materials), described;
// empty when there is none. It reads the host's own view of them, which journals nothing.
// The calls that handed the host such a value, or a handle of a dropped visual, the world
// finds itself as they are made (World::TakeNonFiniteCall, TakeDeadHandleCall): every world of
// a check watches its calls' arguments.
std::string FindNonFinite(World& world);

// A number as check's reports show it: the shortest text that reads back as the same double
// ("4.22", not "4.2199999999999998"); "inf", "-inf" or "nan" for those.
std::string ReportNumber(double v);

// What the module registered with the host for the vessel, one line per kind, read from
// the host's own view (nothing is journalled).
std::vector<std::string> Registrations(const Vessel& vessel);

// The lines of the vessel's block as the host saves it (between VESSEL and END).
std::vector<std::string> SavedBlock(World& world, const std::string& vessel);

// A scenario of one vessel block.
std::string ScenarioOf(const std::string& vessel, const std::string& cls,
                       const std::vector<std::string>& lines);

// The first difference between two blocks as "line N: A / B"; empty when they are equal.
std::string BlockDifference(const std::vector<std::string>& before,
                            const std::vector<std::string>& after);

// Hostile texts for input boxes: empty, huge, not UTF-8, numbers at the limits of double.
const std::vector<std::string>& HostileTexts();

// A key press with modifiers (bits over kModifierKeys).
struct Chord {
  std::uint8_t code;
  unsigned mods;
};

// The chord as text: "Shift+B (0x30)".
std::string ChordText(const Chord& k);

// A text as a step of a walk shows it: quoted, or its length when it is long.
std::string ShownText(const std::string& text);

// Presses and releases the chord on the focused vessel; returns the key callback's result for
// the key going down. A box the key opened stays open.
int PressKey(World& world, const Chord& k);

// Drives one focused vessel with seeded random input. Every event keeps the journal short.
class Driver {
 public:
  // With `answerBoxes` false every box a key opens is cancelled: the texts are left to the
  // check of input boxes.
  Driver(Context& ctx, World& world, Vessel& vessel, bool answerBoxes = true);

  // One key press and release of `code` while the modifiers in `mods` (bits over
  // kModifierKeys) are held; a box the key opened is answered with a random text or
  // cancelled. Returns the title of that box, or "" when none opened.
  std::string Press(std::uint8_t code, unsigned mods);
  // One frame of `dt` seconds with the keys in `held` down (then released).
  void Frame(double dt, const std::vector<std::uint8_t>& held = {});
  // One random event: a key press (every code comes once in each round of 256, in random
  // order), a frame of random length, or a frame with random keys held.
  void RandomEvent();
  // `events` random events, then the key presses left in the round: every key code is pressed
  // at least once in a walk.
  void Walk(int events);
  // What a check walks before anything random, so that a fault one key reaches is met
  // whatever the seed: every key code pressed in order with no modifier, then with each
  // modifier alone, each box it opens cancelled, a frame of 1e-6 s and one of 1 s after each
  // round; then every key code held alone through a frame.
  void EveryKey();
  // A random box answer: a hostile text, a number, a vessel name with an index, or bytes.
  std::string RandomText();
  // Answers the open box (if any) with `text`.
  void Answer(const std::string& text);
  // A random frame length, spread over 1e-6 .. 1 s.
  double RandomStep() { return ctx_.LogUniform(1e-6, 1.0); }
  // The steps that did something, for a report: keys the module took, box answers and
  // cancels, and the frames between as counts.
  const std::vector<std::string>& steps() const { return steps_; }

 private:
  void Step(std::string step);

  Context& ctx_;
  World& world_;
  Vessel& vessel_;
  // The next key code of the round (every code once, in random order).
  std::uint8_t NextKey();

  std::vector<std::uint8_t> round_;  // key codes left in this round
  std::vector<std::string> steps_;
  int frames_ = 0;  // frames since the last step
  bool answerBoxes_;
};

}  // namespace hostsim::check
