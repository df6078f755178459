// Scenario files as text: parsing a whole file into a record and checking it, and writing a
// record back as text. Plain functions from text to records and back, free of any world.
//
// TITLE <text> / TIME <seconds> / FOCUS <vessel name> at the top level; each vessel a block
// from VESSEL <name> <class> to END, whose lines are the host's own (POS, ORI, ATTACHED) or
// the vessel module's; '#' starts a comment line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"

namespace hostsim {

// What a line of a vessel block says to the host.
struct HostLine {
  enum class Kind { None, Pos, Ori, Attached, Malformed } kind = Kind::None;
  VECTOR3 v{0, 0, 0};  // POS, ORI
  std::string parent;  // ATTACHED <parent> <index> <own point id>
  std::uint32_t index = 0;
  std::string pointId;
  std::string problem;  // Malformed: why
};
// None for a module's line.
HostLine ParseHostLine(std::string_view line);

struct ScenarioLine {
  std::string text;
  int number = 0;  // in the file; 0 for a line not read from one
};

// An ATTACHED line of a block.
struct ScenarioAttachment {
  std::string parent;
  std::uint32_t index = 0;
  std::string pointId;
  int line = 0;
};

struct ScenarioVessel {
  std::string name, className;
  int line = 0;  // of its VESSEL line
  std::vector<ScenarioLine> lines;
  std::optional<ScenarioAttachment> attached;
};

struct ScenarioFile {
  std::string title;
  double time = 0;
  std::string focus;  // empty: none given
  int focusLine = 0;
  std::vector<ScenarioVessel> vessels;
  std::vector<std::string> kept;      // top-level lines nobody knows, written back as they are
  std::vector<std::string> warnings;  // gathered while parsing ("file:line: ...")
};

// Parses a whole file; throws Error naming `file` and the line of the first malformed one. A
// file whose first line (comments aside) is not TITLE, TIME, FOCUS or VESSEL is no scenario.
ScenarioFile ParseScenario(std::string_view text, const std::string& file);
// The checks between blocks: names differ (without regard to case), ATTACHED and FOCUS name
// vessels of the file, no vessel hangs on itself or on a cycle. Throws Error like ParseScenario.
void CheckScenario(const ScenarioFile& s, const std::string& file);

// The file of the record: numbers in their shortest exact form, block lines two blanks in.
std::string FormatScenario(const ScenarioFile& s);
// The host's own lines of a vessel.
std::string PosLine(const VECTOR3& pos);
std::string OriLine(const VECTOR3& ori);
std::string AttachedLine(const std::string& parent, std::uint32_t index, const std::string& id);

// A scenario line may not break the file's structure: line breaks become blanks.
std::string OneLine(std::string s);
// True for a line that, written into a vessel's block, would be read back as the block's END
// or as the start of another vessel.
bool BreaksBlock(std::string_view line);
// "file:line: " (or "file: ", or "" without a file), to start a message with.
std::string Where(std::string_view file, int line);

}  // namespace hostsim
