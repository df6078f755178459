// A module that crashes or hangs under `hostsim run` ends the run with a report that names
// the callback, the vessel, the session line and the last host calls, exit status 4, and the
// trace of every call up to the fault.
#include "hostsim/cli/fault_report.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "host/simulation.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "hostsim/platform/where.h"
#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// A root in `dir` with the check modules' classes and meshes and the library of `module`.
fs::path CheckRoot(const fs::path& dir, const std::string& module) {
  const fs::path root = dir / "root";
  fs::create_directories(root / "modules");
  fs::copy(fs::path(LUMIPOD_SOURCE_DIR) / "tests/testmods/checkroot", root,
           fs::copy_options::recursive);
  const std::string library = module + LUMIPOD_MODULE_SUFFIX;
  fs::copy_file(fs::path(LUMIPOD_MODULE_DIR) / library, root / "modules" / library);
  return root;
}

// Whether a report can name the module's source lines: the build keeps debugging information
// and the system's symbol tools read it (not on Windows, where only the library is named).
#if defined(FAULT_DEBUG_INFO) && !defined(_WIN32)
constexpr bool kNamesLines = true;
#else
constexpr bool kNamesLines = false;
#endif
#if defined(FAULT_SANITIZED)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The lines of a report's `where`: its first, then those that continue it.
std::vector<std::string> WhereLines(const std::string& err) {
  std::vector<std::string> lines;
  std::size_t at = err.find("  where: ");
  if (at == std::string::npos) return lines;
  at += 9;
  for (;;) {
    const std::size_t end = err.find('\n', at);
    lines.push_back(err.substr(at, end - at));
    if (end == std::string::npos || err.compare(end + 1, 4, "    ") != 0) break;
    at = end + 5;
  }
  return lines;
}

// A `where` that names the module's own source first: its library and a line of checkmod.cpp
// (not one of a header or of the host), and, when `deeper` is given, the innermost frame.
void ExpectAuthorsWhere(const std::string& err, const std::string& module, const char* deeper) {
  std::vector<std::string> where = WhereLines(err);
  if (!where.empty() && where.back().starts_with("(")) where.pop_back();  // a note
  ASSERT_FALSE(where.empty()) << err;
  EXPECT_NE(where[0].find(module), std::string::npos) << err;
  if (deeper != nullptr) {
    EXPECT_TRUE(where.back().starts_with("innermost: ")) << err;
  }
  if (!kNamesLines) return;
  EXPECT_NE(where[0].find("checkmod.cpp:"), std::string::npos) << err;
  if (deeper != nullptr) {
    EXPECT_NE(where.back().find(deeper), std::string::npos) << err;
  }
}

// Points the temporary folder of the commands run while it lives at `folder`, where their
// copies of module libraries go.
class CommandsTemp {
 public:
  explicit CommandsTemp(const fs::path& folder) {
    fs::create_directories(folder);
#if defined(_WIN32)
    _putenv_s("TMP", platform::PathToUtf8(folder).c_str());
#else
    setenv("TMPDIR", folder.c_str(), 1);
#endif
  }
  ~CommandsTemp() {
#if defined(_WIN32)
    _putenv_s("TMP", "");
#else
    unsetenv("TMPDIR");
#endif
  }
  CommandsTemp(const CommandsTemp&) = delete;
  CommandsTemp& operator=(const CommandsTemp&) = delete;
};

bool Empty(const fs::path& folder) {
  return fs::directory_iterator(folder) == fs::directory_iterator();
}

struct Fault {
  const char* module;
  const char* key;  // the key the module fails on
  std::vector<std::string> options;
  const char* headline;
  const char* deeper = nullptr;  // where the fault itself was, when not in the module's code
};

