// The counters of the counting library, found at run time and tested before use (see
// counters.h).
#include "hostsim/check/counters.h"

#include <cstdlib>

#include "hostsim/check/context.h"

#if defined(__linux__) && defined(__GLIBC__)
#define HOSTSIM_CAN_COUNT 1
#include <dlfcn.h>
#include <unistd.h>

#include "hostsim/watch/watch.h"
#endif

namespace hostsim::check {

namespace {

bool g_ignoreKernel = false;

#if defined(HOSTSIM_CAN_COUNT)
const hostsim_watch_api& Api(const void* api) {
  return *static_cast<const hostsim_watch_api*>(api);
}
#endif

}  // namespace

Counters& Counters::Instance(const std::string*& why) {
  static Counters counters;
  static const std::string reason = counters.Test();
  why = &reason;
  return counters;
}

void Counters::IgnoreKernel() { g_ignoreKernel = true; }

const std::string& Counters::Unavailable() {
  const std::string* why = nullptr;
  Instance(why);
  return *why;
}

const Counters& Counters::For(Context& ctx) {
  const std::string* why = nullptr;
  Counters& counters = Instance(why);
  if (!why->empty()) ctx.NotCounted(*why);
  return counters;
}

#if !defined(HOSTSIM_CAN_COUNT)

std::string Counters::Test() {
  return "each library on this system has its own C runtime, whose allocations and calls the "
         "host cannot see";
}
std::uint64_t Counters::Allocations() const { return 0; }
std::int64_t Counters::Live() const { return 0; }
void Counters::SetLibraries(const void*) const {}
void Counters::Watch(const char*) const {}
std::vector<Seen> Counters::Take() const { return {}; }
bool Counters::Kernel(KernelCounts&) const { return false; }

#else

std::string Counters::Test() {
  using Find = const hostsim_watch_api* (*)();
  auto find = reinterpret_cast<Find>(dlsym(RTLD_DEFAULT, "hostsim_watch"));
  if (find == nullptr)
    return "the counting library libhostsim_watch.so is not loaded in this process (hostsim "
           "check preloads it into each check's process; with --in-process, give it in "
           "LD_PRELOAD)";
  const hostsim_watch_api* api = find();
  if (api == nullptr || api->version != HOSTSIM_WATCH_VERSION)
    return "the counting library loaded is of another version than this hostsim";
  api_ = api;
  // One allocation and one watched call, through pointers the optimiser cannot see through.
  void* (*volatile allocate)(std::size_t) = std::malloc;
  int (*volatile probe)(const char*, int) = access;
  const unsigned long long before = api->allocations();
  api->set_libraries(nullptr, nullptr);
  api->watch("the counters' own test");
  void* p = allocate(48);
  const int found = probe("/", F_OK);
  api->watch(nullptr);
  std::free(p);
  (void)found;
  bool allocation = false, call = false;
  hostsim_watch_seen seen[16];
  const std::size_t n = api->take(seen, 16);
  for (std::size_t i = 0; i < n && i < 16; ++i) {
    allocation |= seen[i].kind == HOSTSIM_SEEN_ALLOCATION;
    call |= seen[i].kind == HOSTSIM_SEEN_BLOCKING && std::string(seen[i].call) == "access";
  }
  if (api->allocations() == before || !allocation)
    return "an allocation made to test the counter was not counted (an allocator other than "
           "the C library's took its place, as Valgrind's does)";
  if (!call) return "a call of access made to test the watch on blocking calls was not seen";
  return {};
}

std::uint64_t Counters::Allocations() const { return Api(api_).allocations(); }

std::int64_t Counters::Live() const { return Api(api_).live(); }

void Counters::SetLibraries(const void* moduleCode) const {
  // The host's library: where the dynamic linker finds the host's own functions.
  Api(api_).set_libraries(moduleCode, dlsym(RTLD_DEFAULT, "zapiGetObjectByName"));
}

void Counters::Watch(const char* callback) const { Api(api_).watch(callback); }

std::vector<Seen> Counters::Take() const {
  constexpr std::size_t kMax = 128;
  hostsim_watch_seen seen[kMax];
  const std::size_t n = Api(api_).take(seen, kMax);
  std::vector<Seen> out;
  for (std::size_t i = 0; i < n && i < kMax; ++i)
    out.push_back({seen[i].call, seen[i].callback, seen[i].count,
                   std::vector<const void*>(seen[i].stack, seen[i].stack + seen[i].depth),
                   seen[i].kind == HOSTSIM_SEEN_BLOCKING, seen[i].host != 0});
  return out;
}

bool Counters::Kernel(KernelCounts& out) const {
  // Under memcheck the thread also runs Valgrind's own work, whose reads and writes are not
  // the module's.
  if (g_ignoreKernel) return false;
  hostsim_watch_counters c{};
  if (Api(api_).thread_counters(&c) == 0) return false;
  out = {c.reads, c.writes, c.waits};
  return true;
}

#endif

}  // namespace hostsim::check
