// The report of a run: the terminal table, the JSON file and the JUnit XML file, and the
// reading of a child's JSON back into results.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "hostsim/check/check.h"

namespace hostsim::check {

struct Report {
  std::string module;  // as given
  std::vector<std::string> classes;
  std::uint64_t seed = 0;
  std::string rerun;  // the command that runs the same checks again (without --filter)
  // Why this system counts no allocations or calls (Windows), said once at the top of the
  // terminal's report; empty where it counts.
  std::string uncounted;
  std::vector<const Check*> checks;
  std::vector<Result> results;  // one per check, same order
  double seconds = 0;
};

struct Counts {
  int passed = 0, failed = 0, skipped = 0, crashed = 0, hung = 0;
  int total() const { return passed + failed + skipped + crashed + hung; }
};
Counts Count(const std::vector<Result>& results);

// The text as valid UTF-8 with no control characters: bytes that are not part of a valid
// sequence, and control bytes, are written as \xNN. With `keepLines` a line break and a tab
// stay what they are (for the files, whose formats carry them).
std::string CleanText(std::string_view text, bool keepLines = false);

// Column heading of the table, then one row per result as it comes, then the summary.
void WriteHeading(std::ostream& out, const Report& r);
void WriteRow(std::ostream& out, const Report& r, const Check& c, const Result& res);
void WriteSummary(std::ostream& out, const Report& r);

std::string JsonText(const Report& r);
std::string JunitText(const Report& r);

// Results read from JsonText's output; false when the text is not such a report.
bool ReadResults(const std::string& json, std::vector<Result>& out);

}  // namespace hostsim::check
