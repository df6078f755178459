/* The counting library `hostsim check` preloads into its child processes (Linux with glibc):
   it counts heap allocations, notes calls of the C library that block (the functions of
   watched.def) and reads the kernel's counters of a thread. Nothing else loads it, so the
   other commands run with the C library as it is. The check finds it at run time with
   dlsym(RTLD_DEFAULT, "hostsim_watch"); a C interface, so that the library needs no C++
   runtime of its own. */
#ifndef HOSTSIM_WATCH_WATCH_H
#define HOSTSIM_WATCH_WATCH_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { HOSTSIM_WATCH_VERSION = 2 };

/* How many frames of the code that made a call are kept. */
enum { HOSTSIM_WATCH_STACK = 16 };

/* What was seen on the watched thread while a callback was named. */
enum { HOSTSIM_SEEN_ALLOCATION = 0, HOSTSIM_SEEN_BLOCKING = 1 };
struct hostsim_watch_seen {
  const char* call;     /* "malloc", "fprintf", ... */
  const char* callback; /* as given to watch() */
  unsigned long long count;
  /* The innermost frame of the code that made the call: in the module (host == 0) or in the
     host runtime, when the module called the host and the host made it (host != 0). Null
     when the stack could not be read. */
  const void* where;
  int kind; /* HOSTSIM_SEEN_* */
  int host;
  /* The frames of that library's code from `where` outwards (the first is `where`), each an
     address inside its call: the code the library's author wrote may be a few frames out,
     past functions of the C++ library's headers compiled into it. */
  const void* stack[HOSTSIM_WATCH_STACK];
  int depth;
};

/* The kernel's counts for the calling thread: read and write system calls (however they
   were made) and voluntary context switches (waits). */
struct hostsim_watch_counters {
  unsigned long long reads, writes, waits;
};

struct hostsim_watch_api {
  int version;
  /* Allocations made by any thread since the process started (a realloc counts once), and
     those not freed yet. */
  unsigned long long (*allocations)(void);
  long long (*live)(void);
  /* The libraries that own what is seen: a call whose stack reaches code of the module's
     library (the one holding `module_code`) before code of the host's (the one holding
     `host_code`) is the module's; the other way round, the host's. Null clears. */
  void (*set_libraries)(const void* module_code, const void* host_code);
  /* Names the callback now running on the calling thread (null: none); what that thread
     does meanwhile is noted under that name. `callback` must outlive its use (a literal). */
  void (*watch)(const char* callback);
  /* Copies up to `max` of the notes into `out`, returns how many there were, and starts
     over. */
  size_t (*take)(struct hostsim_watch_seen* out, size_t max);
  /* The kernel's counts for the calling thread; 0 when the system does not keep them. */
  int (*thread_counters)(struct hostsim_watch_counters* out);
};

const struct hostsim_watch_api* hostsim_watch(void);

#ifdef __cplusplus
}
#endif

#endif
