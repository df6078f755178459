// Checks, in the sanitizer builds and their test environment, that LeakSanitizer reports what
// our code leaks and that nothing of the system's libraries has to be excused for the renderer
// to pass:
//   leak_check released    pictures in one offscreen context and in another made after it, all
//                          released before the program ends: no leak may be reported
//   leak_check unreleased  the same with a context that is never released: must be reported
//   leak_check dropped     the pictures, then a block of 4242 bytes of our own is dropped:
//                          it and nothing else must be reported
// The tests run the program and read LeakSanitizer's report at its exit.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#if defined(LEAK_CHECK_RENDER)
#include "hostsim/render/render.h"
#include "support/world_fixture.h"
#endif

namespace {

// Keeps the compiler from leaving out an allocation whose result is not otherwise used.
void* volatile lastBlock = nullptr;

[[gnu::noinline]] void DropBlock(std::size_t bytes) {
  lastBlock = std::malloc(bytes);
  std::memset(lastBlock, 0x5a, bytes);
  lastBlock = nullptr;
}

// Overwrites the stack below the caller, so that no stale copy of a pointer left there by
// the calls before hides a leak from LeakSanitizer's scan at exit.
[[gnu::noinline]] void ScrubStack() {
  volatile unsigned char scratch[256 * 1024];
  for (auto& b : scratch) b = 0;
}

#if defined(LEAK_CHECK_RENDER)
// Two pictures of the example scenario in one context, then one in another.
void TakePictures(bool releaseFirst) {
  hostsim::World world(testsupport::ExamplePaths());
  world.journal().SetEnabled(false);
  world.LoadScenario(std::filesystem::path(LUMIPOD_SOURCE_DIR) / "examples" / "scenarios" /
                     "demo.scn");
  world.Step(0.0);
  auto* first = new hostsim::render::Offscreen();
  first->Render(world, 320, 200);
  first->Render(world, 160, 100);
  if (releaseFirst) delete first;
  hostsim::render::Offscreen second;
  second.Render(world, 64, 48);
}
#else
void TakePictures(bool) {}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
  if (mode != "released" && mode != "unreleased" && mode != "dropped") {
    std::cerr << "usage: leak_check released|unreleased|dropped\n";
    return 2;
  }
  try {
    TakePictures(mode != "unreleased");
  } catch (const std::exception& e) {
    std::cerr << "leak_check: " << e.what() << "\n";
    return 1;
  }
  if (mode == "dropped") DropBlock(4242);
  ScrubStack();
  return 0;
}
