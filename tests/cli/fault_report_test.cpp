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

#include "hostsim/platform/process.h"
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

struct Fault {
  const char* module;
  const char* key;  // the key the module fails on
  int code;         // and its scan code
  std::vector<std::string> options;
  const char* headline;
};

TEST(FaultReport, ACrashOrHangEndsTheRunWithAReportAndTheTrace) {
  const Fault faults[] = {
      {"checkmod_crash",
       "C",
       46,
       {},
       "a module crashed in clbkBufferedKey of vessel C1 (class checkmod_crash): "},
      // The module never returns, so any limit is met; a long one keeps a slow machine's
      // ordinary callbacks within it.
      {"checkmod_hang",
       "D",
       32,
       {"--timeout", "10"},
       "a module hung in clbkBufferedKey of vessel C1 (class checkmod_hang): no return within "
       "10 s"},
      // A C++ exception out of a callback is the module's fault too, not the script's.
      {"checkmod_throw",
       "T",
       20,
       {},
       "a module threw an exception out of clbkBufferedKey of vessel C1 (class "
       "checkmod_throw): checkmod_throw: bad key T\n"},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.module);
    testsupport::TempDir dir;
    const fs::path root = CheckRoot(dir.path(), f.module);
    Write(dir.path() / "f.scn", std::string("VESSEL C1 ") + f.module + "\nEND\n");
    Write(dir.path() / "f.session",
          std::string("load f.scn\nfocus C1\nstep 3\npress ") + f.key + "\nstep\n");

    std::vector<std::string> args = {"run",     (dir.path() / "f.session").string(),
                                     "--root",  root.string(),
                                     "--trace", (dir.path() / "f.trace").string()};
    args.insert(args.end(), f.options.begin(), f.options.end());
    const platform::ChildEnd end = platform::RunChild(HOSTSIM_EXE, args, dir.path() / "out",
                                                      dir.path() / "err", std::chrono::minutes(5));
    const std::string err = testsupport::ReadFile(dir.path() / "err");
    ASSERT_EQ(end.kind, platform::ChildEnd::Kind::Exited) << end.why << err;
    EXPECT_EQ(end.code, kExitModuleFault) << err;
    EXPECT_NE(err.find(std::string("hostsim: ") + f.headline), std::string::npos) << err;
    EXPECT_NE(err.find("  where: "), std::string::npos) << err;
    EXPECT_NE(err.find(f.module, err.find("  where: ")), std::string::npos) << err;
    EXPECT_NE(err.find(std::string("f.session:4: press ") + f.key), std::string::npos) << err;
    // The report and the trace both end with the callback that never came back.
    const std::string keyDown = "C1: -> clbkBufferedKey(" + std::to_string(f.code) + ", true)\n";
    EXPECT_NE(err.find("    " + keyDown), std::string::npos) << err;
    const std::string trace = testsupport::ReadFile(dir.path() / "f.trace");
    EXPECT_TRUE(trace.ends_with(keyDown)) << trace;
  }
}

// An exception a module lets out while a scenario loads ends `inspect` as a module's fault,
// not as a fault of the scenario.
TEST(FaultReport, AnExceptionWhileLoadingIsTheModulesFault) {
  testsupport::TempDir dir;
  const fs::path root = CheckRoot(dir.path(), "checkmod_throw");
  Write(dir.path() / "f.scn", "VESSEL C1 checkmod_throw\n  THROW\nEND\n");
  const platform::ChildEnd end = platform::RunChild(
      HOSTSIM_EXE, {"inspect", (dir.path() / "f.scn").string(), "--root", root.string()},
      dir.path() / "out", dir.path() / "err", std::chrono::minutes(5));
  const std::string err = testsupport::ReadFile(dir.path() / "err");
  ASSERT_EQ(end.kind, platform::ChildEnd::Kind::Exited) << end.why << err;
  EXPECT_EQ(end.code, kExitModuleFault) << err;
  EXPECT_NE(err.find("hostsim: a module threw an exception out of clbkLoadScenario of vessel C1 "
                     "(class checkmod_throw): checkmod_throw: cannot load THROW\n  where: "),
            std::string::npos)
      << err;
  EXPECT_NE(err.find(": -> clbkLoadScenario("), std::string::npos) << err;
}

#if !defined(_WIN32)
// SIGINT, SIGTERM and SIGHUP end a run whose module never returns, without --timeout, with
// the same report (the callback, the last host calls), the trace kept whole, and 128 + the
// signal's number. The run says when a callback has been running long: the signal is sent
// then, so that it finds the module in its loop.
TEST(FaultReport, ASignalEndsAHungRunWithAReportAndTheTrace) {
  for (const int sig : {SIGINT, SIGHUP}) {  // SIGTERM: the window test
    SCOPED_TRACE(sig);
    testsupport::TempDir dir;
    const fs::path root = CheckRoot(dir.path(), "checkmod_hang");
    Write(dir.path() / "f.scn", "VESSEL C1 checkmod_hang\nEND\n");
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
    EXPECT_NE(text.find(" while a module ran clbkBufferedKey of vessel C1 (class checkmod_hang)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("    C1: -> clbkBufferedKey(32, true)\n"), std::string::npos) << text;
    EXPECT_TRUE(testsupport::ReadFile(trace).ends_with("C1: -> clbkBufferedKey(32, true)\n"));
  }
}
#endif

}  // namespace
}  // namespace hostsim::cli
