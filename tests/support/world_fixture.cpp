#include "support/world_fixture.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
#define LUMIPOD_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIPOD_TEST_ASAN 1
#endif
#endif
#if defined(LUMIPOD_TEST_ASAN)
// The sanitizer runtime's count of live heap bytes (not in every compiler's headers).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace testsupport {

// Bytes the process holds on its heap now, where the platform tells; -1 elsewhere.
long long HeapInUse() {
#if defined(LUMIPOD_TEST_ASAN)
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
  return static_cast<long long>(mallinfo2().uordblks);
#else
  return -1;
#endif
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("lumipod-test-" + std::to_string(rd()) + "-" +
                             std::to_string(counter.fetch_add(1)));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& text) const {
  auto p = path_ / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << text;
  return p;
}

}  // namespace testsupport
