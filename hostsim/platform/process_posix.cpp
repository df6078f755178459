// Processes on POSIX systems: posix_spawn and waitpid for children, sigaction for the last
// word before a crash, dlopen with RTLD_NOLOAD to ask whether a library is still loaded.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

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

std::string SignalName(int sig) {
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
      break;
  }
  const char* text = strsignal(sig);
  return "signal " + std::to_string(sig) + (text != nullptr ? std::string(" (") + text + ")" : "");
}

}  // namespace

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self;
}

ChildEnd RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                  const std::filesystem::path& out, const std::filesystem::path& err,
                  std::chrono::milliseconds limit) {
  ChildEnd end;
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
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      end.kind = ChildEnd::Kind::TimedOut;
      return end;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(10)) pause *= 2;
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

void (*g_report)(const char*) = nullptr;
// Names kept as constants: the handler must not build strings.
const char* CrashName(int sig) {
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
    default:
      return "fatal signal";
  }
}

void OnSignal(int sig) {
  // SA_RESETHAND has put the default action back: raising the signal again ends the process
  // with it, as the parent expects to see.
  void (*report)(const char*) = g_report;
  g_report = nullptr;
  if (report != nullptr) report(CrashName(sig));
  raise(sig);
}

}  // namespace

void OnFatalCrash(void (*report)(const char* what)) {
  g_report = report;
  // A stack overflow leaves no stack for the handler: it runs on one of its own.
  static char altStack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = altStack;
  ss.ss_size = sizeof altStack;
  sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sa.sa_flags = SA_RESETHAND | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(sig, &sa, nullptr);
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
