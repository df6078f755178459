// The watched C library functions (see blocking_calls.h). Each one notes the call and then
// calls the next definition of the same name, the C library's (or a sanitizer's, which then
// calls the C library's). The fortified inline versions of these functions would clash with
// the definitions here, so they are turned off in this file.
#undef _FORTIFY_SOURCE

#include "hostsim/check/blocking_calls.h"

#if defined(__linux__) && defined(__GLIBC__)
#define HOSTSIM_WATCH_LIBC 1
#endif

#if defined(HOSTSIM_WATCH_LIBC)
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/epoll.h>
#include <sys/select.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#endif

namespace hostsim::check {

namespace {

struct Seen {
  const char* call;
  const char* callback;
  std::uint64_t count;
};

// Only the thread being watched writes these, and only the same thread reads them.
constexpr std::size_t kMaxSeen = 64;
Seen g_seen[kMaxSeen];
std::size_t g_seenCount = 0;
thread_local const char* t_callback = nullptr;

}  // namespace

void WatchCallback(const char* callback) { t_callback = callback; }

std::vector<BlockingCall> TakeBlockingCalls() {
  std::vector<BlockingCall> out;
  for (std::size_t i = 0; i < g_seenCount; ++i)
    out.push_back({g_seen[i].call, g_seen[i].callback, g_seen[i].count});
  g_seenCount = 0;
  return out;
}

#if !defined(HOSTSIM_WATCH_LIBC)

bool BlockingCallsWatched() { return false; }
const char* WatchedCallNames() { return ""; }

}  // namespace hostsim::check

#else

bool BlockingCallsWatched() { return true; }

const char* WatchedCallNames() {
  return "open, open64, openat, openat64, creat, fopen, fopen64, freopen, read, write, pread, "
         "pread64, pwrite, pwrite64, readv, writev, fread, fwrite, fputs, puts, fflush, fsync, "
         "fdatasync, sleep, usleep, nanosleep, clock_nanosleep, poll, ppoll, select, pselect, "
         "epoll_wait, pthread_join, sem_wait, sem_timedwait, wait, waitpid, system";
}

namespace {

// Called first by every watched function: counts the call when a callback is watched.
void Note(const char* call) {
  const char* callback = t_callback;
  if (callback == nullptr) return;
  for (std::size_t i = 0; i < g_seenCount; ++i) {
    if (g_seen[i].call == call && g_seen[i].callback == callback) {
      ++g_seen[i].count;
      return;
    }
  }
  if (g_seenCount < kMaxSeen) g_seen[g_seenCount++] = {call, callback, 1};
}

// The definition of `name` that follows this program's.
template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// A mode argument follows the flags only when a file may be made.
bool TakesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

}  // namespace

}  // namespace hostsim::check

using hostsim::check::Next;
using hostsim::check::Note;
using hostsim::check::TakesMode;

