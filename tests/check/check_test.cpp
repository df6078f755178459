// `hostsim check` run as a user runs it, on test modules with one fault each: every module
// fails exactly the checks meant for its fault, a crash is isolated, the JSON and JUnit files
// say what the terminal says, and a seed repeats a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/check/drive.h"
#include "hostsim/check/memcheck.h"
#include "hostsim/platform/process.h"

#if defined(CHECK_HAVE_EXPAT)
#include <expat.h>
#endif

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif
#if defined(CHECK_SANITIZED)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#if defined(CHECK_DEBUG_INFO)
constexpr bool kDebugInfo = true;
#else
constexpr bool kDebugInfo = false;
#endif

// The checks that count allocations or watch C library calls, reported as not counted where
// a library's C runtime is its own.
const std::set<std::string> kCountingChecks = {"library.unload_leaks", "frame.allocations",
                                               "frame.blocking_calls", "lifecycle.many"};

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path Module(const std::string& name) {
  return fs::path(CHECK_MODULE_DIR) / (name + CHECK_MODULE_SUFFIX);
}

// A folder of the test's own for the files a run writes.
class Scratch {
 public:
  Scratch() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("check-test-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

struct Outcome {
  hostsim::platform::ChildEnd end;
  std::string out, err;
};

Outcome Hostsim(const std::vector<std::string>& args, const Scratch& dir, double limit = 300,
                const fs::path& program = HOSTSIM_EXE) {
  Outcome r;
  r.end =
      hostsim::platform::RunChild(program, args, dir / "stdout", dir / "stderr",
                                  std::chrono::milliseconds(static_cast<long long>(limit * 1000)));
  r.out = ReadText(dir / "stdout");
  r.err = ReadText(dir / "stderr");
  // Lines end alike on every system (a Windows program's output ends them with "\r\n").
  std::erase(r.out, '\r');
  return r;
}

int ExitCode(const Outcome& r) {
  return r.end.kind == hostsim::platform::ChildEnd::Kind::Exited ? r.end.code : -1;
}

// "N checks: P passed, F failed, C crashed, H hung, S skipped" from the terminal.
std::map<std::string, int> Summary(const std::string& out) {
  std::smatch m;
  std::map<std::string, int> n;
  if (std::regex_search(out, m,
                        std::regex("(\\d+) checks?: (\\d+) passed, (\\d+) failed, (\\d+) crashed, "
                                   "(\\d+) hung, (\\d+) skipped"))) {
    n["total"] = std::stoi(m[1]);
    n["passed"] = std::stoi(m[2]);
    n["failed"] = std::stoi(m[3]);
    n["crashed"] = std::stoi(m[4]);
    n["hung"] = std::stoi(m[5]);
    n["skipped"] = std::stoi(m[6]);
  }
  return n;
}

std::vector<std::string> Listed(const Scratch& dir) {
  const Outcome r = Hostsim({"check", "--list"}, dir);
  std::vector<std::string> names;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != ' ')
      names.push_back(line.substr(0, line.find_last_not_of("\r") + 1));
  return names;
}

struct Case {
  const char* module;
  std::set<std::string> failed;
  std::set<std::string> crashed;
};

// What each fault must fail. Checks that press keys meet the crashing key: every walk of
// random input presses every key code at least once.
const Case kCases[] = {
    {"checkmod_sound", {}, {}},
    {"checkmod_leak", {"library.unload_leaks"}, {}},
    {"checkmod_crash",
     {},
     {"library.two_instances", "state.walk_round_trip", "state.save_before_frame",
      "input.buffered_keys", "input.boxes", "hud.sizes", "visual.rebuild", "frame.allocations",
      "frame.blocking_calls", "frame.time"}},
    {"checkmod_badsave", {"state.walk_round_trip", "state.save_before_frame"}, {}},
    {"checkmod_badon", {"state.walk_round_trip", "state.save_before_frame"}, {}},
    {"checkmod_nan", {"input.boxes"}, {}},
    {"checkmod_alloc", {"frame.allocations"}, {}},
    {"checkmod_malloc", {"frame.allocations"}, {}},
    // Its allocation is made in the C++ library's code compiled into it: the module's own
    // line is named all the same.
    {"checkmod_hudstring", {"frame.allocations"}, {}},
    {"checkmod_file", {"frame.blocking_calls"}, {}},
    {"checkmod_print", {"frame.blocking_calls"}, {}},
    {"checkmod_stat", {"frame.blocking_calls"}, {}},
    // The host's own work in a call the module makes is not the module's.
    {"checkmod_lookup", {}, {}},
    {"checkmod_devmesh", {"visual.rebuild"}, {}},
};

// Test names and failure messages show the module's name, not the bytes of the case.
void PrintTo(const Case& c, std::ostream* os) { *os << c.module; }

class FaultyModule : public testing::TestWithParam<Case> {};

TEST_P(FaultyModule, FailsItsOwnChecksAndNoOther) {
  const Case& c = GetParam();
  Scratch dir;
  const Outcome r = Hostsim({"check", Module(c.module).string(), "--root", CHECK_ROOT, "--seed",
                             "7", "--json", (dir / "out.json").string()},
                            dir);
  ASSERT_EQ(r.end.kind, hostsim::platform::ChildEnd::Kind::Exited) << r.end.why << "\n" << r.err;
  const Json j = Json::parse(ReadText(dir / "out.json"));
  const auto names = Listed(dir);
  ASSERT_EQ(j["checks"].size(), names.size());
  bool bad = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Json& check = j["checks"][i];
    const std::string name = check["name"];
    EXPECT_EQ(name, names[i]);
    std::string want = c.failed.count(name)    ? "failed"
                       : c.crashed.count(name) ? "crashed"
                                               : "passed";
    if (kWindows && kCountingChecks.count(name)) want = "skipped";
    EXPECT_EQ(check["status"], want) << name << ": " << check["reason"] << "\n" << r.out;
    // A counting check is passed only by counting; where it cannot count it says so.
    EXPECT_EQ(check["not_counted"], kWindows && kCountingChecks.count(name) > 0) << name;
    if (want == "failed" && name.rfind("frame.", 0) == 0 && kDebugInfo) {
      // An allocation or a blocking call names the module's line that made it.
      EXPECT_NE(check["reason"].get<std::string>().find("checkmod.cpp:"), std::string::npos)
          << check["reason"];
    }
    if (want == "failed" || want == "crashed") {
      bad = true;
      EXPECT_FALSE(check["reason"].get<std::string>().empty()) << name;
      EXPECT_FALSE(check["journal"].empty()) << name << ": no host calls quoted";
    }
    if (want == "crashed") {
      // It names where: the module's library, and its function where the system's symbol
      // tools read its debugging information.
      EXPECT_NE(check["details"].dump().find("where: "), std::string::npos) << check.dump(1);
      if (kDebugInfo && !kWindows) {
        EXPECT_NE(check["details"].dump().find("Crash()"), std::string::npos) << check.dump(1);
      }
    }
    if (want == "crashed") {
      // The crash is the key C going down, and the journal says so.
      EXPECT_NE(check["journal"].back().get<std::string>().find("clbkBufferedKey(46, true)"),
                std::string::npos)
          << name << ": " << check["journal"].dump(1);
    }
  }
  EXPECT_EQ(ExitCode(r), bad ? 1 : 0) << r.out;
  if (bad) {
    EXPECT_NE(r.out.find("seed 7: hostsim check"), std::string::npos) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Check, FaultyModule, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                           return std::string(param.param.module);
                         });

