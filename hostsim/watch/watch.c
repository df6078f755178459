/* The counting library of `hostsim check` (see watch.h). Preloaded, it comes before the C
   library in the dynamic linker's order, so every library's calls of the functions it
   defines, a module's too, bind to these: each notes the call when the calling thread runs
   a watched callback, then calls the definition that follows it (the C library's, or a
   sanitizer's, which calls the C library's). Allocations go to glibc's allocator under its
   own names; in a build with AddressSanitizer, whose allocator takes their place, the
   sanitizer's allocation hooks count instead.

   Who made a call is read from the stack: walking out from the call, the first frame in the
   module's library makes it the module's, the first in the host's library the host's (the
   module asked the host, and what the host does for it is the host's business). Written in
   C: the C library declares these functions with C++ exception specifications the
   definitions would have to repeat one by one. The fortified and inline versions of the
   functions would clash with the definitions here, so they are turned off. */
/* The C library's own names are what this file defines and calls: reserved, and meant. The
   macros take types and parameter lists, which no parentheses may enclose. */
/* NOLINTBEGIN(bugprone-reserved-identifier,bugprone-macro-parentheses) */
#undef _FORTIFY_SOURCE
#include <features.h>
#undef __USE_EXTERN_INLINES

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <unwind.h>

#include "hostsim/watch/watch.h"

/* The fortified printing functions a module built with _FORTIFY_SOURCE calls. */
int __printf_chk(int flag, const char* format, ...);
int __fprintf_chk(FILE* f, int flag, const char* format, ...);
int __vprintf_chk(int flag, const char* format, va_list ap);
int __vfprintf_chk(FILE* f, int flag, const char* format, va_list ap);

#define TLS __thread __attribute__((tls_model("initial-exec")))

/* --- whose code: the address ranges of the module's and the host's libraries --- */

typedef struct {
  uintptr_t lo, hi;
} Range;

enum { kMaxRanges = 16 };
typedef struct {
  Range range[kMaxRanges];
  int n;
} Library;

static Library g_module, g_host;

typedef struct {
  uintptr_t base;
  Library* out;
} Wanted;

static int AddSegments(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  Wanted* w = data;
  if (info->dlpi_addr != w->base) return 0;
  for (int i = 0; i < info->dlpi_phnum && w->out->n < kMaxRanges; ++i) {
    const ElfW(Phdr)* p = &info->dlpi_phdr[i];
    if (p->p_type != PT_LOAD || (p->p_flags & PF_X) == 0) continue;
    w->out->range[w->out->n].lo = info->dlpi_addr + p->p_vaddr;
    w->out->range[w->out->n].hi = info->dlpi_addr + p->p_vaddr + p->p_memsz;
    ++w->out->n;
  }
  return 1;
}

/* The executable segments of the library holding `code`. */
static void Find(const void* code, Library* out) {
  out->n = 0;
  Dl_info info;
  if (code == NULL || dladdr(code, &info) == 0) return;
  Wanted w = {(uintptr_t)info.dli_fbase, out};
  /* dlpi_addr is the load bias, dli_fbase the lowest mapped address: the same for a shared
     library, whose first segment starts at 0. */
  dl_iterate_phdr(AddSegments, &w);
}

static int In(const Library* lib, uintptr_t pc) {
  for (int i = 0; i < lib->n; ++i)
    if (pc >= lib->range[i].lo && pc < lib->range[i].hi) return 1;
  return 0;
}

typedef struct {
  uintptr_t stack[HOSTSIM_WATCH_STACK];
  int depth; /* frames in `stack`: the first is where the library's code made the call */
  int host;
  int frames;
} Walk;

static _Unwind_Reason_Code Frame(struct _Unwind_Context* context, void* data) {
  Walk* w = data;
  const uintptr_t pc = _Unwind_GetIP(context);
  if (pc == 0 || ++w->frames > 128) return _URC_END_OF_STACK;
  const int module = In(&g_module, pc), host = !module && In(&g_host, pc);
  if (w->depth == 0) {
    if (!module && !host) return _URC_NO_REASON;
    w->host = host;
  } else if (w->host ? !host : !module) {
    return _URC_END_OF_STACK; /* out of the library: the frames that led there are kept */
  }
  w->stack[w->depth++] = pc - 1; /* a return address: the call is the instruction before */
  return w->depth == HOSTSIM_WATCH_STACK ? _URC_END_OF_STACK : _URC_NO_REASON;
}

/* --- the notes of the watched thread --- */

static TLS const char* t_callback = NULL;
static TLS int t_busy = 0; /* in a note already: what it calls is not noted again */

enum { kMaxSeen = 128 };
static struct hostsim_watch_seen g_seen[kMaxSeen];
static size_t g_seenCount = 0;

