// A module that crashes or hangs under `hostsim run` ends the run with a report that names
// the callback, the vessel, the session line and the last host calls, exit status 4, and the
// trace of every call up to the fault.
#include "hostsim/cli/fault_report.h"

#include <gtest/gtest.h>

#include <fstream>

#include "hostsim/platform/process.h"
#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

struct Fault {
  const char* module;
  const char* key;  // the key the module fails on
  std::vector<std::string> options;
  const char* headline;
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
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.module);
    testsupport::TempDir dir;
    const fs::path root = dir.path() / "root";
    fs::create_directories(root / "modules");
    fs::copy(fs::path(LUMIPOD_SOURCE_DIR) / "tests/testmods/checkroot", root,
             fs::copy_options::recursive);
    const std::string library = std::string(f.module) + LUMIPOD_MODULE_SUFFIX;
    fs::copy_file(fs::path(LUMIPOD_MODULE_DIR) / library, root / "modules" / library);
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
    const std::string keyDown =
        "C1: -> clbkBufferedKey(" + std::to_string(f.key[0] == 'C' ? 46 : 32) + ", true)\n";
    EXPECT_NE(err.find("    " + keyDown), std::string::npos) << err;
    const std::string trace = testsupport::ReadFile(dir.path() / "f.trace");
    EXPECT_TRUE(trace.ends_with(keyDown)) << trace;
  }
}

}  // namespace
}  // namespace hostsim::cli
