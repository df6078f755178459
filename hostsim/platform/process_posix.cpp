// Processes on POSIX systems: posix_spawn and waitpid for children, sigaction for the last
// word before a crash or on a stopped thread, a copy of the process for the work a crashed
// one may not do, dladdr and addr2line for where code is, dlopen with RTLD_NOLOAD to ask
// whether a library is still loaded.
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "hostsim/platform/process.h"

extern char** environ;

namespace hostsim::platform {

namespace {

// Closes a file descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// The name of a signal a report gives, as a constant (a signal handler may use it); null for
// one without a name of ours.
const char* KnownSignal(int sig) {
  switch (sig) {
    case SIGSEGV:
      return "SIGSEGV (invalid memory access)";
    case SIGBUS:
      return "SIGBUS (bus error)";
    case SIGILL:
      return "SIGILL (illegal instruction)";
    case SIGFPE:
      return "SIGFPE (arithmetic fault)";
    case SIGABRT:
      return "SIGABRT (aborted)";
    case SIGKILL:
      return "SIGKILL (killed)";
    case SIGTERM:
      return "SIGTERM (terminated)";
    default:
      return nullptr;
  }
}

std::string SignalName(int sig) {
  if (const char* known = KnownSignal(sig)) return known;
  const char* text = strsignal(sig);
  return "signal " + std::to_string(sig) + (text != nullptr ? std::string(" (") + text + ")" : "");
}

// Waits for the child `pid` at most `limit`, killing it then; its wait status, or -1 when it
// was killed or lost. Only system calls: a crash report may wait so.
int WaitAtMost(pid_t pid, std::chrono::milliseconds limit) {
  const long long stepNs = 2'000'000;
  long long leftNs = static_cast<long long>(limit.count()) * 1'000'000;
  int status = 0;
  for (;;) {
    const pid_t got = waitpid(pid, &status, WNOHANG);
    if (got == pid) return status;
    if (got < 0 && errno != EINTR) return -1;
    if (leftNs <= 0) break;
    const timespec pause{0, stepNs};
    nanosleep(&pause, nullptr);
    leftNs -= stepNs;
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
}

}  // namespace

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self;
}

StandardStreams HoldStandardStreams() {
  StandardStreams closed;
  bool* const flags[] = {&closed.inputClosed, &closed.outputClosed, &closed.errorClosed};
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    *flags[fd] = true;
    // The lowest free number is this one: every one below it is open by now.
    const int held = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (held >= 0 && held != fd) close(held);
  }
  return closed;
}