static void Note(const char* call, int kind) {
  const char* callback = t_callback;
  if (callback == NULL || t_busy) return;
  t_busy = 1;
  Walk w;
  w.depth = w.host = w.frames = 0;
  _Unwind_Backtrace(Frame, &w);
  size_t i = 0;
  for (; i < g_seenCount; ++i) {
    struct hostsim_watch_seen* s = &g_seen[i];
    if (s->call == call && s->callback == callback && s->host == w.host) break;
  }
  if (i < g_seenCount) {
    ++g_seen[i].count;
  } else if (g_seenCount < kMaxSeen) {
    struct hostsim_watch_seen* s = &g_seen[g_seenCount++];
    s->call = call;
    s->callback = callback;
    s->count = 1;
    s->where = w.depth > 0 ? (const void*)w.stack[0] : NULL;
    s->kind = kind;
    s->host = w.host;
    s->depth = w.depth;
    for (int k = 0; k < w.depth; ++k) s->stack[k] = (const void*)w.stack[k];
  }
  t_busy = 0;
}

/* --- allocations --- */

static unsigned long long g_made = 0, g_freed = 0;

static void Made(const char* call) {
  __atomic_fetch_add(&g_made, 1, __ATOMIC_RELAXED);
  Note(call, HOSTSIM_SEEN_ALLOCATION);
}
static void Freed(void) { __atomic_fetch_add(&g_freed, 1, __ATOMIC_RELAXED); }

#if defined(HOSTSIM_WATCH_SANITIZER)

/* The sanitizer calls these for every block its allocator hands out or takes back. Weak: a
   program without the sanitizer (a tool the checked process starts) loads the library too. */
__attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, size_t), void (*free_hook)(const volatile void*));

static void OnMalloc(const volatile void* p, size_t n) {
  (void)p;
  (void)n;
  Made("malloc");
}
static void OnFree(const volatile void* p) {
  if (p != NULL) Freed();
}
__attribute__((constructor)) static void InstallHooks(void) {
  if (__sanitizer_install_malloc_and_free_hooks != NULL)
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}

#else

/* glibc's allocator under its own names, which stay bound to glibc. */
void* __libc_malloc(size_t n);
void* __libc_calloc(size_t count, size_t n);
void* __libc_realloc(void* p, size_t n);
void* __libc_memalign(size_t alignment, size_t n);
void __libc_free(void* p);

static void* Counted(void* p, const char* call) {
  if (p != NULL) Made(call);
  return p;
}

void* malloc(size_t n) { return Counted(__libc_malloc(n), "malloc"); }

void* calloc(size_t count, size_t n) { return Counted(__libc_calloc(count, n), "calloc"); }

/* A block moved or resized is one allocation and one free; realloc(p, 0) frees p. */
void* realloc(void* p, size_t n) {
  void* q = __libc_realloc(p, n);
  if (p != NULL && (q != NULL || n == 0)) Freed();
  return Counted(q, "realloc");
}

void* memalign(size_t alignment, size_t n) {
  return Counted(__libc_memalign(alignment, n), "memalign");
}

void* aligned_alloc(size_t alignment, size_t n) {
  return Counted(__libc_memalign(alignment, n), "aligned_alloc");
}

int posix_memalign(void** out, size_t alignment, size_t n) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0 || alignment % sizeof(void*) != 0)
    return 22; /* EINVAL */
  void* p = __libc_memalign(alignment, n);
  if (p == NULL) return 12; /* ENOMEM */
  *out = Counted(p, "posix_memalign");
  return 0;
}

void free(void* p) {
  if (p == NULL) return;
  Freed();
  __libc_free(p);
}

#endif

/* --- the blocking calls --- */

/* The definition of `name` that follows this library's. Looked up as the library loads, not
   at the first call: a crash report calls write and waitpid from a signal handler, where a
   lookup (which may allocate and lock) is not safe. */
#define NEXT(name) (__extension__(__typeof__(&name)) dlsym(RTLD_NEXT, #name))

/* A mode argument follows the flags only when a file may be made. */
static int TakesMode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

