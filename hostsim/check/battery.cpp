// The battery: every check's stable name, its one-line description and its function, in the
// order a run goes through them.
#include "hostsim/check/checks.h"

namespace hostsim::check {

const std::vector<Check>& Battery() {
  static const std::vector<Check> battery = {
      {"library.exports",
       "exports zvcInit, zvcExit, ModuleDate and GetModuleVersion; calls InitLib once at load; "
       "stable date and version; zvcExit(null) does nothing",
       LibraryExports},
      {"library.load_unload",
       "loads and unloads 100 times: InitLib once per load, and each unload really removes the "
       "library (so its unload and exit hooks run)",
       LibraryLoadUnload},
      {"library.unload_leaks", "100 loads and unloads leave no heap allocation behind",
       LibraryUnloadLeaks},
      {"library.two_instances",
       "two vessels of the class in one world: distinct objects, and input to one changes "
       "neither the other's registrations nor its save",
       LibraryTwoInstances},
      {"setup.class",
       "a vessel made from the class configuration: zvcInit gives a callbacks object bound to "
       "its vessel, clbkSetupClass runs; lists the registrations",
       SetupClass},
      {"setup.finite",
       "no NaN or infinity reaches the host from set-up, creation, the visual or a first frame",
       SetupFinite},
      {"state.fresh_round_trip",
       "a fresh vessel saved, loaded into a new world and saved again gives the same lines",
       StateFreshRoundTrip},
      {"state.walk_round_trip",
       "the same after each step of a walk through every key the module takes (with and "
       "without modifiers) and every box it opens (typical and edge texts), then after a "
       "random walk of keys, box texts and frames; a failure lists the walk's steps",
       StateWalkRoundTrip},
      {"state.unknown_lines",
       "scenario lines the module does not know, put before each of its own lines in turn and "
       "after the last, reach the host and come back in the save",
       StateUnknownLines},
      {"state.save_before_frame",
       "a save made before the first frame keeps what was loaded, after each step of the walk "
       "through every key and box and after a random walk",
       StateSaveBeforeFrame},
      {"input.buffered_keys",
       "every key code alone and with each modifier, then thousands of random key events with "
       "modifiers, frames of 1e-6 to 1 s between: no NaN or infinity reaches the host",
       InputBufferedKeys},
      {"input.direct_keys",
       "every key held alone through frames of 1e-6 and 1 s, then thousands of frames of 1e-6 to "
       "1 s with random held keys: no NaN or infinity reaches the host",
       InputDirectKeys},
      {"input.boxes",
       "every input box the keys open, answered with hostile texts (empty, huge, not UTF-8, "
       "numbers at the limits of double) and random ones: no NaN or infinity reaches the host",
       InputBoxes},
      {"hud.sizes",
       "the HUD drawn at 0x0, 1x1, 1x100000, 100000x1 and common screens: texts of at most 255 "
       "bytes, on common screens starting inside the area",
       HudSizes},
      {"visual.rebuild",
       "the visual built and dropped 300 times, every key and frame walked with the first up "
       "and after it is dropped, random keys and frames between the others: no device mesh or "
       "visual handle of a dropped visual reaches the host",
       VisualRebuild},
      {"frame.allocations",
       "the per-frame callbacks (before and after step, direct keys, HUD) allocate nothing: "
       "malloc, calloc, realloc, aligned_alloc, posix_memalign, memalign and operator new are "
       "counted, the host's own allocations in calls the module makes are not",
       FrameAllocations},
      {"frame.blocking_calls",
       "the per-frame callbacks open, read, write or ask about no file, sleep and wait for "
       "nothing: the C library's calls for these (printf, fprintf, stat, ... too) are watched "
       "while each callback runs, and the kernel counts the thread's reads, writes and waits",
       FrameBlockingCalls},
      {"frame.time",
       "median time of the per-frame callbacks, beside empty callbacks'; fails above 1 ms",
       FrameTime, true},
      {"lifecycle.many",
       "1000 vessels created, stepped, saved and destroyed leave nothing allocated", LifecycleMany},
  };
  return battery;
}

}  // namespace hostsim::check
