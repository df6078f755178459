// The report of a module's crash or hang. It runs in a process that may be damaged: in a
// signal handler on POSIX, in an exception filter or beside a suspended thread on Windows. So
// the report only reads what the world and the session hold and writes it with single system
// calls; what needs the heap (finding a function's name, writing the trace) runs in a copy of
// the process (platform::RunIsolated).
#include "fault_report.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "hostsim/platform/process.h"
#include "session.h"

namespace hostsim::cli {

namespace {

// What a report reads: set while a watch lives.
struct Scene {
  const World* world = nullptr;
  const Session* session = nullptr;
  std::function<void()> lastWork;
  char limit[32] = "";  // the time limit as text, for a hang's report
  const void* code = nullptr;
};
Scene g_scene;

void Put(std::string_view text) { platform::WriteStderr(text.data(), text.size()); }

void PutHex(const void* address) {
  char buf[2 + 2 * sizeof(std::uintptr_t)];
  auto value = reinterpret_cast<std::uintptr_t>(address);
  std::size_t at = sizeof buf;
  do {
    buf[--at] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  buf[--at] = 'x';
  buf[--at] = '0';
  Put(std::string_view(buf + at, sizeof buf - at));
}

// The callback that was running: "clbkBufferedKey of vessel C1 (class crashy)".
void PutRunning(const World::Running& r) {
  Put(r.call);
  if (r.vessel != nullptr) {
    Put(" of vessel ");
    Put(r.vessel->name());
    Put(" (class ");
    Put(r.vessel->className());
    Put(")");
  } else if (r.module != nullptr) {
    Put(" of module ");
    Put(r.module->name);
  }
}

// In the copy of the process: where the faulting code is, as one line.
void WriteWhere() {
  const std::string line = "  where: " + platform::CodeLocation(g_scene.code) + "\n";
  Put(line);
}

void RunLastWork() { g_scene.lastWork(); }

// In the copy of the process: what the command had written but not yet flushed.
void FlushOutput() {
  std::cout.flush();
  std::fflush(stdout);
}

// In the copy of the process: the latest host calls, made text only now.
void WriteLastCalls() {
  const std::vector<std::string> calls = g_scene.world->LastCalls(kReportedCalls);
  std::string text = calls.empty() ? "  no host calls journalled\n" : "  last host calls:\n";
  for (const std::string& call : calls) text += "    " + call + "\n";
  Put(text);
}

// The report, then the end of the program.
void Report(const platform::Fault& fault, bool hung) {
  const World::Running running =
      g_scene.world != nullptr ? g_scene.world->RunningCallback() : World::Running{};
  platform::RunIsolated(FlushOutput, std::chrono::seconds(10));
  Put("\nhostsim: ");
  if (running.call != nullptr) {
    Put(hung ? "a module hung in " : "a module crashed in ");
    PutRunning(running);
  } else {
    Put(hung ? "the host hung outside any module's callback"
             : "crashed outside any module's callback");
  }
  Put(": ");
  if (hung) {
    Put("no return within ");
    Put(g_scene.limit);
    Put(" s");
  } else {
    Put(fault.what != nullptr ? fault.what : "fatal fault");
    if (fault.hasAddress) {
      Put(" at address ");
      PutHex(fault.address);
    }
  }
  Put("\n");
  g_scene.code = fault.code;
  if (fault.code != nullptr && !platform::RunIsolated(WriteWhere, std::chrono::seconds(20))) {
    Put("  where: code at ");
    PutHex(fault.code);
    Put("\n");
  }
  if (g_scene.session != nullptr && !g_scene.session->CurrentCommand().empty()) {
    Put("  session line: ");
    Put(g_scene.session->CurrentCommand());
    Put("\n");
  }
  if (g_scene.world != nullptr && !platform::RunIsolated(WriteLastCalls, std::chrono::seconds(20)))
    Put("  last host calls: could not be written\n");
  if (g_scene.lastWork) platform::RunIsolated(RunLastWork, std::chrono::minutes(2));
  std::_Exit(kExitModuleFault);
}

void OnCrash(const platform::Fault& fault) { Report(fault, false); }
void OnHang(const platform::Fault& fault) { Report(fault, true); }

}  // namespace

// Wakes every few milliseconds and looks whether the callback that runs is still the one it
// saw; one running longer than the limit is stopped and reported.
struct FaultWatch::Watchdog {
  explicit Watchdog(const World& world, double seconds)
      : limit(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds))),
        thread([this, &world] { Watch(world); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    wake.notify_one();
    thread.join();
  }

  void Watch(const World& world) {
    using Clock = std::chrono::steady_clock;
    const auto poll = std::clamp(limit / 10, Clock::duration(std::chrono::milliseconds(1)),
                                 Clock::duration(std::chrono::milliseconds(100)));
    std::uint64_t seen = world.CallbackEdges();
    auto since = Clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, poll, [this] { return stop; })) {
      const std::uint64_t now = world.CallbackEdges();
      if (now != seen) {
        seen = now;
        since = Clock::now();
      } else if (now % 2 == 1 && Clock::now() - since >= limit) {
        watched.Interrupt("hang", OnHang);
        // Only a thread that blocks the signal comes back here.
        Put("\nhostsim: a module hung and could not be stopped to report it\n");
        std::_Exit(kExitModuleFault);
      }
    }
  }

  platform::WatchedThread watched;  // the thread that made the watch
  std::chrono::steady_clock::duration limit;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::thread thread;
};

FaultWatch::FaultWatch(const World& world, double hangSeconds) {
  g_scene = Scene{};
  g_scene.world = &world;
  std::snprintf(g_scene.limit, sizeof g_scene.limit, "%g", hangSeconds);
  platform::OnFatalCrash(OnCrash);
  if (hangSeconds > 0) watchdog_ = std::make_unique<Watchdog>(world, hangSeconds);
}

FaultWatch::~FaultWatch() {
  watchdog_.reset();
  platform::OnFatalCrash(nullptr);
  g_scene = Scene{};
}

void FaultWatch::SetSession(const Session& session) { g_scene.session = &session; }

void FaultWatch::SetLastWork(std::function<void()> work) { g_scene.lastWork = std::move(work); }

WatchedWorld::WatchedWorld(Paths paths, double hangSeconds)
    : world_(std::move(paths)), watch_(world_, hangSeconds) {
  // A report reads the world's ring of the latest calls, which costs next to nothing; the
  // journal's text is for those who ask for it (a trace).
  world_.journal().SetEnabled(false);
}

WatchedWorld::~WatchedWorld() {
  // Ended while the watch stands; the last work named things that may be gone by now.
  watch_.SetLastWork(nullptr);
  world_.Clear();
}

}  // namespace hostsim::cli
