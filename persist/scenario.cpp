// The lamp's three lines in the host's scenario files: SPT (switch, range, spread), PAT (the
// stored placement of the parent's point) and GBL (the head's two animation states).
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "lamp/lumipod.h"

namespace {

// True when the line starts with the three-letter key, compared without regard to case. A
// line shorter than the key never matches (its zero ends the comparison).
bool HasKey(const char* line, const char* key) {
  for (int i = 0; i < 3; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == '\0') return false;
    if (std::tolower(c) != std::tolower(static_cast<unsigned char>(key[i]))) return false;
  }
  return true;
}

// Reads the switch field of an SPT line as "%d" reads it: white space skipped, an optional
// sign, then decimal digits up to the first character that is not one. A number beyond 32
// bits, which "%d" leaves undefined, saturates: it reads as INT32_MAX or INT32_MIN. Returns
// where the field ends, or null when no digit follows (the field does not convert and `out`
// keeps its value).
const char* ReadSwitch(const char* text, std::int32_t& out) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*p))) return nullptr;
  // The magnitude stops growing at 2^31, just past every magnitude an int32 can hold.
  constexpr std::int64_t kCap = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  out = value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
  return p;
}

// Reads one "%lf" field as scanf reads it (white space skipped, then a number as strtod takes
// it), except that a number that is not finite does not convert: "nan", "inf" and a number
// beyond the range of double stop the line like a word would, so that nothing but finite
// values reaches the lamp, and through it the host, from a file. Returns where the field ends,
// or null when it does not convert (`out` keeps its value).
const char* ReadReal(const char* text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) return nullptr;
  out = value;
  return end;
}

// True when a range read from a file is one the spot light can use and the SPT line can keep:
// at least 0.0001 m, the smallest its four decimals write. Zero or less gives the light an
// infinite attenuation (2/range²) or the beacon no real size; a positive range below that
// would be saved as 0.0000, which would not load back.
bool UsableRange(double range) { return range >= 0.0001; }

// Reads the fields in order; the first that does not convert ends the line, and the fields
// after it keep their values.
void ReadReals(const char* text, std::initializer_list<double*> fields) {
  for (double* field : fields)
    if ((text = ReadReal(text, *field)) == nullptr) return;
}

// True when snprintf's result `n` says the whole text fit into the 256-character buffer.
template <std::size_t N>
bool Fits(int n, const char (&)[N]) {
  return n >= 0 && static_cast<std::size_t>(n) < N;
}

}  // namespace

void lumipod::clbkSaveState(FILEHANDLE scn) {
  // A placement loaded from the scenario but not yet re-applied (no time step has run since
  // loading) is still the one to keep: the parent's point holds its configured values until
  // the first step, and capturing them now would lose the loaded placement for good.
  if (!StoredPlacementPending()) CaptureStoredPlacement();
  VESSEL2::clbkSaveState(scn);

  // One buffer for the three value texts; the host copies each before it returns. Only a value
  // of absurd size (from a hand-edited file) makes a fixed-point text overrun the buffer; such
  // a line is written in the shortest exact form instead, which reads back to the same values
  // where a cut line would not.
  char buf[256];
  if (!Fits(std::snprintf(buf, sizeof buf, "%d %0.4f %0.4f", lampOn, range, aperture), buf))
    std::snprintf(buf, sizeof buf, "%d %.17g %.17g", lampOn, range, aperture);
  zapiWriteScenario_string(scn, "SPT", buf);
  if (!Fits(std::snprintf(buf, sizeof buf, "%0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f",
                          storedPos.x, storedPos.y, storedPos.z, storedDir.x, storedDir.y,
                          storedDir.z, storedRot.x, storedRot.y, storedRot.z),
            buf))
    std::snprintf(buf, sizeof buf, "%.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g",
                  storedPos.x, storedPos.y, storedPos.z, storedDir.x, storedDir.y, storedDir.z,
                  storedRot.x, storedRot.y, storedRot.z);
  zapiWriteScenario_string(scn, "PAT", buf);
  if (!Fits(std::snprintf(buf, sizeof buf, "%0.5f %0.5f", altState, azState), buf))
    std::snprintf(buf, sizeof buf, "%.17g %.17g", altState, azState);
  zapiWriteScenario_string(scn, "GBL", buf);
}

void lumipod::clbkLoadScenario(FILEHANDLE scn, void* status) {
  char* line = nullptr;
  while (zapiReadScenario_nextline(scn, line)) {
    if (line == nullptr) continue;
    // Fields are read one by one; the first that does not convert ends the line, and the
    // fields it did not reach keep their values.
    if (HasKey(line, "SPT")) {
      // "%d%lf%lf", with the switch read by ReadSwitch, which gives any number of digits a
      // defined value, and the numbers by ReadReal. A range the lamp cannot use (see
      // UsableRange) does not convert either: the range stays, the spread is not read, and no
      // infinite attenuation or NaN beacon size reaches the host.
      const char* rest = ReadSwitch(line + 3, lampOn);
      double loaded = range;
      if (rest != nullptr && (rest = ReadReal(rest, loaded)) != nullptr && UsableRange(loaded)) {
        range = loaded;
        ReadReals(rest, {&aperture});
      }
    } else if (HasKey(line, "PAT")) {
      ReadReals(line + 3, {&storedPos.x, &storedPos.y, &storedPos.z, &storedDir.x, &storedDir.y,
                           &storedDir.z, &storedRot.x, &storedRot.y, &storedRot.z});
    } else if (HasKey(line, "GBL")) {
      ReadReals(line + 3, {&altState, &azState});
    } else {
      ParseScenarioLineEx(line, status);
    }
  }
  SetAnimation(animAlt, altState);
  SetAnimation(animAz, azState);
  UpdateBeamDirection();
}
