// Error lines of the CLI stay one readable line whatever they quote, and a script line with a
// zero byte is refused before it can act on a cut name or text.
#include <gtest/gtest.h>

#include <string>

#include "hostsim/cli/session.h"
#include "hostsim/cli/text.h"

namespace hostsim::cli {
namespace {

TEST(ErrorTextTest, ControlCharactersAreShownAndShortMessagesKept) {
  const struct {
    std::string message, shown;
  } cases[] = {
      {"a.scn:3: POS needs three numbers", "a.scn:3: POS needs three numbers"},
      {"x\ny", "x\\x0Ay"},
      {"bell\a esc\x1b[2J del\x7f", "bell\\x07 esc\\x1B[2J del\\x7F"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"caf\xC3\xA9 \xB0", "caf\xC3\xA9 \xB0"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.message), c.shown);
}

TEST(ErrorTextTest, LongMessagesAreCutAtACharacterWithTheirLength) {
  const std::string huge = "big.session:1: unknown command \"" + std::string(1000000, 'x') + "\"";
  const std::string shown = ErrorText(huge);
  EXPECT_LT(shown.size(), kMaxErrorText + 64);
  EXPECT_EQ(shown.rfind("big.session:1: unknown command \"xxx", 0), 0u);
  EXPECT_NE(shown.find("(cut, " + std::to_string(huge.size()) + " bytes in all)"),
            std::string::npos);

  // A two-byte character across the limit is left out whole.
  std::string accents(kMaxErrorText - 1, 'a');
  for (int i = 0; i < 10; ++i) accents += "\xC3\xA9";
  const std::string cut = ErrorText(accents);
  EXPECT_EQ(cut.substr(0, kMaxErrorText), std::string(kMaxErrorText - 1, 'a') + ".");
}

TEST(ParseLineTest, ZeroBytesAreRefused) {
  for (const std::string& line : {std::string("load demo\0.scn", 14), std::string("step\0", 5),
                                  std::string("type 12\0 34", 11), std::string("\0", 1)}) {
    const ParsedLine p = ParseLine(line);
    EXPECT_FALSE(p.command.has_value());
    EXPECT_EQ(p.error, "line holds a zero byte");
  }
}

}  // namespace
}  // namespace hostsim::cli
