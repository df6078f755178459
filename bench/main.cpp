// lumipod_bench: what a host pays for the lamp, each figure divided by its floor measured in
// the same run, so that a busy machine shifts both alike.
//
//   figure                                   floor
//   clbkBeforeStep (after the first step)    an empty callback of a class of the same shape
//                                            (built into a library of its own, as a module is)
//   clbkDirectKeys, no key down              the same empty callback
//   the lamp's HUD at 1920x1080, recorded    the thirteen bare snprintf of its lines
//   a host frame of 10,000 lamps             a host frame of 1,000 lamps (each frame starting
//                                            with cold caches, as after a host's rendering)
//   loading / saving 10,000 lamps            the same bytes read with sscanf / written with
//                                            snprintf in a bare loop
// and the heap allocations inside the module's per-frame callbacks, which must be none.
//
// Every benchmark runs in several repetitions, interleaved at random. The per-frame callbacks,
// loads and saves are timed in pairs with their floors, and each of those figures is the
// median of its repetitions' ratios; the frame figure divides the least of each repetition's
// median frame at 10,000 lamps by that at 1,000. The per-frame figures are then the median
// over this process and four more, each with its own address layout (see "address layouts"
// below). After Google Benchmark's own table the program prints one "name ratio" line per
// figure (and, for the reader, ratios without a goal and each per-frame figure's value in
// every layout), then each figure against its goal; its exit status is 1 when a goal is
// missed.
//
//   build/release/bin/lumipod_bench [--benchmark_filter=REGEX] [--benchmark_repetitions=N]
//                                   [--layouts=N]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "alloc_counter.h"
#include "empty_vessel.h"
#include "hostsim/world.h"
#include "lamp/lumipod.h"
#include "scenario_floor.h"

