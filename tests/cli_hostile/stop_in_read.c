/* Preloaded into hostsim by a test: from inside the first read of a file whose name ends in
 * ".scn", it sends the process the signal STOP_IN_READ names and lets that read fail as an
 * interrupted one, as a signal arriving during a slow read would. Other reads pass through. */
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int sent = 0;

/* Whether `fd` is a file whose name ends in ".scn". */
static int IsScenario(int fd) {
  char link[64];
  char target[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target);
  return n > 4 && memcmp(target + n - 4, ".scn", 4) == 0;
}

/* Sends the signal once, from the first read of a scenario; true when it did. */
static int StopHere(int fd) {
  const char* sig = getenv("STOP_IN_READ");
  if (sent || sig == NULL || !IsScenario(fd)) return 0;
  sent = 1;
  raise(atoi(sig));
  errno = EINTR;
  return 1;
}

ssize_t read(int fd, void* buf, size_t count) {
  static ssize_t (*real)(int, void*, size_t) = NULL;
  if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "read");
  if (StopHere(fd)) return -1;
  return real(fd, buf, count);
}

ssize_t __read_chk(int fd, void* buf, size_t count, size_t size) {
  (void)size;
  return read(fd, buf, count);
}
