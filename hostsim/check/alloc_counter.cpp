// The allocation counters and the three ways of feeding them (see alloc_counter.h). Checks
// run on one thread; the counters are still atomic so that a thread of a library cannot tear
// them.
#include "hostsim/check/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define HOSTSIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOSTSIM_ASAN 1
#endif
#endif

#if defined(_WIN32)
#define HOSTSIM_COUNT_NONE 1
#elif defined(HOSTSIM_ASAN)
#define HOSTSIM_COUNT_SANITIZER 1
#elif defined(__GLIBC__)
#define HOSTSIM_COUNT_LIBC 1
#else
#define HOSTSIM_COUNT_NEW 1
#endif

namespace hostsim::check {

namespace {

std::atomic<std::uint64_t> g_made{0};
std::atomic<std::uint64_t> g_freed{0};

[[maybe_unused]] void Made() { g_made.fetch_add(1, std::memory_order_relaxed); }
[[maybe_unused]] void Freed() { g_freed.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

bool AllocationsCounted() {
#if defined(HOSTSIM_COUNT_NONE)
  return false;
#else
  return true;
#endif
}

std::uint64_t Allocations() { return g_made.load(std::memory_order_relaxed); }

std::int64_t LiveAllocations() {
  return static_cast<std::int64_t>(g_made.load(std::memory_order_relaxed)) -
         static_cast<std::int64_t>(g_freed.load(std::memory_order_relaxed));
}

}  // namespace hostsim::check

#if defined(HOSTSIM_COUNT_SANITIZER)

// The sanitizer calls these for every block its allocator hands out or takes back, from
// malloc and operator new alike.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {

void OnMalloc(const volatile void*, std::size_t) { hostsim::check::Made(); }
void OnFree(const volatile void* p) {
  if (p != nullptr) hostsim::check::Freed();
}
[[maybe_unused]] const int g_hooks = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);

}  // namespace

#elif defined(HOSTSIM_COUNT_LIBC)

// glibc's allocator under its own names, which stay bound to glibc (reserved names: they
// are the C library's own).
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void* __libc_malloc(std::size_t n) noexcept;
void* __libc_calloc(std::size_t count, std::size_t n) noexcept;
void* __libc_realloc(void* p, std::size_t n) noexcept;
void* __libc_memalign(std::size_t alignment, std::size_t n) noexcept;
void __libc_free(void* p) noexcept;
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

void* Counted(void* p) {
  if (p != nullptr) hostsim::check::Made();
  return p;
}

bool PowerOfTwo(std::size_t a) { return a != 0 && (a & (a - 1)) == 0; }

}  // namespace

extern "C" {

void* malloc(std::size_t n) noexcept { return Counted(__libc_malloc(n)); }

void* calloc(std::size_t count, std::size_t n) noexcept { return Counted(__libc_calloc(count, n)); }

// A block moved or resized is one allocation and one free; realloc(p, 0) frees p.
void* realloc(void* p, std::size_t n) noexcept {
  void* q = __libc_realloc(p, n);
  if (p != nullptr && (q != nullptr || n == 0)) hostsim::check::Freed();
  return Counted(q);
}

void* memalign(std::size_t alignment, std::size_t n) noexcept {
  return Counted(__libc_memalign(alignment, n));
}

void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept {
  return Counted(__libc_memalign(alignment, n));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept {
  if (!PowerOfTwo(alignment) || alignment % sizeof(void*) != 0) return 22;  // EINVAL
  void* p = __libc_memalign(alignment, n);
  if (p == nullptr) return 12;  // ENOMEM
  *out = Counted(p);
  return 0;
}

void free(void* p) noexcept {
  if (p == nullptr) return;
  hostsim::check::Freed();
  __libc_free(p);
}

}  // extern "C"

#elif defined(HOSTSIM_COUNT_NEW)

namespace {

void* Allocate(std::size_t n) {
  if (n == 0) n = 1;
  void* p = std::malloc(n);
  if (p != nullptr) hostsim::check::Made();
  return p;
}

void* AllocateAligned(std::size_t n, std::align_val_t al) {
  const auto a = static_cast<std::size_t>(al);
  if (n == 0) n = 1;
  n = (n + a - 1) / a * a;  // aligned_alloc wants a multiple of the alignment
  void* p = std::aligned_alloc(a, n);
  if (p != nullptr) hostsim::check::Made();
  return p;
}

void Free(void* p) noexcept {
  if (p == nullptr) return;
  hostsim::check::Freed();
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new(std::size_t n, std::align_val_t al) {
  if (void* p = AllocateAligned(n, al)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t al) {
  if (void* p = AllocateAligned(n, al)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAligned(n, al);
}
void* operator new[](std::size_t n, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAligned(n, al);
}

void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Free(p); }

#endif
