// lumipod_bench: what a host pays for the lamp. Each figure divides one benchmark by another
// of the same run (its floor), so that a busy machine slows both alike.
//
//   figure               measured                            floor                        guard
//   before_step          the lamp's clbkBeforeStep           an empty virtual callback     1.5
//   direct_keys          the lamp's clbkDirectKeys, no key   an empty virtual callback     2
//   hud_1920x1080        the lamp's clbkDrawHUD into a       its 13 lines formatted with   1.3
//                        Sketchpad that keeps nothing        bare snprintf, drawn on it
//   load_10000           World::LoadScenario, 10,000 lamps   the same lines read by sscanf 4
//   save_10000           World::SaveScenario of them         the same lines by snprintf    4
//                                                            (numbers by to_chars)
//   frame_10000_vs_1000  World::Step with 10,000 lamps, the   the same with 1,000 lamps     12
//                        caches emptied before each frame
//   warm_frame_...       the same, frames back to back       the same                   (none)
//   run_16000_vs_4000    `hostsim run` of load, step, save    the same with 4,000 lamps     5
//                        of 16,000 lamps, through the code
//                        the command runs
//   inspect_16000_vs_... `hostsim inspect` of 16,000 lamps   the same with 4,000 lamps     5
//   lights_256_vs_16     an offscreen 1280x720 picture of a    the same of a field of 16     1.5
//                        field of 256 lit lamps, spaced so
//                        that a pixel sees as many lights
//   lights_4096_vs_16    the same of 4,096 lit lamps          the same of 16                2
//   shadows_demo         the demo's picture at 1280x720       the same without shadows    (none)
//   allocations          heap allocations per frame in the lamp's per-frame callbacks      0
//   saved_bytes          a world saves the scenario it loaded byte for byte, and so does the
//                        save floor (else the floors would not do the host's work)
//
// The worlds are as the commands run them: the journal off, the ring of the latest calls that a
// fault's report quotes on (it always is).
//
// The pictures are drawn by Mesa's software renderer on the calling thread (LP_NUM_THREADS=0
// unless the environment says otherwise), so that the CPU time measured is the drawing's.
//
// Every benchmark runs five repetitions, interleaved at random; a figure divides the least CPU
// time per iteration of its benchmark (the "min" rows of Google Benchmark's table) by its
// floor's. Then comes the guard table; the exit status is 1 when a guard is missed. Google
// Benchmark's flags (--benchmark_filter, --benchmark_repetitions, ...) override the defaults.
//
// --smoke runs every benchmark once and briefly, as the test suite does: the ratios are
// printed but not held to their guards (a short run on a shared machine is too noisy for
// that), while the checks of correctness (no allocation per frame, saved bytes as loaded)
// still decide the exit status.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "empty_vessel.h"
#include "hostsim/cli/fault_report.h"
#include "hostsim/cli/session.h"
#include "hostsim/cli/view.h"
#include "hostsim/world.h"
#include "lamp/lumipod.h"
#if defined(HOSTSIM_HAVE_RENDER)
#include "pictures.h"
#endif
#include "scenario_floor.h"