// A module built with _FORTIFY_SOURCE calls the C library's fortified forms (__open_2,
// __read_chk, __printf_chk ... as its compiler chooses): each is watched as its plain form is,
// and named with the module's line.
TEST(CheckFortified, FortifiedCallsAreWatched) {
#if defined(__clang__)
  constexpr bool kGnuFortifies = false;
#else
  constexpr bool kGnuFortifies = true;
#endif
  std::istringstream levels(CHECK_FORTIFY_LEVELS);
  int tried = 0;
  for (std::string level; levels >> level; ++tried) {
    Scratch dir;
    const Outcome r = Hostsim(
        {"check", Module("checkmod_fortify" + level).string(), "--root", CHECK_ROOT, "--filter",
         "^frame\\.blocking_calls$", "--seed", "1", "--json", (dir / "r.json").string()},
        dir);
    EXPECT_EQ(ExitCode(r), 1) << r.out << r.err;
    const Json check = Json::parse(ReadText(dir / "r.json"))["checks"].at(0);
    const std::string reason = check["reason"];
    EXPECT_EQ(check["status"], "failed") << "level " << level << ": " << check.dump(1);
    // g++ calls the fortified forms (__open_2, __read_chk, __printf_chk); clang 14 calls the
    // plain ones, as this C library fortifies C++ only for g++. Each is named with the
    // module's own line, not the C library's header that wraps it.
    for (const char* call :
         {kGnuFortifies ? "__read_chk" : "read", "\\w*open\\w*", "\\w*printf\\w*"}) {
      const std::regex named(std::string(call) + " in clbkBeforeStep 2000 times" +
                             (kDebugInfo ? " \\(at checkmod\\.cpp:[0-9]+ in ReadAndPrint" : ""));
      EXPECT_TRUE(std::regex_search(reason, named)) << "level " << level << ": " << reason;
    }
  }
  if (tried == 0) GTEST_SKIP() << "the fortified test modules are built on Linux only";
}

