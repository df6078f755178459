// The switch field of the SPT line, read as "%d" reads it (white space, an optional sign,
// the digits up to the first non-digit) and, beyond 32 bits, saturated rather than left
// undefined; the range and spread after it are read from where the switch field stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct SwitchRow {
  const char* line;
  std::int32_t lampOn;
  double range, aperture;
};

TEST(LampScenarioSwitch, ReadLikePercentDWithSaturationBeyond32Bits) {
  const double A = kDefaultAperture;
  const SwitchRow rows[] = {
      {"SPT 1 50 0.5", 1, 50, 0.5},
      {"SPT 2147483647 1 2", kMax, 1, 2},
      {"SPT -2147483648 1 2", kMin, 1, 2},
      // Out of range: saturated, and the fields after it are still read.
      {"SPT 2147483648 1 2", kMax, 1, 2},
      {"SPT -2147483649 1 2", kMin, 1, 2},
      {"SPT 99999999999999999999999999999999 7 8", kMax, 7, 8},
      {"SPT -99999999999999999999999999999999 7 8", kMin, 7, 8},
      {"SPT +4294967297 7 8", kMax, 7, 8},
      // Leading zeros are no overflow.
      {"SPT -0000000000000000000000000000012 3 4", -12, 3, 4},
      {"SPT +5", 5, 300, A},
      {"SPT \t 7 8 9", 7, 8, 9},
      // The field stops at the first non-digit; the next field starts there.
      {"SPT 1.5 60 0.2", 1, 0.5, 60},
      {"SPT 12abc 5 6", 12, 300, A},
      {"SPT 0x10 5 6", 0, 300, A},
      // No digits: nothing converts, nothing changes.
      {"SPT - 1 2", 0, 300, A},
      {"SPT +-3 1 2", 0, 300, A},
      {"SPT", 0, 300, A},
      {"SPT x 1 2", 0, 300, A},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.line);
    LampWorld w;
    auto& v = w.SetUpLamp();
    w.world().LoadVesselState(v, {r.line});
    auto* lamp = AsLamp(v);
    EXPECT_EQ(lamp->lampOn, r.lampOn);
    EXPECT_EQ(lamp->range, r.range);
    EXPECT_EQ(lamp->aperture, r.aperture);
  }
}

TEST(LampScenarioSwitch, SaturatedSwitchIsSavedAndReadBackAsItIs) {
  LampWorld w;
  w.AddLamp("L1", {"SPT 123456789012 10 1"});
  w.AddLamp("L2", {"SPT -123456789012 10 1"});
  const std::string first = w.world().ScenarioText();
  EXPECT_EQ(LampLine(first, "L1", "SPT").value_or(""), "2147483647 10.0000 1.0000");
  EXPECT_EQ(LampLine(first, "L2", "SPT").value_or(""), "-2147483648 10.0000 1.0000");

  TempDir dir;
  hostsim::World again(ExamplePaths());
  again.LoadScenario(dir.Write("s.scn", first));
  EXPECT_EQ(again.ScenarioText(), first);
}

}  // namespace
