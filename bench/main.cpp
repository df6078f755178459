// lumipod_bench: what a host pays for the lamp, each figure divided by its floor measured in
// the same run, so that a busy machine shifts both alike.
//
//   figure                                   floor
//   clbkBeforeStep (after the first step)    an empty callback of a class of the same shape
//   clbkDirectKeys, no key down              the same empty callback
//   the lamp's HUD at 1920x1080, recorded    the thirteen bare snprintf of its lines
//   a host frame of 10,000 lamps             a host frame of 1,000 lamps
//   loading / saving 10,000 lamps            the same bytes read with sscanf / written with
//                                            snprintf in a bare loop
// and the heap allocations inside the module's per-frame callbacks, which must be none.
//
// Every benchmark runs in several repetitions, interleaved at random; a figure's time is the
// least CPU time per iteration over its repetitions. After Google Benchmark's own table the
// program prints one "name ratio" line per figure and then each against its goal; its exit
// status is 1 when a goal is missed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "alloc_counter.h"
#include "empty_vessel.h"
#include "hostsim/world.h"
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

struct LampBed {
  World world{BenchPaths()};
  Vessel* lamp = nullptr;
  VESSEL3* cb = nullptr;
  std::vector<hostsim::HudOp> ops;

  LampBed() {
    lamp = &world.CreateVessel("lamp", "lumipod");
    world.LoadVesselState(*lamp, {});
    world.FinishCreation(*lamp);
    world.BuildVisual(*lamp);
    world.SetFocus(lamp);
    world.journal().SetEnabled(false);
    world.journal().Clear();
    world.Step(kStep);  // the first step has dealt with the stored placement
    cb = lamp->callbacks();
    world.DrawHUD(*lamp, 1920, 1080, ops);  // the recorder warm
  }
};

LampBed& Lamp() {
  static LampBed bed;
  bed.world.MakeCurrent();
  return bed;
}

struct EmptyBed {
  VESSEL3* cb = bench::MakeEmptyVessel();
  ~EmptyBed() { bench::FreeEmptyVessel(cb); }
};

VESSEL3* Empty() {
  static EmptyBed bed;
  return bed.cb;
}

// The same call sites serve the lamp and its floor.
__attribute__((noinline)) void RunBeforeStep(benchmark::State& state, VESSEL3* cb) {
  double simt = 10.0, dt = kStep, mjd = 51544.5;
  benchmark::DoNotOptimize(cb);
  for (auto _ : state) {
    cb->clbkBeforeStep(simt, dt, mjd);
    benchmark::ClobberMemory();
  }
}

__attribute__((noinline)) void RunDirectKeys(benchmark::State& state, VESSEL3* cb, char* keys) {
  benchmark::DoNotOptimize(cb);
  for (auto _ : state) {
    int r = cb->clbkDirectKeys(keys);
    benchmark::DoNotOptimize(r);
  }
}

void BM_BeforeStep_Floor(benchmark::State& state) { RunBeforeStep(state, Empty()); }
void BM_BeforeStep(benchmark::State& state) { RunBeforeStep(state, Lamp().cb); }

void BM_DirectKeys_Floor(benchmark::State& state) {
  RunDirectKeys(state, Empty(), Lamp().world.KeyState());
}
void BM_DirectKeys(benchmark::State& state) {
  LampBed& bed = Lamp();
  bed.world.ReleaseAllKeys();
  RunDirectKeys(state, bed.cb, bed.world.KeyState());
}

// The thirteen lines as the lamp composes them, one buffer, nothing else.
void BM_Hud_Floor(benchmark::State& state) {
  double range = 300.0, aperture = 0.3490658503988659, intensity = 1.0;
  benchmark::DoNotOptimize(range);
  benchmark::DoNotOptimize(aperture);
  benchmark::DoNotOptimize(intensity);
  char buf[256];
  for (auto _ : state) {
    int n = 0;
    n += std::snprintf(buf, sizeof buf, "%s", "[B] = Spotlight On/Off");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "[N] = Enter Range %0.1fm", range);
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "[M] = Enter Spread Angle %0.1f\xB0",
                       aperture * 57.29577951308232);
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "[J]/[K] = -/+ Intensity %d%%",
                       static_cast<int>(intensity * 100.0));
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[V]/[Shift+V] = Easy Attach/Detach");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[Shift]+[Arrows] = Rotate Lamp Alt/Az");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[Shift]/[Alt]+......");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad1] = Shift Att. +/- X");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad2] = Shift Att. +/- Y");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad3] = Shift Att. +/- Z");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad4] = Rotate Att. +/- X");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad5] = Rotate Att. +/- Y");
    benchmark::DoNotOptimize(buf);
    n += std::snprintf(buf, sizeof buf, "%s", "[NumPad6] = Rotate Att. +/- Z");
    benchmark::DoNotOptimize(buf);
    benchmark::DoNotOptimize(n);
  }
}