// A fault one key or one frame reaches is found whatever the seed: the checks that draw at
// random walk every key and frame first.
TEST(CheckSeeds, AFaultIsFoundWhateverTheSeed) {
  for (const char* seed : {"1", "2", "3", "4"}) {
    Scratch dir;
    const Outcome r =
        Hostsim({"check", Module("checkmod_devmesh").string(), "--root", CHECK_ROOT, "--filter",
                 "^visual\\.rebuild$", "--seed", seed, "--json", (dir / "r.json").string()},
                dir);
    const Json check = Json::parse(ReadText(dir / "r.json"))["checks"].at(0);
    EXPECT_EQ(check["status"], "failed") << "seed " << seed << "\n" << r.out;
  }
}

// The JSON file's summary and the terminal's agree, for a run with passes and failures and
// for one with passes and crashes; so does the JUnit file, read with an XML parser.
TEST(CheckReport, JsonAndJunitSayWhatTheTerminalSays) {
  for (const char* module : {"checkmod_badsave", "checkmod_crash"}) {
    Scratch dir;
    const Outcome r =
        Hostsim({"check", Module(module).string(), "--root", CHECK_ROOT, "--seed", "3", "--json",
                 (dir / "r.json").string(), "--junit", (dir / "r.xml").string()},
                dir);
    ASSERT_EQ(ExitCode(r), 1) << r.out << r.err;
    const auto terminal = Summary(r.out);
    ASSERT_EQ(terminal.size(), 6u) << r.out;

    const Json j = Json::parse(ReadText(dir / "r.json"));
    EXPECT_EQ(fs::path(j["module"].get<std::string>()), Module(module));
    EXPECT_EQ(j["seed"], 3);
    EXPECT_EQ(j["classes"], Json::array({module}));
    std::map<std::string, int> counted;
    for (const Json& c : j["checks"]) {
      for (const char* key : {"name", "description", "status", "reason"})
        EXPECT_TRUE(c[key].is_string()) << key;
      EXPECT_TRUE(c["journal"].is_array());
      EXPECT_TRUE(c["details"].is_array());
      EXPECT_GE(c["seconds"].get<double>(), 0.0);
      ++counted[c["status"].get<std::string>()];
    }
    for (const char* key : {"passed", "failed", "crashed", "hung", "skipped"}) {
      EXPECT_EQ(j["summary"][key], terminal.at(key)) << key;
      EXPECT_EQ(counted[key], terminal.at(key)) << key;
    }
    EXPECT_EQ(j["summary"]["total"], terminal.at("total"));

    // The evidence of a failure keeps its line breaks.
    const std::string junit = ReadText(dir / "r.xml");
    EXPECT_NE(junit.find(">last host calls:\n  "), std::string::npos) << junit;
    EXPECT_EQ(junit.find("\\x0A"), std::string::npos) << junit;

#if defined(CHECK_HAVE_EXPAT)
    // Attributes of <testsuites> and <testsuite>, and the test cases with what each holds.
    struct Xml {
      std::vector<std::map<std::string, std::string>> suites;
      int cases = 0, failures = 0, errors = 0, skipped = 0;
    } x;
    XML_Parser p = XML_ParserCreate("UTF-8");
    XML_SetUserData(p, &x);
    XML_SetStartElementHandler(p, [](void* data, const XML_Char* name, const XML_Char** atts) {
      auto& xml = *static_cast<Xml*>(data);
      const std::string n = name;
      if (n == "testsuites" || n == "testsuite") {
        std::map<std::string, std::string> a;
        for (int i = 0; atts[i] != nullptr; i += 2) a[atts[i]] = atts[i + 1];
        xml.suites.push_back(a);
      }
      if (n == "testcase") ++xml.cases;
      if (n == "failure") ++xml.failures;
      if (n == "error") ++xml.errors;
      if (n == "skipped") ++xml.skipped;
    });
    ASSERT_EQ(XML_Parse(p, junit.data(), static_cast<int>(junit.size()), 1), XML_STATUS_OK)
        << XML_ErrorString(XML_GetErrorCode(p)) << " at line " << XML_GetCurrentLineNumber(p);
    XML_ParserFree(p);
    EXPECT_EQ(x.cases, terminal.at("total"));
    EXPECT_EQ(x.failures, terminal.at("failed"));
    EXPECT_EQ(x.errors, terminal.at("crashed") + terminal.at("hung"));
    EXPECT_EQ(x.skipped, terminal.at("skipped"));
    ASSERT_EQ(x.suites.size(), 2u);
    for (const auto& suite : x.suites) {
      EXPECT_EQ(std::stoi(suite.at("tests")), terminal.at("total"));
      EXPECT_EQ(std::stoi(suite.at("failures")), terminal.at("failed"));
      EXPECT_EQ(std::stoi(suite.at("errors")), terminal.at("crashed") + terminal.at("hung"));
      EXPECT_EQ(std::stoi(suite.at("skipped")), terminal.at("skipped"));
    }
#endif
  }
}

