// frame.*: the per-frame callbacks called as a host's frame calls them, with the program's
// allocation counter read around them and its watch on blocking calls set while each runs,
// and their time beside empty callbacks'.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "hostsim/check/checks.h"
#include "hostsim/check/counters.h"
#include "hostsim/check/drive.h"
#include "hostsim/platform/process.h"

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
constexpr int kCallbackCount = 4;

// What the kernel counted on the thread while each callback ran, beyond what reading the
// counters costs.
struct KernelTally {
  bool known = true;
  KernelCounts cost;  // of a read of the counters with nothing between
  KernelCounts seen[kCallbackCount];
};

std::uint64_t Beyond(std::uint64_t after, std::uint64_t before, std::uint64_t cost) {
  const std::uint64_t d = after >= before ? after - before : 0;
  return d > cost ? d - cost : 0;
}

// The callbacks of one frame, in the host's order, on `cb` (the module's object or an empty
// one). With `counters` each callback is named to them while it runs, and with `kernel` the
// kernel's counts are read around it.
void RunFrame(World& w, VESSEL3* cb, double simt, const FrameInput& in, const HUDPAINTSPEC& hps,
              zapi::Sketchpad& skp, const Counters* counters = nullptr,
              KernelTally* kernel = nullptr) {
  char* keys = w.KeyState();
  for (std::uint8_t k : in.keys)
    if (k != 0) keys[k] = static_cast<char>(0x80);
  const double mjd = 51544.5 + simt / 86400.0;
  auto run = [&](int i, auto&& call) {
    KernelCounts before, after;
    const bool counted = kernel != nullptr && kernel->known && counters->Kernel(before);
    {
      const InModule running(kCallbacks[i]);
      if (counters != nullptr) counters->Watch(kCallbacks[i]);
      call();
      if (counters != nullptr) counters->Watch(nullptr);
    }
    if (!counted) return;
    if (!counters->Kernel(after)) {
      kernel->known = false;
      return;
    }
    KernelCounts& k = kernel->seen[i];
    k.reads += Beyond(after.reads, before.reads, kernel->cost.reads);
    k.writes += Beyond(after.writes, before.writes, kernel->cost.writes);
    k.waits += Beyond(after.waits, before.waits, kernel->cost.waits);
  };
  run(0, [&] { cb->clbkBeforeStep(simt, in.dt, mjd); });
  run(1, [&] { cb->clbkDirectKeys(keys); });
  run(2, [&] { cb->clbkAfterStep(simt, in.dt, mjd); });
  run(3, [&] { cb->clbkDrawHUD(1, &hps, &skp); });
  for (std::uint8_t k : in.keys) keys[k] = 0;
}

// Where the kernel's counts of a read of the counters with nothing between are taken.
KernelTally Calibrated(const Counters& counters) {
  KernelTally t;
  KernelCounts a, b;
  t.known = counters.Kernel(a);
  counters.Watch(nullptr);
  if (t.known) t.known = counters.Kernel(b);
  if (t.known) t.cost = {b.reads - a.reads, b.writes - a.writes, b.waits - a.waits};
  return t;
}

// Any address of the code of the module's library, as the world loaded it.
const void* ModuleCode(Context& ctx, World& w) {
  for (const Module* m : w.Modules())
    if (m->name == ctx.subject().moduleName) return reinterpret_cast<const void*>(m->init);
  return nullptr;
}