void BM_Hud(benchmark::State& state) {
  LampBed& bed = Lamp();
  for (auto _ : state) {
    bed.world.DrawHUD(*bed.lamp, 1920, 1080, bed.ops);
    benchmark::DoNotOptimize(bed.ops.data());
  }
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

void BM_FrameCold(benchmark::State& state) {
  ManyBed& bed = Many(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    EvictCaches();
    state.ResumeTiming();
    bed.world.Step(kStep);
  }
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

void BM_Load(benchmark::State& state) {
  const fs::path& file = ScenarioFile(kLargeWorld);
  LoadBed& bed = Loader();
  for (auto _ : state) {
    state.PauseTiming();
    ClearWorld(bed.world);
    state.ResumeTiming();
    bed.world.LoadScenario(file);
  }
}

void BM_Load_Floor(benchmark::State& state) {
  const fs::path& file = ScenarioFile(kLargeWorld);
  std::string bytes;
  bench::FloorScenario s;
  for (auto _ : state) {
    std::size_t lines = bench::FloorLoad(file, bytes, s);
    benchmark::DoNotOptimize(lines);
    benchmark::DoNotOptimize(s.vessels.data());
  }
}

void BM_Save(benchmark::State& state) {
  ManyBed& bed = Many(kLargeWorld);
  const fs::path out = WorkDir() / "saved.scn";
  for (auto _ : state) bed.world.SaveScenario(out);
}

void BM_Save_Floor(benchmark::State& state) {
  std::string bytes, buffer;
  bench::FloorScenario s;
  bench::FloorLoad(ScenarioFile(kLargeWorld), bytes, s);
  const fs::path out = WorkDir() / "floor-saved.scn";
  for (auto _ : state) {
    std::size_t n = bench::FloorSave(s, buffer, out);
    benchmark::DoNotOptimize(n);
  }
}

// --- results ---

// Keeps the least CPU time per iteration of every benchmark over its repetitions.
class Collector : public benchmark::ConsoleReporter {
 public:
  Collector() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const double t = r.GetAdjustedCPUTime();
      auto [it, fresh] = best_.emplace(r.run_name.str(), t);
      if (!fresh && t < it->second) it->second = t;
    }
  }
  double Best(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? std::numeric_limits<double>::quiet_NaN() : it->second;
  }

 private:
  std::map<std::string, double> best_;
};

struct Figure {
  const char* name;
  double ratio;
  double goal;
};

// Heap allocations the module's per-frame callbacks make over many frames, the host's
// recording Sketchpad warm and the journal off.
std::size_t ModuleAllocationsPerFrame(int frames) {
  LampBed& bed = Lamp();
  bed.world.ReleaseAllKeys();
  const std::size_t before = bench::AllocationCount();
  for (int i = 0; i < frames; ++i) {
    bed.cb->clbkBeforeStep(10.0 + i * kStep, kStep, 51544.5);
    bed.cb->clbkDirectKeys(bed.world.KeyState());
    bed.world.DrawHUD(*bed.lamp, 1920, 1080, bed.ops);
  }
  return (bench::AllocationCount() - before) / static_cast<std::size_t>(frames);
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

BENCHMARK(BM_BeforeStep_Floor);
BENCHMARK(BM_BeforeStep);
BENCHMARK(BM_DirectKeys_Floor);
BENCHMARK(BM_DirectKeys);
BENCHMARK(BM_Hud_Floor);
BENCHMARK(BM_Hud);
BENCHMARK(BM_Frame)->Arg(kSmallWorld)->Arg(kLargeWorld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCold)
    ->Arg(kSmallWorld)
    ->Arg(kLargeWorld)
    ->Iterations(40)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LampsOnly)->Arg(kSmallWorld)->Arg(kLargeWorld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Load_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

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
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 2;

  int status = 0;
  try {
    // The worlds are built on first use, before the timed loop of the benchmark that needs
    // them, so a filtered run builds only what it measures.
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    const std::vector<Figure> figures = {
        {"before_step", collector.Best("BM_BeforeStep") / collector.Best("BM_BeforeStep_Floor"),
         1.5},
        {"direct_keys", collector.Best("BM_DirectKeys") / collector.Best("BM_DirectKeys_Floor"),
         2.0},
        {"hud_1920x1080", collector.Best("BM_Hud") / collector.Best("BM_Hud_Floor"), 1.3},
        {"frame_10000_vs_1000",
         collector.Best("BM_Frame/" + std::to_string(kLargeWorld)) /
             collector.Best("BM_Frame/" + std::to_string(kSmallWorld)),
         11.0},
        {"frame_cold_10000_vs_1000",
         collector.Best("BM_FrameCold/" + std::to_string(kLargeWorld) + "/iterations:40") /
             collector.Best("BM_FrameCold/" + std::to_string(kSmallWorld) + "/iterations:40"),
         11.0},
        {"lamps_only_10000_vs_1000",
         collector.Best("BM_LampsOnly/" + std::to_string(kLargeWorld)) /
             collector.Best("BM_LampsOnly/" + std::to_string(kSmallWorld)),
         11.0},
        {"scenario_load_10000", collector.Best("BM_Load") / collector.Best("BM_Load_Floor"), 2.0},
        {"scenario_save_10000", collector.Best("BM_Save") / collector.Best("BM_Save_Floor"), 2.0},
    };
    const std::size_t allocs = ModuleAllocationsPerFrame(1000);
    const bool counterWorks = CounterSeesModule();
    // Only when the scenario figures were measured (a filtered run may leave them out).
    const bool scenarios = !std::isnan(collector.Best("BM_Load")) ||
                           !std::isnan(collector.Best("BM_Save"));
    const bool sameBytes = !scenarios || SameBytes();

    std::printf("\n");
    for (const Figure& f : figures)
      if (!std::isnan(f.ratio)) std::printf("%s %.3f\n", f.name, f.ratio);
    std::printf("module_allocations_per_frame %zu\n", allocs);

    std::printf("\n");
    for (const Figure& f : figures) {
      if (std::isnan(f.ratio)) {
        std::printf("goal %-22s not measured in this run\n", f.name);
        continue;
      }
      const bool ok = f.ratio <= f.goal;
      std::printf("goal %-22s %7.3f <= %-5.2g %s\n", f.name, f.ratio, f.goal,
                  ok ? "pass" : "FAIL");
      if (!ok) status = 1;
    }
    std::printf("goal %-22s %7zu == 0     %s\n", "module_allocations", allocs,
                allocs == 0 ? "pass" : "FAIL");
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