// The same seed gives the same walk, and so the same failure; the report names the seed.
TEST(CheckReport, SeedRepeatsARun) {
  Scratch dir;
  std::vector<std::string> reasons;
  for (int i = 0; i < 2; ++i) {
    const Outcome r =
        Hostsim({"check", Module("checkmod_badsave").string(), "--root", CHECK_ROOT, "--filter",
                 "walk", "--seed", "123456", "--json", (dir / "r.json").string()},
                dir);
    ASSERT_EQ(ExitCode(r), 1) << r.out << r.err;
    EXPECT_NE(r.out.find("seed 123456: hostsim check"), std::string::npos) << r.out;
    const Json j = Json::parse(ReadText(dir / "r.json"));
    ASSERT_EQ(j["checks"].size(), 1u);
    reasons.push_back(j["checks"][0]["reason"]);
  }
  EXPECT_EQ(reasons[0], reasons[1]);
}

// A state fault that one key reaches (B turns on what the load forgets) fails whatever the
// seed, since a walk through every key comes before the random one; the failure lists the
// walk's steps, ending in that key, on the terminal and in the JSON and JUnit files.
TEST(CheckReport, StateFaultFailsOnEverySeedListingTheSteps) {
  for (const char* seed : {"1", "2", "3"}) {
    Scratch dir;
    const Outcome r = Hostsim({"check", Module("checkmod_badon").string(), "--root", CHECK_ROOT,
                               "--filter", "^state\\.walk_round_trip$", "--seed", seed, "--json",
                               (dir / "r.json").string(), "--junit", (dir / "r.xml").string()},
                              dir);
    EXPECT_EQ(ExitCode(r), 1) << r.out << r.err;
    const Json j = Json::parse(ReadText(dir / "r.json"));
    ASSERT_EQ(j["checks"].size(), 1u);
    const Json& check = j["checks"][0];
    EXPECT_EQ(check["status"], "failed") << "seed " << seed << "\n" << r.out;
    ASSERT_FALSE(check["details"].empty()) << r.out;
    const std::string last = check["details"].back();
    EXPECT_NE(last.find("press B (0x30)"), std::string::npos) << last;
    EXPECT_NE(r.out.find("    " + last + "\n"), std::string::npos) << r.out;
    const std::string xml = std::regex_replace(last, std::regex(">"), "&gt;");
    EXPECT_NE(ReadText(dir / "r.xml").find(xml + "\n"), std::string::npos) << xml;
  }
}