// "malloc in clbkBeforeStep 2000 times (at file.cpp:12 in Fn)", the module's only, named by
// the module's own line that made the call, and how many calls the host made for it.
std::string Described(const Context& ctx, const std::vector<Seen>& seen, std::uint64_t& module,
                      std::uint64_t& host) {
  const std::vector<platform::ModuleLibrary> libraries = ctx.ModuleLibraries();
  std::string what;
  module = host = 0;
  for (const Seen& s : seen) {
    if (s.host) {
      host += s.count;
      continue;
    }
    module += s.count;
    what += (what.empty() ? "" : "; ") + s.call + " in " + s.callback + " " +
            std::to_string(s.count) + (s.count == 1 ? " time" : " times");
    if (!s.where.empty()) what += " (at " + platform::FindWhere(s.where, libraries).Line() + ")";
  }
  return what;
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
  Bed bed{&w, &v, v.callbacks(), {}};  // the HUD of the size Bed gives
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

// The frames of `bed`, every callback named to the counters: `warm` frames first whose notes
// are dropped (what a module makes once, on its first frames, is not per frame). The kernel's
// counts, when asked for, are taken from the 50th of the counted frames on: what the first
// frames start once (a sanitizer's report file, a lazily bound symbol) is not per frame either,
// and the kernel cannot tell it apart.
std::vector<Seen> CountedFrames(const Counters& counters, Bed& bed, int warm,
                                KernelTally* kernel = nullptr) {
  constexpr std::size_t kKernelFrom = 50;
  NullSketchpad skp;
  World& w = *bed.world;
  double simt = w.SimTime();
  for (int i = 0; i < warm; ++i, simt += 0.02)
    RunFrame(w, bed.cb, simt, bed.frames[static_cast<std::size_t>(i)], bed.hps, skp, &counters);
  counters.Take();
  for (std::size_t i = 0; i < bed.frames.size(); ++i) {
    const FrameInput& f = bed.frames[i];
    RunFrame(w, bed.cb, simt, f, bed.hps, skp, &counters, i >= kKernelFrom ? kernel : nullptr);
    simt += f.dt;
  }
  return counters.Take();
}

// One frame more with the journal on, for the report.
void JournalOneFrame(Bed& bed) {
  NullSketchpad skp;
  World& w = *bed.world;
  w.journal().SetEnabled(true);
  w.journal().Clear();
  RunFrame(w, bed.cb, w.SimTime(), bed.frames[0], bed.hps, skp);
}

std::vector<Seen> OfKind(const std::vector<Seen>& seen, bool blocking) {
  std::vector<Seen> out;
  for (const Seen& s : seen)
    if (s.blocking == blocking) out.push_back(s);
  return out;
}

std::string HostNote(std::uint64_t host, const char* what) {
  if (host == 0) return "";
  return " (the host's own " + std::string(what) +
         " in calls the module made: " + std::to_string(host) + ", not counted against it)";
}

}  // namespace

void FrameAllocations(Context& ctx) {
  const Counters& counters = Counters::For(ctx);
  for (const std::string& cls : ctx.subject().classes) {
    Bed bed = MakeBed(ctx, cls);
    World& w = *bed.world;
    counters.SetLibraries(ModuleCode(ctx, w));
    const std::vector<Seen> seen = OfKind(CountedFrames(counters, bed, 50), false);
    std::uint64_t module = 0, host = 0;
    const std::string what = Described(ctx, seen, module, host);
    if (module > 0) {
      JournalOneFrame(bed);
      ctx.Fail("the per-frame callbacks allocated " + std::to_string(module) + " times in " +
               std::to_string(kFrames) + " frames: " + what);
    }
    ctx.Note("class " + cls + ": no allocation by the module in " + std::to_string(kFrames) +
             " frames" + HostNote(host, "allocations"));
    ctx.DropWorld(w);
  }
}

void FrameBlockingCalls(Context& ctx) {
  const Counters& counters = Counters::For(ctx);
  // Frames with as many waits as this are the module's doing: a thread that does not block
  // rarely gives up the processor of its own accord.
  constexpr std::uint64_t kWaits = kFrames / 4;
  for (const std::string& cls : ctx.subject().classes) {
    Bed bed = MakeBed(ctx, cls);
    World& w = *bed.world;
    counters.SetLibraries(ModuleCode(ctx, w));
    KernelTally kernel = Calibrated(counters);
    const std::vector<Seen> seen = OfKind(CountedFrames(counters, bed, 0, &kernel), true);
    std::uint64_t module = 0, host = 0;
    std::string what = Described(ctx, seen, module, host);
    // What the kernel counted that no watched function told: a system call made directly,
    // or a call the C library makes inside itself.
    std::string kernelWhat;
    for (int i = 0; kernel.known && i < kCallbackCount; ++i) {
      const KernelCounts& k = kernel.seen[i];
      auto add = [&](std::uint64_t n, const char* kind) {
        kernelWhat += (kernelWhat.empty() ? "" : "; ") + std::to_string(n) + " " + kind + " in " +
                      kCallbacks[i];
      };
      if (k.reads > 0) add(k.reads, "read system calls");
      if (k.writes > 0) add(k.writes, "write system calls");
      if (k.waits >= kWaits) add(k.waits, "waits (voluntary context switches)");
    }
    if (module > 0 || !kernelWhat.empty()) {
      JournalOneFrame(bed);
      std::string why =
          "the per-frame callbacks made blocking calls in " + std::to_string(kFrames) + " frames: ";
      if (module > 0) why += what;
      if (!kernelWhat.empty())
        why +=
            std::string(module > 0 ? "; " : "") + "the kernel counted on the thread " + kernelWhat;
      ctx.Fail(why);
    }
    ctx.Note("class " + cls + ": no blocking call by the module in " + std::to_string(kFrames) +
             " frames" + HostNote(host, "calls") +
             (kernel.known ? ", and the kernel counted no reads, writes or waits on the thread"
                           : " (the kernel's counts of the thread are not read here)"));
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
