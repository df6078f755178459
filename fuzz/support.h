// Shared pieces of the fuzz targets: where the examples and the built modules are, a scratch
// folder of the process's own, splitting input into lines, and a hard stop for a broken
// expectation (the fuzzer records the input as a crash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/world.h"

namespace fuzzsupport {

// Folders of the shipped example classes and meshes and of the built modules.
hostsim::Paths ExamplePaths();

// A scratch folder for this process, made on first use and removed at exit. Sub-folders
// keep the targets' files apart.
const std::filesystem::path& Scratch();
// Empties `dir` (made if missing) and returns it.
std::filesystem::path FreshDir(const std::filesystem::path& dir);
void WriteFile(const std::filesystem::path& file, std::string_view bytes);

// Under libFuzzer: keeps every module library of the build loaded for the life of the
// process. Worlds load and unload modules freely, but the coverage counters of an
// instrumented library must not go away with it, so the targets hold a reference of their
// own. The replay build lets the worlds load and unload the libraries for real.
void PinModules();

// The input as text, and split at '\n' (a last line without its '\n' counts).
std::string_view AsText(const std::uint8_t* data, std::size_t size);
std::vector<std::string> Lines(std::string_view text);

// Stops the process with a message naming the broken expectation.
[[noreturn]] void Fail(const std::string& what);
inline void Expect(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

}  // namespace fuzzsupport
