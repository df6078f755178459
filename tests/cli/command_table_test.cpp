// The session commands' one table: the module authors' guide shows it as it is, and the parser
// knows exactly the commands it lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "hostsim/cli/commands.h"

namespace hostsim::cli {
namespace {

// The Markdown table of the module authors' guide that starts with the row `header`: that row
// and every row after it up to the first line that is not a table row.
std::string GuideTable(const std::string& header) {
  std::ifstream in(std::filesystem::path(LUMIPOD_SOURCE_DIR) / "docs" / "modules.md",
                   std::ios::binary);
  EXPECT_TRUE(in) << "cannot read docs/modules.md";
  std::string line, table;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!inside && line != header) continue;
    if (line.empty() || line.front() != '|') break;
    inside = true;
    table += line + "\n";
  }
  return table;
}

TEST(CommandTable, GuideShowsTheTable) {
  const std::string expected = CommandTableMarkdown();
  EXPECT_EQ(GuideTable(expected.substr(0, expected.find('\n'))), expected)
      << "docs/modules.md's session command table must read, exactly:\n"
      << expected;
}

TEST(CommandTable, ParserKnowsExactlyTheListedCommands) {
  std::set<std::string> names;
  for (const CommandSpec& spec : SessionCommands()) {
    SCOPED_TRACE(spec.name);
    EXPECT_TRUE(names.insert(std::string(spec.name)).second) << "listed twice";
    // Known: whatever its arguments say, the line is not an unknown command.
    const ParsedLine p = ParseLine(std::string(spec.name) + " x");
    EXPECT_EQ(p.error.find("unknown command"), std::string::npos) << p.error;
    EXPECT_NE(CommandHelp().find("  " + Usage(spec) + " "), std::string::npos);
  }
  EXPECT_TRUE(names.count("render")) << "render is a command of the table";
  EXPECT_EQ(ParseLine("fly").error,
            "unknown command \"fly\" (known: load focus step press hold type cancel hud inspect "
            "save visual render reload)");
}

}  // namespace
}  // namespace hostsim::cli
