// visual.*: the visual built and dropped many times, and what the module does with the
// handles of a dropped one.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr int kRebuilds = 300;

}  // namespace

void VisualRebuild(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, "check_visual");
    Driver drive(ctx, w, v);
    auto expect = [&](const std::string& when) {
      const std::string found = w.TakeDeadHandleCall();
      if (!found.empty())
        ctx.Fail("the module handed the host a handle of a dropped visual " + when + ": " + found);
    };
    for (int i = 1; i <= kRebuilds; ++i) {
      w.BuildVisual(v);
      if (!v.visual) ctx.Fail("the host could not build the visual");
      // The first visual and the time after it is dropped walk every key and frame before
      // anything random: a handle kept from the visual is used whatever the seed.
      if (i == 1) drive.EveryKey();
      for (int k = ctx.Below(4); k > 0; --k) drive.RandomEvent();
      expect("while visual " + std::to_string(i) + " was up");
      w.DropVisual(v);
      if (i == 1) drive.EveryKey();
      for (int k = 1 + ctx.Below(3); k > 0; --k) drive.RandomEvent();
      drive.Frame(drive.RandomStep());
      expect("after visual " + std::to_string(i) + " was dropped");
    }
    ctx.Note("class " + cls + ": " + std::to_string(kRebuilds) + " visuals built and dropped");
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
