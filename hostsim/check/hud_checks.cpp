// hud.*: the HUD drawn at degenerate and common sizes.
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

// Longest text line a host draws: the 255 characters of a 256-byte line buffer.
constexpr std::size_t kMaxText = 255;

struct Size {
  int w, h;
  bool common;  // a real screen: texts must start inside it
};
constexpr Size kSizes[] = {{0, 0, false},      {1, 1, false},      {1, 100000, false},
                           {100000, 1, false}, {640, 480, true},   {800, 600, true},
                           {1280, 720, true},  {1920, 1080, true}, {2560, 1440, true},
                           {3840, 2160, true}, {1080, 1920, true}};

}  // namespace

void HudSizes(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, "check_hud");
    if (v.callbacks() == nullptr)
      ctx.Skip("the module's object is not a VESSEL3: the host draws no HUD through it");
    Driver drive(ctx, w, v);
    std::size_t texts = 0;
    // The HUD of the fresh vessel, then of the state a walk through every key leaves, then of
    // the states a few random walks leave.
    for (int round = 0; round < 5; ++round) {
      for (const Size& s : kSizes) {
        w.TakeNonFiniteCall();  // what the walk before did is the input checks' business
        const auto ops = w.DrawHUD(v, s.w, s.h);
        const std::string at = " on a HUD of " + std::to_string(s.w) + "x" + std::to_string(s.h);
        const std::string found = w.TakeNonFiniteCall();
        if (!found.empty()) ctx.Fail("a non-finite number reached the host" + at + ": " + found);
        for (const HudOp& op : ops) {
          if (op.kind != HudOp::Kind::Text) continue;
          ++texts;
          if (op.text.size() > kMaxText)
            ctx.Fail("a text of " + std::to_string(op.text.size()) + " bytes (at most " +
                     std::to_string(kMaxText) + ") was drawn" + at);
          if (op.text.find('\0') != std::string::npos)
            ctx.Fail("a text with a zero byte inside its length was drawn" + at);
          if (s.common && (op.x < 0 || op.y < 0 || op.x >= s.w || op.y >= s.h))
            ctx.Fail("a text starts at (" + std::to_string(op.x) + ", " + std::to_string(op.y) +
                     "), outside the area" + at);
        }
        ctx.Trim();
      }
      if (round == 0)
        drive.EveryKey();
      else
        drive.Walk(100);
    }
    ctx.Note("class " + cls + ": " + std::to_string(texts) + " texts drawn");
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