// The macros take types and parameter lists, which no parentheses may enclose.
// NOLINTBEGIN(bugprone-macro-parentheses)
// A watched function: notes the call, then calls the next definition. That is looked up as
// the program starts, not at the first call: a crash report calls write and waitpid from a
// signal handler, where a lookup (which may allocate and lock) is not safe.
#define HOSTSIM_WATCHED(ret, name, params, args, ...)                                   \
  namespace {                                                                           \
  const char kName_##name[] = #name;                                                    \
  ret(*next_##name) params __VA_ARGS__ = Next<ret(*) params __VA_ARGS__>(kName_##name); \
  }                                                                                     \
  extern "C" ret name params __VA_ARGS__ {                                              \
    Note(kName_##name);                                                                 \
    if (next_##name == nullptr) /* called before the program's start */                 \
      next_##name = Next<ret(*) params __VA_ARGS__>(kName_##name);                      \
    return next_##name args;                                                            \
  }

// The open family: variadic, with a mode only for a file that may be made.
#define HOSTSIM_WATCHED_OPEN(name, params, args, last)                           \
  namespace {                                                                    \
  const char kName_##name[] = #name;                                             \
  int(*next_##name) params = Next<int(*) params>(kName_##name);                  \
  }                                                                              \
  extern "C" int name params {                                                   \
    Note(kName_##name);                                                          \
    mode_t mode = 0;                                                             \
    if (TakesMode(flags)) {                                                      \
      va_list ap;                                                                \
      va_start(ap, last);                                                        \
      mode = va_arg(ap, mode_t);                                                 \
      va_end(ap);                                                                \
    }                                                                            \
    if (next_##name == nullptr) next_##name = Next<int(*) params>(kName_##name); \
    return next_##name args;                                                     \
  }

// NOLINTEND(bugprone-macro-parentheses)

HOSTSIM_WATCHED_OPEN(open, (const char* path, int flags, ...), (path, flags, mode), flags)
HOSTSIM_WATCHED_OPEN(open64, (const char* path, int flags, ...), (path, flags, mode), flags)
HOSTSIM_WATCHED_OPEN(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode),
                     flags)
HOSTSIM_WATCHED_OPEN(openat64, (int dir, const char* path, int flags, ...),
                     (dir, path, flags, mode), flags)
HOSTSIM_WATCHED(int, creat, (const char* path, mode_t mode), (path, mode))
HOSTSIM_WATCHED(FILE*, fopen, (const char* path, const char* mode), (path, mode))
HOSTSIM_WATCHED(FILE*, fopen64, (const char* path, const char* mode), (path, mode))
HOSTSIM_WATCHED(FILE*, freopen, (const char* path, const char* mode, FILE* f), (path, mode, f))
HOSTSIM_WATCHED(ssize_t, read, (int fd, void* buf, size_t n), (fd, buf, n))
HOSTSIM_WATCHED(ssize_t, write, (int fd, const void* buf, size_t n), (fd, buf, n))
HOSTSIM_WATCHED(ssize_t, pread, (int fd, void* buf, size_t n, off_t at), (fd, buf, n, at))
HOSTSIM_WATCHED(ssize_t, pread64, (int fd, void* buf, size_t n, off64_t at), (fd, buf, n, at))
HOSTSIM_WATCHED(ssize_t, pwrite, (int fd, const void* buf, size_t n, off_t at), (fd, buf, n, at))
HOSTSIM_WATCHED(ssize_t, pwrite64, (int fd, const void* buf, size_t n, off64_t at),
                (fd, buf, n, at))
HOSTSIM_WATCHED(ssize_t, readv, (int fd, const struct iovec* v, int n), (fd, v, n))
HOSTSIM_WATCHED(ssize_t, writev, (int fd, const struct iovec* v, int n), (fd, v, n))
HOSTSIM_WATCHED(size_t, fread, (void* buf, size_t size, size_t n, FILE* f), (buf, size, n, f))
HOSTSIM_WATCHED(size_t, fwrite, (const void* buf, size_t size, size_t n, FILE* f),
                (buf, size, n, f))
HOSTSIM_WATCHED(int, fputs, (const char* s, FILE* f), (s, f))
HOSTSIM_WATCHED(int, puts, (const char* s), (s))
HOSTSIM_WATCHED(int, fflush, (FILE * f), (f))
HOSTSIM_WATCHED(int, fsync, (int fd), (fd))
HOSTSIM_WATCHED(int, fdatasync, (int fd), (fd))
HOSTSIM_WATCHED(unsigned, sleep, (unsigned s), (s))
HOSTSIM_WATCHED(int, usleep, (useconds_t us), (us))
HOSTSIM_WATCHED(int, nanosleep, (const struct timespec* t, struct timespec* left), (t, left))
HOSTSIM_WATCHED(int, clock_nanosleep,
                (clockid_t c, int flags, const struct timespec* t, struct timespec* left),
                (c, flags, t, left))
HOSTSIM_WATCHED(int, poll, (struct pollfd * fds, nfds_t n, int ms), (fds, n, ms))
HOSTSIM_WATCHED(int, ppoll,
                (struct pollfd * fds, nfds_t n, const struct timespec* t, const sigset_t* mask),
                (fds, n, t, mask))
HOSTSIM_WATCHED(int, select, (int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t),
                (n, r, w, e, t))
HOSTSIM_WATCHED(int, pselect,
                (int n, fd_set* r, fd_set* w, fd_set* e, const struct timespec* t,
                 const sigset_t* mask),
                (n, r, w, e, t, mask))
HOSTSIM_WATCHED(int, epoll_wait, (int fd, struct epoll_event* events, int n, int ms),
                (fd, events, n, ms))
HOSTSIM_WATCHED(int, pthread_join, (pthread_t t, void** result), (t, result))
HOSTSIM_WATCHED(int, sem_wait, (sem_t * s), (s))
HOSTSIM_WATCHED(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
HOSTSIM_WATCHED(pid_t, wait, (int* status), (status))
HOSTSIM_WATCHED(pid_t, waitpid, (pid_t pid, int* status, int options), (pid, status, options))
HOSTSIM_WATCHED(int, system, (const char* command), (command))

#endif