ChildEnd RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                  const std::filesystem::path& out, const std::filesystem::path& err,
                  std::chrono::milliseconds limit, const volatile std::sig_atomic_t* stop) {
  ChildEnd end;
  if (stop != nullptr && *stop != 0) {
    end.kind = ChildEnd::Kind::Stopped;
    return end;
  }
  Fd in{open("/dev/null", O_RDONLY | O_CLOEXEC)};
  Fd o{open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  Fd e{open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (in.fd < 0 || o.fd < 0 || e.fd < 0) {
    end.why = std::string("cannot open the child's output files: ") + std::strerror(errno);
    return end;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd, 0);
  posix_spawn_file_actions_adddup2(&actions, o.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, e.fd, 2);
  std::string path = program.string();
  std::vector<char*> argv;
  argv.push_back(path.data());
  std::vector<std::string> copies(args);
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    end.why = "cannot start " + path + ": " + std::strerror(rc);
    return end;
  }

  // Polled rather than waited on with a timer: a few milliseconds of delay at the end of a
  // check are nothing beside starting the program.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::microseconds(200);
  int status = 0;
  for (;;) {
    const pid_t got = waitpid(pid, &status, WNOHANG);
    if (got == pid) break;
    if (got < 0 && errno != EINTR) {
      end.why = std::string("lost the child process: ") + std::strerror(errno);
      return end;
    }
    const bool stopped = stop != nullptr && *stop != 0;
    if (stopped || std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      end.kind = stopped ? ChildEnd::Kind::Stopped : ChildEnd::Kind::TimedOut;
      return end;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(10)) pause *= 2;
  }
  // A signal to the whole process group (Ctrl+C) may have ended the child first.
  if (stop != nullptr && *stop != 0) {
    end.kind = ChildEnd::Kind::Stopped;
    return end;
  }
  if (WIFEXITED(status)) {
    end.kind = ChildEnd::Kind::Exited;
    end.code = WEXITSTATUS(status);
  } else {
    end.kind = ChildEnd::Kind::Crashed;
    end.why = WIFSIGNALED(status) ? SignalName(WTERMSIG(status)) : "ended abnormally";
  }
  return end;
}

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// The signal that stops a watched thread.
constexpr int kInterruptSignal = SIGUSR2;

void (*g_report)(const Fault&) = nullptr;
// Set by the watchdog's thread, read by the interrupted one.
std::atomic<void (*)(const Fault&)> g_interruptReport{nullptr};
std::atomic<const char*> g_interruptWhat{nullptr};

// The instruction the interrupted thread was at, from the context the kernel handed over.
const void* CodeOf(void* context) {
  const auto* uc = static_cast<const ucontext_t*>(context);
  if (uc == nullptr) return nullptr;
#if defined(__x86_64__)
  return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
  return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
  return reinterpret_cast<const void*>(uc->uc_mcontext.pc);
#else
  return nullptr;
#endif
}

void OnSignal(int sig, siginfo_t* info, void* context) {
  // SA_RESETHAND has put the default action back: raising the signal again ends the process
  // with it, as the parent expects to see.
  void (*report)(const Fault&) = g_report;
  g_report = nullptr;
  if (report != nullptr) {
    Fault f;
    f.what = KnownSignal(sig) != nullptr ? KnownSignal(sig) : "fatal signal";
    f.hasAddress = info != nullptr && (sig == SIGSEGV || sig == SIGBUS);
    if (f.hasAddress) f.address = info->si_addr;
    f.code = CodeOf(context);
    report(f);
  }
  raise(sig);
}

void OnInterrupt(int, siginfo_t*, void* context) {
  void (*report)(const Fault&) = g_interruptReport.exchange(nullptr);
  if (report == nullptr) return;
  Fault f;
  f.what = g_interruptWhat.load();
  f.code = CodeOf(context);
  report(f);
}

// A stack of the calling thread's own for its signal handlers: a stack overflow leaves none.
// As large as an ordinary thread's: the copies of the process a report makes (RunIsolated) run
// ordinary code on it, whose frames an optimiser may make large (the safe writer's, with a
// buffer of 64 KiB inlined, which finishes the trace). Only the pages used are ever touched.
void UseSignalStack() {
  static char altStack[8 * 1024 * 1024];
  stack_t ss{};
  ss.ss_sp = altStack;
  ss.ss_size = sizeof altStack;
  sigaltstack(&ss, nullptr);
}

// A copy of this process, made with the system call itself: the C library's fork runs
// handlers that take locks a crashed process may hold.
pid_t CopyProcess() {
#if defined(__linux__) && defined(SYS_clone)
  return static_cast<pid_t>(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
#else
  return fork();
#endif
}

}  // namespace

void OnFatalCrash(void (*report)(const Fault& fault)) {
  g_report = report;
  // The first walk of a stack loads the unwinder: done now, not in a crashed process.
  void* warm[1];
  backtrace(warm, 1);
  UseSignalStack();
  struct sigaction sa {};
  sa.sa_sigaction = OnSignal;
  sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFatalSignals) sigaction(sig, &sa, nullptr);
}

int RunIsolatedAnswer(int (*work)(), std::chrono::milliseconds limit) {
  const pid_t pid = CopyProcess();
  if (pid < 0) return -1;
  if (pid == 0) {
    // The copy dies of its own faults, without a report of them.
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : kFatalSignals) sigaction(sig, &sa, nullptr);
    _exit(work());
  }
  const int status = WaitAtMost(pid, limit);
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

void (*g_isolatedWork)() = nullptr;

