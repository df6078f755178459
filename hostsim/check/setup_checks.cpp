// setup.*: a vessel made from the class configuration, and what its set-up gives the host.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

void SetupClass(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, "check_setup");
    VESSEL* iface = v.iface();
    if (iface->GetHandle() != v.handle())
      ctx.Fail(
          "the object zvcInit returned is bound to another vessel handle than the one the "
          "host passed");
    if (v.callbacks2() == nullptr)
      ctx.Fail("zvcInit returned a plain VESSEL (interface version " +
               std::to_string(iface->Version()) + "): the host can call none of its callbacks");
    bool setUp = false;
    for (const Journal::Entry& e : w.journal().Entries())
      setUp = setUp || (e.kind == Journal::Kind::Callback && e.call == "clbkSetupClass");
    if (!setUp) ctx.Fail("the host did not get to call clbkSetupClass");
    ctx.Note("class " + cls + ": interface version " + std::to_string(iface->Version()));
    for (const std::string& line : Registrations(v)) ctx.Note("  " + line);
    ctx.DropWorld(w);
  }
}

void SetupFinite(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, "check_setup");
    auto expect = [&](const std::string& when) {
      std::string found = w.TakeNonFiniteCall();
      if (!found.empty()) ctx.Fail("a non-finite number reached the host " + when + ": " + found);
      found = FindNonFinite(w);
      if (!found.empty()) ctx.Fail("the host holds a non-finite value " + when + ": " + found);
    };
    expect("in set-up and creation");
    w.BuildVisual(v);
    expect("when the visual was built");
    w.SetFocus(&v);
    w.Step(0.02);
    expect("in the first frame");
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