namespace {

namespace fs = std::filesystem;
using hostsim::Vessel;
using hostsim::World;

constexpr double kStep = 0.02;
constexpr int kSmallWorld = 1000;
constexpr int kLargeWorld = 10000;

hostsim::Paths BenchPaths() {
  hostsim::Paths p;
  p.config = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "config";
  p.meshes = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "meshes";
  p.modules = fs::path(LUMIPOD_MODULE_DIR);
  return p;
}

// A folder of the run's own for scenario files, removed at exit.
const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("lumipod-bench-" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- one lamp, for the per-frame callbacks ---

// Where an object lands in memory moves a call that costs a few nanoseconds by a good part of
// itself (addresses that alias the stack's in the processor's store queue, and the like). The
// per-frame figures are therefore taken over several lamps and as many empty objects, each
// at its own place, and each figure and floor is the median over the places.
constexpr int kPlaces = 9;

// Lamps of a real World with the module loaded, set up as a host sets them up, the first step
// taken; the first has the input focus.
struct LampBed {
  World world{BenchPaths()};
  std::vector<Vessel*> lamps;
  std::vector<VESSEL3*> cbs;
  Vessel* lamp = nullptr;  // the focused one, for the HUD
  VESSEL3* cb = nullptr;
  std::vector<hostsim::HudOp> ops;

  LampBed() {
    for (int i = 0; i < kPlaces; ++i) {
      Vessel& v = world.CreateVessel("lamp" + std::to_string(i), "lumipod");
      world.LoadVesselState(v, {});
      world.FinishCreation(v);
      world.BuildVisual(v);
      lamps.push_back(&v);
      cbs.push_back(v.callbacks());
    }
    lamp = lamps.front();
    cb = cbs.front();
    world.SetFocus(lamp);
    world.journal().SetEnabled(false);
    world.journal().Clear();
    world.Step(kStep);                      // the first step has dealt with the stored placement
    world.DrawHUD(*lamp, 1920, 1080, ops);  // the recorder warm
  }
};

LampBed& Lamp() {
  static LampBed bed;
  bed.world.MakeCurrent();
  return bed;
}

struct EmptyBed {
  std::vector<VESSEL3*> cbs;
  EmptyBed() {
    for (int i = 0; i < kPlaces; ++i) cbs.push_back(bench::MakeEmptyVessel());
  }
  ~EmptyBed() {
    for (VESSEL3* cb : cbs) bench::FreeEmptyVessel(cb);
  }
};

const std::vector<VESSEL3*>& Empties() {
  static EmptyBed bed;
  return bed.cbs;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Each per-frame figure and its floor are timed in one benchmark, in alternating batches of a
// few microseconds, so that both meet the same moments of a busy machine and the same state
// of the processor (where the stack stands moves a call of a few nanoseconds as much as the
// object's place does). Per place, each side's time is its quickest batch; the counters
// floor_ns and figure_ns (per call or frame) are the medians over the places, and ratio is
// theirs. The figure is the median ratio over the repetitions. run(figure, place, n) runs n
// calls.
template <class Run>
void Paired(benchmark::State& state, int places, int batch, Run run) {
  std::vector<double> best[2];
  for (auto& b : best) b.assign(places, std::numeric_limits<double>::infinity());
  bool figureFirst = false;
  int place = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      const bool figure = (k == 0) == figureFirst;
      const auto t0 = std::chrono::steady_clock::now();
      run(figure, place, batch);
      const auto t1 = std::chrono::steady_clock::now();
      const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count() / batch;
      double& b = best[figure][static_cast<std::size_t>(place)];
      b = std::min(b, ns);
    }
    figureFirst = !figureFirst;
    place = (place + 1) % places;
  }
  const double floor = Median(best[0]), figure = Median(best[1]);
  state.counters["floor_ns"] = floor;
  state.counters["figure_ns"] = figure;
  state.counters["ratio"] = figure / floor;
}

// The same call sites serve the lamp and its floor.
__attribute__((noinline)) void CallBeforeStep(VESSEL3* cb, int n) {
  double simt = 10.0, dt = kStep, mjd = 51544.5;
  benchmark::DoNotOptimize(cb);
  for (int i = 0; i < n; ++i) {
    cb->clbkBeforeStep(simt, dt, mjd);
    benchmark::ClobberMemory();
  }
}

__attribute__((noinline)) void CallDirectKeys(VESSEL3* cb, char* keys, int n) {
  benchmark::DoNotOptimize(cb);
  for (int i = 0; i < n; ++i) {
    int r = cb->clbkDirectKeys(keys);
    benchmark::DoNotOptimize(r);
  }
}

void BM_BeforeStep(benchmark::State& state) {
  const LampBed& bed = Lamp();
  const auto& empties = Empties();
  Paired(state, kPlaces, 8192, [&](bool figure, int place, int n) {
    const auto i = static_cast<std::size_t>(place);
    CallBeforeStep(figure ? bed.cbs[i] : empties[i], n);
  });
}

void BM_DirectKeys(benchmark::State& state) {
  LampBed& bed = Lamp();
  bed.world.ReleaseAllKeys();
  const auto& empties = Empties();
  Paired(state, kPlaces, 8192, [&](bool figure, int place, int n) {
    const auto i = static_cast<std::size_t>(place);
    CallDirectKeys(figure ? bed.cbs[i] : empties[i], bed.world.KeyState(), n);
  });
}

// The thirteen lines as the lamp composes them, one buffer, nothing else.
__attribute__((noinline)) void HudLines(double range, double aperture, double intensity, int n) {
  char buf[256];
  for (int i = 0; i < n; ++i) {
    int k = 0;
    k += std::snprintf(buf, sizeof buf, "%s", "[B] = Spotlight On/Off");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "[N] = Enter Range %0.1fm", range);
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "[M] = Enter Spread Angle %0.1f\xB0",
                       aperture * 57.29577951308232);
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "[J]/[K] = -/+ Intensity %d%%",
                       static_cast<int>(intensity * 100.0));
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[V]/[Shift+V] = Easy Attach/Detach");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[Shift]+[Arrows] = Rotate Lamp Alt/Az");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[Shift]/[Alt]+......");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad1] = Shift Att. +/- X");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad2] = Shift Att. +/- Y");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad3] = Shift Att. +/- Z");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad4] = Rotate Att. +/- X");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad5] = Rotate Att. +/- Y");
    benchmark::DoNotOptimize(buf);
    k += std::snprintf(buf, sizeof buf, "%s", "[NumPad6] = Rotate Att. +/- Z");
    benchmark::DoNotOptimize(buf);
    benchmark::DoNotOptimize(k);
  }
}

// The HUD area as the host describes it at 1920x1080.
HUDPAINTSPEC HudArea() {
  HUDPAINTSPEC hps{};
  hps.W = 1920;
  hps.H = 1080;
  hps.CX = hps.W / 2;
  hps.CY = hps.H / 2;
  hps.Scale = hps.H / 40.0;
  hps.Markersize = hps.H / 50;
  return hps;
}