int RunWithoutAnswer() {
  g_isolatedWork();
  return 0;
}

}  // namespace

bool RunIsolated(void (*work)(), std::chrono::milliseconds limit) {
  g_isolatedWork = work;
  return RunIsolatedAnswer(RunWithoutAnswer, limit) == 0;
}

namespace {

// What addr2line prints for `offsets` into `file`, as one text: for each, the offset, the
// function and "FILE:LINE" ("??" and "??:0" where it cannot tell), then the same two lines for
// each call inlined there, outermost last; empty when it cannot be run.
std::string AskAddr2line(const char* file, const std::vector<std::uintptr_t>& offsets) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> args = {"addr2line", "-a", "-f", "-i", "-C", "-e", file};
  for (const std::uintptr_t offset : offsets) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(offset));
    args.emplace_back(hex);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "addr2line", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
      if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    WaitAtMost(pid, std::chrono::seconds(10));
  }
  close(fds[0]);
  return out;
}

// Reads addr2line's "FILE:LINE (discriminator N)" into the frame; "??:0" and "??:?" say
// nothing.
void ReadSourceLine(std::string text, CodeFrame& frame) {
  text = text.substr(0, text.find(" ("));
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || text.rfind("??", 0) == 0) return;
  const int line = std::atoi(text.c_str() + colon + 1);
  if (line <= 0) return;
  frame.file = std::filesystem::path(text.substr(0, colon)).lexically_normal().string();
  frame.line = line;
}

std::string HexAddress(const void* address) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
  return buf;
}

std::string Demangled(const char* name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                              std::free);
  return status == 0 && text ? text.get() : name;
}

// What the dynamic linker knows of `address`: its file, where that is loaded, the offset
// addr2line wants and, from the dynamic symbol table, the exported function spanning it.
CodeFrame Located(const void* address) {
  CodeFrame frame;
  Dl_info info{};
  ElfW(Sym)* sym = nullptr;
  if (address == nullptr ||
      dladdr1(address, &info, reinterpret_cast<void**>(&sym), RTLD_DL_SYMENT) == 0 ||
      info.dli_fname == nullptr)
    return frame;
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  const auto base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  // A program linked at a fixed address is looked up by the address itself, a position-
  // independent file by the offset into it.
  const auto* header = static_cast<const ElfW(Ehdr)*>(info.dli_fbase);
  frame.offset = header != nullptr && header->e_type == ET_EXEC ? at : at - base;
  frame.library = info.dli_fname;
  frame.base = info.dli_fbase;
  const auto start = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
  if (info.dli_sname != nullptr && sym != nullptr && at >= start && at < start + sym->st_size)
    frame.function = Demangled(info.dli_sname);
  return frame;
}

// One line of a text, moving `at` past it; false at its end.
bool NextLine(const std::string& text, std::size_t& at, std::string& line) {
  if (at >= text.size()) return false;
  const std::size_t end = std::min(text.find('\n', at), text.size());
  line = text.substr(at, end - at);
  at = end + 1;
  return true;
}

}  // namespace

std::vector<std::vector<CodeFrame>> CodeFrames(const std::vector<const void*>& addresses) {
  std::vector<std::vector<CodeFrame>> frames(addresses.size());
  // The addresses of each file, asked of addr2line at once.
  std::map<std::string, std::vector<std::size_t>> byFile;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    frames[i].push_back(Located(addresses[i]));
    if (!frames[i][0].library.empty()) byFile[frames[i][0].library].push_back(i);
  }
  for (const auto& entry : byFile) {
    const std::string& file = entry.first;
    const std::vector<std::size_t>& indices = entry.second;
    std::vector<std::uintptr_t> offsets;
    for (const std::size_t i : indices) offsets.push_back(frames[i][0].offset);
    const std::string out = AskAddr2line(file.c_str(), offsets);
    // Each address's part starts with the address itself ("0x..."), then pairs of lines.
    std::size_t at = 0, next = 0;
    std::string line, function, source;
    bool started = false;
    std::vector<CodeFrame> told;
    const auto finish = [&] {
      if (!started || next >= indices.size()) return;
      std::vector<CodeFrame>& mine = frames[indices[next++]];
      const CodeFrame located = mine[0];
      if (!told.empty()) {
        for (CodeFrame& f : told) {
          f.library = located.library;
          f.base = located.base;
          f.offset = located.offset;
        }
        // The outermost is the function the code belongs to: its exported name stands in
        // for a name addr2line does not know.
        if (told.back().function.empty()) told.back().function = located.function;
        mine = std::move(told);
      }
      told.clear();
    };
    while (NextLine(out, at, line)) {
      if (line.rfind("0x", 0) == 0) {
        finish();
        started = true;
        continue;
      }
      if (!started || !NextLine(out, at, source)) break;
      CodeFrame f;
      if (line != "??") f.function = line;
      ReadSourceLine(source, f);
      told.push_back(std::move(f));
    }
    finish();
  }
  return frames;
}