// A counting check run where nothing counts (in this process, without the counting library
// preloaded) is never passed, even for a module that allocates: where the system can count it
// fails, saying why; where it cannot (Windows) it is skipped, said once at the report's top.
TEST(CheckReport, ACheckThatCannotCountIsNotPassed) {
  Scratch dir;
  const Outcome r = Hostsim({"check", Module("checkmod_alloc").string(), "--root", CHECK_ROOT,
                             "--in-process", "--filter", "^frame\\.(allocations|blocking_calls)$",
                             "--seed", "1", "--json", (dir / "r.json").string()},
                            dir);
  EXPECT_EQ(ExitCode(r), kWindows ? 0 : 1) << r.out << r.err;
  const Json checks = Json::parse(ReadText(dir / "r.json"))["checks"];
  ASSERT_EQ(checks.size(), 2u);
  for (const Json& check : checks) {
    EXPECT_EQ(check["status"], kWindows ? "skipped" : "failed") << check.dump(1);
    EXPECT_EQ(check["not_counted"], true) << check.dump(1);
    EXPECT_EQ(check["reason"].get<std::string>().rfind("not counted: ", 0), 0u) << check.dump(1);
  }
  const std::string top = "not counted on this system: ";
  if (kWindows) {
    EXPECT_EQ(r.out.find(top), r.out.rfind(top)) << r.out;
    EXPECT_LT(r.out.find(top), r.out.find("frame.allocations")) << r.out;
  } else {
    EXPECT_EQ(r.out.find(top), std::string::npos) << r.out;
  }
}

// The counting library is preloaded, and counts, however the folder hostsim is installed in
// is named: a blank or a colon cannot be written in LD_PRELOAD.
TEST(CheckReport, CountsFromAFolderWhoseNameHasABlank) {
  if (kWindows) GTEST_SKIP() << "nothing is counted on Windows";
  Scratch dir;
  const fs::path exe(HOSTSIM_EXE);
  const fs::path watch = exe.parent_path().parent_path() / "lib" / "libhostsim_watch.so";
  ASSERT_TRUE(fs::is_regular_file(watch)) << watch;
  for (const char* folder : {"a folder with blanks", "a:colon"}) {
    const fs::path prefix = dir / folder;
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "lib");
    fs::copy_file(exe, prefix / "bin" / exe.filename());
    fs::copy_file(watch, prefix / "lib" / watch.filename());
    const Outcome r =
        Hostsim({"check", Module("checkmod_malloc").string(), "--root", CHECK_ROOT, "--filter",
                 "^frame\\.allocations$", "--seed", "1", "--json", (dir / "r.json").string()},
                dir, 300, prefix / "bin" / exe.filename());
    EXPECT_EQ(ExitCode(r), 1) << r.out << r.err;
    const Json check = Json::parse(ReadText(dir / "r.json"))["checks"].at(0);
    EXPECT_EQ(check["status"], "failed") << folder << "\n" << check.dump(1);
    EXPECT_EQ(check["not_counted"], false) << folder << "\n" << check.dump(1);
    EXPECT_NE(check["reason"].get<std::string>().find("malloc in clbkBeforeStep"),
              std::string::npos)
        << check["reason"];
  }
}

