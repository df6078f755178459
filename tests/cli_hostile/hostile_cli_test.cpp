// Hostile input to the hostsim program: missing files, folders, binary garbage, megabyte
// lines, unknown keys and classes and zero bytes, in scenario files, class configurations and
// session scripts. Each run that fails must fail alone: exit status 1, one error line that
// names the file and, where there is one, the line, nothing raw of the input on the terminal,
// and no file written (nor a temporary one left) by saves the run did not reach or could not
// finish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/world_fixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Given as RunHostsim's `stdoutTo`: the program starts with its standard output closed.
const char* const kClosed = "";

// Runs hostsim with `args` in `dir`, its output to files there (standard output to `stdoutTo`
// instead when given; with `fileSizeLimit`, no file it writes may grow beyond that).
Result RunHostsim(const fs::path& dir, const std::vector<std::string>& args,
                  const char* stdoutTo = nullptr, rlim_t fileSizeLimit = 0) {
  std::vector<std::string> argv = {HOSTSIM_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const fs::path out = dir / ".stdout", err = dir / ".stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdoutTo == kClosed)
    posix_spawn_file_actions_addclose(&actions, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, stdoutTo ? stdoutTo : out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The program's relative paths start in `dir`.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  pid_t pid = 0;
  // The child inherits the limit; this process has its own back before it writes again.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  if (fileSizeLimit != 0) {
    const rlimit limited{fileSizeLimit, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  const int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  setrlimit(RLIMIT_FSIZE, &before);
  fs::current_path(cwd);
  posix_spawn_file_actions_destroy(&actions);
  Result r;
  if (rc != 0) return r;
  int ws = 0;
  waitpid(pid, &ws, 0);
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
  r.out = Slurp(out);
  r.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

// Every file under `dir` (relative), the captured output files aside.
std::vector<std::string> FilesUnder(const fs::path& dir) {
  std::vector<std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

// A deterministic run of random bytes, NUL bytes among them.
std::string Garbage(std::size_t n, unsigned seed, bool withNul) {
  std::mt19937 rng(seed);
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    char c = static_cast<char>(rng() & 0xFF);
    if (!withNul && c == '\0') c = '\x01';
    s += c;
  }
  if (withNul) s[n / 2] = '\0';
  return s;
}

struct Case {
  const char* name;
  // Files to write into the run's folder: name, then contents.
  std::vector<std::pair<std::string, std::string>> files = {};
  std::vector<std::string> args;
  // The one error line must match this (after "^", before "\n$").
  std::string error;
  // A run gets --out (saves go under it) unless this is false.
  bool outFolder = true;
  // Files of this many bytes (zeros, made without writing them) to put there as well.
  std::vector<std::pair<std::string, std::uintmax_t>> sized = {};
  // The exit status: 2 for a usage error, whose message has a second line pointing to --help.
  int status = 1;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class HostileCli : public ::testing::TestWithParam<Case> {};

TEST_P(HostileCli, OneErrorLineWithFileAndLineAndNoPartialOutput) {
  const Case& c = GetParam();
  testsupport::TempDir dir;
  for (const auto& [name, text] : c.files) dir.Write(name, text);
  for (const auto& [name, size] : c.sized) fs::resize_file(dir.Write(name, ""), size);
  fs::create_directories(dir.path() / "root" / "meshes");
  fs::create_directories(dir.path() / "folder.scn");
  std::vector<std::string> args = c.args;
  const fs::path out = dir.path() / "out";
  if (!args.empty() && args[0] == "run" && c.outFolder) {
    args.push_back("--out");
    args.push_back(out.string());
  }

  Result r = RunHostsim(dir.path(), args);
  EXPECT_EQ(r.status, c.status) << r.err;
  const std::string help = "Run 'hostsim --help' for usage.\n";
  if (c.status == 2 && r.err.ends_with(help)) r.err.resize(r.err.size() - help.size());
  // One line, and nothing of the input raw: no control character but its line break.
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err.substr(0, 2000);
  for (char ch : r.err.substr(0, r.err.size() - 1))
    ASSERT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << r.err.substr(0, 2000);
  EXPECT_LT(r.err.size(), 1024u) << r.err.substr(0, 2000);
  EXPECT_TRUE(std::regex_search(r.err, std::regex("^" + c.error + "\n$")))
      << "error line: " << r.err.substr(0, 2000) << "expected: " << c.error;
  // The scripts save after their failing line: nothing may have been written.
  EXPECT_EQ(FilesUnder(out), std::vector<std::string>{});
  for (const auto& f : FilesUnder(dir.path()))
    EXPECT_EQ(f.find(".tmp"), std::string::npos) << "left behind: " << f;
}

const std::string kMeg(1 << 20, 'x');
constexpr std::uintmax_t kMiB = std::uintmax_t{1} << 20;

// A session that runs `first`, then saves; the save must never happen.
std::string ThenSave(const std::string& first) { return first + "\nsave saved.scn\n"; }

std::vector<Case> Cases() {
  const std::string S = "s\\.session";
  return {
      // --- session scripts ---
      {"SessionMissing",
       {},
       {"run", "missing.session"},
       "missing\\.session: cannot read the session script: No such file or directory"},
      {"SessionIsAFolder",
       {{"dir.session/x", ""}},
       {"run", "dir.session"},
       "dir\\.session: cannot read the session script: Is a directory"},
      {"SessionGarbageWithNul",
       {{"s.session", Garbage(4096, 1, true)}},
       {"run", "s.session"},
       S + ":[0-9]+: [^\n]+"},
      {"SessionGarbage",
       {{"s.session", Garbage(4096, 2, false)}},
       {"run", "s.session"},
       S + ":[0-9]+: unknown command [^\n]+"},
      {"SessionMegabyteLine",
       {{"s.session", kMeg + "\nsave saved.scn\n"}},
       {"run", "s.session"},
       S + ":1: unknown command \"xxx[^\n]*\\(cut, [0-9]+ bytes in all\\)"},
      {"SessionMegabyteType",
       {{"s.session", "type " + kMeg + "\nsave saved.scn\n"}},
       {"run", "s.session"},
       S + ":1: type: no input box is open"},
      {"SessionNulByte",
       {{"s.session", ThenSave(std::string("step\0", 5))}},
       {"run", "s.session"},
       S + ":1: line holds a zero byte"},
      {"SessionNulInFileName",
       {{"s.session", ThenSave(std::string("load demo\0.scn", 14))},
        {"demo", "VESSEL A tug\nEND\n"}},
       {"run", "s.session"},
       S + ":1: line holds a zero byte"},
      {"SessionUnknownCommand",
       {{"s.session", ThenSave("\x1b[2Jfly away")}},
       {"run", "s.session"},
       S + ":1: unknown command \"\\\\x1B\\[2Jfly\" [^\n]+"},
      // --- scenarios, loaded by a session ---
      {"ScenarioMissing",
       {{"s.session", ThenSave("load missing.scn")}},
       {"run", "s.session"},
       S + ":1: [^\n]*missing\\.scn: cannot read scenario: No such file or directory"},
      {"ScenarioIsAFolder",
       {{"s.session", ThenSave("load folder.scn")}},
       {"run", "s.session"},
       S + ":1: [^\n]*folder\\.scn: cannot read scenario: Is a directory"},
      {"ScenarioGarbageWithNul",
       {{"s.session", ThenSave("load g.scn")}, {"g.scn", Garbage(4096, 3, true)}},
       {"run", "s.session"},
       S + ":1: [^\n]*g\\.scn:[0-9]+: line holds a [^\n]+"},
      {"ScenarioGarbage",
       {{"s.session", ThenSave("load g.scn")}, {"g.scn", Garbage(4096, 4, false)}},
       {"run", "s.session"},
       S + ":1: [^\n]*g\\.scn:[0-9]+: line holds a control character[^\n]*"},
      {"ScenarioMegabyteLine",
       {{"s.session", ThenSave("load big.scn")},
        {"big.scn", "VESSEL A tug\n  POS " + std::string(1 << 20, '1') + " 2\nEND\n"}},
       {"run", "s.session"},
       S + ":1: [^\n]*big\\.scn:2: POS needs three numbers, got \"111[^\n]*\\(cut, [0-9]+ bytes in "
           "all\\)"},
      {"ScenarioUnknownClass",
       {{"s.session", ThenSave("load u.scn")}, {"u.scn", "TITLE t\nVESSEL A nosuchclass\nEND\n"}},
       {"run", "s.session"},
       S + ":1: [^\n]*u\\.scn:2: unknown vessel class \"nosuchclass\"[^\n]*"},
      {"ScenarioUnknownClassSuggestsARoot",
       {{"s.session", ThenSave("load m.scn")}, {"m.scn", "TITLE t\nVESSEL A mast\nEND\n"}},
       {"run", "s.session"},
       S + ":1: [^\n]*m\\.scn:2: unknown vessel class \"mast\" \\(no [^\n]*mast\\.cfg; give a "
           "--root whose config/ has it\\)"},
      {"ScenarioNulByte",
       {{"s.session", ThenSave("load n.scn")},
        {"n.scn", std::string("VESSEL A tug\n  X\0Y\nEND\n", 20)}},
       {"run", "s.session"},
       S + ":1: [^\n]*n\\.scn:2: line holds a zero byte"},
      // --- scenarios, inspected ---
      {"InspectGarbage",
       {{"g.scn", Garbage(4096, 5, false)}},
       {"inspect", "g.scn"},
       "g\\.scn:[0-9]+: line holds a control character[^\n]*"},
      {"InspectFolder",
       {},
       {"inspect", "folder.scn"},
       "folder\\.scn: cannot read scenario: Is a directory"},
      {"InspectNotAScenario",
       {{"README.md", "# lumipod\n\n`lumipod` is a vessel module.\n\n## Quick start\n"}},
       {"inspect", "README.md"},
       "README\\.md:3: not a scenario: a scenario begins with TITLE, TIME, FOCUS or VESSEL, "
       "not \"`lumipod`\""},
      {"InspectLampOnAPointTheTugHasNot",
       {{"a.scn", "TITLE t\nVESSEL Tug tug\nEND\nVESSEL L lumipod\n  ATTACHED Tug 4 GS\nEND\n"}},
       {"inspect", "a.scn"},
       "a\\.scn:5: cannot hang \"L\": \"Tug\" has no child point 4 \\(its points are 0 to "
       "3\\)"},
      {"InspectUnknownClassSuggestsARoot",
       {{"m.scn", "TITLE t\nVESSEL A mast\nEND\n"}},
       {"inspect", "m.scn"},
       "m\\.scn:2: unknown vessel class \"mast\" \\(no [^\n]*mast\\.cfg; give a --root whose "
       "config/ has it\\)"},
      {"InspectUnknownClass",
       {{"u.scn", "VESSEL A b/../../x\nEND\n"}},
       {"inspect", "u.scn"},
       "u\\.scn:1: a class name is a name, not a path: \"b/\\.\\./\\.\\./x\""},
      // --- class configurations, through a root folder ---
      {"ConfigGarbage",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", Garbage(2048, 6, false)}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"junk\": [^\n]*junk\\.cfg:[0-9]+: [^\n]+"},
      {"ConfigNulByte",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", std::string("Size = 1\nMass = \0\n", 18)}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"junk\": [^\n]*junk\\.cfg:2: configuration line holds a "
           "zero byte"},
      {"ConfigMegabyteLine",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", "Size = 1\n" + kMeg + "\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"junk\": [^\n]*junk\\.cfg:2: expected 'key = "
           "value'[^\n]*\\(cut, [0-9]+ bytes in all\\)"},
      {"ConfigUnknownModule",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", "Module = nosuchmodule\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"junk\": [^\n]*nosuchmodule[^\n]*"},
      {"ConfigBadNumber",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", "Unknown = key\nSize = big\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: [^\n]*junk\\.cfg:2: Size must be one number[^\n]*"},
      {"ConfigBinaryBytes",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A junk\nEND\n"},
        {"root/config/junk.cfg", "Size = 1\n\xff\xfe\x80\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*junk\\.cfg:2: expected 'key = value', got \"\\\\xFF\\\\xFE\\\\x80\""},
      // --- files over the size read of their kind, and files that never end ---
      {"SessionTooLarge",
       {},
       {"run", "s.session"},
       "s\\.session: cannot read the session script: larger than 16 MiB, the most that is "
       "read from such a file",
       true,
       {{"s.session", 16 * kMiB + 1}}},
      {"ScenarioTooLarge",
       {{"s.session", ThenSave("load big.scn")}},
       {"run", "s.session"},
       S + ":1: [^\n]*big\\.scn: cannot read scenario: larger than 64 MiB[^\n]*",
       true,
       {{"big.scn", 64 * kMiB + 1}}},
      {"ConfigTooLarge",
       {{"s.session", ThenSave("load c.scn")}, {"c.scn", "VESSEL A big\nEND\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"big\": [^\n]*big\\.cfg: cannot read class "
           "configuration: larger than 4 MiB[^\n]*",
       true,
       {{"root/config/big.cfg", 4 * kMiB + 1}}},
      {"MeshTooLarge",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A hull\nEND\n"},
        {"root/config/hull.cfg", "Mesh = big\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*c\\.scn:1: class \"hull\": [^\n]*hull\\.cfg:1: cannot load mesh "
           "\"big\": [^\n]*big\\.obj: cannot read mesh: larger than 64 MiB[^\n]*",
       true,
       {{"root/meshes/big.obj", 64 * kMiB + 1}}},
      {"MaterialsTooLarge",
       {{"s.session", ThenSave("load c.scn")},
        {"c.scn", "VESSEL A hull\nEND\n"},
        {"root/config/hull.cfg", "Mesh = m\n"},
        {"root/meshes/m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"}},
       {"run", "s.session", "--root", "root"},
       S + ":1: [^\n]*hull\\.cfg:1: cannot load mesh \"m\": [^\n]*m\\.mtl: cannot read "
           "materials: larger than 64 MiB[^\n]*",
       true,
       {{"root/meshes/m.mtl", 64 * kMiB + 1}}},
      {"InspectEndlessDevice",
       {},
       {"inspect", "/dev/zero"},
       "/dev/zero: cannot read scenario: not a regular file but a character device"},
      {"SessionFromAnEndlessDevice",
       {},
       {"run", "/dev/zero"},
       "/dev/zero: cannot read the session script: not a regular file but a character device"},
      // --- saves that cannot be made ---
      {"SaveUnderAFile",
       {{"s.session", "load demo.scn\nsave afile/x.scn\n"},
        {"afile", "not a folder"},
        {"demo.scn", "VESSEL A tug\nEND\n"}},
       {"run", "s.session"},
       S + ":2: [^\n]+",
       false},
      // --- numbers on the command line: a usage error naming the option and the value ---
      {.name = "TimeoutHuge",
       .args = {"run", "s.session", "--timeout", "1e300"},
       .error = "hostsim: --timeout: \"1e300\" is not a number of seconds [^\n]+",
       .status = 2},
      {.name = "TimeoutNotANumber",
       .args = {"inspect", "a.scn", "--timeout", "nan"},
       .error = "hostsim: --timeout: \"nan\" is not a number of seconds [^\n]+",
       .status = 2},
      {.name = "SeedNegative",
       .args = {"check", "m.so", "--seed", "-1"},
       .error = "hostsim: --seed: \"-1\" is not a whole number from 0 to 18446744073709551615",
       .status = 2},
      // --- new: names the project cannot use, and folders it may not write into ---
      {.name = "NewNameNotAnIdentifier",
       .args = {"new", "wind-sock"},
       .error = "hostsim: NAME: \"wind-sock\" is not a C identifier [^\n]+",
       .status = 2},
      {.name = "NewNameTooLong",
       .args = {"new", std::string(41, 'a')},
       .error = "hostsim: NAME: \"a+\" is longer than 40 characters",
       .status = 2},
      {.name = "NewNameCMakeKeeps",
       .args = {"new", "Test"},
       .error = "hostsim: NAME: \"Test\" is a name CMake keeps for itself",
       .status = 2},
      {.name = "NewNameWindowsDevice",
       .args = {"new", "lpt1"},
       .error = "hostsim: NAME: \"lpt1\" is a device name on Windows, not a file name",
       .status = 2},
      {.name = "NewNameHostClass",
       .args = {"new", "point_light"},
       .error = "hostsim: NAME: \"point_light\" gives the class name PointLight, [^\n]+",
       .status = 2},
      {.name = "NewIntoAFolderWithFiles",
       .files = {{"taken/keep.txt", "mine"}},
       .args = {"new", "windsock", "taken"},
       .error =
           "taken: cannot write the project: the folder is not empty \\(nothing was changed\\)"},
      {.name = "NewOverAFile",
       .files = {{"windsock", "mine"}},
       .args = {"new", "windsock"},
       .error = "windsock: cannot write the project: it exists and is not a folder"},
  };
}

INSTANTIATE_TEST_SUITE_P(Cli, HostileCli, ::testing::ValuesIn(Cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Hostile but harmless: unknown keys are kept or ignored, megabyte texts go where they belong,
// and the run succeeds.
TEST(HostileCliAccepted, UnknownKeysAndHugeTextsRunThrough) {
  testsupport::TempDir dir;
  dir.Write("k.scn", "TITLE " + kMeg + "\nWHATEVER 1 2 3\nVESSEL L lumipod\n  SPT 1 " +
                         std::string(1 << 20, '5') + " 0.3\n  ZZZ " + kMeg + "\nEND\n");
  dir.Write("k.session", "load k.scn\nhud 800 600\nsave saved.scn\n");
  const fs::path out = dir.path() / "out";
  const Result r = RunHostsim(dir.path(), {"run", "k.session", "--out", out.string()});
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(FilesUnder(out), std::vector<std::string>{"saved.scn"});
  const std::string saved = Slurp(out / "saved.scn");
  EXPECT_NE(saved.find("WHATEVER 1 2 3"), std::string::npos);
  EXPECT_NE(saved.find("  ZZZ " + kMeg + "\n"), std::string::npos);
  // The lamp's range of a million digits is beyond double: it does not convert, and the line
  // stops there (range and spread keep their defaults).
  EXPECT_NE(saved.find("  SPT 1 300.0000 0.3491\n"), std::string::npos);
}

// A load that keeps a line it does not know says so: `run` in its transcript, `inspect` on the
// standard error, apart from the JSON it prints.
TEST(HostileCliAccepted, InspectWarnsOfLinesKeptUnknown) {
  testsupport::TempDir dir;
  dir.Write("w.scn", "TITLE w\nWHATEVER 1 2 3\nVESSEL L lumipod\nEND\n");
  const Result r = RunHostsim(dir.path(), {"inspect", "w.scn"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 1), "[") << r.out;
  EXPECT_EQ(r.out.find("WHATEVER"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("w.scn:2: unknown line kept"), std::string::npos) << r.err;
}

// A chain of blocks each hanging on the one before, 2 m above it, deeper than a view could
// show if each vessel's pose were a walk to the root (time growing with the square of the
// depth): inspect and render pose the chain in one walk. The tests' time limit is the guard.
TEST(HostileCliAccepted, ADeepChainIsInspectedAndRendered) {
  testsupport::TempDir dir;
  dir.Write("root/config/block.cfg",
            "Attachment = P 0 -1 0  0 -1 0  0 0 1 TOP\nAttachment = C 0 1 0  0 1 0  0 0 1 SLOT\n");
  std::string text = "VESSEL V0 block\nEND\n";
  for (int i = 1; i < 20000; ++i)
    text += "VESSEL V" + std::to_string(i) + " block\n  ATTACHED V" + std::to_string(i - 1) +
            " 0 TOP\nEND\n";
  dir.Write("chain.scn", text);
  const Result r = RunHostsim(dir.path(), {"inspect", "chain.scn", "--root", "root"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.rfind("\"position\": [0.0, 39998.0, 0.0]"), std::string::npos);
#if defined(HOSTSIM_HAVE_RENDER)
  EXPECT_EQ(RunHostsim(dir.path(), {"render", "chain.scn", "c.png", "--root", "root"}).status, 0);
#endif
}

// A byte-order mark, which some editors write at the start of a text file, is skipped in every
// text file the host reads: the script, the scenario, the class configuration, the mesh and
// its materials.
TEST(HostileCliAccepted, ByteOrderMarksAreSkippedInEveryTextFile) {
  const std::string bom = "\xEF\xBB\xBF";
  testsupport::TempDir dir;
  dir.Write("root/config/box.cfg", bom + "Mesh = m\nSize = 2\n");
  dir.Write("root/meshes/m.obj",
            bom + "mtllib m.mtl\nusemtl red\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.Write("root/meshes/m.mtl", bom + "newmtl red\nKd 1 0 0\n");
  dir.Write("b.scn", bom + "VESSEL B box\nEND\n");
  dir.Write("s.session", bom + "load b.scn\ninspect B\n");
  const Result r = RunHostsim(dir.path(), {"run", "s.session", "--root", "root"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\"size\": 2.0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"name\": \"red\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"material\": 0"), std::string::npos) << r.out;
}

// --- what hostsim writes over, and where ---

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

struct TargetCase {
  const char* name;
  // Makes the run's folder ready (the target among it); false when this system cannot.
  std::function<bool(const fs::path& dir)> make;
  std::vector<std::string> args;
  // The one error line (a regular expression); empty when the run must succeed.
  std::string error;
  // Checks what the run left in the folder.
  std::function<void(const fs::path& dir)> check;
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class HostileTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(HostileTargets, NothingButRegularFilesThatAreNoInputIsReplaced) {
  const TargetCase& c = GetParam();
  testsupport::TempDir dir;
  dir.Write("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n");
  if (!c.make(dir.path())) GTEST_SKIP() << "this system cannot make the target";
  const Result r = RunHostsim(dir.path(), c.args);
  if (c.error.empty()) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex("^" + c.error + "\n$")))
        << "error line: " << r.err << "expected: " << c.error;
  }
  c.check(dir.path());
  for (const auto& f : FilesUnder(dir.path()))
    EXPECT_EQ(f.find(".tmp"), std::string::npos) << "left behind: " << f;
}

bool MakeFifo(const fs::path& p) { return ::mkfifo(p.c_str(), 0644) == 0; }

// Writes `text` to `name` in `dir`, making its folders.
void Put(const fs::path& dir, const std::string& name, const std::string& text) {
  fs::create_directories((dir / name).parent_path());
  std::ofstream(dir / name, std::ios::binary) << text;
}

std::vector<TargetCase> TargetCases() {
  const std::string S = "s\\.session:2: [^\n]*";
  const auto script = [](const fs::path& dir, const std::string& target) {
    Put(dir, "s.session", "load demo.scn\nsave " + target + "\n");
  };
  const auto unchanged = [](const char* name, const char* text) {
    return
        [name, text](const fs::path& dir) { EXPECT_EQ(testsupport::ReadFile(dir / name), text); };
  };
  std::vector<TargetCase> cases = {
      {"SaveOverAFifo",
       [&](const fs::path& dir) {
         script(dir, "fifo");
         return MakeFifo(dir / "fifo");
       },
       {"run", "s.session"},
       S + "fifo: cannot save scenario: not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo")); }},
      {"SaveOverADeviceNode",
       [&](const fs::path& dir) {
         script(dir, "device");
         // The null device's numbers; only a privileged process may make one.
         return ::mknod((dir / "device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       },
       {"run", "s.session"},
       S + "device: cannot save scenario: not a regular file but a character device",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_character_file(dir / "device")); }},
      {"SaveOverAReadOnlyFile",
       [&](const fs::path& dir) {
         script(dir, "ro.scn");
         Put(dir, "ro.scn", "keep\n");
         return ::chmod((dir / "ro.scn").c_str(), 0444) == 0;
       },
       {"run", "s.session"},
       S + "ro\\.scn: cannot save scenario: the file is read-only",
       unchanged("ro.scn", "keep\n")},
      {"SaveKeepsTheMode",
       [&](const fs::path& dir) {
         script(dir, "private.scn");
         Put(dir, "private.scn", "old\n");
         return ::chmod((dir / "private.scn").c_str(), 0600) == 0;
       },
       {"run", "s.session"},
       "",
       [](const fs::path& dir) {
         EXPECT_EQ(ModeOf(dir / "private.scn"), 0600u);
         EXPECT_NE(testsupport::ReadFile(dir / "private.scn").find("VESSEL A tug"),
                   std::string::npos);
       }},
      {"SaveThroughALink",
       [&](const fs::path& dir) {
         script(dir, "link.scn");
         Put(dir, "real/target.scn", "old\n");
         fs::create_symlink("real/target.scn", dir / "link.scn");
         return true;
       },
       {"run", "s.session"},
       "",
       [](const fs::path& dir) {
         EXPECT_TRUE(fs::is_symlink(dir / "link.scn"));
         EXPECT_NE(testsupport::ReadFile(dir / "real" / "target.scn").find("VESSEL A tug"),
                   std::string::npos);
       }},
      {"SaveIntoAMissingFolder",
       [&](const fs::path& dir) {
         script(dir, "new/deeper/x.scn");
         return true;
       },
       {"run", "s.session"},
       S + "new/deeper/x\\.scn: cannot save scenario: cannot create a file in [^\n]*new/deeper: "
           "No such file or directory",
       [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "new")); }},
      {"SaveIntoAMissingFolderUnderOut",
       [&](const fs::path& dir) {
         script(dir, "new/deeper/x.scn");
         return true;
       },
       {"run", "s.session", "--out", "out"},
       "",
       [](const fs::path& dir) {
         EXPECT_TRUE(fs::exists(dir / "out" / "new" / "deeper" / "x.scn"));
       }},
      {"SaveIntoAReadOnlyFolder",
       [&](const fs::path& dir) {
         script(dir, "rodir/x.scn");
         fs::create_directory(dir / "rodir");
         // A privileged process writes into any folder: nothing to see then.
         return ::chmod((dir / "rodir").c_str(), 0555) == 0 && ::geteuid() != 0;
       },
       {"run", "s.session"},
       S + "rodir/x\\.scn: cannot save scenario: cannot create a file in [^\n]*rodir: Permission "
           "denied",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_empty(dir / "rodir")); }},
      {"ClassConfigurationIsAFifo",  // read, it would wait for a writer for ever
       [&](const fs::path& dir) {
         Put(dir, "c.scn", "VESSEL A junk\nEND\n");
         fs::create_directories(dir / "root" / "config");
         return MakeFifo(dir / "root" / "config" / "junk.cfg");
       },
       {"inspect", "c.scn", "--root", "root"},
       "c\\.scn:1: class \"junk\": root/config/junk\\.cfg: cannot read class configuration: "
       "not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "root" / "config" / "junk.cfg")); }},
      // A scenario, a session script or a recording that is a FIFO is refused at once, not
      // waited on for a writer.
      {"ScenarioIsAFifo",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load fifo.scn\n");
         return MakeFifo(dir / "fifo.scn");
       },
       {"run", "s.session"},
       "s\\.session:1: [^\n]*fifo\\.scn: cannot read scenario: not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo.scn")); }},
      {"SessionIsAFifo",
       [&](const fs::path& dir) { return MakeFifo(dir / "fifo"); },
       {"run", "fifo"},
       "fifo: cannot read the session script: not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo")); }},
      {"InspectedScenarioIsAFifo",
       [&](const fs::path& dir) { return MakeFifo(dir / "fifo.scn"); },
       {"inspect", "fifo.scn"},
       "fifo\\.scn: cannot read scenario: not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo.scn")); }},
      {"TraceOverAFifo",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         return MakeFifo(dir / "fifo");
       },
       {"run", "s.session", "--trace", "fifo"},
       "fifo: cannot write the trace: not a regular file but a FIFO",
       [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo")); }},
      {"TraceIntoAMissingFolder",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         return true;
       },
       {"run", "s.session", "--trace", "nosuch/t.trace"},
       "nosuch/t\\.trace: cannot write the trace: cannot create a file in nosuch: No such file or "
       "directory",
       [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "nosuch")); }},
      // --- outputs that are the run's inputs, however they are spelled ---
      {"TraceOverTheScript",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         return true;
       },
       {"run", "s.session", "--trace", "./s.session"},
       "\\./s\\.session: cannot write the trace: it is an input of this run: the session script",
       unchanged("s.session", "load demo.scn\n")},
      {"TraceOverTheScriptThroughALink",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         fs::create_symlink("s.session", dir / "alias");
         return true;
       },
       {"run", "s.session", "--trace", "alias"},
       "alias: cannot write the trace: it is an input of this run: the session script",
       unchanged("s.session", "load demo.scn\n")},
      {"TraceOverALoadedScenario",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         return true;
       },
       {"run", "s.session", "--trace", "demo.scn"},
       "demo\\.scn: cannot write the trace: it is an input of this run: a scenario it loaded",
       unchanged("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n")},
      {"TraceIntoTheConfigFolder",
       [&](const fs::path& dir) {
         Put(dir, "s.session", "load demo.scn\n");
         Put(dir, "root/config/tug.cfg", "Size = 1\n");
         fs::create_directories(dir / "root" / "meshes");
         return true;
       },
       {"run", "s.session", "--root", "root", "--trace", "root/config/tug.cfg"},
       "root/config/tug\\.cfg: cannot write the trace: it is in the config folder, an input of "
       "this run",
       unchanged("root/config/tug.cfg", "Size = 1\n")},
      {"SaveUnderOutOverALoadedScenario",
       [&](const fs::path& dir) {
         script(dir, "demo.scn");
         return true;
       },
       {"run", "s.session", "--out", "."},
       S + "demo\\.scn: cannot save scenario: it is an input of this run: a scenario it loaded",
       unchanged("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n")},
      {"SaveOverTheScript",
       [&](const fs::path& dir) {
         script(dir, "s.session");
         return true;
       },
       {"run", "s.session"},
       S + "s\\.session: cannot save scenario: it is an input of this run: the session script",
       unchanged("s.session", "load demo.scn\nsave s.session\n")},
      {"SaveBesideTheScriptOverAMeshOfTheRoot",
       [&](const fs::path& dir) {
         script(dir, "root/meshes/tug.obj");
         Put(dir, "root/config/tug.cfg", "Size = 1\n");
         Put(dir, "root/meshes/tug.obj", "v 0 0 0\n");
         return true;
       },
       {"run", "s.session", "--root", "root"},
       S + "root/meshes/tug\\.obj: cannot save scenario: it is in the meshes folder, an input of "
           "this run",
       unchanged("root/meshes/tug.obj", "v 0 0 0\n")},
      {"CheckResultsOverTheModule",
       [](const fs::path& dir) {
         fs::create_directories(dir / "m");
         fs::copy_file(fs::path(LUMIPOD_MODULE_DIR) / "checkmod_sound.so",
                       dir / "m" / "checkmod_sound.so");
         return true;
       },
       {"check", "m/checkmod_sound.so", "--root",
        std::string(LUMIPOD_SOURCE_DIR) + "/tests/testmods/checkroot", "--json",
        "m/checkmod_sound.so"},
       "hostsim check: m/checkmod_sound\\.so: cannot write the JSON results: it is an input of "
       "this run: the module library",
       [](const fs::path& dir) {
         EXPECT_EQ(testsupport::ReadFile(dir / "m" / "checkmod_sound.so"),
                   testsupport::ReadFile(fs::path(LUMIPOD_MODULE_DIR) / "checkmod_sound.so"));
       }},
      {"SaveBesideTheScriptOverTheScenarioItLoaded",
       [&](const fs::path& dir) {
         script(dir, "demo.scn");
         return true;
       },
       {"run", "s.session"},
       "",
       [](const fs::path& dir) {
         EXPECT_NE(testsupport::ReadFile(dir / "demo.scn").find("TIME 0"), std::string::npos);
       }},
  };