std::string CodeLocation(const void* address) {
  const std::vector<CodeFrame> frames = CodeFrames({address})[0];
  // The function the code belongs to, and the line of its innermost inlined call.
  const CodeFrame& outer = frames.back();
  if (outer.library.empty()) return "unknown code at " + HexAddress(address);
  std::string where = outer.library;
  where += outer.function.empty()
               ? " at offset " + HexAddress(reinterpret_cast<const void*>(outer.offset))
               : ": " + outer.function;
  if (frames.front().line > 0)
    where += " at " + frames.front().file + ":" + std::to_string(frames.front().line);
  return where;
}

const void* LibraryBase(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
  return info.dli_fbase;
}

std::vector<const void*> FaultStack(const Fault& fault, std::size_t max) {
  // The stack from here: this report's own frames, the signal's, then the faulting code's.
  // The unwinder gives the faulting frame its exact instruction, its callers their return
  // addresses, which are after their calls.
  std::vector<void*> raw(256);
  const int n = backtrace(raw.data(), static_cast<int>(raw.size()));
  std::vector<const void*> stack;
  int from = 0;
  while (from < n && raw[static_cast<std::size_t>(from)] != fault.code) ++from;
  if (fault.code != nullptr) stack.push_back(fault.code);
  if (from == n) return stack;
  for (int i = from + 1; i < n && stack.size() < max; ++i) {
    const auto ret = reinterpret_cast<std::uintptr_t>(raw[static_cast<std::size_t>(i)]);
    if (ret != 0) stack.push_back(reinterpret_cast<const void*>(ret - 1));
  }
  return stack;
}

WatchedThread::WatchedThread() : handle_(static_cast<std::uintptr_t>(pthread_self())) {}

WatchedThread::~WatchedThread() = default;

void WatchedThread::Interrupt(const char* what, void (*report)(const Fault& fault)) const {
  g_interruptWhat = what;
  g_interruptReport = report;
  struct sigaction sa {};
  sa.sa_sigaction = OnInterrupt;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  sigaction(kInterruptSignal, &sa, nullptr);
  if (pthread_kill(static_cast<pthread_t>(handle_), kInterruptSignal) != 0) return;
  // The report ends the process; a thread that does not take the signal (it blocks it) is
  // given a while before the caller goes on alone.
  std::this_thread::sleep_for(std::chrono::seconds(10));
}

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int sig) { g_stop = sig; }

}  // namespace

const volatile std::sig_atomic_t* CatchStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  return &g_stop;
}

void WriteStderr(const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = write(2, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

bool LibraryIsLoaded(const std::filesystem::path& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOLOAD | RTLD_LAZY);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

MappedFile::MappedFile(const std::filesystem::path& path, std::size_t size) {
  Fd f{open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (f.fd < 0 || ftruncate(f.fd, static_cast<off_t>(size)) != 0) return;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, f.fd, 0);
  if (p == MAP_FAILED) return;
  data_ = static_cast<char*>(p);
  size_ = size;
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) munmap(data_, size_);
}

}  // namespace hostsim::platform