// Every heap allocation of the program, the host runtime and the module goes through this
// operator new (libstdc++'s array and nothrow forms call it; nothing here uses the aligned
// ones, which it leaves uncounted).
namespace {
std::atomic<std::size_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;
using hostsim::World;

constexpr double kStep = 0.02;
constexpr int kFewLamps = 1000;
constexpr int kManyLamps = 10000;
constexpr int kRunFew = 4000;  // the end-to-end figures
constexpr int kRunMany = 16000;

hostsim::Paths BenchPaths() {
  hostsim::Paths p;
  p.config = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "config";
  p.meshes = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "meshes";
  p.modules = fs::path(LUMIPOD_MODULE_DIR);
  return p;
}

// A folder of this run's own for scenario files, removed at exit.
const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("lumipod-bench-" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- one lamp ---

// A lamp set up as a host sets it up, with the focus and its first step taken (which deals
// with its stored placement), and an empty vessel object beside it.
struct OneLamp {
  World world{BenchPaths()};
  hostsim::Vessel* vessel = nullptr;
  VESSEL3* lamp = nullptr;
  VESSEL3* empty = bench::MakeEmptyVessel();

  OneLamp() {
    world.journal().SetEnabled(false);
    vessel = &world.CreateVessel("lamp", "lumipod");
    world.LoadVesselState(*vessel, {});
    world.FinishCreation(*vessel);
    world.BuildVisual(*vessel);
    world.SetFocus(vessel);
    world.Step(kStep);
    lamp = vessel->callbacks();
  }
  ~OneLamp() { bench::FreeEmptyVessel(empty); }
};

OneLamp& Lamp() {
  static OneLamp one;
  one.world.MakeCurrent();
  return one;
}

// The lamp's callback, or the empty one's.
VESSEL3* Callbacks(bool lamp) { return lamp ? Lamp().lamp : Lamp().empty; }

void BeforeStep(benchmark::State& state, bool lamp) {
  VESSEL3* cb = Callbacks(lamp);
  for (auto _ : state) cb->clbkBeforeStep(10.0, kStep, 51544.5);
}

void DirectKeys(benchmark::State& state, bool lamp) {
  VESSEL3* cb = Callbacks(lamp);
  Lamp().world.ReleaseAllKeys();
  char* keys = Lamp().world.KeyState();
  for (auto _ : state) benchmark::DoNotOptimize(cb->clbkDirectKeys(keys));
}

// A Sketchpad that keeps nothing.
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

void Hud(benchmark::State& state) {
  VESSEL3* lamp = Lamp().lamp;
  const HUDPAINTSPEC hps = HudArea();
  NoOpSketchpad pad;
  for (auto _ : state) benchmark::DoNotOptimize(lamp->clbkDrawHUD(1, &hps, &pad));
}

// The lamp's thirteen lines with its own values, each formatted into one buffer and drawn on
// the same kind of Sketchpad through its base class, and nothing else.
void HudFloor(benchmark::State& state) {
  const auto& lamp = *static_cast<const lumipod*>(Lamp().vessel->iface());
  NoOpSketchpad pad;
  zapi::Sketchpad* skp = &pad;
  benchmark::DoNotOptimize(skp);  // a virtual call, as the lamp's are
  char buf[256];
  int y = 0;
  auto draw = [&](int len) { skp->Text(10, y++, buf, len); };
  for (auto _ : state) {
    draw(std::snprintf(buf, sizeof buf, "%s", "[B] = Spotlight On/Off"));
    draw(std::snprintf(buf, sizeof buf, "[N] = Enter Range %0.1fm", lamp.range));
    draw(std::snprintf(buf, sizeof buf, "[M] = Enter Spread Angle %0.1f\xB0",
                       lamp.aperture * 57.29577951308232));
    draw(std::snprintf(buf, sizeof buf, "[J]/[K] = -/+ Intensity %d%%",
                       static_cast<int>(lamp.intensity * 100.0)));
    draw(std::snprintf(buf, sizeof buf, "%s", "[V]/[Shift+V] = Easy Attach/Detach"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[Shift]+[Arrows] = Rotate Lamp Alt/Az"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[Shift]/[Alt]+......"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad1] = Shift Att. +/- X"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad2] = Shift Att. +/- Y"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad3] = Shift Att. +/- Z"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad4] = Rotate Att. +/- X"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad5] = Rotate Att. +/- Y"));
    draw(std::snprintf(buf, sizeof buf, "%s", "[NumPad6] = Rotate Att. +/- Z"));
  }
}

// Heap allocations of the lamp's per-frame callbacks over `frames` frames: its step, its keys
// (none down in the first half, K then J held in the second) and its HUD.
std::size_t LampAllocations(int frames) {
  OneLamp& one = Lamp();
  const HUDPAINTSPEC hps = HudArea();
  NoOpSketchpad pad;
  std::size_t made = 0;
  for (int i = 0; i < frames; ++i) {
    one.world.ReleaseAllKeys();
    if (i >= frames / 2) one.world.SetKey(i % 2 == 0 ? ZKEY_K : ZKEY_J, true);
    const std::size_t before = g_allocations.load();
    one.lamp->clbkBeforeStep(10.0 + i * kStep, kStep, 51544.5);
    one.lamp->clbkDirectKeys(one.world.KeyState());
    one.lamp->clbkAfterStep(10.0 + i * kStep, kStep, 51544.5);
    one.lamp->clbkDrawHUD(1, &hps, &pad);
    made += g_allocations.load() - before;
  }
  one.world.ReleaseAllKeys();
  return made;
}

// Whether the counter sees the module's allocations at all: zvcInit makes the lamp with new.
bool CounterSeesModule() {
  hostsim::Module& m = Lamp().world.LoadModule("lumipod");
  const std::size_t before = g_allocations.load();
  VESSEL* obj = m.init(nullptr, 1);
  const std::size_t made = g_allocations.load() - before;
  m.exit(obj);
  return made >= 1;
}

// --- many lamps ---

// A scenario file of `lamps` lamps as the host itself saves it, so that a save writes back the
// bytes a load read.
const fs::path& ScenarioFile(int lamps) {
  static std::map<int, fs::path> files;
  if (auto it = files.find(lamps); it != files.end()) return it->second;
  const fs::path source = WorkDir() / ("source-" + std::to_string(lamps) + ".scn");
  if (!(std::ofstream(source, std::ios::binary) << bench::MakeScenarioText(lamps)))
    throw std::runtime_error("cannot write " + source.string());
  const fs::path file = WorkDir() / ("lamps-" + std::to_string(lamps) + ".scn");
  World w(BenchPaths());
  w.journal().SetEnabled(false);
  w.LoadScenario(source);
  w.SaveScenario(file);
  return files.emplace(lamps, file).first->second;
}

// A world of that many lamps (and a tug for every ten), its first step taken.
World& ManyLamps(int lamps) {
  static std::map<int, std::unique_ptr<World>> worlds;
  std::unique_ptr<World>& w = worlds[lamps];
  if (!w) {
    w = std::make_unique<World>(BenchPaths());
    w->journal().SetEnabled(false);
    w->LoadScenario(ScenarioFile(lamps));
    w->Step(kStep);
  }
  w->MakeCurrent();
  return *w;
}

// Frames back to back: what the frame touches stays in the caches when it fits them, which
// a thousand lamps do and ten thousand do not.
void WarmFrame(benchmark::State& state, int lamps) {
  World& world = ManyLamps(lamps);
  for (auto _ : state) world.Step(kStep);
}

// Between two frames a host renders and simulates, which leaves little of the last frame in
// the caches: here every frame starts after a walk over more memory than they hold (outside
// the timing), so that the guarded ratio is the host's scaling, not the caches' size.
void ColdFrame(benchmark::State& state, int lamps) {
  World& world = ManyLamps(lamps);
  static std::vector<char> junk(std::size_t{128} << 20, 1);  // four times the last cache
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < junk.size(); i += 64) ++junk[i];
    benchmark::DoNotOptimize(junk.data());
    state.ResumeTiming();
    world.Step(kStep);
  }
}

