// frame.*: the per-frame callbacks called as a host's frame calls them, with the program's
// allocation counter read around them and its watch on blocking calls set while each runs,
// and their time beside empty callbacks'.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "hostsim/check/alloc_counter.h"
#include "hostsim/check/blocking_calls.h"
#include "hostsim/check/checks.h"
#include "hostsim/check/drive.h"

namespace hostsim::check {

namespace {

constexpr int kFrames = 2000;
constexpr double kLimitSeconds = 1e-3;

// A drawing surface that keeps nothing: the module's HUD calls cost the host no allocation,
// so that every allocation counted in a frame is the module's.
class NullSketchpad final : public zapi::Sketchpad {
 public:
  std::uint32_t SetTextColor(std::uint32_t col) override { return std::exchange(text_, col); }
  std::uint32_t SetBackgroundColor(std::uint32_t col) override {
    return std::exchange(background_, col);
  }
  bool Text(int, int, const char*, int) override { return true; }
  bool Line(int, int, int, int) override { return true; }
  int GetCharHeight() const override { return 16; }

 private:
  std::uint32_t text_ = 0xFFFFFF, background_ = 0;
};

// The host's callbacks alone: what a frame costs with a vessel that does nothing.
class EmptyVessel final : public VESSEL3 {
 public:
  using VESSEL3::VESSEL3;
};

struct FrameInput {
  double dt;
  std::uint8_t keys[3];  // held during the frame (0: none)
};

constexpr const char* kCallbacks[] = {"clbkBeforeStep", "clbkDirectKeys", "clbkAfterStep",
                                      "clbkDrawHUD"};

// The callbacks of one frame, in the host's order, on `cb` (the module's object or an empty
// one), each watched for blocking calls; `which` counts allocations of each callback when
// given.
void RunFrame(World& w, VESSEL3* cb, double simt, const FrameInput& in, const HUDPAINTSPEC& hps,
              zapi::Sketchpad& skp, std::uint64_t* which = nullptr) {
  char* keys = w.KeyState();
  for (std::uint8_t k : in.keys)
    if (k != 0) keys[k] = static_cast<char>(0x80);
  const double mjd = 51544.5 + simt / 86400.0;
  std::uint64_t before = Allocations();
  auto count = [&](int i) {
    WatchCallback(nullptr);
    if (which == nullptr) return;
    const std::uint64_t now = Allocations();
    which[i] += now - before;
    before = now;
  };
  WatchCallback(kCallbacks[0]);
  cb->clbkBeforeStep(simt, in.dt, mjd);
  count(0);
  WatchCallback(kCallbacks[1]);
  cb->clbkDirectKeys(keys);
  count(1);
  WatchCallback(kCallbacks[2]);
  cb->clbkAfterStep(simt, in.dt, mjd);
  count(2);
  WatchCallback(kCallbacks[3]);
  cb->clbkDrawHUD(1, &hps, &skp);
  count(3);
  for (std::uint8_t k : in.keys) keys[k] = 0;
}

struct Bed {
  World* world;
  Vessel* vessel;
  VESSEL3* cb;
  std::vector<FrameInput> frames;
  HUDPAINTSPEC hps{1280, 720, 640, 360, 18.0, 14};
};

// A vessel of class `cls` in a state a random walk left, its visual up, and the frames to run.
Bed MakeBed(Context& ctx, const std::string& cls) {
  World& w = ctx.NewWorld();
  Vessel& v = ctx.MakeVessel(w, cls, "check_frame");
  if (v.callbacks() == nullptr)
    ctx.Skip("the module's object is not a VESSEL3: the host's frame callbacks are VESSEL3's");
  w.BuildVisual(v);
  Driver drive(ctx, w, v);
  drive.Walk(200);
  if (w.OpenBox() != nullptr) w.CancelBox();
  Bed bed{&w, &v, v.callbacks(), {}, {}};
  bed.frames.resize(kFrames);
  for (FrameInput& f : bed.frames) {
    f.dt = 1.0 / (25 + ctx.Below(100));
    for (std::uint8_t& k : f.keys)
      k = ctx.Below(3) == 0 ? static_cast<std::uint8_t>(ctx.Below(256)) : 0;
  }
  w.journal().SetEnabled(false);
  w.Step(bed.frames[0].dt);  // the host's own first frame: its step length is known from here
  w.MakeCurrent();
  return bed;
}

std::string Micro(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f us", seconds * 1e6);
  return buf;
}

}  // namespace

void FrameAllocations(Context& ctx) {
  if (!AllocationsCounted())
    ctx.Skip(
        "each library on this system has its own C runtime, whose allocations the host "
        "cannot count");
  for (const std::string& cls : ctx.subject().classes) {
    Bed bed = MakeBed(ctx, cls);
    World& w = *bed.world;
    NullSketchpad skp;
    double simt = w.SimTime();
    for (int i = 0; i < 50; ++i, simt += 0.02)
      RunFrame(w, bed.cb, simt, bed.frames[static_cast<std::size_t>(i)], bed.hps, skp);
    std::uint64_t which[4] = {0, 0, 0, 0};
    const std::uint64_t before = Allocations();
    for (const FrameInput& f : bed.frames) {
      RunFrame(w, bed.cb, simt, f, bed.hps, skp, which);
      simt += f.dt;
    }
    const std::uint64_t made = Allocations() - before;
    if (made > 0) {
      // One frame more with the journal on, for the report.
      w.journal().SetEnabled(true);
      w.journal().Clear();
      RunFrame(w, bed.cb, simt, bed.frames[0], bed.hps, skp);
      std::string where;
      for (int i = 0; i < 4; ++i)
        if (which[i] > 0)
          where += (where.empty() ? "" : ", ") + std::string(kCallbacks[i]) + " " +
                   std::to_string(which[i]);
      ctx.Fail("the per-frame callbacks allocated " + std::to_string(made) + " times in " +
               std::to_string(kFrames) + " frames (" + where + ")");
    }
    ctx.Note("class " + cls + ": no allocation in " + std::to_string(kFrames) + " frames");
    ctx.DropWorld(w);
  }
}

void FrameBlockingCalls(Context& ctx) {
  if (!BlockingCallsWatched())
    ctx.Skip(
        "each library on this system has its own C runtime, whose calls the host cannot "
        "watch");
  for (const std::string& cls : ctx.subject().classes) {
    Bed bed = MakeBed(ctx, cls);
    World& w = *bed.world;
    NullSketchpad skp;
    double simt = w.SimTime();
    TakeBlockingCalls();
    for (const FrameInput& f : bed.frames) {
      RunFrame(w, bed.cb, simt, f, bed.hps, skp);
      simt += f.dt;
    }
    const std::vector<BlockingCall> calls = TakeBlockingCalls();
    if (!calls.empty()) {
      // One frame more with the journal on, for the report.
      w.journal().SetEnabled(true);
      w.journal().Clear();
      RunFrame(w, bed.cb, simt, bed.frames[0], bed.hps, skp);
      std::string what;
      for (const BlockingCall& c : calls)
        what += (what.empty() ? "" : ", ") + c.call + " in " + c.callback + " (" +
                std::to_string(c.count) + (c.count == 1 ? " time)" : " times)");
      ctx.Fail("the per-frame callbacks made blocking calls in " + std::to_string(kFrames) +
               " frames: " + what);
    }
    ctx.Note("class " + cls + ": no blocking call in " + std::to_string(kFrames) + " frames");
    ctx.DropWorld(w);
  }
}

void FrameTime(Context& ctx) {
  using Clock = std::chrono::steady_clock;
  for (const std::string& cls : ctx.subject().classes) {
    Bed bed = MakeBed(ctx, cls);
    World& w = *bed.world;
    EmptyVessel empty(bed.vessel->handle(), 1);
    NullSketchpad skp;
    std::vector<double> own, base;
    own.reserve(bed.frames.size());
    base.reserve(bed.frames.size());
    double simt = w.SimTime();
    // Alternating, so that whatever else the machine does falls on both alike.
    for (const FrameInput& f : bed.frames) {
      auto t0 = Clock::now();
      RunFrame(w, bed.cb, simt, f, bed.hps, skp);
      auto t1 = Clock::now();
      RunFrame(w, &empty, simt, f, bed.hps, skp);
      auto t2 = Clock::now();
      own.push_back(std::chrono::duration<double>(t1 - t0).count());
      base.push_back(std::chrono::duration<double>(t2 - t1).count());
      simt += f.dt;
    }
    auto median = [](std::vector<double>& v) {
      std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
      return v[v.size() / 2];
    };
    const double m = median(own), e = median(base);
    ctx.Note("class " + cls + ": median frame " + Micro(m) + " (empty callbacks " + Micro(e) +
             ") over " + std::to_string(bed.frames.size()) + " frames");
    if (m > kLimitSeconds)
      ctx.Fail("the median frame of the per-frame callbacks took " + Micro(m) + ", above " +
               Micro(kLimitSeconds) + " (empty callbacks " + Micro(e) + ")");
    ctx.DropWorld(w);
  }
}

}  // namespace hostsim::check
