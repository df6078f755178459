// lifecycle.*: many vessels of the class made, stepped, saved and destroyed.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/counters.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr int kVessels = 1000;

// Makes kVessels vessels, runs three frames, saves the world and destroys them all.
void Round(Context& ctx, World& w, const std::string& cls, int round) {
  std::vector<Vessel*> made;
  made.reserve(kVessels);
  for (int i = 0; i < kVessels; ++i) {
    made.push_back(
        &ctx.MakeVessel(w, cls, "check_" + std::to_string(round) + "_" + std::to_string(i)));
    ctx.Trim();
  }
  for (int i = 0; i < 3; ++i) {
    w.Step(0.02);
    ctx.Trim();
  }
  const std::string saved = w.ScenarioText();
  ctx.Trim();
  if (saved.find("VESSEL " + made.back()->name() + " ") == std::string::npos)
    ctx.Fail("the save of " + std::to_string(kVessels) + " vessels lacks the last one");
  for (Vessel* v : made) {
    w.DestroyVessel(*v);
    ctx.Trim();
  }
}

}  // namespace

void LifecycleMany(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    // The first round settles what the host keeps for a world of that many vessels.
    Round(ctx, w, cls, 1);
    // The counted round without the journal, whose lines would be counted too.
    w.journal().Clear();
    w.journal().SetEnabled(false);
    const bool counted = Counters::Unavailable().empty();
    const Counters* counters = counted ? &Counters::For(ctx) : nullptr;
    const std::int64_t before = counted ? counters->Live() : 0;
    Round(ctx, w, cls, 2);
    const std::int64_t left = counted ? counters->Live() - before : 0;
    w.journal().SetEnabled(true);
    // The rounds themselves may fail a module anywhere; what is left behind needs counting.
    if (!counted) {
      ctx.DropWorld(w);
      continue;
    }
    if (left > 0) {
      // One vessel's life with the journal on, for the report.
      w.DestroyVessel(ctx.MakeVessel(w, cls, "check_last"));
      ctx.Fail(std::to_string(left) + " allocations are left after " + std::to_string(kVessels) +
               " vessels of class " + cls + " were created, stepped, saved and destroyed (" +
               std::to_string(static_cast<double>(left) / kVessels) + " per vessel)");
    } else {
      ctx.Note("class " + cls + ": " + std::to_string(kVessels) +
               " vessels made and destroyed, no allocation left");
    }
    ctx.DropWorld(w);
  }
  if (!Counters::Unavailable().empty())
    ctx.NotCounted(Counters::Unavailable() +
                   "; the vessels were made, stepped, saved and destroyed "
                   "without a fault");
}

}  // namespace hostsim::check
