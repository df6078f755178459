// Watching a module's per-frame callbacks for calls of the C library that block: opening,
// reading or writing files, sleeping and waiting. On Linux with glibc the program defines
// these functions itself, notes a call when it is made on the thread of a callback being
// watched, and hands it over to the C library's own (found with dlsym(RTLD_NEXT)); the
// dynamic linker binds every library's calls, a module's too, to the program's. Elsewhere
// nothing is watched: on Windows each library carries its own C runtime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostsim::check {

// Whether calls are watched on this system.
bool BlockingCallsWatched();

// The functions watched, as one line for the report.
const char* WatchedCallNames();

// Names the module callback now running on this thread (null: none); watched calls made on
// this thread meanwhile are counted under that name. `callback` must stay valid (a literal).
void WatchCallback(const char* callback);

struct BlockingCall {
  std::string call;      // "open", "nanosleep", ...
  std::string callback;  // "clbkBeforeStep", ...
  std::uint64_t count = 0;
};

// The calls counted since the last time, and counting starts over.
std::vector<BlockingCall> TakeBlockingCalls();

}  // namespace hostsim::check
