// Scenario files as text: parsing a whole file into a record and checking it, and writing a
// record back as text. Plain functions from text to records and back, free of any world.
//
// TITLE <text> / TIME <seconds> / FOCUS <vessel name> at the top level; each vessel a block
// from VESSEL <name> <class> to END, whose lines are the host's own (POS, ORI, ATTACHED) or
// the vessel module's; '#' starts a comment line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"
#include "hostsim/packed_lines.h"

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

// How many lines of one kind a load names one by one in its warnings (unknown lines kept, for
// the top level and for each vessel): the rest are counted in one more, so that the warnings
// of a file do not grow with its lines.
inline constexpr std::size_t kNamedLines = 10;

// Counts the lines of one kind a load warns about: the first kNamedLines are named, the rest
// counted, from the first of them on.
struct LineTally {
  std::size_t named = 0, unnamed = 0;
  int firstUnnamed = 0;
  // True when the line `number` is to be named in a warning of its own; else it is counted.
  bool Name(int number) {
    if (named < kNamedLines) {
      ++named;
      return true;
    }
    if (unnamed++ == 0) firstUnnamed = number;
    return false;
  }
};

// The lines of a vessel's block, read one at a time: a range of a scenario's text read by the
// file's rules (blank and comment lines skipped, the blanks around a line dropped), or lines
// given one by one, each as it is. Holds no copy: the text or the lines must outlive it.
class BlockLines {
 public:
  BlockLines() = default;
  // The lines of `text`, whose first line is the line `first` of its file.
  static BlockLines OfText(std::string_view text, int first);
  // The lines given, numbered from 1.
  static BlockLines Given(const std::vector<std::string>& lines);
  // The next line and its number; false when none is left.
  bool Next(std::string_view& line, int& number);

 private:
  std::string_view text_;  // what is left of the text
  int number_ = 0;         // of the line read last
  const std::vector<std::string>* given_ = nullptr;
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
  // Its block's lines as the file has them, from the end of the VESSEL line to its END (read
  // with BlockLines::OfText(block, line)): a view into the parsed text, not a copy.
  std::string_view block;
  std::unique_ptr<ScenarioAttachment> attached;  // null: none (few vessels hang)
};

struct ScenarioFile {
  std::string title;
  double time = 0;
  std::string focus;  // empty: none given
  int focusLine = 0;
  std::vector<ScenarioVessel> vessels;
  PackedLines kept;                   // top-level lines nobody knows, written back as they are
  std::vector<std::string> warnings;  // gathered while parsing ("file:line: ...")
};

// Parses a whole file; throws Error naming `file` and the line of the first malformed one. A
// file whose first line (comments aside) is not TITLE, TIME, FOCUS or VESSEL is no scenario,
// and one with more than `maxVessels` vessels is refused at the VESSEL line past that count.
// The record's blocks are views into `text`, which must outlive it.
ScenarioFile ParseScenario(std::string_view text, const std::string& file,
                           std::size_t maxVessels = static_cast<std::size_t>(-1));
// The checks between blocks: names differ (without regard to case), ATTACHED and FOCUS name
// vessels of the file, no vessel hangs on itself or on a cycle. Throws Error like ParseScenario.
void CheckScenario(const ScenarioFile& s, const std::string& file);

// Writing a file: its top (TITLE, TIME, FOCUS and the top-level lines kept), then each vessel's
// block (VESSEL, its lines two blanks in, END). Numbers in their shortest exact form.
std::string FormatScenarioTop(const std::string& title, double time, const std::string& focus,
                              const PackedLines& kept);
void AppendVesselBlock(std::string& out, const std::string& name, const std::string& className,
                       const PackedLines& lines);
// The host's own lines of a vessel.
std::string PosLine(const VECTOR3& pos);
std::string OriLine(const VECTOR3& ori);
std::string AttachedLine(const std::string& parent, std::uint32_t index, const std::string& id);

// A scenario line may not break the file's structure: line breaks become blanks.
std::string OneLine(std::string s);
// True for a line that, written into a vessel's block, would be read back as the block's END
// or as the start of another vessel.
bool BreaksBlock(std::string_view line);
// The warning for the lines a tally counted without naming them: the top level's unknown lines
// kept (`vessel` empty), or a vessel's lines kept or dropped. Empty when it counted none.
std::string UnnamedLines(const std::string& file, const LineTally& tally,
                         const std::string& vessel);
// "file:line: " (or "file: ", or "" without a file), to start a message with.
std::string Where(std::string_view file, int line);

}  // namespace hostsim
