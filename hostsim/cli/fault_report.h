// What the program says when a module brings it down. While a command runs modules, a crash
// (an invalid access, an abort, an illegal instruction, an arithmetic fault, a stack
// overflow) or a callback that does not return within the command's time limit ends it with
// a report on the standard error:
//
//   hostsim: a module crashed in clbkBufferedKey of vessel C1 (class crashy): SIGSEGV
//   (invalid memory access) at address 0x0
//     where: /root/modules/crashy.so: Crashy::clbkBufferedKey(...) at crashy.cpp:42
//     session line: crash.session:4: press B
//     last host calls:
//       C1: -> clbkBufferedKey(48, true)
//     trace: crash.trace (every host call up to the fault)
//
// and the exit status kExitModuleFault (4). A crash is a module's when a frame of the stack
// is in a module's library, its own code or the host's code it called (the library is named as
// its author built it, though the command runs a copy of it). With no such frame it is
// hostsim's own, even while a module's callback runs ("hostsim: hostsim itself crashed, in its
// own code, while clbkBufferedKey of vessel C1 (class crashy) was running: ..."), and the
// status is kExitHostFault (70). Where the stack cannot be walked, a crash is the module's
// when the faulting code is in its library or a module's callback runs. A signal that
// asks the program to stop ends it with the same report, headed "hostsim: stopped by SIGINT
// while a module ran ..." (or "outside any module's callback"), and the status 128 + the
// signal's number.
#pragma once

#include <csignal>
#include <functional>
#include <memory>
#include <string>

#include "hostsim/world.h"

namespace hostsim::cli {

class Session;

// The exit status of a command that a module's crash or hang ended (not 3, which Windows
// gives a program that aborts).
inline constexpr int kExitModuleFault = 4;

// The exit status of a command that a fault of hostsim's own code ended: a crash with no frame
// of a module's library on its stack, or a hang outside any module's callback (the usual
// status of an "internal software error").
inline constexpr int kExitHostFault = 70;

// Whether a crash is a module's fault: `moduleFrame` is 1 when a frame of its stack is in a
// module's library, 0 when none is, -1 when that could not be told (the stack could not be
// walked, or only the faulting code is known and it is not a module's); then whether a
// module's callback ran (`callbackRunning`) decides.
bool ModulesFault(int moduleFrame, bool callbackRunning);

// How many of the latest host calls a report quotes.
inline constexpr std::size_t kReportedCalls = 20;

// What a FaultWatch stands by for, besides crashes.
struct WatchOptions {
  // > 0: the longest a callback may run before it is stopped and reported as hung; 0 sets no
  // limit.
  double hangSeconds = 0;
  // SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl+C, Ctrl+Break and close) end
  // the command with a report like a fault's, whatever a module is doing, and the status 128
  // + the signal's number (130, 143, 129). With `stopGrace` > 0 the command may end by itself
  // first (it reads FaultWatch::stop()): the report comes only when it has not within that
  // many seconds.
  bool stopOnSignals = false;
  double stopGrace = 0;
  // > 0: a callback that has been running this many seconds is told on the standard error
  // ("hostsim: note: ... has been running for 5 s"), once a run, and kept for
  // FaultWatch::TakeSlowNotice.
  double slowSeconds = 0;
};

// Stands by while a command runs the modules of `world`, for as long as it lives (one at a
// time, on the thread that runs the modules).
class FaultWatch {
 public:
  FaultWatch(const World& world, const WatchOptions& options);
  ~FaultWatch();
  FaultWatch(const FaultWatch&) = delete;
  FaultWatch& operator=(const FaultWatch&) = delete;

  // The session whose line being carried out a report names.
  void SetSession(const Session& session);
  // Work a report ends with (writing the trace up to the fault). It runs where a fault of its
  // own cannot spoil the report: in a copy of the crashed process on POSIX.
  void SetLastWork(std::function<void()> work);
  // The number of the signal that asked the program to stop, once one did (0 before); null
  // without WatchOptions::stopOnSignals.
  const volatile std::sig_atomic_t* stop() const { return stop_; }
  // When a signal has asked the program to stop, ends it now with the report (headed "hostsim:
  // stopped by SIGINT ...") and 128 + the signal's number, rather than when the watch sees it:
  // for a command to call where it would go on to work that the stop should prevent.
  void StopIfAsked();
  // The last slow callback the watch told of on the standard error, once ("clbkBufferedKey of
  // vessel C1 (class x) ran for more than 5 s"): "" when there is nothing new. Safe on any
  // thread.
  std::string TakeSlowNotice();

 private:
  struct Watchdog;
  const volatile std::sig_atomic_t* stop_ = nullptr;
  std::unique_ptr<Watchdog> watchdog_;
};

// Reports an exception that left a module's callback as the module's fault, in the form of a
// crash's report on the standard error:
//
//   hostsim: a module threw an exception out of clbkBufferedKey of vessel B (class brok):
//   bad key T
//     where: /root/modules/brok.so: Brok::Key at brok/brok.cpp:41
//       called from Brok::clbkBufferedKey at brok/brok.cpp:60
//     session line: s.session:3: press T
//     last host calls: ...
//
// The `where` names the throw, as a crash's names the fault. Where the throw was not seen (on
// Windows, whose DLLs each carry their own C++ runtime) it names the library whose callback
// the exception left, and says so. `session` may be null. Returns kExitModuleFault.
int ReportEscape(const World& world, const Session* session, const ModuleException& e);

// A world whose modules a FaultWatch stands by from the first callback to the last: its
// end (every vessel's zvcExit, every module's unload) is watched too. Its journal is off: a
// report quotes the world's raw ring of the latest calls (World::LastCalls), and a trace turns
// the journal on for itself.
class WatchedWorld {
 public:
  WatchedWorld(Paths paths, const WatchOptions& options);
  ~WatchedWorld();
  WatchedWorld(const WatchedWorld&) = delete;
  WatchedWorld& operator=(const WatchedWorld&) = delete;

  World& world() { return world_; }
  FaultWatch& watch() { return watch_; }

 private:
  World world_;
  FaultWatch watch_;
};

}  // namespace hostsim::cli