// In this process a crash ends the run, but its last word names the check and quotes the
// host calls before it.
TEST(CheckReport, InProcessCrashLeavesItsLastWord) {
  Scratch dir;
  const Outcome r = Hostsim({"check", Module("checkmod_crash").string(), "--root", CHECK_ROOT,
                             "--in-process", "--filter", "^input\\.boxes$", "--seed", "1"},
                            dir);
  EXPECT_NE(r.end.kind, hostsim::platform::ChildEnd::Kind::TimedOut);
  EXPECT_NE(ExitCode(r), 0);
  EXPECT_NE(r.err.find("input.boxes crashed"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("clbkBufferedKey(46, true)"), std::string::npos) << r.err;
}

// A check that outlives its time limit is stopped and reported as hung, quoting the host
// calls up to the one that never returned, and the run goes on; a later check that would
// press the same key is not run, naming the hang, instead of waiting out its own limit.
TEST(CheckReport, HangIsStoppedAtTheTimeLimitOnce) {
  // The module never returns from the key D, which every walk of keys presses.
  Scratch dir;
  const Outcome r =
      Hostsim({"check", Module("checkmod_hang").string(), "--root", CHECK_ROOT, "--filter",
               "^(input\\.buffered_keys|library\\.exports|state\\.walk_round_trip)$", "--timeout",
               "2", "--json", (dir / "r.json").string()},
              dir);
  EXPECT_EQ(ExitCode(r), 1) << r.out << r.err;
  EXPECT_NE(r.out.find("HUNG"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("no result within 2 s"), std::string::npos) << r.out;
  const auto terminal = Summary(r.out);
  EXPECT_EQ(terminal.at("total"), 3) << r.out;
  EXPECT_EQ(terminal.at("hung"), 1) << r.out;
  const Json j = Json::parse(ReadText(dir / "r.json"));
  EXPECT_EQ(j["summary"]["hung"], 1);
  const Json& hung = j["checks"][1];
  EXPECT_EQ(hung["status"], "hung");
  ASSERT_FALSE(hung["journal"].empty()) << hung.dump(1);
  EXPECT_NE(hung["journal"].back().get<std::string>().find("-> clbkBufferedKey(32, true)"),
            std::string::npos)
      << hung["journal"].dump(1);
  // It names where the module stood, by the library the author built, not the copy the
  // checks ran.
  EXPECT_NE(hung["details"].dump().find("checkmod_hang"), std::string::npos) << hung.dump(1);
  EXPECT_EQ(hung["details"].dump().find("hostsim-libraries"), std::string::npos) << hung.dump(1);
  if (!kWindows) {
    EXPECT_TRUE(hung["details"][0].get<std::string>().starts_with(
        "where: " + Module("checkmod_hang").string() + ": "))
        << hung.dump(1);
  }
  if (kDebugInfo && !kWindows) {
    EXPECT_NE(hung["details"].dump().find("Hang()"), std::string::npos) << hung.dump(1);
  }
  const Json& after = j["checks"][2];
  EXPECT_EQ(after["status"], "skipped") << after.dump(1);
  EXPECT_NE(after["reason"].get<std::string>().find(hung["name"].get<std::string>() + " hung"),
            std::string::npos)
      << after["reason"];
}

// Under memcheck the counting checks still count: an allocation in every frame and a leak
// across loads fail as they do without it.
TEST(CheckMemcheck, CountingChecksStillCount) {
  if (kWindows || kSanitized) GTEST_SKIP() << "Valgrind runs unsanitized POSIX programs only";
  if (hostsim::check::FindValgrind().empty()) GTEST_SKIP() << "valgrind is not installed";
  const std::pair<const char*, const char*> cases[] = {
      {"checkmod_malloc", "^frame\\.allocations$"}, {"checkmod_leak", "^library\\.unload_leaks$"}};
  for (const auto& [module, filter] : cases) {
    Scratch dir;
    const Outcome r =
        Hostsim({"check", Module(module).string(), "--root", CHECK_ROOT, "--memcheck", "--filter",
                 filter, "--seed", "1", "--json", (dir / "r.json").string()},
                dir);
    const Json j = Json::parse(ReadText(dir / "r.json"));
    EXPECT_EQ(j["checks"].at(0)["status"], "failed") << module << "\n" << r.out << r.err;
  }
}

// Under memcheck a decision on memory the module never set fails the check that made it,
// naming the module's function; what memcheck finds in the host and the system libraries
// does not count, so the sound module passes.
TEST(CheckMemcheck, ADecisionOnMemoryNeverSetFailsTheCheck) {
  if (kWindows || kSanitized) GTEST_SKIP() << "Valgrind runs unsanitized POSIX programs only";
  if (hostsim::check::FindValgrind().empty()) GTEST_SKIP() << "valgrind is not installed";
  for (const char* module : {"checkmod_sound", "checkmod_unset"}) {
    Scratch dir;
    const Outcome r =
        Hostsim({"check", Module(module).string(), "--root", CHECK_ROOT, "--memcheck", "--filter",
                 "^setup\\.finite$", "--seed", "1", "--json", (dir / "r.json").string()},
                dir);
    const Json j = Json::parse(ReadText(dir / "r.json"));
    const Json& check = j["checks"].at(0);
    if (std::string(module) == "checkmod_sound") {
      EXPECT_EQ(check["status"], "passed") << r.out << r.err;
    } else {
      EXPECT_EQ(check["status"], "failed") << r.out;
      const std::string reason = check["reason"];
      EXPECT_NE(reason.find("uninitialised"), std::string::npos) << reason;
      EXPECT_NE(reason.find("clbkBeforeStep"), std::string::npos) << reason;
      // Found by memcheck alone: the command that repeats it runs memcheck too.
      EXPECT_NE(r.out.find(" --memcheck --filter '^setup\\.finite$'"), std::string::npos) << r.out;
    }
  }
}

// Numbers in the reports read back as the same double, in as few digits as that takes.
TEST(CheckReport, NumbersAreShownInTheirShortestFormThatReadsBack) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{4.22, "4.22"},
               {0.1, "0.1"},
               {-1.5, "-1.5"},
               {0, "0"},
               {1e300, "1e+300"},
               {5e-324, "5e-324"},
               {1.0 / 3, "0.3333333333333333"}};
  for (const auto& c : cases) {
    EXPECT_EQ(hostsim::check::ReportNumber(c.value), c.text);
    const std::string shown = hostsim::check::ReportNumber(c.value);
    EXPECT_EQ(std::strtod(shown.c_str(), nullptr), c.value) << c.text;
  }
}

