// A traced run's memory does not grow with its length: the trace goes out as the run goes.
#include "hostsim/cli/trace.h"

#include <gtest/gtest.h>

#include <fstream>

#include "hostsim/cli/fault_report.h"
#include "hostsim/cli/session.h"
#include "support/world_fixture.h"

namespace hostsim::cli {
namespace {

TEST(Trace, ALongTracedRunHoldsNoMoreMemoryThanAShortOne) {
  if (testsupport::HeapInUse() < 0) GTEST_SKIP() << "the heap in use cannot be told here";
  testsupport::TempDir dir;
  WatchedWorld watched(testsupport::ExamplePaths(), 0);
  TraceWriter trace;
  ASSERT_EQ(trace.Open(dir.path() / "long.trace"), "");
  trace.Follow(watched.world().journal());
  SessionOptions opts;
  opts.script = dir.path() / "long.session";
  opts.label = "long.session";
  opts.trace = &trace;
  std::ofstream transcript(dir.path() / "transcript");
  Session session(watched.world(), transcript, opts);
  const std::string demo =
      (std::filesystem::path(LUMIPOD_SOURCE_DIR) / "examples" / "scenarios" / "demo.scn").string();
  session.RunLine("load " + demo, 1);
  session.RunLine("step 1000", 2);
  const long long before = testsupport::HeapInUse();
  // Some 100,000 lines, which kept in memory would take megabytes.
  session.RunLine("step 20000", 3);
  const long long after = testsupport::HeapInUse();
  EXPECT_LT(after - before, 256 * 1024);
  ASSERT_EQ(trace.Finish(), "");
  EXPECT_GT(std::filesystem::file_size(dir.path() / "long.trace"), 20000u * 100u);
}

}  // namespace
}  // namespace hostsim::cli