// The lamp's HUD callback through its VESSEL3 object, into the host's recording Sketchpad and
// one list kept from frame to frame.
__attribute__((noinline)) void LampHuds(LampBed& bed, std::size_t place, const HUDPAINTSPEC& hps,
                                        int n) {
  for (int i = 0; i < n; ++i) {
    hostsim::HudRecorder skp(bed.world, *bed.lamps[place], bed.ops);
    bool r = bed.cbs[place]->clbkDrawHUD(1, &hps, &skp);
    benchmark::DoNotOptimize(r);
  }
  benchmark::DoNotOptimize(bed.ops.data());
}

// A Sketchpad that keeps nothing: what is left is the lamp's own share, its twenty-six
// Sketchpad calls and three host calls around the formatting.
class NoOpSketchpad final : public zapi::Sketchpad {
 public:
  std::uint32_t SetTextColor(std::uint32_t col) override { return col; }
  std::uint32_t SetBackgroundColor(std::uint32_t col) override { return col; }
  bool Text(int, int, const char* str, int) override {
    benchmark::DoNotOptimize(str);
    return true;
  }
  bool Line(int, int, int, int) override { return true; }
  int GetCharHeight() const override { return 16; }
};

__attribute__((noinline)) void NoOpHuds(LampBed& bed, std::size_t place, const HUDPAINTSPEC& hps,
                                        int n) {
  NoOpSketchpad skp;
  for (int i = 0; i < n; ++i) {
    bool r = bed.cbs[place]->clbkDrawHUD(1, &hps, &skp);
    benchmark::DoNotOptimize(r);
  }
}

// The same as the host's HUD frame (World::DrawHUD), with its look-up and bookkeeping.
__attribute__((noinline)) void HostHuds(LampBed& bed, std::size_t place, int n) {
  for (int i = 0; i < n; ++i) bed.world.DrawHUD(*bed.lamps[place], 1920, 1080, bed.ops);
  benchmark::DoNotOptimize(bed.ops.data());
}

// The floor formats the lamp's own values (the lamp object is the module's lumipod; all the
// lamps have the same).
template <class Figure>
void PairedHud(benchmark::State& state, Figure figure) {
  LampBed& bed = Lamp();
  const auto* lamp = static_cast<const lumipod*>(bed.lamp->iface());
  const double range = lamp->range, aperture = lamp->aperture, intensity = lamp->intensity;
  Paired(state, kPlaces, 16, [&](bool isFigure, int place, int n) {
    if (isFigure)
      figure(bed, static_cast<std::size_t>(place), n);
    else
      HudLines(range, aperture, intensity, n);
  });
}

void BM_Hud(benchmark::State& state) {
  const HUDPAINTSPEC hps = HudArea();
  PairedHud(state, [&](LampBed& bed, std::size_t place, int n) { LampHuds(bed, place, hps, n); });
}

void BM_HudHostFrame(benchmark::State& state) { PairedHud(state, HostHuds); }

void BM_HudNoOp(benchmark::State& state) {
  const HUDPAINTSPEC hps = HudArea();
  PairedHud(state, [&](LampBed& bed, std::size_t place, int n) { NoOpHuds(bed, place, hps, n); });
}

// --- worlds of many lamps ---

const fs::path& ScenarioFile(int lamps) {
  static std::map<int, fs::path> files;
  auto it = files.find(lamps);
  if (it != files.end()) return it->second;
  fs::path src = WorkDir() / ("source-" + std::to_string(lamps) + ".scn");
  WriteFile(src, bench::MakeScenarioText(lamps));
  // The scenario as the host writes it, so that a save writes back the bytes that were read.
  fs::path file = WorkDir() / ("lamps-" + std::to_string(lamps) + ".scn");
  {
    World w(BenchPaths());
    w.journal().SetEnabled(false);
    w.LoadScenario(src);
    w.SaveScenario(file);
  }
  return files.emplace(lamps, file).first->second;
}

struct ManyBed {
  World world{BenchPaths()};
  explicit ManyBed(int lamps) {
    world.journal().SetEnabled(false);
    world.LoadScenario(ScenarioFile(lamps));
    world.Step(kStep);
  }
};

