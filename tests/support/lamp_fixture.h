// Test support for driving the real lumipod module through the stand-in host: a world with
// lamps and parent vessels, journal queries, attachment slots and scenario text.
//
// The lamp's fields are read by casting the vessel interface to the lamp class; the lamp's
// member functions are hidden inside the module, so tests act only through host callbacks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/world.h"
#include "lamp/lumipod.h"
#include "support/world_fixture.h"

namespace testsupport {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kDeg = 0.017453292519943295;  // pi / 180
inline constexpr double kDefaultAperture = 0.3490658503988659;

// The lamp object behind a module vessel.
lumipod* AsLamp(hostsim::Vessel& v);
// The vessel's light and beacon as the host sees them (reading journals nothing).
hostsim::LightState Light(const hostsim::Vessel& v);
const BEACONLIGHTSPEC& Beacon(const hostsim::Vessel& v);

// --- journal ---
// The method part of a recorded call name ("SpotLight::SetAperture" -> "SetAperture").
std::string_view Method(std::string_view call);
// Host calls (kind Call) in order; with a name, only those whose method matches it.
std::vector<hostsim::Journal::Entry> HostCalls(const hostsim::Journal& j,
                                               std::string_view name = {});
std::size_t CountCalls(const hostsim::Journal& j, std::string_view name);
// Method names of all host calls, in order.
std::vector<std::string> CallMethods(const hostsim::Journal& j);
// Host calls made between the most recent callback entry named `callback` and the next
// callback entry.
std::vector<hostsim::Journal::Entry> CallsDuring(const hostsim::Journal& j,
                                                 std::string_view callback);
// Every number in a journal argument text, in order (nan and inf included; pointers and
// quoted texts skipped).
std::vector<double> Numbers(std::string_view args);

// --- vectors ---
::testing::AssertionResult VecNear(const VECTOR3& actual, const VECTOR3& expected, double tol);
bool Finite(const VECTOR3& v);
double Length(const VECTOR3& v);

// --- class configurations ---
// A configuration folder of its own: lumipod.cfg (with the given SpotColour text, or none),
// the example tug, and "twin", a config-only parent with exactly two child points.
class ConfigFolder {
 public:
  explicit ConfigFolder(std::optional<std::string> spotColour = std::nullopt);
  hostsim::Paths paths() const;
  void Write(const std::string& file, const std::string& text) const;

 private:
  TempDir dir_;
};

// The pose of a parent's child point.
struct Slot {
  VECTOR3 pos, dir, rot;
};

// A world with the example classes (or given paths), and helpers to place lamps and parents
// and to drive them through the host.
class LampWorld {
 public:
  explicit LampWorld(hostsim::Paths paths = ExamplePaths());

  hostsim::World& world() { return *world_; }
  hostsim::Journal& journal() { return world_->journal(); }

  // Creates a lamp, loads `lines` as its scenario block, finishes creation and gives it the
  // focus.
  hostsim::Vessel& AddLamp(const std::string& name = "L1",
                           const std::vector<std::string>& lines = {});
  // Creates a lamp that is only set up (no scenario block, no after-creation call).
  hostsim::Vessel& SetUpLamp(const std::string& name = "L1");
  hostsim::Vessel& AddParent(const std::string& name = "Tug", const std::string& cls = "tug");
  lumipod* Lamp(const std::string& name = "L1");

  // Hangs `child` on the parent's child point `index` through the host (not the lamp).
  void Hang(hostsim::Vessel& child, hostsim::Vessel& parent, int index);
  // Reads or replaces a parent's child point parameters directly in the host's records.
  static Slot GetSlot(hostsim::Vessel& parent, int index);
  static void SetSlot(hostsim::Vessel& parent, int index, const Slot& s);
  // The child point of `parent` that holds `child`, or -1.
  static int HeldAt(hostsim::Vessel& parent, hostsim::Vessel& child);

  // One frame of length `dt` with exactly `held` keys down (released again afterwards).
  void Frame(double dt, std::initializer_list<std::uint8_t> held = {});
  // One key press with exactly `held` keys down; returns the lamp's result.
  int Press(std::uint8_t code, std::initializer_list<std::uint8_t> held = {});
  // Presses the key that opens a box and answers it with `text`; returns the callback result.
  bool Answer(std::uint8_t code, const std::string& text);

 private:
  std::unique_ptr<hostsim::World> world_;
};

// --- scenario text ---
// The lines of a vessel's block in a scenario text, trimmed, without VESSEL and END.
std::vector<std::string> BlockLines(const std::string& scenario, const std::string& vessel);
// The value text of the lamp line `key` in a vessel's block (the text after "KEY ").
std::optional<std::string> LampLine(const std::string& scenario, const std::string& vessel,
                                    const std::string& key);

}  // namespace testsupport
