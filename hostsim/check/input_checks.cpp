// input.*: random and hostile input, after each piece of which nothing non-finite may have
// reached the host.
#include <map>
#include <string>

#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr const char* kName = "check_input";

// Checks the calls made since the last look and the host's view; fails naming `what`.
class FiniteWatch {
 public:
  FiniteWatch(Context& ctx, World& w) : ctx_(ctx), w_(w) {}
  void Expect(const std::string& what) {
    std::string found = w_.TakeNonFiniteCall();
    if (!found.empty()) ctx_.Fail("a non-finite number reached the host " + what + ": " + found);
    found = FindNonFinite(w_);
    if (!found.empty()) ctx_.Fail("the host holds a non-finite value " + what + ": " + found);
  }

 private:
  Context& ctx_;
  World& w_;
};

}  // namespace

void InputBufferedKeys(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, kName);
    Driver drive(ctx, w, v, false);
    FiniteWatch watch(ctx, w);
    // Every code alone and with each modifier alone first, then random codes with modifiers,
    // frames between.
    for (unsigned m = 0; m <= std::size(kModifierKeys); ++m) {
      const unsigned mods = m == 0 ? 0u : 1u << (m - 1);
      for (int c = 0; c < 256; ++c) {
        const auto code = static_cast<std::uint8_t>(c);
        drive.Press(code, mods);
        watch.Expect("after " + ChordText({code, mods}));
      }
    }
    for (int i = 0; i < 3000; ++i) {
      const auto code = static_cast<std::uint8_t>(ctx.Below(256));
      const unsigned mods = static_cast<unsigned>(ctx.Below(64));
      drive.Press(code, mods);
      watch.Expect("after " + ChordText({code, mods}));
      if (ctx.Below(3) == 0) {
        const double dt = drive.RandomStep();
        drive.Frame(dt);
        watch.Expect("in a frame of " + std::to_string(dt) + " s");
      }
    }
    ctx.DropWorld(w);
  }
}

void InputDirectKeys(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, kName);
    Driver drive(ctx, w, v);
    FiniteWatch watch(ctx, w);
    // Every key held alone through the shortest and the longest frame first.
    for (int c = 0; c < 256; ++c) {
      for (const double dt : {1e-6, 1.0}) {
        drive.Frame(dt, {static_cast<std::uint8_t>(c)});
        watch.Expect("in a frame of " + std::to_string(dt) + " s with the key " +
                     ChordText({static_cast<std::uint8_t>(c), 0}) + " held");
      }
    }
    for (int i = 0; i < 4000; ++i) {
      std::vector<std::uint8_t> held;
      // Mostly a few keys (as a user holds them), now and then many at once.
      const int n = ctx.Below(10) == 0 ? 1 + ctx.Below(64) : ctx.Below(4);
      for (int k = 0; k < n; ++k) held.push_back(static_cast<std::uint8_t>(ctx.Below(256)));
      // Time steps over the whole range, with the two ends themselves now and then.
      const int pick = ctx.Below(20);
      const double dt = pick == 0 ? 1e-6 : pick == 1 ? 1.0 : drive.RandomStep();
      drive.Frame(dt, held);
      watch.Expect("in a frame of " + std::to_string(dt) + " s with " +
                   std::to_string(held.size()) + " keys held");
    }
    ctx.DropWorld(w);
  }
}

void InputBoxes(Context& ctx) {
  for (const std::string& cls : ctx.subject().classes) {
    World& w = ctx.NewWorld();
    Vessel& v = ctx.MakeVessel(w, cls, kName);
    Driver drive(ctx, w, v);
    FiniteWatch watch(ctx, w);
    // Find the keys that open boxes: every code with no modifier, and with each one alone.
    struct Opener {
      std::uint8_t code;
      unsigned mods;
    };
    std::map<std::string, Opener> openers;
    for (unsigned m = 0; m <= std::size(kModifierKeys); ++m) {
      const unsigned mods = m == 0 ? 0u : 1u << (m - 1);
      for (int c = 0; c < 256; ++c) {
        const auto code = static_cast<std::uint8_t>(c);
        for (std::size_t i = 0; i < std::size(kModifierKeys); ++i)
          if ((mods & (1u << i)) != 0) w.SetKey(kModifierKeys[i], true);
        w.SetKey(code, true);
        w.KeyEvent(code, true);
        w.SetKey(code, false);
        w.KeyEvent(code, false);
        w.ReleaseAllKeys();
        if (const InputBox* box = w.OpenBox()) {
          openers.emplace(box->title, Opener{code, mods});
          w.CancelBox();
        }
        watch.Expect("after " + ChordText({code, mods}));
        ctx.Trim();
      }
    }
    if (openers.empty()) {
      ctx.Note("class " + cls + ": no key opens an input box");
      ctx.DropWorld(w);
      continue;
    }
    // Each box answered with every hostile text and as many random ones.
    for (const auto& [title, opener] : openers) {
      std::vector<std::string> texts = HostileTexts();
      for (std::size_t i = 0, n = texts.size(); i < n; ++i) texts.push_back(drive.RandomText());
      for (const std::string& text : texts) {
        for (std::size_t i = 0; i < std::size(kModifierKeys); ++i)
          if ((opener.mods & (1u << i)) != 0) w.SetKey(kModifierKeys[i], true);
        w.SetKey(opener.code, true);
        w.KeyEvent(opener.code, true);
        w.SetKey(opener.code, false);
        w.KeyEvent(opener.code, false);
        w.ReleaseAllKeys();
        const InputBox* box = w.OpenBox();
        if (box == nullptr) continue;  // the module opens it only in some states
        const std::string shown = text.size() > 40
                                      ? "a text of " + std::to_string(text.size()) + " bytes"
                                      : "the text of " + std::to_string(text.size()) + " bytes";
        drive.Answer(text);
        watch.Expect("after box \"" + title + "\" was answered with " + shown);
        drive.Frame(drive.RandomStep());
        watch.Expect("in the frame after box \"" + title + "\" was answered with " + shown);
      }
    }
    std::string titles;
    for (const auto& [title, opener] : openers)
      titles += (titles.empty() ? "\"" : ", \"") + title + "\"";
    ctx.Note("class " + cls + ": boxes " + titles);
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
