// Benchmarks of the renderer: offscreen pictures of 1280 x 720 of fields of lit lamps and of
// the demo, with and without shadows. Built where the renderer is.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>

namespace bench {

// A square field of `lamps` lit lamps, looked down on from above its middle; its scenario
// is written into `dir`.
void FieldPicture(benchmark::State& state, int lamps, const std::filesystem::path* dir);
// The demo as `hostsim render` draws it, with or without shadows.
void DemoPicture(benchmark::State& state, bool shadows);

}  // namespace bench
