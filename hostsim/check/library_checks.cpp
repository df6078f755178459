// library.*: the module as a library: its exports, its load and unload hooks, its heap
// across loads, and two of its vessels side by side.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/counters.h"
#include "hostsim/check/drive.h"
#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/process.h"

namespace hostsim::check {

namespace {

constexpr int kCycles = 100;

Module& Load(Context& ctx, World& w) {
  try {
    return w.LoadModule(ctx.subject().moduleName);
  } catch (const Error& e) {
    ctx.Fail(std::string("the host cannot load the module: ") + e.what());
  }
}

// InitLib must have come once, with a handle, while the library was being loaded.
void ExpectInitLib(Context& ctx, World& w, const Module& m, const std::string& when) {
  const std::size_t calls = w.journal().Count("InitLib");
  if (calls != 1)
    ctx.Fail("the library's load hook called InitLib " + std::to_string(calls) + " times " + when +
             " (once expected)");
  if (m.initHandle == nullptr)
    ctx.Fail("the library's load hook gave InitLib a null module handle " + when);
}

}  // namespace

void LibraryExports(Context& ctx) {
  World& w = ctx.NewWorld();
  Module& m = Load(ctx, w);
  ExpectInitLib(ctx, w, m, "at load");

  const InModule running("the library's exported functions");
  const char* date = m.date();
  if (date == nullptr) ctx.Fail("ModuleDate returned null");
  if (m.date() != date) ctx.Fail("ModuleDate returned a different pointer on its second call");
  if (Date2Int(date) == 0)
    ctx.Fail("ModuleDate returned \"" + std::string(date) +
             "\", which is not a date of the form \"Mmm dd yyyy\"");
  const int version = m.version();
  if (m.version() != version)
    ctx.Fail("GetModuleVersion returned " + std::to_string(version) + ", then another value");
  m.exit(nullptr);  // must do nothing

  const char* hook = platform::FindSymbol(m.library, "ExitModule") != nullptr   ? "ExitModule"
                     : platform::FindSymbol(m.library, "zpcDLLExit") != nullptr ? "zpcDLLExit"
                                                                                : "none";
  ctx.Note("ModuleDate \"" + std::string(date) + "\", interface version " +
           std::to_string(version) + ", exit hook: " + hook);
}

void LibraryLoadUnload(Context& ctx) {
  World& w = ctx.NewWorld();
  for (int i = 1; i <= kCycles; ++i) {
    w.journal().Clear();
    Module& m = Load(ctx, w);
    const std::filesystem::path path = m.loadedFrom;  // the file the system mapped
    ExpectInitLib(ctx, w, m, "at load " + std::to_string(i));
    if (!w.UnloadModule(ctx.subject().moduleName))
      ctx.Fail("the host could not unload the module at unload " + std::to_string(i));
    if (platform::LibraryIsLoaded(path))
      ctx.Fail("the library is still in the process after unload " + std::to_string(i) +
               ": the system keeps it loaded (a unique symbol, a thread, a reference it took "
               "on itself), so its unload hook and exit hook do not run");
  }
  ctx.Note(std::to_string(kCycles) + " loads and unloads");
}

void LibraryUnloadLeaks(Context& ctx) {
  const Counters& counters = Counters::For(ctx);
  World& w = ctx.NewWorld();
  w.journal().SetEnabled(false);
  // The first cycles settle what the host and the C++ runtime make once.
  for (int i = 0; i < 2; ++i) {
    Load(ctx, w);
    w.UnloadModule(ctx.subject().moduleName);
  }
  const std::int64_t before = counters.Live();
  for (int i = 0; i < kCycles; ++i) {
    Load(ctx, w);
    w.UnloadModule(ctx.subject().moduleName);
  }
  const std::int64_t left = counters.Live() - before;
  if (left > 0) {
    // One load and unload more with the journal on, for the report.
    w.journal().SetEnabled(true);
    Load(ctx, w);
    w.UnloadModule(ctx.subject().moduleName);
    ctx.Fail(std::to_string(left) +
             " allocations made while the library was loaded were not "
             "freed when it was unloaded, over " +
             std::to_string(kCycles) + " loads (" +
             std::to_string(static_cast<double>(left) / kCycles) + " per load)");
  }
  ctx.Note(std::to_string(kCycles) + " loads and unloads, no allocation left");
}

void LibraryTwoInstances(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    // X holds both vessels, Y the first alone: what the first saves must not depend on the
    // second.
    World& y = ctx.NewWorld();
    ctx.MakeVessel(y, cls, "check_a");
    World& x = ctx.NewWorld();
    Vessel& a = ctx.MakeVessel(x, cls, "check_a");
    const auto registered = Registrations(a);
    Vessel& b = ctx.MakeVessel(x, cls, "check_b");
    if (a.iface() == b.iface()) ctx.Fail("zvcInit returned the same object for two vessels");
    if (Registrations(a) != registered)
      ctx.Fail("creating a second vessel of class " + cls +
               " changed what the first has registered with the host");
    auto expect = [&](const std::string& when) {
      const auto alone = SavedBlock(y, "check_a");
      ctx.Watch(x);
      const auto beside = SavedBlock(x, "check_a");
      const std::string diff = BlockDifference(alone, beside);
      if (!diff.empty())
        ctx.Fail("vessel check_a of class " + cls + " saves differently " + when +
                 " than when alone: " + diff);
    };
    expect("with a second vessel beside it");

    Driver drive(ctx, x, b);
    drive.Walk(0);  // every key code once, no frame
    expect("after every key was pressed on the second vessel");
    for (int i = 0; i < 20; ++i) {
      const double dt = drive.RandomStep();
      y.Step(dt);
      x.Step(dt);
    }
    expect("after 20 frames beside the second vessel");
    x.DestroyVessel(b);
    for (int i = 0; i < 5; ++i) {
      y.Step(0.02);
      x.Step(0.02);
    }
    expect("once the second vessel is gone");
    ctx.DropWorld(x);
    ctx.DropWorld(y);
  }
}

}  // namespace hostsim::check