// Loading into a host that has the module loaded already, each time into an empty world (the
// last load's vessels are destroyed outside the timing).
void Load(benchmark::State& state) {
  const fs::path& file = ScenarioFile(kManyLamps);
  World world(BenchPaths());
  world.journal().SetEnabled(false);
  world.LoadModule("lumipod");
  for (auto _ : state) {
    state.PauseTiming();
    const auto vessels = world.Vessels();
    for (auto it = vessels.rbegin(); it != vessels.rend(); ++it) world.DestroyVessel(**it);
    state.ResumeTiming();
    world.LoadScenario(file);
  }
}

void LoadFloor(benchmark::State& state) {
  const fs::path& file = ScenarioFile(kManyLamps);
  std::string bytes;
  bench::FloorScenario s;
  for (auto _ : state) benchmark::DoNotOptimize(bench::FloorLoad(file, bytes, s));
}

void Save(benchmark::State& state) {
  World& world = ManyLamps(kManyLamps);
  const fs::path out = WorkDir() / "host-saved.scn";
  for (auto _ : state) world.SaveScenario(out);
}

void SaveFloor(benchmark::State& state) {
  std::string bytes, buffer;
  bench::FloorScenario s;
  bench::FloorLoad(ScenarioFile(kManyLamps), bytes, s);
  const fs::path out = WorkDir() / "floor-saved.scn";
  for (auto _ : state) benchmark::DoNotOptimize(bench::FloorSave(s, buffer, out));
}

// --- what the commands run ---

// Where the commands' output goes here: written, as to a terminal or a file, and dropped.
std::ofstream& Discard() {
  static std::ofstream out("/dev/null", std::ios::binary);
  return out;
}