TEST(FaultReport, ACrashOrHangEndsTheRunWithAReportAndTheTrace) {
  const Fault faults[] = {
      {"checkmod_crash",
       "C",
       {},
       "a module crashed in clbkBufferedKey of vessel C1 (class checkmod_crash): "},
      // The module never returns, so any limit is met; a long one keeps a slow machine's
      // ordinary callbacks within it.
      {"checkmod_hang",
       "D",
       {"--timeout", "10"},
       "a module hung in clbkBufferedKey of vessel C1 (class checkmod_hang): no return within "
       "10 s"},
      // A call on a null light faults in the host's code: the module's line is named first.
      {"checkmod_nulllight",
       "C",
       {},
       "a module crashed in clbkBufferedKey of vessel C1 (class checkmod_nulllight): ",
       "LightEmitter::SetIntensity"},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.module);
    // The sanitizers stop a call on a null object themselves, before any fault.
    if (kSanitized && f.deeper != nullptr) continue;
    testsupport::TempDir dir;
    const fs::path root = CheckRoot(dir.path(), f.module);
    Write(dir.path() / "f.scn", std::string("VESSEL C1 ") + f.module + "\nEND\n");
    Write(dir.path() / "f.session",
          std::string("load f.scn\nfocus C1\nstep 3\npress ") + f.key + "\nstep\n");

    std::vector<std::string> args = {"run",     (dir.path() / "f.session").string(),
                                     "--root",  root.string(),
                                     "--trace", (dir.path() / "f.trace").string()};
    args.insert(args.end(), f.options.begin(), f.options.end());
    const fs::path temp = dir.path() / "temp";
    platform::ChildEnd end;
    {
      const CommandsTemp commandsTemp(temp);
      end = platform::RunChild(HOSTSIM_EXE, args, dir.path() / "out", dir.path() / "err",
                               std::chrono::minutes(5));
    }
    const std::string err = testsupport::ReadFile(dir.path() / "err");
    ASSERT_EQ(end.kind, platform::ChildEnd::Kind::Exited) << end.why << err;
    EXPECT_EQ(end.code, kExitModuleFault) << err;
    EXPECT_NE(err.find(std::string("hostsim: ") + f.headline), std::string::npos) << err;
    ExpectAuthorsWhere(err, f.module, f.deeper);
    // The run loaded a copy of the library, which the report removed (on Windows, where a
    // loaded library's file cannot be removed, the next command removes it); the report names
    // the file the author built.
#if defined(_WIN32)
    {
      const CommandsTemp commandsTemp(temp);
      platform::RunChild(HOSTSIM_EXE,
                         {"inspect", (dir.path() / "f.scn").string(), "--root", root.string()},
                         dir.path() / "out", dir.path() / "err2", std::chrono::minutes(5));
    }
#endif
    EXPECT_TRUE(Empty(temp)) << err;
    EXPECT_EQ(err.find("hostsim-libraries"), std::string::npos) << err;
    const fs::path library = root / "modules" / (std::string(f.module) + LUMIPOD_MODULE_SUFFIX);
    EXPECT_TRUE(WhereLines(err)[0].starts_with(library.generic_string())) << err;
    EXPECT_NE(err.find(std::string("f.session:4: press ") + f.key), std::string::npos) << err;
    // The report and the trace both end with the callback that never came back.
    const std::string keyDown =
        "C1: -> clbkBufferedKey(" + std::to_string(f.key[0] == 'C' ? 46 : 32) + ", true)\n";
    EXPECT_NE(err.find("    " + keyDown), std::string::npos) << err;
    const std::string trace = testsupport::ReadFile(dir.path() / "f.trace");
    EXPECT_TRUE(trace.ends_with(keyDown)) << trace;
  }
}

// A build that rewrites a module's library in place while a run steps it (truncating the file,
// then writing it) changes nothing in the run, which runs a copy of the library made at its
// load; the copy goes at the end.
TEST(ModuleCopies, ALibraryRewrittenInPlaceDuringARunChangesNothingInIt) {
  testsupport::TempDir dir;
  const fs::path root = CheckRoot(dir.path(), "checkmod_rewrite");
  const fs::path library = root / "modules" / ("checkmod_rewrite" LUMIPOD_MODULE_SUFFIX);
  Write(dir.path() / "f.scn",
        "VESSEL C1 checkmod_rewrite\n  REWRITE " + platform::PathToUtf8(library) + "\nEND\n");
  Write(dir.path() / "f.session", "load f.scn\nfocus C1\nstep 3\npress W\nstep 50\npress A\n");
  const fs::path temp = dir.path() / "temp";
  platform::ChildEnd end;
  {
    const CommandsTemp commandsTemp(temp);
    end = platform::RunChild(HOSTSIM_EXE,
                             {"run", (dir.path() / "f.session").string(), "--root", root.string()},
                             dir.path() / "out", dir.path() / "err", std::chrono::minutes(5));
  }
  const std::string err = testsupport::ReadFile(dir.path() / "err");
  ASSERT_EQ(end.kind, platform::ChildEnd::Kind::Exited) << end.why << err;
  EXPECT_EQ(end.code, 0) << err;
  EXPECT_EQ(testsupport::ReadFile(library), "rewritten");  // the module did rewrite it
  EXPECT_TRUE(Empty(temp));
}

