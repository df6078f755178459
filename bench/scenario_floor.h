// Scenario files for the benchmark, and the floor of loading and saving them: the same bytes
// read with sscanf and written with snprintf (numbers with to_chars, as the host writes them)
// in a bare loop, into and out of plain records.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A scenario of `lamps` lamps and one tug for every ten lamps, every fifth lamp hanging on a
// tug, the values varied from vessel to vessel; as the host's scenario text format reads it.
std::string MakeScenarioText(int lamps);

struct FloorVessel {
  char name[64];
  char className[64];
  double pos[3];
  double ori[3];
  bool attached;
  char parent[64];
  int index;
  char point[16];
  bool lamp;
  int lampOn;
  double spt[2];
  double pat[9];
  double gbl[2];
};

struct FloorScenario {
  char title[128];
  double time;
  char focus[64];
  std::vector<FloorVessel> vessels;
};

// Reads the file's bytes and every line's fields with sscanf into `out` (whose storage is
// reused); returns the number of lines read.
std::size_t FloorLoad(const std::filesystem::path& file, std::string& bytes, FloorScenario& out);
// Writes `s` with snprintf and to_chars, line by line, in the layout the host saves, into
// `buffer` (whose storage is reused) and then to the file; returns the number of bytes written.
std::size_t FloorSave(const FloorScenario& s, std::string& buffer,
                      const std::filesystem::path& file);

}  // namespace bench
