// The replaced global allocator (not on Windows, where it would count the program alone):
// malloc and free underneath, two counters on top. Checks run on one thread; the counters
// are still atomic so that a thread of a library cannot tear them.
#include "hostsim/check/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace hostsim::check {

namespace {

std::atomic<std::uint64_t> g_made{0};
std::atomic<std::uint64_t> g_freed{0};

}  // namespace

#if defined(_WIN32)

bool AllocationsCounted() { return false; }

#else

bool AllocationsCounted() { return true; }

namespace {

void* Allocate(std::size_t n) {
  if (n == 0) n = 1;
  void* p = std::malloc(n);
  if (p != nullptr) g_made.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void* AllocateAligned(std::size_t n, std::align_val_t al) {
  const auto a = static_cast<std::size_t>(al);
  if (n == 0) n = 1;
  n = (n + a - 1) / a * a;  // aligned_alloc wants a multiple of the alignment
  void* p = std::aligned_alloc(a, n);
  if (p != nullptr) g_made.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void Free(void* p) noexcept {
  if (p == nullptr) return;
  g_freed.fetch_add(1, std::memory_order_relaxed);
  std::free(p);
}

}  // namespace

#endif

std::uint64_t Allocations() { return g_made.load(std::memory_order_relaxed); }

std::int64_t LiveAllocations() {
  return static_cast<std::int64_t>(g_made.load(std::memory_order_relaxed)) -
         static_cast<std::int64_t>(g_freed.load(std::memory_order_relaxed));
}

}  // namespace hostsim::check

#if !defined(_WIN32)

using hostsim::check::Allocate;
using hostsim::check::AllocateAligned;
using hostsim::check::Free;

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