#if defined(HOSTSIM_HAVE_RENDER)
  cases.push_back({"RenderOverAFifo",
                   [](const fs::path& dir) { return MakeFifo(dir / "fifo"); },
                   {"render", "demo.scn", "fifo", "--size", "8x8"},
                   "fifo: cannot write the picture: not a regular file but a FIFO",
                   [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "fifo")); }});
  cases.push_back({"RenderOverTheScenario",
                   [](const fs::path&) { return true; },
                   {"render", "demo.scn", "./demo.scn", "--size", "8x8"},
                   "\\./demo\\.scn: cannot write the picture: it is an input of this run: the "
                   "scenario",
                   unchanged("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n")});
  cases.push_back({"SessionRenderOverALoadedScenario",
                   [](const fs::path& dir) {
                     Put(dir, "s.session", "load demo.scn\nrender demo.scn 8 8\n");
                     return true;
                   },
                   {"run", "s.session"},
                   S + "demo\\.scn: cannot write the picture: it is an input of this run: a "
                       "scenario it loaded",
                   unchanged("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n")});
  cases.push_back({"RenderIntoAMissingFolder",
                   [](const fs::path&) { return true; },
                   {"render", "demo.scn", "nosuch/x.png", "--size", "8x8"},
                   "nosuch/x\\.png: cannot write the picture: cannot create a file in nosuch: No "
                   "such file or directory",
                   [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "nosuch")); }});
  const auto rootWithTug = [](const fs::path& dir) {
    Put(dir, "root/config/tug.cfg", "Size = 1\n");
    fs::create_directories(dir / "root" / "meshes");
    return true;
  };
  cases.push_back({"RenderOverAClassConfiguration",
                   rootWithTug,
                   {"render", "demo.scn", "root/config/tug.cfg", "--root", "root", "--size", "8x8"},
                   "root/config/tug\\.cfg: cannot write the picture: it is an input of this run: "
                   "the class configuration root/config/tug\\.cfg",
                   unchanged("root/config/tug.cfg", "Size = 1\n")});
  // A recording that could not be kept is refused before the window opens.
  cases.push_back({"RecordOverAClassConfiguration",
                   rootWithTug,
                   {"play", "demo.scn", "--root", "root", "--record", "root/config/tug.cfg"},
                   "root/config/tug\\.cfg: cannot write the recording: it is an input of this "
                   "run: the class configuration root/config/tug\\.cfg",
                   unchanged("root/config/tug.cfg", "Size = 1\n")});
  cases.push_back({"RecordOverTheScenario",
                   [](const fs::path&) { return true; },
                   {"play", "demo.scn", "--record", "./demo.scn"},
                   "\\./demo\\.scn: cannot write the recording: it is an input of this run: the "
                   "scenario",
                   unchanged("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n")});
  cases.push_back({"SaveOverTheRecording",
                   [](const fs::path&) { return true; },
                   {"play", "demo.scn", "--record", "r.txt", "--save", "./r.txt"},
                   "\\./r\\.txt: cannot save to it \\(--save\\): it is an output of this run: "
                   "the recording",
                   [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "r.txt")); }});
  cases.push_back({"RecordIntoAMissingFolder",
                   [](const fs::path&) { return true; },
                   {"play", "demo.scn", "--record", "nosuch/r.txt"},
                   "nosuch/r\\.txt: cannot write the recording: cannot create a file in nosuch: "
                   "No such file or directory",
                   [](const fs::path& dir) { EXPECT_FALSE(fs::exists(dir / "nosuch")); }});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cli, HostileTargets, ::testing::ValuesIn(TargetCases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// --- the standard output ---

// Output that does not reach its reader is a failure: a full device, a file-size limit.
TEST(HostileCliOutput, AFailedWriteOfTheStandardOutputIsAnError) {
  testsupport::TempDir dir;
  dir.Write("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n");
  dir.Write("s.session", "load demo.scn\nstep 3\ninspect A\n");
  const std::string full = "standard output: cannot write: No space left on device\n";
  if (fs::is_character_file("/dev/full")) {
    using Args = std::vector<std::string>;
    // A check's run does much else after the write failed: the reason is still the write's.
    const Args check{"check",    std::string(LUMIPOD_MODULE_DIR) + "/checkmod_sound.so",
                     "--root",   std::string(LUMIPOD_SOURCE_DIR) + "/tests/testmods/checkroot",
                     "--filter", "library.load_unload"};
    for (const Args& args : {Args{"inspect", "demo.scn"}, Args{"run", "s.session"}, Args{"--help"},
                             Args{"--version"}, Args{"check", "--list"}, check}) {
      const Result r = RunHostsim(dir.path(), args, "/dev/full");
      EXPECT_EQ(r.status, 1) << args[0];
      EXPECT_EQ(r.err, full) << args[0];
    }
  }
  // A scenario without modules: under the limit no command could copy a module's library.
  const std::string out = (dir.path() / "out.json").string();
  const Result r = RunHostsim(dir.path(), {"inspect", "demo.scn"}, out.c_str(), 4096);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "standard output: cannot write: File too large\n");
  EXPECT_LE(fs::file_size(out), 4096u);
}