ManyBed& Many(int lamps) {
  static std::map<int, std::unique_ptr<ManyBed>> beds;
  auto& bed = beds[lamps];
  if (!bed) bed = std::make_unique<ManyBed>(lamps);
  bed->world.MakeCurrent();
  return *bed;
}

// Frames back to back: whatever the frame touches stays in the caches when it fits them,
// which a thousand lamps do and ten thousand do not.
void BM_Frame(benchmark::State& state) {
  ManyBed& bed = Many(static_cast<int>(state.range(0)));
  for (auto _ : state) bed.world.Step(kStep);
  state.counters["vessels"] = static_cast<double>(bed.world.Vessels().size());
}

// Between two frames a host renders, simulates and draws, which leaves nothing of the last
// frame in the caches: each frame here starts after a walk over more memory than the caches
// hold (outside the timing).
void EvictCaches() {
  static std::vector<char> junk(std::size_t{96} << 20, 1);
  for (std::size_t i = 0; i < junk.size(); i += 64) junk[i] = static_cast<char>(junk[i] + 1);
  benchmark::DoNotOptimize(junk.data());
}

constexpr int kColdFrames = 40;  // per repetition
// More repetitions than the others: a cold frame is moved most by the memory traffic of the
// rest of the machine, which changes from second to second; the figure takes each world's
// least repetition, and more of them reach the quiet moments more surely.
constexpr int kColdRepetitions = 9;

// Each frame is timed on its own; the counter frame_us is the median frame of the
// repetition, which one frame disturbed by the machine does not move.
void BM_FrameCold(benchmark::State& state) {
  ManyBed& bed = Many(static_cast<int>(state.range(0)));
  std::vector<double> frames;
  for (auto _ : state) {
    state.PauseTiming();
    EvictCaches();
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    bed.world.Step(kStep);
    const auto t1 = std::chrono::steady_clock::now();
    frames.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  state.counters["frame_us"] = Median(frames);
}

// No host at all: the lamps' own per-frame callbacks called in a bare loop, what a frame
// cannot go below; its scaling is the machine's, not the host's.
void BM_LampsOnly(benchmark::State& state) {
  ManyBed& bed = Many(static_cast<int>(state.range(0)));
  std::vector<VESSEL3*> lamps;
  for (Vessel* v : bed.world.Vessels())
    if (v->callbacks() != nullptr) lamps.push_back(v->callbacks());
  char* keys = bed.world.KeyState();
  for (auto _ : state) {
    for (VESSEL3* cb : lamps) cb->clbkBeforeStep(10.0, kStep, 51544.5);
    lamps.front()->clbkDirectKeys(keys);
    for (VESSEL3* cb : lamps) cb->clbkAfterStep(10.0, kStep, 51544.5);
  }
}

void ClearWorld(World& w) {
  auto vessels = w.Vessels();
  for (auto it = vessels.rbegin(); it != vessels.rend(); ++it) w.DestroyVessel(**it);
}

// Loading into a running host with the module already loaded: each iteration starts from an
// empty world (emptied outside the timing).
struct LoadBed {
  World world{BenchPaths()};
  LoadBed() { world.journal().SetEnabled(false); }
};

LoadBed& Loader() {
  static LoadBed bed;
  bed.world.MakeCurrent();
  return bed;
}

// Loads and saves are timed in pairs, the host's and the floor's one after the other (which
// goes first alternates), so that both meet the same moment of a busy machine and of its disk
// cache. Each is timed in the process's CPU time. The counters figure_ms and floor_ms are each
// side's least time over the pairs; ratio is the median of the pairs' ratios, which a pair
// disturbed by the machine does not move.
constexpr int kScenarioPairs = 5;  // per repetition: an odd number, so the median is a pair's

template <class Figure, class Floor>
void PairedScenario(benchmark::State& state, Figure figure, Floor floor) {
  auto cpuMs = [](auto&& run) {
    const std::clock_t t0 = std::clock();
    run();
    return 1000.0 * static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  };
  std::vector<double> ratios;
  double best[2] = {std::numeric_limits<double>::infinity(),
                    std::numeric_limits<double>::infinity()};
  bool figureFirst = false;
  for (auto _ : state) {
    double ms[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      const bool isFigure = (k == 0) == figureFirst;
      ms[isFigure] = isFigure ? figure(cpuMs) : cpuMs(floor);
      best[isFigure] = std::min(best[isFigure], ms[isFigure]);
    }
    ratios.push_back(ms[1] / ms[0]);
    figureFirst = !figureFirst;
  }
  state.counters["floor_ms"] = best[0];
  state.counters["figure_ms"] = best[1];
  state.counters["ratio"] = Median(ratios);
}

void BM_Load(benchmark::State& state) {
  const fs::path& file = ScenarioFile(kLargeWorld);
  LoadBed& bed = Loader();
  std::string bytes;
  bench::FloorScenario s;
  PairedScenario(
      state,
      [&](auto&& cpuMs) {
        ClearWorld(bed.world);  // outside the timing
        return cpuMs([&] { bed.world.LoadScenario(file); });
      },
      [&] {
        std::size_t lines = bench::FloorLoad(file, bytes, s);
        benchmark::DoNotOptimize(lines);
        benchmark::DoNotOptimize(s.vessels.data());
      });
}

void BM_Save(benchmark::State& state) {
  ManyBed& bed = Many(kLargeWorld);
  const fs::path out = WorkDir() / "saved.scn";
  std::string bytes, buffer;
  bench::FloorScenario s;
  bench::FloorLoad(ScenarioFile(kLargeWorld), bytes, s);
  const fs::path floorOut = WorkDir() / "floor-saved.scn";
  PairedScenario(
      state, [&](auto&& cpuMs) { return cpuMs([&] { bed.world.SaveScenario(out); }); },
      [&] {
        std::size_t n = bench::FloorSave(s, buffer, floorOut);
        benchmark::DoNotOptimize(n);
      });
}

// --- results ---

// Keeps, for every benchmark, its CPU time per iteration and its counters from each
// repetition.
class Collector : public benchmark::ConsoleReporter {
 public:
  Collector() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      values_[r.run_name.str()].push_back(r.GetAdjustedCPUTime());
      for (const auto& [counter, value] : r.counters)
        values_[r.run_name.str() + ":" + counter].push_back(value.value);
    }
  }
  // The least time per iteration of a benchmark (or with ":counter" the least value of one of
  // its counters) over its repetitions; not a number when it did not run.
  double Best(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::numeric_limits<double>::quiet_NaN();
    return *std::min_element(it->second.begin(), it->second.end());
  }
  // The median over the repetitions.
  double Middle(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return std::numeric_limits<double>::quiet_NaN();
    return Median(it->second);
  }

 private:
  std::map<std::string, std::vector<double>> values_;
};

