// The counters the counting checks read: heap allocations, the module's blocking calls of the
// C library, and the kernel's counts of the checking thread. They come from the counting
// library `hostsim check` preloads into each check's process (hostsim/watch/, Linux with
// glibc); nothing else carries them. Before a check reads them they test themselves once in
// the process: an allocation and a watched call must be seen. Where they cannot count (no
// library, another allocator in the way, Windows), a counting check says so and is not run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostsim::check {

class Context;

// One kind of call seen while a callback ran: allocations and blocking calls alike.
struct Seen {
  std::string call;      // "malloc", "fprintf", ...
  std::string callback;  // "clbkBeforeStep", ...
  std::uint64_t count = 0;
  // The frames of the module's (or the host's) code that made the call, innermost first, each
  // an address inside its call; empty: unknown.
  std::vector<const void*> where;
  bool blocking = false;  // a blocking call; otherwise an allocation
  bool host = false;      // the host made it, for a call of the module's into the host
};

// The kernel's counts for a thread.
struct KernelCounts {
  std::uint64_t reads = 0, writes = 0, waits = 0;
};

class Counters {
 public:
  // The counters of this process once they have proven themselves; otherwise the check is
  // reported as not counted (skipped, with the reason), never passed.
  static const Counters& For(Context& ctx);
  // Why this process cannot count; empty when it can.
  static const std::string& Unavailable();

  std::uint64_t Allocations() const;
  std::int64_t Live() const;
  // The module's library (any address of its code) and the host's: a call is the module's
  // when its stack reaches the module's code before the host's.
  void SetLibraries(const void* moduleCode) const;
  // Names the callback now running on this thread (null: none).
  void Watch(const char* callback) const;
  // What was seen since the last time; counting starts over.
  std::vector<Seen> Take() const;
  // The kernel's counts for this thread; false when the system keeps none (or under
  // memcheck, whose own work on the thread they would count).
  bool Kernel(KernelCounts& out) const;
  // Under memcheck: the kernel's counts are not read.
  static void IgnoreKernel();

 private:
  Counters() = default;
  // The one instance, tested on first use; `why` is set to why it cannot count (empty: it can).
  static Counters& Instance(const std::string*& why);
  std::string Test();
  const void* api_ = nullptr;
};

}  // namespace hostsim::check