#if !defined(_WIN32)
// A signal that stops `check` ends the child check that runs (one that would hang for ten
// minutes here) and removes the children's folder, and the status tells the signal.
TEST(CheckStop, ASignalEndsTheChildAndRemovesItsFolder) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    Scratch dir;
    const fs::path temp = dir / "tmp";
    fs::create_directories(temp);
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TMPDIR", temp.c_str(), 1);
      const std::string module = Module("checkmod_hang").string();
      execl(HOSTSIM_EXE, HOSTSIM_EXE, "check", module.c_str(), "--root", CHECK_ROOT, "--filter",
            "^input\\.buffered_keys$", "--timeout", "600", static_cast<char*>(nullptr));
      _exit(127);
    }
    // The child check, once it runs.
    const fs::path children =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    pid_t child = 0;
    for (int i = 0; i < 6000 && child == 0; ++i) {
      std::istringstream(ReadText(children)) >> child;
      if (child == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(child, 0) << "no child check seen";
    EXPECT_FALSE(fs::is_empty(temp));
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << status;
    const bool childLeft = kill(child, 0) == 0;
    if (childLeft) kill(child, SIGKILL);
    EXPECT_FALSE(childLeft) << "the child check still runs";
    EXPECT_TRUE(fs::is_empty(temp)) << fs::directory_iterator(temp)->path();
  }
}
#endif

TEST(CheckReport, BadArgumentsAreErrorsNamingWhatIsWrong) {
  struct Bad {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const std::string sound = Module("checkmod_sound").string();
  const Bad cases[] = {
      {{"check", sound, "--root", CHECK_ROOT, "--filter", "("}, 2, "not a regular expression"},
      {{"check", sound, "--root", CHECK_ROOT, "--filter", "^nothing$"}, 2, "no check matches"},
      {{"check", sound + ".missing", "--root", CHECK_ROOT}, 1, "no such module library"},
      {{"check", CHECK_ROOT, "--root", CHECK_ROOT}, 1, ": a folder, not a module library"},
      {{"check", sound, "--root", CHECK_ROOT, "--json", "r", "--junit", "./r"},
       1,
       "./r: cannot write the JUnit results: it is where the JSON results go (--json)"},
      {{"check", sound, "--root", CHECK_ROOT, "--class", "checkmod_leak"},
       1,
       "is not of module checkmod_sound"},
      {{"check", sound, "--root", CHECK_ROOT, "--class", "nosuchclass"}, 1, "no configuration"},
      {{"check", Module("lumipod").string(), "--root", CHECK_ROOT}, 1, "names module lumipod"},
      {{"check", "--root", CHECK_ROOT}, 2, "give the module library"},
  };
  for (const Bad& b : cases) {
    Scratch dir;
    const Outcome r = Hostsim(b.args, dir);
    EXPECT_EQ(ExitCode(r), b.status) << b.message << "\n" << r.err;
    EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
  }
}

}  // namespace