struct Figure {
  const char* name;
  double ratio;
  double goal;
};

// Heap allocations the module's per-frame callbacks make over `frames` frames, the host's
// recording Sketchpad warm and the journal off.
std::size_t ModuleAllocations(int frames) {
  LampBed& bed = Lamp();
  bed.world.ReleaseAllKeys();
  const HUDPAINTSPEC hps = HudArea();
  const std::size_t before = bench::AllocationCount();
  for (int i = 0; i < frames; ++i) {
    for (std::size_t k = 0; k < bed.lamps.size(); ++k) {
      bed.cbs[k]->clbkBeforeStep(10.0 + i * kStep, kStep, 51544.5);
      bed.cbs[k]->clbkDirectKeys(bed.world.KeyState());
      hostsim::HudRecorder skp(bed.world, *bed.lamps[k], bed.ops);
      bed.cbs[k]->clbkDrawHUD(1, &hps, &skp);
    }
  }
  return bench::AllocationCount() - before;
}

// The counter must see the module's own allocations: zvcInit allocates the lamp with new.
bool CounterSeesModule() {
  LampBed& bed = Lamp();
  hostsim::Module& m = bed.world.LoadModule("lumipod");
  const std::size_t before = bench::AllocationCount();
  VESSEL* obj = m.init(nullptr, 1);
  const std::size_t made = bench::AllocationCount() - before;
  m.exit(obj);
  return made == 1;
}

// Saving the loaded scenario writes back the bytes it read, and the floor writes the same.
bool SameBytes() {
  const fs::path& file = ScenarioFile(kLargeWorld);
  std::string bytes, buffer;
  bench::FloorScenario s;
  bench::FloorLoad(file, bytes, s);
  const fs::path floorOut = WorkDir() / "check-floor.scn";
  const fs::path hostOut = WorkDir() / "check-host.scn";
  bench::FloorSave(s, buffer, floorOut);
  Many(kLargeWorld);  // ensures the load has run
  {
    World w(BenchPaths());
    w.journal().SetEnabled(false);
    w.LoadScenario(file);
    w.SaveScenario(hostOut);
  }
  const std::string original = ReadFile(file);
  return ReadFile(floorOut) == original && ReadFile(hostOut) == original;
}

}  // namespace

