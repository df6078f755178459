// Class configuration files and the classes the host builds from them alone.
#include "hostsim/runtime/config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "hostsim/runtime_fixture.h"

using hostsim::ConfigFile;
using hostsim::Error;
using hostsim::ParseConfig;
using hostsim_test::RuntimeWorld;

namespace {

TEST(Config, ItemsCommentsAndCase) {
  ConfigFile cfg = ParseConfig(
      "; a comment\n"
      "ClassName = tug   ; trailing comment\n"
      "\n"
      "  spotcolour=1 0.5 -2\r\n"
      "Empty =\n"
      "Attachment = C 1 2 3 0 1 0 0 0 1 A\n"
      "ATTACHMENT = P 1 2 3 0 1 0 0 0 1 B\n",
      "x.cfg");
  ASSERT_NE(cfg.Find("CLASSNAME"), nullptr);
  EXPECT_EQ(cfg.Find("classname")->value, "tug");
  EXPECT_EQ(cfg.Find("SpotColour")->value, "1 0.5 -2");
  EXPECT_EQ(cfg.Find("SpotColour")->line, 4);
  EXPECT_EQ(cfg.Find("Empty")->value, "");
  EXPECT_EQ(cfg.FindAll("attachment").size(), 2u);
  EXPECT_EQ(cfg.Find("Missing"), nullptr);
}

TEST(Config, MalformedLinesNameFileAndLine) {
  const std::pair<std::string, int> cases[] = {
      {"Size = 1\nno equals sign here\n", 2},
      {"Size = 1\n\n = 5\n", 3},
      {std::string("A = 1\nB = x\0y\n", 12), 2},
  };
  for (const auto& [text, line] : cases) {
    try {
      ParseConfig(text, "bad.cfg");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& e) {
      EXPECT_EQ(e.file(), "bad.cfg");
      EXPECT_EQ(e.line(), line) << e.what();
    }
  }
}

TEST(Config, VectorsAreExactlyThreeNumbers) {
  struct Case {
    const char* text;
    bool ok;
    VECTOR3 v;
  };
  const Case cases[] = {
      {"1 2 3", true, {1, 2, 3}},
      {"  1e3\t-2 .5 ", true, {1000, -2, 0.5}},
      {"1 2", false, {}},
      {"1 2 3 4", false, {}},
      {"1 2 x", false, {}},
      {"1,2,3", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    VECTOR3 v{7, 7, 7};
    EXPECT_EQ(hostsim::ParseVector(c.text, v), c.ok) << c.text;
    VECTOR3 expect = c.ok ? c.v : VECTOR3{7, 7, 7};
    EXPECT_EQ(v.x, expect.x) << c.text;
    EXPECT_EQ(v.y, expect.y) << c.text;
    EXPECT_EQ(v.z, expect.z) << c.text;
  }
  // Numbers that are not finite are no numbers to the host.
  for (const char* text : {"nan 0 0", "0 inf 0", "0 0 -1e400"}) {
    VECTOR3 odd{7, 7, 7};
    EXPECT_FALSE(hostsim::ParseVector(text, odd)) << text;
    EXPECT_EQ(odd.x, 7) << text;
  }
}

// Numbers are read as strtod and strtoll read the whole text, except that a double that is not
// finite (nan, inf, beyond the range of double) is refused.
TEST(Config, NumbersReadAsTheCLibraryReadsThem) {
  const char* doubles[] = {"0",
                           "-0",
                           "1.5",
                           "-.5",
                           ".5",
                           "5.",
                           "+1.5",
                           "0x1p4",
                           "1e400",
                           "-1e400",
                           "1e-320",
                           "1e-400",
                           "inf",
                           "-nan",
                           "1e",
                           "-",
                           ".",
                           "1.2.3",
                           "00012",
                           "1_0",
                           "0.1000000000000000055511151231257827",
                           "123456789012345678901234567890123456789012345678901234567890123456789"};
  for (const char* text : doubles) {
    char* end = nullptr;
    const double want = std::strtod(text, &end);
    const bool whole = *text != '\0' && *end == '\0' && std::isfinite(want);
    double got = 7;
    EXPECT_EQ(hostsim::ParseDouble(text, got), whole) << text;
    if (whole && !std::isnan(want)) {
      EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text;
    }
    if (!whole) {
      EXPECT_EQ(got, 7) << text;
    }
  }
  const char* ints[] = {"0", "-12", "+12", "9223372036854775807", "9223372036854775808", "1x", "-"};
  for (const char* text : ints) {
    char* end = nullptr;
    errno = 0;
    const long long want = std::strtoll(text, &end, 10);
    const bool ok = *end == '\0' && end != text && errno != ERANGE;
    long long got = 7;
    EXPECT_EQ(hostsim::ParseInt(text, got), ok) << text;
    EXPECT_EQ(got, ok ? want : 7) << text;
  }
}

TEST(Config, ConfigOnlyClassFromItsFile) {
  RuntimeWorld rw;
  hostsim::Vessel& tug = rw.world->CreateVessel("Tug", "tug");
  EXPECT_EQ(tug.callbacks2(), nullptr);
  ASSERT_NE(tug.iface(), nullptr);
  EXPECT_EQ(tug.physics.size, 4.0);
  EXPECT_EQ(tug.physics.emptyMass, 2500.0);
  ASSERT_EQ(tug.meshes.size(), 1u);
  EXPECT_EQ(tug.meshes[0].mesh->name, "tug");
  auto slots = tug.Points(false);
  ASSERT_EQ(slots.size(), 4u);
  EXPECT_EQ(slots[3]->id, "DECK4");
  EXPECT_EQ(slots[1]->pos.x, 1.5);
  EXPECT_EQ(slots[2]->pos.z, -1.0);
  EXPECT_TRUE(tug.Points(true).empty());
}

// The items the host defines are checked alike in every class, with or without a module.
TEST(Config, BadHostItemsAreRefusedWithTheirLineInEveryClass) {
  RuntimeWorld rw;
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"Size = 1\nAttachment = X 0 0 0 0 1 0 0 0 1 A\n", 2, "Attachment must be"},
      {"Attachment = C 0 0 0 0 1 0 0 0 1\n", 1, "Attachment must be"},
      {"Mass = heavy\n", 1, "Mass must be one number"},
      {"Mass = -5\n", 1, "Mass must be positive, got \"-5\""},
      {"\nSize = -1\n", 2, "Size must be positive, got \"-1\""},
      {"Size = nan\n", 1, "Size must be one number, got \"nan\""},
      {"Size = 0\n", 1, "Size must be positive"},
  };
  for (const char* module : {"", "Module = lumipod\n"}) {
    for (const auto& c : cases) {
      const std::string text = module + std::string(c.text);
      SCOPED_TRACE(text);
      rw.Write("config/bad.cfg", text);
      const int line = c.line + (*module != '\0' ? 1 : 0);
      try {
        rw.world->CreateVessel("B", "bad");
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("bad.cfg:" + std::to_string(line) + ": " + c.message),
                  std::string::npos)
            << e.what();
      }
      EXPECT_TRUE(rw.world->Vessels().empty());
    }
  }
  // A config-only class shows its mesh, so the mesh must load; a module loads its own.
  rw.Write("config/bad.cfg", "\nMesh = nothing_here\n");
  EXPECT_THROW(rw.world->CreateVessel("B", "bad"), Error);
  rw.Write("config/bad.cfg", "Module = lumipod\nMesh = nothing_here\n");
  EXPECT_NO_THROW(rw.world->CreateVessel("B", "bad"));
}

// A configuration that stands there but cannot be read is not an unknown class: the error says
// why it cannot be read.
TEST(Config, UnreadableClassConfigurationSaysWhy) {
  RuntimeWorld rw;
  std::error_code ec;
  std::filesystem::create_symlink("loop.cfg", rw.dir() / "config" / "loop.cfg", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  auto scenario = rw.Write("loop.scn", "VESSEL L loop\nEND\n");
  for (int pass = 0; pass < 2; ++pass) {
    try {
      if (pass == 0)
        rw.world->LoadScenario(scenario, {false});
      else
        rw.world->CreateVessel("L", "loop");
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.find("unknown"), std::string::npos) << what;
      EXPECT_NE(what.find("loop.cfg: cannot read class configuration: "), std::string::npos)
          << what;
    }
  }
}

}  // namespace
