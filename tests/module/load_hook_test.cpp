// The library load and unload hook, through test modules built from the module's own hook
// code: InitLib with the library's handle at load, and at unload exactly the exit hook the
// library itself exports ("ExitModule" before "zpcDLLExit"), called once with the handle.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/world_fixture.h"

namespace {

std::string HandleText(const void* handle) {
  char text[64];
  std::snprintf(text, sizeof text, "%p", handle);
  return text;
}

struct HookCase {
  const char* module;
  std::size_t exitModuleCalls;
  std::size_t dllExitCalls;
};

class LoadHookTest : public ::testing::TestWithParam<HookCase> {};

TEST_P(LoadHookTest, InitLibAtLoadAndTheLibrarysOwnExitHookOnceAtUnload) {
  const HookCase& c = GetParam();
  hostsim::World world(testsupport::ExamplePaths());
  world.journal().Clear();

  hostsim::Module& module = world.LoadModule(c.module);
  void* const library = module.library;
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(world.journal().Count("InitLib"), 1u);
  EXPECT_EQ(static_cast<void*>(module.initHandle), library);
  EXPECT_EQ(world.journal().Count("ExitModule"), 0u);
  EXPECT_EQ(world.journal().Count("zpcDLLExit"), 0u);

  world.journal().Clear();
  ASSERT_TRUE(world.UnloadModule(c.module));
  const hostsim::Journal& journal = world.journal();
  EXPECT_EQ(journal.Count("ExitModule"), c.exitModuleCalls) << journal.Dump();
  EXPECT_EQ(journal.Count("zpcDLLExit"), c.dllExitCalls) << journal.Dump();
  for (const auto& entry : journal.Entries()) {
    if (entry.call == "ExitModule" || entry.call == "zpcDLLExit") {
      EXPECT_EQ(entry.args, HandleText(library)) << entry.call;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ExitHooks, LoadHookTest,
                         ::testing::Values(HookCase{"testmod_none", 0, 0},
                                           HookCase{"testmod_exitmodule", 1, 0},
                                           HookCase{"testmod_dllexit", 0, 1},
                                           HookCase{"testmod_both", 1, 0},
                                           // The dependency's own "ExitModule" is not the module's.
                                           HookCase{"testmod_depends", 0, 0}),
                         [](const ::testing::TestParamInfo<HookCase>& param_info) {
                           return std::string(param_info.param.module);
                         });

TEST(LoadHook, LampModuleReportsItsHandleAndCallsNoExitHook) {
  hostsim::World world(testsupport::ExamplePaths());
  world.journal().Clear();
  hostsim::Module& module = world.LoadModule("lumipod");
  EXPECT_EQ(world.journal().Count("InitLib"), 1u);
  EXPECT_EQ(static_cast<void*>(module.initHandle), module.library);

  world.journal().Clear();
  ASSERT_TRUE(world.UnloadModule("lumipod"));
  EXPECT_EQ(world.journal().Count("ExitModule"), 0u);
  EXPECT_EQ(world.journal().Count("zpcDLLExit"), 0u);
}

TEST(LoadHook, ReloadedLibraryRunsItsHookAgain) {
  hostsim::World world(testsupport::ExamplePaths());
  world.LoadModule("testmod_exitmodule");
  ASSERT_TRUE(world.UnloadModule("testmod_exitmodule"));
  world.journal().Clear();

  hostsim::Module& again = world.LoadModule("testmod_exitmodule");
  EXPECT_EQ(world.journal().Count("InitLib"), 1u);
  EXPECT_EQ(static_cast<void*>(again.initHandle), again.library);
  ASSERT_TRUE(world.UnloadModule("testmod_exitmodule"));
  EXPECT_EQ(world.journal().Count("ExitModule"), 1u);
}

}  // namespace
