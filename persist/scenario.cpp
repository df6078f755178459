// The lamp's three lines in the host's scenario files: SPT (switch, range, spread), PAT (the
// stored placement of the parent's point) and GBL (the head's two animation states).
#include <cctype>
#include <cstdio>

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

}  // namespace

void lumipod::clbkSaveState(FILEHANDLE scn) {
  CaptureStoredPlacement();
  VESSEL2::clbkSaveState(scn);

  // One buffer for the three value texts; the host copies each before it returns. snprintf
  // cuts a text that would not fit (only a value of absurd size, from a hand-edited file).
  char buf[256];
  std::snprintf(buf, sizeof buf, "%d %0.4f %0.4f", lampOn, range, aperture);
  zapiWriteScenario_string(scn, "SPT", buf);
  std::snprintf(buf, sizeof buf, "%0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f",
                storedPos.x, storedPos.y, storedPos.z, storedDir.x, storedDir.y, storedDir.z,
                storedRot.x, storedRot.y, storedRot.z);
  zapiWriteScenario_string(scn, "PAT", buf);
  std::snprintf(buf, sizeof buf, "%0.5f %0.5f", altState, azState);
  zapiWriteScenario_string(scn, "GBL", buf);
}

void lumipod::clbkLoadScenario(FILEHANDLE scn, void* status) {
  char* line = nullptr;
  while (zapiReadScenario_nextline(scn, line)) {
    if (line == nullptr) continue;
    // Fields are read one by one; the first that does not convert ends the line, and the
    // fields it did not reach keep their values.
    if (HasKey(line, "SPT")) {
      std::sscanf(line + 3, "%d%lf%lf", &lampOn, &range, &aperture);
    } else if (HasKey(line, "PAT")) {
      std::sscanf(line + 3, "%lf%lf%lf%lf%lf%lf%lf%lf%lf", &storedPos.x, &storedPos.y, &storedPos.z,
                  &storedDir.x, &storedDir.y, &storedDir.z, &storedRot.x, &storedRot.y,
                  &storedRot.z);
    } else if (HasKey(line, "GBL")) {
      std::sscanf(line + 3, "%lf%lf", &altState, &azState);
    } else {
      ParseScenarioLineEx(line, status);
    }
  }
  SetAnimation(animAlt, altState);
  SetAnimation(animAz, azState);
  UpdateBeamDirection();
}