BENCHMARK(BM_BeforeStep);
BENCHMARK(BM_DirectKeys);
BENCHMARK(BM_Hud);
BENCHMARK(BM_HudHostFrame);
BENCHMARK(BM_HudNoOp);
BENCHMARK(BM_Frame)->Arg(kSmallWorld)->Arg(kLargeWorld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCold)
    ->Arg(kSmallWorld)
    ->Arg(kLargeWorld)
    ->Iterations(kColdFrames)
    ->Repetitions(kColdRepetitions)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LampsOnly)->Arg(kSmallWorld)->Arg(kLargeWorld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load)->Iterations(kScenarioPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Iterations(kScenarioPairs)->Unit(benchmark::kMillisecond);

// --- address layouts ---

// The per-frame figures are a few nanoseconds each, and they move with where the loader puts
// the program, the libraries, the module and the stack, which it chooses afresh for every
// process: one build measures a HUD ratio of 1.26 in one process and 1.31 in the next, while
// runs with the same layout agree to a few thousandths. Each of those figures is therefore the
// median over this process and a few more started afresh from this program, which measure
// only them.
constexpr const char* kLayoutChild = "LUMIPOD_BENCH_LAYOUT";  // set in those processes
const char* const kPerFrameFigures[] = {"before_step", "direct_keys", "hud_1920x1080"};
// The benchmarks those figures come from.
constexpr const char* kPerFrameFilter = "--benchmark_filter=^BM_(BeforeStep|DirectKeys|Hud)$";

// Runs this program again, measuring only the per-frame figures; what its "name ratio" lines
// say. Nothing when it could not be run.
std::map<std::string, double> PerFrameFiguresOfANewProcess() {
  std::map<std::string, double> out;
  int fd[2];
  if (pipe(fd) != 0) return out;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fd[0]);
    close(fd[1]);
    return out;
  }
  if (pid == 0) {
    dup2(fd[1], STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
    close(fd[0]);
    close(fd[1]);
    setenv(kLayoutChild, "1", 1);
    execl("/proc/self/exe", "lumipod_bench", kPerFrameFilter, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fd[1]);
  std::string text;
  char buf[4096];
  for (ssize_t got; (got = read(fd[0], buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(got));
  close(fd[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string name, more;
    double value = 0;
    if (words >> name >> value && !(words >> more)) out[name] = value;
  }
  return out;
}

int main(int argc, char** argv) {
  // Defaults for a noisy machine, each overridable on the command line.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=5";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string minTime = "--benchmark_min_time=0.2";
  auto given = [&](const char* flag) {
    for (int i = 1; i < argc; ++i)
      if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    return false;
  };
  if (!given("--benchmark_repetitions")) args.insert(args.begin() + 1, reps.data());
  if (!given("--benchmark_enable_random_interleaving"))
    args.insert(args.begin() + 1, interleave.data());
  if (!given("--benchmark_min_time")) args.insert(args.begin() + 1, minTime.data());
  // --layouts=N: how many processes the per-frame figures are the median over (this one
  // included); 5 unless given, 1 in the processes started for them.
  int layouts = std::getenv(kLayoutChild) != nullptr ? 1 : 5;
  for (auto it = args.begin() + 1; it != args.end();) {
    if (std::strncmp(*it, "--layouts=", 10) == 0) {
      layouts = std::max(1, std::atoi(*it + 10));
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 2;

  int status = 0;
  try {
    // The worlds are built on first use, before the timed loop of the benchmark that needs
    // them, so a filtered run builds only what it measures.
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    auto ratio = [&](const std::string& figure, const std::string& floor) {
      return collector.Best(figure) / collector.Best(floor);
    };
    const std::string large = std::to_string(kLargeWorld), small = std::to_string(kSmallWorld);
    const std::string pairs = "/iterations:" + std::to_string(kScenarioPairs);
    const std::string load = "BM_Load" + pairs, save = "BM_Save" + pairs;
    auto cold = [](const std::string& lamps) {
      return "BM_FrameCold/" + lamps + "/iterations:" + std::to_string(kColdFrames) +
             "/repeats:" + std::to_string(kColdRepetitions) + ":frame_us";
    };
    std::vector<Figure> figures = {
        {"before_step", collector.Middle("BM_BeforeStep:ratio"), 1.5},
        {"direct_keys", collector.Middle("BM_DirectKeys:ratio"), 2.0},
        {"hud_1920x1080", collector.Middle("BM_Hud:ratio"), 1.3},
        // Host frames as a host has them, each after other work has emptied the caches.
        {"frame_10000_vs_1000", ratio(cold(large), cold(small)), 11.0},
        {"scenario_load_10000", collector.Middle(load + ":ratio"), 2.0},
        {"scenario_save_10000", collector.Middle(save + ":ratio"), 2.0},
    };
    // For the reader, no goal: frames back to back, where a thousand lamps stay in the
    // nearest caches and ten thousand do not, for the host and for the lamps alone; the HUD
    // as the host's own frame draws it, and into a Sketchpad that keeps nothing (the lamp's
    // share of the HUD figure, the rest being the recorder's).
    const std::vector<Figure> notes = {
        {"frame_warm_10000_vs_1000", ratio("BM_Frame/" + large, "BM_Frame/" + small), 0},
        {"lamps_only_warm_10000_vs_1000", ratio("BM_LampsOnly/" + large, "BM_LampsOnly/" + small),
         0},
        {"hud_host_frame_1920x1080", collector.Middle("BM_HudHostFrame:ratio"), 0},
        {"hud_noop_sketchpad_1920x1080", collector.Middle("BM_HudNoOp:ratio"), 0},
    };
    // The per-frame figures this process measured, over as many layouts as asked for.
    std::map<std::string, std::vector<double>> perLayout;
    for (const Figure& f : figures)
      for (const char* name : kPerFrameFigures)
        if (f.name == std::string(name) && !std::isnan(f.ratio)) perLayout[name] = {f.ratio};
    for (int k = 1; k < layouts && !perLayout.empty(); ++k) {
      const auto more = PerFrameFiguresOfANewProcess();
      for (auto& [name, values] : perLayout)
        if (auto it = more.find(name); it != more.end()) values.push_back(it->second);
    }
    for (Figure& f : figures)
      if (auto it = perLayout.find(f.name); it != perLayout.end()) f.ratio = Median(it->second);

    constexpr int kFrames = 1000;
    const std::size_t allocs = ModuleAllocations(kFrames);
    const bool counterWorks = CounterSeesModule();
    // Only when the scenario figures were measured (a filtered run may leave them out).
    const bool scenarios = !std::isnan(collector.Best(load)) || !std::isnan(collector.Best(save));
    const bool sameBytes = !scenarios || SameBytes();

    std::printf("\n");
    for (const Figure& f : figures)
      if (!std::isnan(f.ratio)) std::printf("%s %.3f\n", f.name, f.ratio);
    std::printf("module_allocations_per_frame %g\n", static_cast<double>(allocs) / kFrames);
    for (const Figure& f : notes)
      if (!std::isnan(f.ratio)) std::printf("%s %.3f\n", f.name, f.ratio);
    for (const auto& [name, values] : perLayout) {
      if (values.size() < 2) continue;
      std::printf("%s_per_layout", name.c_str());
      for (double v : values) std::printf(" %.3f", v);
      std::printf("\n");
    }

    std::printf("\n");
    for (const Figure& f : figures) {
      if (std::isnan(f.ratio)) {
        std::printf("goal %-22s not measured in this run\n", f.name);
        continue;
      }
      const bool ok = f.ratio <= f.goal;
      std::printf("goal %-22s %7.3f <= %-5.2g %s\n", f.name, f.ratio, f.goal, ok ? "pass" : "FAIL");
      if (!ok) status = 1;
    }
    std::printf("goal %-22s %7zu == 0     %s (in %d frames)\n", "module_allocations", allocs,
                allocs == 0 ? "pass" : "FAIL", kFrames);
    if (allocs != 0) status = 1;
    std::printf("check allocation counter sees the module: %s\n", counterWorks ? "yes" : "NO");
    if (scenarios)
      std::printf("check saved scenario bytes = loaded = floor's: %s\n", sameBytes ? "yes" : "NO");
    if (!counterWorks || !sameBytes) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumipod_bench: %s\n", e.what());
    status = 2;
  }
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return status;
}