#define HOSTSIM_ALLOC(name)
#define HOSTSIM_CALL(ret, name, params, args)          \
  static ret(*next_##name) params;                     \
  ret name params {                                    \
    Note(#name, HOSTSIM_SEEN_BLOCKING);                \
    if (next_##name == NULL) next_##name = NEXT(name); \
    return next_##name args;                           \
  }
#define HOSTSIM_OPEN(name, params, args)               \
  static int(*next_##name) params;                     \
  int name params {                                    \
    Note(#name, HOSTSIM_SEEN_BLOCKING);                \
    mode_t mode = 0;                                   \
    if (TakesMode(flags)) {                            \
      va_list ap;                                      \
      va_start(ap, flags);                             \
      mode = va_arg(ap, mode_t);                       \
      va_end(ap);                                      \
    }                                                  \
    if (next_##name == NULL) next_##name = NEXT(name); \
    return next_##name args;                           \
  }
#define HOSTSIM_PRINTF(ret, name, params, vname, vargs, last)           \
  ret name params {                                                     \
    Note(#name, HOSTSIM_SEEN_BLOCKING);                                 \
    va_list ap;                                                         \
    va_start(ap, last);                                                 \
    const char* const callback = t_callback;                            \
    t_callback = NULL; /* the va_list form is this call, not another */ \
    const ret result = vname vargs;                                     \
    t_callback = callback;                                              \
    va_end(ap);                                                         \
    return result;                                                      \
  }
#include "hostsim/watch/watched.def"
#undef HOSTSIM_ALLOC
#undef HOSTSIM_CALL
#undef HOSTSIM_OPEN
#undef HOSTSIM_PRINTF

/* The programs the checked process starts (a symbol tool for a report, a copy of itself) need
   no counting: the library takes itself out of LD_PRELOAD, which hostsim check set for it. */
static void LeavePreload(void) {
  const char* preload = getenv("LD_PRELOAD");
  Dl_info self;
  if (preload == NULL || dladdr(__extension__(const void*) & TakesMode, &self) == 0 ||
      self.dli_fname == NULL)
    return;
  char rest[4096];
  size_t n = 0;
  for (const char* p = preload; *p != '\0';) {
    const char* end = p;
    while (*end != '\0' && *end != ':' && *end != ' ') ++end;
    const size_t length = (size_t)(end - p);
    const int mine = length == strlen(self.dli_fname) && strncmp(p, self.dli_fname, length) == 0;
    if (!mine && length > 0 && n + length + 2 < sizeof rest) {
      if (n > 0) rest[n++] = ':';
      memcpy(rest + n, p, length);
      n += length;
    }
    p = *end != '\0' ? end + 1 : end;
  }
  rest[n] = '\0';
  if (n > 0)
    setenv("LD_PRELOAD", rest, 1);
  else
    unsetenv("LD_PRELOAD");
}

__attribute__((constructor)) static void FindNext(void) {
  LeavePreload();
#define HOSTSIM_ALLOC(name)
#define HOSTSIM_CALL(ret, name, params, args) next_##name = NEXT(name);
#define HOSTSIM_OPEN(name, params, args) next_##name = NEXT(name);
#define HOSTSIM_PRINTF(ret, name, params, vname, vargs, last)
#include "hostsim/watch/watched.def"
#undef HOSTSIM_ALLOC
#undef HOSTSIM_CALL
#undef HOSTSIM_OPEN
#undef HOSTSIM_PRINTF
}

/* --- the kernel's counters of a thread --- */

static TLS int t_io = -1; /* the thread's /proc io file, opened once; -2: there is none */

/* The value of `key` in the io file's text ("syscr: 12\n..."). */
static unsigned long long Field(const char* text, const char* key) {
  for (const char* p = text; *p != '\0';) {
    const char* k = key;
    const char* q = p;
    while (*k != '\0' && *q == *k) ++q, ++k;
    if (*k == '\0' && *q == ':') {
      unsigned long long v = 0;
      for (++q; *q == ' '; ++q) {
      }
      for (; *q >= '0' && *q <= '9'; ++q) v = v * 10 + (unsigned long long)(*q - '0');
      return v;
    }
    while (*p != '\0' && *p != '\n') ++p;
    if (*p == '\n') ++p;
  }
  return 0;
}

/* Read with system calls of its own, which no watched function sees. */
static int ThreadCounters(struct hostsim_watch_counters* out) {
  if (t_io == -1) {
    const long fd = syscall(SYS_openat, AT_FDCWD, "/proc/thread-self/io", O_RDONLY | O_CLOEXEC);
    t_io = fd >= 0 ? (int)fd : -2;
  }
  if (t_io < 0) return 0;
  char text[512];
  const long n = syscall(SYS_pread64, t_io, text, sizeof text - 1, 0L);
  if (n <= 0) return 0;
  text[n] = '\0';
  struct rusage usage;
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  out->reads = Field(text, "syscr");
  out->writes = Field(text, "syscw");
  out->waits = (unsigned long long)usage.ru_nvcsw;
  return 1;
}

/* --- the interface --- */

static unsigned long long Allocations(void) { return __atomic_load_n(&g_made, __ATOMIC_RELAXED); }

static long long Live(void) {
  return (long long)__atomic_load_n(&g_made, __ATOMIC_RELAXED) -
         (long long)__atomic_load_n(&g_freed, __ATOMIC_RELAXED);
}

static void SetLibraries(const void* module, const void* host) {
  Find(module, &g_module);
  Find(host, &g_host);
}

static void Watch(const char* callback) { t_callback = callback; }

static size_t Take(struct hostsim_watch_seen* out, size_t max) {
  const size_t n = g_seenCount;
  for (size_t i = 0; i < n && i < max; ++i) out[i] = g_seen[i];
  g_seenCount = 0;
  return n;
}

static const struct hostsim_watch_api kApi = {
    HOSTSIM_WATCH_VERSION, Allocations, Live, SetLibraries, Watch, Take, ThreadCounters};

const struct hostsim_watch_api* hostsim_watch(void) { return &kApi; }

/* NOLINTEND(bugprone-reserved-identifier,bugprone-macro-parentheses) */