// A closed standard output is held by the null device: the trace, the first file the run
// opens, does not take its place, and the transcript that could not be written fails the run.
TEST(HostileCliOutput, AClosedStandardOutputGetsNothingIntoTheTrace) {
  testsupport::TempDir dir;
  dir.Write("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n");
  dir.Write("s.session", "load demo.scn\nstep 3\ninspect A\n");
  const Result r = RunHostsim(dir.path(), {"run", "s.session", "--trace", "t.trace"}, kClosed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "standard output: cannot write: Bad file descriptor\n");
  // The run ends at the transcript's first line, which could not be written.
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "t.trace"), "# s.session:1: load demo.scn\n");
}

// The environment a test's runs of hostsim start with, for as long as it lives.
class ChildEnvironment {
 public:
  ChildEnvironment& Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
    return *this;
  }
  ~ChildEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A signal that arrives while a scenario is being read stops the run as it would anywhere else,
// with 128 + its number and the report, not as a read that failed; nothing is saved after it.
TEST(HostileCliStop, ASignalDuringAReadEndsTheRunWith128PlusItsNumber) {
  const std::pair<int, const char*> signals[] = {
      {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
  for (const auto& [sig, name] : signals) {
    SCOPED_TRACE(name);
    testsupport::TempDir dir;
    dir.Write("demo.scn", "TITLE demo\nVESSEL A tug\nEND\n");
    dir.Write("s.session", "load demo.scn\nstep 3\nsave saved.scn\n");
    const char* asan = std::getenv("ASAN_OPTIONS");
    ChildEnvironment env;
    // The preloaded library comes before a sanitizer's runtime, which then must not refuse it.
    env.Set("LD_PRELOAD", STOP_IN_READ_LIBRARY)
        .Set("STOP_IN_READ", std::to_string(sig))
        .Set("ASAN_OPTIONS",
             std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0");
    const Result r = RunHostsim(dir.path(), {"run", "s.session", "--out", "o"});
    EXPECT_EQ(r.status, 128 + sig) << r.err;
    EXPECT_NE(r.err.find(std::string("hostsim: stopped by ") + name), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Interrupted system call"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "o" / "saved.scn"));
  }
}

}  // namespace
