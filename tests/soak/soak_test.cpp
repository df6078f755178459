// Lifecycle soak: thousands of lamp lives in one world (create, set up, load, create, hang,
// step, keys, boxes, visual, HUD, save, destroy) and hundreds of library load and unload
// cycles. The world and the process must come out as they went in: no vessel, module or
// memory left behind (the sanitizer build's leak check sees the rest), and each unload calls
// the library's own exit hook exactly once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/keys.h"
#include "hostsim/world.h"
#include "support/world_fixture.h"

namespace {

const std::vector<std::vector<std::string>> kBlocks = {
    {},
    {"SPT 1 150.0000 0.5236", "PAT -1.4 0.6 1.1 0 1 0 0.2588 0 0.9659", "GBL 0.6 0.25"},
    {"ATTACHED Tug 1 GS", "SPT 1 50 0.3", "PAT 1 0.6 1 0 1 0 0 0 1"},
    {"SPT 7 1e300 -1e300", "GBL nan inf", "PAT inf -inf nan 1 0 0 0 1 0", "FOO kept line"},
    {"spt 0 99999999999 3", "POS 1 2 3", "ORI 10 20 30", "ATTACHED Tug 9 GS"},
};

void Press(hostsim::World& w, std::uint8_t key, bool shift = false) {
  w.ReleaseAllKeys();
  if (shift) w.SetKey(ZKEY_LSHIFT, true);
  w.SetKey(key, true);
  w.KeyEvent(key, true);
  w.ReleaseAllKeys();
}

// One whole life of a lamp, varied by `i`.
void LampLife(hostsim::World& w, int i) {
  hostsim::Vessel& v = w.CreateVessel("L", "lumipod");
  w.LoadVesselState(v, kBlocks[static_cast<std::size_t>(i) % kBlocks.size()]);
  w.FinishCreation(v);
  w.SetFocus(&v);
  if (i % 3 == 0) w.BuildVisual(v);
  w.Step(0.02);
  Press(w, ZKEY_B);
  w.ReleaseAllKeys();
  w.SetKey(i % 2 == 0 ? ZKEY_J : ZKEY_K, true);
  w.Step(0.02);
  w.ReleaseAllKeys();
  w.SetKey(ZKEY_LSHIFT, true);
  w.SetKey(i % 2 == 0 ? ZKEY_UP : ZKEY_RIGHT, true);
  w.SetKey(ZKEY_NUMPAD1, true);
  w.Step(0.02);
  w.ReleaseAllKeys();
  Press(w, ZKEY_N);
  w.AnswerBox(std::to_string(i));
  Press(w, ZKEY_M);
  w.AnswerBox(i % 5 == 0 ? "nan" : "45");
  Press(w, ZKEY_V);
  w.AnswerBox(i % 4 == 0 ? "Tug 2" : "Nobody 0");
  if (i % 7 == 0) {
    Press(w, ZKEY_N);  // left open: destroying the lamp must close it
  }
  w.DrawHUD(v, 1024, 768);
  (void)w.ScenarioText();
  if (i % 3 == 0 && i % 2 == 0) w.DropVisual(v);
  if (i % 2 == 0) Press(w, ZKEY_V, true);  // release before going
  w.DestroyVessel(v);
  w.CancelBox();
  (void)w.TakeWarnings();
}

TEST(Soak, ThousandsOfLampLivesLeaveNothingBehind) {
  hostsim::World w(testsupport::ExamplePaths());
  w.journal().SetEnabled(false);
  w.CreateVessel("Tug", "tug");

  constexpr int kWarmUp = 200, kLives = 3000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kWarmUp; ++i) LampLife(w, i);
  const long long before = testsupport::HeapInUse();
  for (int i = kWarmUp; i < kLives; ++i) LampLife(w, i);
  const long long after = testsupport::HeapInUse();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d lamp lives in %.2f s; heap in use %lld -> %lld bytes\n", kLives, seconds, before,
              after);

  ASSERT_EQ(w.Vessels().size(), 1u);
  EXPECT_EQ(w.Vessels()[0]->name(), "Tug");
  EXPECT_EQ(w.FindVessel("L"), nullptr);
  EXPECT_EQ(w.OpenBox(), nullptr);
  EXPECT_TRUE(w.Vessels()[0]->Points(false)[1]->peer == nullptr);
  for (const hostsim::Module* m : w.Modules()) EXPECT_EQ(m->refCount, 0) << m->name;
  if (before >= 0) {
    // 2800 lives: a few bytes kept per life would show as tens of kilobytes.
    EXPECT_LT(after - before, 16 * 1024) << "the heap grew by " << (after - before) << " bytes";
  }
  EXPECT_TRUE(w.UnloadModule("lumipod"));
}

struct HookCase {
  const char* module;
  std::size_t exitModule, dllExit;
};

TEST(Soak, HundredsOfLoadUnloadCyclesCallTheExitHookOncePerUnload) {
  const HookCase cases[] = {{"testmod_exitmodule", 1, 0},
                            {"testmod_dllexit", 0, 1},
                            {"testmod_both", 1, 0},
                            {"testmod_none", 0, 0},
                            {"lumipod", 0, 0}};
  hostsim::World w(testsupport::ExamplePaths());
  constexpr int kCycles = 120;
  const auto start = std::chrono::steady_clock::now();
  long long before = -1;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    if (cycle == 10) before = testsupport::HeapInUse();
    for (const HookCase& c : cases) {
      SCOPED_TRACE(std::string(c.module) + " cycle " + std::to_string(cycle));
      w.journal().Clear();
      hostsim::Module& m = w.LoadModule(c.module);
      ASSERT_NE(m.library, nullptr);
      ASSERT_EQ(w.journal().Count("InitLib"), 1u);
      if (std::string(c.module) == "lumipod") {
        // A lamp lives and goes while the library is loaded.
        hostsim::Vessel& v = w.CreateVessel("L", "lumipod");
        w.LoadVesselState(v, {"SPT 1 10 0.5"});
        w.FinishCreation(v);
        w.Step(0.02);
        (void)w.ScenarioText();
        EXPECT_FALSE(w.UnloadModule(c.module)) << "unloaded while a lamp uses it";
        w.DestroyVessel(v);
      }
      w.journal().Clear();
      ASSERT_TRUE(w.UnloadModule(c.module));
      EXPECT_EQ(w.journal().Count("ExitModule"), c.exitModule);
      EXPECT_EQ(w.journal().Count("zpcDLLExit"), c.dllExit);
      EXPECT_FALSE(w.UnloadModule(c.module)) << "unloaded twice";
    }
  }
  w.journal().Clear();
  const long long after = testsupport::HeapInUse();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d load/unload cycles of %zu libraries in %.2f s; heap in use %lld -> %lld bytes\n",
              kCycles, std::size(cases), seconds, before, after);
  EXPECT_TRUE(w.Modules().empty());
  if (before >= 0) {
    EXPECT_LT(after - before, 64 * 1024) << "the heap grew by " << (after - before);
  }
}

}  // namespace
