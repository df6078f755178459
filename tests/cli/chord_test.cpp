// Key chords of the CLI: names to set-1 scan codes, modifiers, raw codes, and refusals.
#include "hostsim/cli/chord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/keys.h"
#include "hostsim/keys/keys.h"

namespace hostsim::cli {
namespace {

struct GoodChord {
  const char* text;
  std::vector<std::uint8_t> modifiers;
  std::uint8_t key;
  const char* canonical;
};

TEST(ChordTest, ParsesKeysAndModifiers) {
  const GoodChord cases[] = {
      {"B", {}, 0x30, "B"},
      {"b", {}, 0x30, "B"},
      {"J", {}, 0x24, "J"},
      {"K", {}, 0x25, "K"},
      {"V", {}, 0x2F, "V"},
      {"N", {}, 0x31, "N"},
      {"M", {}, 0x32, "M"},
      {"A", {}, 0x1E, "A"},
      {"Q", {}, 0x10, "Q"},
      {"Z", {}, 0x2C, "Z"},
      {"1", {}, 0x02, "1"},
      {"0", {}, 0x0B, "0"},
      {"NumPad1", {}, 0x4F, "NumPad1"},
      {"numpad5", {}, 0x4C, "NumPad5"},
      {"NumPad9", {}, 0x49, "NumPad9"},
      {"Up", {}, 0xC8, "Up"},
      {"Down", {}, 0xD0, "Down"},
      {"Left", {}, 0xCB, "Left"},
      {"Right", {}, 0xCD, "Right"},
      {"Shift+V", {0x2A}, 0x2F, "Shift+V"},
      {"RShift+Up", {0x36}, 0xC8, "RShift+Up"},
      {"Alt+NumPad4", {0x38}, 0x4B, "Alt+NumPad4"},
      {"RAlt+NumPad6", {0xB8}, 0x4D, "RAlt+NumPad6"},
      {"Ctrl+B", {0x1D}, 0x30, "Ctrl+B"},
      {"Shift+Alt+NumPad1", {0x2A, 0x38}, 0x4F, "Shift+Alt+NumPad1"},
      {"LShift+RShift+B", {0x2A, 0x36}, 0x30, "Shift+RShift+B"},
      {"Ctrl+f2", {0x1D}, 0x3C, "Ctrl+F2"},
      {"Enter", {}, 0x1C, "Return"},
      {"0x30", {}, 0x30, "B"},
      {"0X2f", {}, 0x2F, "V"},
      {"0x9", {}, 0x09, "8"},
      {"0xFF", {}, 0xFF, "0xFF"},
      {"Shift+0x4E", {0x2A}, 0x4E, "Shift+0x4E"},
      {"Shift", {}, 0x2A, "Shift"},  // a modifier on its own is a key like any other
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    auto chord = ParseChord(c.text, error);
    ASSERT_TRUE(chord.has_value()) << error;
    EXPECT_EQ(chord->modifiers, c.modifiers);
    EXPECT_EQ(chord->key, c.key);
    EXPECT_EQ(chord->ToString(), c.canonical);
  }
}

TEST(ChordTest, RefusesMalformedChords) {
  const struct {
    const char* text;
    const char* message;  // part of the error
  } cases[] = {
      {"", "empty key name"},
      {"+B", "empty key name"},
      {"Shift+", "empty key name"},
      {"Shift++B", "empty key name"},
      {"Foo", "unknown key \"Foo\""},
      {"Shift+Foo", "unknown key \"Foo\""},
      {"F13", "unknown key"},
      {"NumPad10", "unknown key"},
      {"0x", "unknown key"},
      {"0x100", "unknown key"},
      {"0xZZ", "unknown key"},
      {"30", "unknown key"},
      {"B+Shift", "\"B\" is not a modifier"},
      {"Up+B", "\"Up\" is not a modifier"},
      {"Shift+Shift+B", "Shift given twice"},
      {"Shift+LShift+B", "given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(ParseChord(c.text, error).has_value());
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(KeyNameTest, EveryNamedCodeReadsBackToItsName) {
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    const std::string name = KeyName(c);
    auto back = KeyCode(name);
    ASSERT_TRUE(back.has_value()) << name;
    EXPECT_EQ(*back, c) << name;
  }
}

// Reports show a key by name and code; a code without a name by its code alone.
TEST(KeyNameTest, ReportsShowNameAndCode) {
  const std::pair<std::uint8_t, const char*> cases[] = {{ZKEY_D, "D (0x20)"},
                                                        {ZKEY_LSHIFT, "Shift (0x2A)"},
                                                        {ZKEY_NUMPAD4, "NumPad4 (0x4B)"},
                                                        {0x00, "0x00"},
                                                        {0xFF, "0xFF"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(hostsim::KeyText(code), text);
}

}  // namespace
}  // namespace hostsim::cli
