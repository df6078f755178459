// The operating system's processes, behind one small interface: this program's own path,
// child processes run with a time limit, a last word before a fatal crash or on a thread that
// stands still, and whether a library is still mapped into this process.
#pragma once

#include <array>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace hostsim::platform {

// The path of the running program; empty when the system cannot tell it.
std::filesystem::path ExecutablePath();

// Which of the standard streams the program was started without, as HoldStandardStreams
// found them.
struct StandardStreams {
  bool inputClosed = false, outputClosed = false, errorClosed = false;
};

// Holds the standard input, output and error open before the program opens anything: on
// POSIX a stream started closed gets the null device in its place, so that no file, socket or
// pipe the program opens later takes its number and receives what is written to the stream.
// On Windows a file or socket is a handle, never one of the C runtime's numbers, and a missing
// standard handle stays missing (a write to it fails): nothing is held there. Returns which
// streams were closed.
StandardStreams HoldStandardStreams();

// How a child process ended.
struct ChildEnd {
  enum class Kind {
    Exited,      // it returned from main or called exit: `code` holds the status
    Crashed,     // a signal or an unhandled exception ended it: `why` names it
    TimedOut,    // it was still running at the time limit and was killed
    Stopped,     // the caller's stop flag was set while it ran, and it was killed
    NotStarted,  // it could not be started: `why` says why
  };
  Kind kind = Kind::NotStarted;
  int code = 0;
  std::string why;
};

// Runs `program` with `args` (UTF-8), its standard input empty and its standard output and
// error written to the files `out` and `err`; kills it when it runs longer than `limit`, or as
// soon as `*stop` (the flag of CatchStopSignals, when given) is set, and does not start it when
// it is set already.
ChildEnd RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                  const std::filesystem::path& out, const std::filesystem::path& err,
                  std::chrono::milliseconds limit,
                  const volatile std::sig_atomic_t* stop = nullptr);

// A fault that ends this process, as its last word tells it.
struct Fault {
  const char* what = nullptr;     // the signal or exception: "SIGSEGV (invalid memory access)"
  bool hasAddress = false;        // whether the fault names the memory address it used:
  const void* address = nullptr;  // that address (null too when an access used it)
  const void* code = nullptr;     // the instruction that faulted or stood; null when unknown
  // Where the stack is walked as the fault is caught (on Windows, whose report may not run on
  // the faulting thread's stack): the callers' return addresses, innermost first.
  static constexpr std::size_t kCallers = 48;
  std::array<const void*, kCallers> callers{};
  std::size_t callerCount = 0;
};

// Calls `report` once, on the crashed thread and on a stack of its own (so that a stack
// overflow is told too), when this process is about to die of a crash (invalid access,
// abort, illegal instruction, arithmetic fault); the process then dies as it would have
// without it, unless `report` ends it. `report` may only read memory, write with WriteStderr
// and hand work that allocates to RunIsolated.
void OnFatalCrash(void (*report)(const Fault& fault));

// Runs `work` where a fault or a lock it meets cannot harm this process, and waits for it at
// most `limit`: in a copy of the process on POSIX, so that a crash report can do there what
// the crashed process itself may not (allocate, take locks, write files); directly on Windows,
// where an exception filter may. Returns whether it ran to its end.
bool RunIsolated(void (*work)(), std::chrono::milliseconds limit);

// Runs `work` as RunIsolated does and returns its answer (0 to 125), or -1 when it did not run
// to its end within `limit`.
int RunIsolatedAnswer(int (*work)(), std::chrono::milliseconds limit);

// Where the code at `address` is, for a report: the library or program file, the function
// (demangled) and, where the file has debugging information, the source file and line. Uses
// the system's symbol tools where installed (addr2line on POSIX). Allocates: a crash report
// calls it only through RunIsolated.
std::string CodeLocation(const void* address);

// One frame of code, as the system's symbol tools name it.
struct CodeFrame {
  std::string library;         // the library or program file holding the code ("" unknown)
  const void* base = nullptr;  // where that file is loaded: the same for all of its code
  std::uintptr_t offset = 0;   // of the code into the file
  std::string function;        // demangled; "" when unknown
  std::string file;            // the source file, where the file has debugging information
  int line = 0;                // its line; 0 when unknown
};

// The frames of the code at each of `addresses`: for each, the function it is in first and,
// where calls were inlined into it, the inlined calls innermost first (so the last is the
// function the machine code belongs to). Allocates and runs the symbol tools: a crash report
// calls it only through RunIsolated.
std::vector<std::vector<CodeFrame>> CodeFrames(const std::vector<const void*>& addresses);

// Where the library or program holding the code at `address` is loaded (null when none does):
// the same for all of its code. Only asks the system's loader.
const void* LibraryBase(const void* address);

// The chain of calls that led to `fault`, innermost first: the instruction that faulted or
// stood, then, for each caller, an address inside its call instruction; at most `max`. Read
// from the stack of the thread that faulted, which the calling code must be on (in the
// report, or in its copy made by RunIsolated); on Windows from the callers the fault holds.
std::vector<const void*> FaultStack(const Fault& fault, std::size_t max);

// The thread that made it, for a watchdog on another thread to stop.
class WatchedThread {
 public:
  WatchedThread();  // the calling thread
  // Closes the thread's handle on Windows; nothing to do elsewhere.
  ~WatchedThread();  // NOLINT(performance-trivially-destructible)
  WatchedThread(const WatchedThread&) = delete;
  WatchedThread& operator=(const WatchedThread&) = delete;

  // Stops the thread where it stands and calls `report` with `what` and the instruction it
  // stood at: on POSIX in that thread, interrupted by a signal (on OnFatalCrash's stack);
  // on Windows from the caller while the thread is suspended. `report` must end the process,
  // under the same rules as OnFatalCrash's; returns only when the thread could not be stopped.
  void Interrupt(const char* what, void (*report)(const Fault& fault)) const;

 private:
  std::uintptr_t handle_ = 0;
#if defined(_WIN32)
  std::uintptr_t stackBase_ = 0;  // the thread's stack ends below this address
#endif
};

// Catches the signals that ask the program to stop (SIGTERM, SIGINT, SIGHUP; on Windows the
// console's Ctrl+C, Ctrl+Break and close) instead of dying of them: the flag returned then
// holds the signal's number (SIGINT for Ctrl+C and Ctrl+Break, SIGTERM for a close), for the
// program to stop as it sees fit.
const volatile std::sig_atomic_t* CatchStopSignals();

// The name of a signal that asks the program to stop ("SIGINT", "SIGTERM", "SIGHUP"; "a
// signal" for any other). Safe in a signal handler: it returns a literal.
inline const char* StopSignalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#if defined(SIGHUP)
    case SIGHUP:
      return "SIGHUP";
#endif
    default:
      return "a signal";
  }
}

// Writes `text` to the standard error without buffering or allocating (safe in `report`).
void WriteStderr(const char* text, std::size_t length);

// Whether the library at `path` is mapped into this process now (without loading it).
bool LibraryIsLoaded(const std::filesystem::path& path);

// A file of a fixed size mapped into memory for writing: what is stored in `data()` reaches
// the file also when the process is killed right after (the system holds the pages).
class MappedFile {
 public:
  // Creates or empties the file at `path` and maps `size` bytes of it; `data()` is null when
  // that fails.
  MappedFile(const std::filesystem::path& path, std::size_t size);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  [[maybe_unused]] void* file_ = nullptr;     // the system's handle of the file (Windows)
  [[maybe_unused]] void* mapping_ = nullptr;  // and of its mapping (Windows)
};

}  // namespace hostsim::platform