// `hostsim run` of a script that loads the lamps, takes a frame and saves them, through the code
// the command runs: a watched world and a session writing its transcript.
void RunCommand(benchmark::State& state, int lamps) {
  const fs::path saved = WorkDir() / ("run-saved-" + std::to_string(lamps) + ".scn");
  const std::string script =
      "load " + ScenarioFile(lamps).string() + "\nstep\nsave " + saved.string() + "\n";
  hostsim::cli::SessionOptions opts;
  opts.script = WorkDir() / "bench.session";
  opts.label = "bench.session";
  for (auto _ : state) {
    hostsim::cli::WatchedWorld watched(BenchPaths(), {});
    hostsim::cli::Session session(watched.world(), Discard(), opts);
    std::istringstream in(script);
    session.Run(in);
    watched.world().Clear();
  }
}

// `hostsim inspect` of the lamps: the load and the view of every vessel.
void InspectCommand(benchmark::State& state, int lamps) {
  const fs::path& file = ScenarioFile(lamps);
  for (auto _ : state) {
    hostsim::cli::WatchedWorld watched(BenchPaths(), {});
    watched.world().LoadScenario(file);
    hostsim::cli::WriteWorldView(watched.world(), Discard());
  }
}

// --- results ---

// The least CPU time per iteration of every benchmark: its "min" row when it ran in several
// repetitions, else its only run.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const bool least = r.run_type == Run::RT_Iteration ||
                         (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min");
      if (!least || r.error_occurred) continue;
      auto [it, added] = least_.try_emplace(r.run_name.function_name, r.GetAdjustedCPUTime());
      if (!added) it->second = std::min(it->second, r.GetAdjustedCPUTime());
    }
  }
  double Least(const std::string& name) const {
    auto it = least_.find(name);
    return it == least_.end() ? std::numeric_limits<double>::quiet_NaN() : it->second;
  }

 private:
  std::map<std::string, double> least_;
};

double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Whether this is a smoke run (--smoke): brief, and the ratio guards only shown.
bool g_smoke = false;

// Registers a benchmark that runs `iterations` times in each repetition, or as often as its
// time needs when that is 0.
template <class... Args>
void Register(const char* name, benchmark::TimeUnit unit, int iterations,
              void (*fn)(benchmark::State&, Args...), Args... args) {
  auto* b =
      benchmark::RegisterBenchmark(name, fn, args...)->Unit(unit)->ComputeStatistics("min", Least);
  if (iterations > 0)
    b->Iterations(iterations);
  else if (g_smoke)
    b->MinTime(0.01);
}

struct Guard {
  const char* figure;
  const char* measured;
  const char* floor;
  double most;  // 0: shown without a guard
};

constexpr Guard kGuards[] = {
    {"before_step", "before_step/lamp", "before_step/empty", 1.5},
    {"direct_keys", "direct_keys/lamp", "direct_keys/empty", 2.0},
    {"hud_1920x1080", "hud/lamp", "hud/13_snprintf", 1.3},
    {"load_10000", "load/host", "load/sscanf", 4.0},
    {"save_10000", "save/host", "save/snprintf", 4.0},
    {"frame_10000_vs_1000", "frame/10000", "frame/1000", 12.0},
    {"warm_frame_10000_vs_1000", "warm_frame/10000", "warm_frame/1000", 0},  // no guard
    {"run_16000_vs_4000", "run/16000", "run/4000", 5.0},
    {"inspect_16000_vs_4000", "inspect/16000", "inspect/4000", 5.0},
    {"lights_256_vs_16", "picture/field_256", "picture/field_16", 1.5},
    {"lights_4096_vs_16", "picture/field_4096", "picture/field_16", 2.0},
    {"shadows_demo", "picture/demo", "picture/demo_no_shadows", 0},  // no guard
};

