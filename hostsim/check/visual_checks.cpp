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
    std::size_t from = w.journal().Entries().size();
    auto expect = [&](const std::string& when) {
      if (from > w.journal().Entries().size()) from = 0;  // cleared by Trim
      const std::string found = FindDeadHandleCall(w.journal(), from);
      if (!found.empty())
        ctx.Fail("the module handed the host a handle of a dropped visual " + when + ": " + found);
      from = w.journal().Entries().size();
    };
    for (int i = 1; i <= kRebuilds; ++i) {
      w.BuildVisual(v);
      if (!v.visual) ctx.Fail("the host could not build the visual");
      if (i == 1) drive.Walk(0);  // every key once with the first visual up
      for (int k = ctx.Below(4); k > 0; --k) drive.RandomEvent();
      expect("while visual " + std::to_string(i) + " was up");
      w.DropVisual(v);
      for (int k = 1 + ctx.Below(3); k > 0; --k) drive.RandomEvent();
      drive.Frame(drive.RandomStep());
      expect("after visual " + std::to_string(i) + " was dropped");
    }
    ctx.Note("class " + cls + ": " + std::to_string(kRebuilds) + " visuals built and dropped");
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
