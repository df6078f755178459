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
// and the exit status kExitModuleFault (4).
#pragma once

#include <functional>
#include <memory>

#include "hostsim/world.h"

namespace hostsim::cli {

class Session;

// The exit status of a command that a module's crash or hang ended (not 3, which Windows
// gives a program that aborts).
inline constexpr int kExitModuleFault = 4;

// How many of the latest host calls a report quotes.
inline constexpr std::size_t kReportedCalls = 20;

// Stands by while a command runs the modules of `world`, for as long as it lives (one at a
// time, on the thread that runs the modules). `hangSeconds` > 0 is the longest a callback may
// run before it is stopped and reported as hung; 0 sets no limit.
class FaultWatch {
 public:
  FaultWatch(const World& world, double hangSeconds);
  ~FaultWatch();
  FaultWatch(const FaultWatch&) = delete;
  FaultWatch& operator=(const FaultWatch&) = delete;

  // The session whose line being carried out a report names.
  void SetSession(const Session& session);
  // Work a report ends with (writing the trace up to the fault). It runs where a fault of its
  // own cannot spoil the report: in a copy of the crashed process on POSIX.
  void SetLastWork(std::function<void()> work);

 private:
  struct Watchdog;
  std::unique_ptr<Watchdog> watchdog_;
};

// A world whose modules a FaultWatch stands by from the first callback to the last: its
// end (every vessel's zvcExit, every module's unload) is watched too. Its journal is off: a
// report quotes the world's raw ring of the latest calls (World::LastCalls), and a trace turns
// the journal on for itself.
class WatchedWorld {
 public:
  WatchedWorld(Paths paths, double hangSeconds);
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