int Run() {
  using benchmark::kMicrosecond, benchmark::kMillisecond, benchmark::kNanosecond;
  Register("before_step/lamp", kNanosecond, 0, BeforeStep, true);
  Register("before_step/empty", kNanosecond, 0, BeforeStep, false);
  Register("direct_keys/lamp", kNanosecond, 0, DirectKeys, true);
  Register("direct_keys/empty", kNanosecond, 0, DirectKeys, false);
  Register("hud/lamp", kNanosecond, 0, Hud);
  Register("hud/13_snprintf", kNanosecond, 0, HudFloor);
  // The slow ones run a fixed number of times in each repetition: enough for a least time.
  Register("frame/1000", kMicrosecond, 40, ColdFrame, kFewLamps);
  Register("frame/10000", kMicrosecond, 40, ColdFrame, kManyLamps);
  Register("warm_frame/1000", kMicrosecond, 0, WarmFrame, kFewLamps);
  Register("warm_frame/10000", kMicrosecond, 0, WarmFrame, kManyLamps);
  Register("load/host", kMillisecond, 3, Load);
  Register("load/sscanf", kMillisecond, 3, LoadFloor);
  Register("save/host", kMillisecond, 3, Save);
  Register("save/snprintf", kMillisecond, 3, SaveFloor);
  Register("run/4000", kMillisecond, 2, RunCommand, kRunFew);
  Register("run/16000", kMillisecond, 1, RunCommand, kRunMany);
  Register("inspect/4000", kMillisecond, 2, InspectCommand, kRunFew);
  Register("inspect/16000", kMillisecond, 1, InspectCommand, kRunMany);
#if defined(HOSTSIM_HAVE_RENDER)
  const fs::path* dir = &WorkDir();
  Register("picture/field_16", kMillisecond, 3, bench::FieldPicture, 16, dir);
  Register("picture/field_256", kMillisecond, 3, bench::FieldPicture, 256, dir);
  Register("picture/field_4096", kMillisecond, 3, bench::FieldPicture, 4096, dir);
  Register("picture/demo", kMillisecond, 3, bench::DemoPicture, true);
  Register("picture/demo_no_shadows", kMillisecond, 3, bench::DemoPicture, false);
#endif

  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  bool missed = false;
  std::printf("\n%-24s %8s  %-6s %s\n", "figure", "ratio", "guard", "result");
  for (const Guard& g : kGuards) {
    const double ratio = collector.Least(g.measured) / collector.Least(g.floor);
    if (std::isnan(ratio)) continue;  // left out by a filter
    if (g.most == 0) {
      std::printf("%-24s %8.3f\n", g.figure, ratio);
      continue;
    }
    const bool pass = ratio <= g.most;
    if (!g_smoke) missed |= !pass;
    std::printf("%-24s %8.3f  <= %-3g %s%s\n", g.figure, ratio, g.most, pass ? "pass" : "MISS",
                g_smoke ? " (not enforced in a smoke run)" : "");
  }
  constexpr int kFrames = 1000;
  const std::size_t made = LampAllocations(kFrames);
  const bool seen = CounterSeesModule();
  const bool pass = made == 0 && seen;
  missed |= !pass;
  std::printf("%-24s %8g  == 0   %s%s\n", "allocations_per_frame",
              static_cast<double>(made) / kFrames, pass ? "pass" : "MISS",
              seen ? "" : " (the counter does not see the module's allocations)");

  // The floors do the host's work only if they read and write the bytes the host does: the
  // file's own, when a world that has not stepped saves what it loaded.
  if (!std::isnan(collector.Least("save/snprintf"))) {
    const fs::path& file = ScenarioFile(kManyLamps);
    World fresh(BenchPaths());
    fresh.journal().SetEnabled(false);
    fresh.LoadScenario(file);
    fresh.SaveScenario(WorkDir() / "fresh-saved.scn");
    const std::string original = ReadFile(file);
    const bool host = ReadFile(WorkDir() / "fresh-saved.scn") == original;
    const bool floor = ReadFile(WorkDir() / "floor-saved.scn") == original;
    missed |= !(host && floor);
    std::printf("%-24s %8s  %-6s %s (host %s, floor %s)\n", "saved_bytes_as_loaded", "", "",
                host && floor ? "pass" : "MISS", host ? "same" : "differs",
                floor ? "same" : "differs");
  }
  return missed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Defaults for a noisy machine, or for a smoke run; flags given on the command line come
  // later and win.
  setenv("LP_NUM_THREADS", "0", 0);
  std::vector<char*> given;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--smoke")
      g_smoke = true;
    else
      given.push_back(argv[i]);
  }
  char reps[] = "--benchmark_repetitions=5";
  char once[] = "--benchmark_repetitions=1";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char aggregates[] = "--benchmark_display_aggregates_only=true";
  std::vector<char*> args{argv[0], g_smoke ? once : reps, interleave, aggregates};
  args.insert(args.end(), given.begin(), given.end());
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 2;
  int status = 2;
  try {
    status = Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumipod_bench: %s\n", e.what());
  }
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(WorkDir(), ec);
  return status;
}