// A crash is the module's only when a frame of its stack is in a module's library (its code,
// or the host's code it called); with none it is hostsim's, even while a callback runs, unless
// the stack could not be walked: then a running callback decides.
TEST(FaultBlame, OnlyAFrameInAModulesLibraryMakesACrashTheModules) {
  hostsim::Paths paths;
  paths.modules = LUMIPOD_MODULE_DIR;
  paths.copies = std::make_shared<LibraryCopies>();
  World world(paths);
  const Module& m = world.LoadModule("testmod_probe");
  ASSERT_NE(m.loadedFrom, m.path);  // the library runs from a copy
  const std::vector<platform::ModuleLibrary> modules = {
      {reinterpret_cast<const void*>(m.init), platform::PathToUtf8(m.path)}};
  const void* module = reinterpret_cast<const void*>(m.exit);
  const void* host = reinterpret_cast<const void*>(&zapiGetSimTime);
  const void* program = reinterpret_cast<const void*>(&Empty);
  struct Case {
    std::vector<const void*> stack;
    bool callbackRunning;
    bool modules;
  };
  const Case cases[] = {
      {{module}, true, true},
      {{module}, false, true},                // a module's code outside its callbacks
      {{host, program, module}, true, true},  // the host's code, called by the module
      {{host, program}, true, false},         // between the host's call and the module's
      {{host, program}, false, false},
      {{}, true, true},  // the stack not walked: the callback decides
      {{}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stack.size() << " frames, callback " << c.callbackRunning);
    const int moduleFrame = c.stack.empty() ? -1 : platform::InModuleLibrary(c.stack, modules);
    EXPECT_EQ(ModulesFault(moduleFrame, c.callbackRunning), c.modules);
  }
}

// The line of checkmod.cpp that holds `text`; 0 when none does.
int CheckmodLine(const std::string& text) {
  std::ifstream in(fs::path(LUMIPOD_SOURCE_DIR) / "tests/testmods/checkmod.cpp");
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.find(text) != std::string::npos) return number;
  }
  return 0;
}

// A C++ exception a module lets out of a callback ends every command that runs modules as the
// module's fault, not as a fault of the script or the scenario: the report names what it said,
// the callback, the vessel, and where it was thrown (the module's own line where the build has
// one to name, else the library), and the status is 4. On Windows too, where each DLL carries
// its own C++ runtime.
TEST(FaultReport, AnExceptionOutOfACallbackIsTheModulesFault) {
  struct Case {
    std::vector<std::string> command;  // the scenario or session is added, then the root
    const char* input;
    const char* headline;
    const char* thrown;  // the throw expression of checkmod.cpp the where names
    const char* lastCall;
  };
  const char* const kLoadThrows = "VESSEL C1 checkmod_throw\n  THROW\nEND\n";
  const char* const kOnLoad =
      "clbkLoadScenario of vessel C1 (class checkmod_throw): checkmod_throw: cannot load THROW\n";
  const char* const kLoadThrow = "runtime_error(\"checkmod_throw: cannot load THROW\")";
  std::vector<Case> cases = {
      {{"run"},
       "f.session",
       "clbkBufferedKey of vessel C1 (class checkmod_throw): checkmod_throw: bad key T\n",
       "runtime_error(\"checkmod_throw: bad key T\")",
       "    C1: -> clbkBufferedKey(20, true)\n"},
      {{"inspect"}, "f.scn", kOnLoad, kLoadThrow, ": -> clbkLoadScenario("},
  };
#if defined(HOSTSIM_HAVE_RENDER)
  // Both fail as the scenario loads, before any picture or window is made.
  cases.push_back({{"render", "out.png"}, "f.scn", kOnLoad, kLoadThrow, ": -> clbkLoadScenario("});
  cases.push_back({{"play", "--no-watch"}, "f.scn", kOnLoad, kLoadThrow, ": -> clbkLoadScenario("});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command[0]);
    testsupport::TempDir dir;
    const fs::path root = CheckRoot(dir.path(), "checkmod_throw");
    const std::string input = c.input;
    Write(dir.path() / "f.scn", input == "f.scn" ? kLoadThrows : "VESSEL C1 checkmod_throw\nEND\n");
    Write(dir.path() / "f.session", "load f.scn\nfocus C1\npress T\n");
    std::vector<std::string> args = {c.command[0], (dir.path() / input).string()};
    for (std::size_t i = 1; i < c.command.size(); ++i)
      args.push_back(c.command[i] == "out.png" ? (dir.path() / "out.png").string() : c.command[i]);
    args.insert(args.end(), {"--root", root.string()});
    const platform::ChildEnd end = platform::RunChild(HOSTSIM_EXE, args, dir.path() / "out",
                                                      dir.path() / "err", std::chrono::minutes(5));
    const std::string err = testsupport::ReadFile(dir.path() / "err");
    ASSERT_EQ(end.kind, platform::ChildEnd::Kind::Exited) << end.why << err;
    EXPECT_EQ(end.code, kExitModuleFault) << err;
    EXPECT_NE(err.find(std::string("hostsim: a module threw an exception out of ") + c.headline),
              std::string::npos)
        << err;
    const std::vector<std::string> where = WhereLines(err);
    ASSERT_FALSE(where.empty()) << err;
    EXPECT_NE(where[0].find("checkmod_throw"), std::string::npos) << err;
    if (kNamesLines) {
      const int line = CheckmodLine(c.thrown);
      ASSERT_GT(line, 0) << c.thrown;
      EXPECT_NE(where[0].find("checkmod.cpp:" + std::to_string(line)), std::string::npos) << err;
    }
    EXPECT_NE(err.find(c.lastCall), std::string::npos) << err;
  }
}

#if !defined(_WIN32)
// SIGINT, SIGTERM and SIGHUP end a run whose module never returns, without --timeout, with
// the same report (the callback, the last host calls), the trace kept whole, and 128 + the
// signal's number. The run says when a callback has been running long: the signal is sent
// then, so that it finds the module in its loop.
TEST(FaultReport, ASignalEndsAHungRunWithAReportAndTheTrace) {
  // The second module spends its time in the C library's fmod: the report still names the
  // module's own line first.
  const std::pair<int, std::string> runs[] = {{SIGINT, "checkmod_hang"},
                                              {SIGHUP, "checkmod_fmodhang"}};
  for (const auto& [sig, module] : runs) {  // SIGTERM: the window test
    SCOPED_TRACE(sig);
    testsupport::TempDir dir;
    const fs::path root = CheckRoot(dir.path(), module);
    Write(dir.path() / "f.scn", "VESSEL C1 " + module + "\nEND\n");
    Write(dir.path() / "f.session", "load f.scn\nfocus C1\npress D\n");
    const fs::path err = dir.path() / "err", trace = dir.path() / "f.trace";
    const pid_t pid = fork();
    if (pid == 0) {
      if (!std::freopen(err.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout))
        _exit(127);
      execl(HOSTSIM_EXE, HOSTSIM_EXE, "run", (dir.path() / "f.session").c_str(), "--root",
            root.c_str(), "--trace", trace.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Hang guard only: the note comes after a few seconds.
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (testsupport::ReadFile(err).find("has been running for") == std::string::npos &&
           std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string text = testsupport::ReadFile(err);
    ASSERT_TRUE(WIFEXITED(status)) << status << text;
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig) << text;
    EXPECT_NE(
        text.find(" while a module ran clbkBufferedKey of vessel C1 (class " + module + ")\n"),
        std::string::npos)
        << text;
    ExpectAuthorsWhere(text, module, nullptr);
    EXPECT_NE(text.find("    C1: -> clbkBufferedKey(32, true)\n"), std::string::npos) << text;
    EXPECT_TRUE(testsupport::ReadFile(trace).ends_with("C1: -> clbkBufferedKey(32, true)\n"));
  }
}
#endif

}  // namespace
}  // namespace hostsim::cli
