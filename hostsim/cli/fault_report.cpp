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
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "hostsim/platform/where.h"
#include "session.h"

namespace hostsim::cli {

namespace {

// What a report reads: set while a watch lives.
struct Scene {
  const World* world = nullptr;
  const Session* session = nullptr;
  std::function<void()> lastWork;
  char limit[32] = "";    // the time limit as text, for a hang's report
  platform::Fault fault;  // what a report tells of, for its copy of the process
  const volatile std::sig_atomic_t* stop = nullptr;  // the signal that asked to stop
};
Scene g_scene;

// What ended the program: a crash, a callback past the time limit, or a signal.
enum class End { Crash, Hang, Stop };

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

// The callback as text, for a message written by other means than a report.
std::string RunningText(const World::Running& r) {
  std::string text = r.call;
  if (r.vessel != nullptr)
    text += " of vessel " + r.vessel->name() + " (class " + r.vessel->className() + ")";
  else if (r.module != nullptr)
    text += " of module " + r.module->name;
  return text;
}

// The modules' libraries, named by the files their authors built (the host may have loaded a
// copy, so that the file may be rebuilt).
std::vector<platform::ModuleLibrary> ModuleLibraries(const World& world) {
  std::vector<platform::ModuleLibrary> libraries;
  for (const Module* m : world.Modules())
    if (m->init != nullptr)
      libraries.push_back({reinterpret_cast<const void*>(m->init), platform::PathToUtf8(m->path)});
  return libraries;
}

// In the copy of the process: where the faulting code is, from the author's side: the
// module's own line first, the module's lines that led there, then the innermost frame when
// the fault was deeper.
void WriteWhere() {
  const std::vector<const void*> stack = platform::FaultStack(g_scene.fault, 64);
  const platform::Where where =
      platform::FindWhere(stack, g_scene.world != nullptr ? ModuleLibraries(*g_scene.world)
                                                          : std::vector<platform::ModuleLibrary>{});
  std::string text;
  for (const std::string& line : where.Lines())
    text += (text.empty() ? "  where: " : "    ") + line + "\n";
  Put(text);
}

// In the copy of the process: 1 when a frame of the fault's stack is in a module's library, 0
// when none is, 2 when only the faulting code is known and it is not (the stack could not be
// walked).
int ModuleFrameAnswer() {
  const std::vector<const void*> stack = platform::FaultStack(g_scene.fault, 256);
  if (g_scene.world != nullptr && platform::InModuleLibrary(stack, ModuleLibraries(*g_scene.world)))
    return 1;
  return stack.size() > 1 ? 0 : 2;
}

// In the copy of the process: the host's own temporary folders (copies of libraries) go, as
// they would have at the program's end.
void RemoveScratch() { platform::RemoveScratchFolders(); }

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

}  // namespace

bool ModulesFault(int moduleFrame, bool callbackRunning) {
  if (moduleFrame == 0 || moduleFrame == 1) return moduleFrame == 1;
  return callbackRunning;
}

namespace {

// The report, then the end of the program.
void Report(const platform::Fault& fault, End end) {
  const World::Running running =
      g_scene.world != nullptr ? g_scene.world->RunningCallback() : World::Running{};
  const int sig = g_scene.stop != nullptr ? *g_scene.stop : 0;
  platform::RunIsolated(FlushOutput, std::chrono::seconds(10));
  // Whose fault a crash is: a module's when its code is on the stack, else hostsim's, even
  // while a module's callback runs. Told in a copy of the process, which may walk the stack.
  g_scene.fault = fault;
  int status = end == End::Stop ? 128 + sig : kExitModuleFault;
  if (end == End::Crash) {
    int moduleFrame = fault.code != nullptr
                          ? platform::RunIsolatedAnswer(ModuleFrameAnswer, std::chrono::seconds(20))
                          : -1;
    if (moduleFrame == 2) moduleFrame = -1;
    if (!ModulesFault(moduleFrame, running.call != nullptr)) status = kExitHostFault;
  } else if (end == End::Hang && running.call == nullptr) {
    status = kExitHostFault;
  }
  Put("\nhostsim: ");
  switch (end) {
    case End::Crash:
      if (status == kExitHostFault) {
        Put("hostsim itself crashed, in its own code, ");
        if (running.call != nullptr) {
          Put("while ");
          PutRunning(running);
          Put(" was running");
        } else {
          Put("outside any module's callback");
        }
      } else if (running.call != nullptr) {
        Put("a module crashed in ");
        PutRunning(running);
      } else {
        Put("a module crashed outside any of its callbacks");
      }
      Put(": ");
      Put(fault.what != nullptr ? fault.what : "fatal fault");
      if (fault.hasAddress) {
        Put(" at address ");
        PutHex(fault.address);
      }
      break;
    case End::Hang:
      if (running.call != nullptr) {
        Put("a module hung in ");
        PutRunning(running);
      } else {
        Put("hostsim itself hung, outside any module's callback");
      }
      Put(": no return within ");
      Put(g_scene.limit);
      Put(" s");
      break;
    case End::Stop:
      Put("stopped by ");
      Put(platform::StopSignalName(sig));
      if (running.call != nullptr) {
        Put(" while a module ran ");
        PutRunning(running);
      } else {
        Put(" outside any module's callback");
      }
      break;
  }
  Put("\n");
  if (status == kExitHostFault)
    Put("  not the module's fault: no frame of the stack is in a module's library; a fault of "
        "hostsim, please report it\n");
  // Where a stopped program stood matters only inside a module.
  if (end == End::Stop && running.call == nullptr) g_scene.fault.code = nullptr;
  if (g_scene.fault.code != nullptr &&
      !platform::RunIsolated(WriteWhere, std::chrono::seconds(20))) {
    Put("  where: code at ");
    PutHex(g_scene.fault.code);
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
  platform::RunIsolated(RemoveScratch, std::chrono::seconds(20));
  std::_Exit(status);
}

void OnCrash(const platform::Fault& fault) { Report(fault, End::Crash); }
void OnHang(const platform::Fault& fault) { Report(fault, End::Hang); }
void OnStop(const platform::Fault& fault) { Report(fault, End::Stop); }

}  // namespace

// Wakes every few milliseconds and looks whether the callback that runs is still the one it
// saw: one running longer than the limit is stopped and reported, one running long is told.
// It also stops the program for a signal that the program has not acted upon in time.
struct FaultWatch::Watchdog {
  using Clock = std::chrono::steady_clock;
  static Clock::duration Of(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  }

  Watchdog(const World& world, const WatchOptions& options,
           const volatile std::sig_atomic_t* stopFlag)
      : limit(Of(options.hangSeconds)),
        slow(Of(options.slowSeconds)),
        grace(Of(options.stopGrace)),
        stop(stopFlag),
        thread([this, &world] { Watch(world); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      quit = true;
    }
    wake.notify_one();
    thread.join();
  }

  void Watch(const World& world) {
    auto poll = Clock::duration(std::chrono::milliseconds(100));
    if (limit > Clock::duration::zero())
      poll = std::clamp(limit / 10, Clock::duration(std::chrono::milliseconds(1)), poll);
    if (stop != nullptr) poll = std::min(poll, Clock::duration(std::chrono::milliseconds(20)));
    std::uint64_t seen = world.CallbackEdges();
    auto since = Clock::now();
    bool told = false;
    std::optional<Clock::time_point> stopAsked;
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, poll, [this] { return quit; })) {
      const std::uint64_t now = world.CallbackEdges();
      const auto at = Clock::now();
      if (now != seen) {
        seen = now;
        since = at;
        told = false;
      } else if (now % 2 == 1) {
        if (limit > Clock::duration::zero() && at - since >= limit) Stop("hang", OnHang);
        if (slow > Clock::duration::zero() && !told && at - since >= slow) {
          told = true;
          Tell(world);
        }
      }
      if (stop != nullptr && *stop != 0) {
        if (!stopAsked) stopAsked = at;
        if (at - *stopAsked >= grace) Stop("stop", OnStop);
      }
    }
  }

  // Stops the watched thread with a report, which ends the program.
  void Stop(const char* what, void (*report)(const platform::Fault&)) const {
    watched.Interrupt(what, report);
    // Only a thread that blocks the signal comes back here.
    Put("\nhostsim: a module could not be stopped to report it\n");
    std::_Exit(kExitModuleFault);
  }

  // Tells of the callback that has been running long. This thread reads only the world's
  // note of its outermost callback, made for it, and the names of that callback's vessel and
  // module, which stay while it runs: not the stack of callbacks the module's thread changes.
  void Tell(const World& world) {
    std::uint64_t edges = 0;
    const World::Running r = world.OutermostCallback(edges);
    if (r.call == nullptr) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(slow).count());
    const std::string running = RunningText(r);
    if (world.CallbackEdges() != edges) return;  // it ended meanwhile
    Put("hostsim: note: " + running + " has been running for " + seconds + " s" +
        (stop != nullptr ? " (SIGINT, SIGTERM or SIGHUP ends the program with a report)\n" : "\n"));
    std::lock_guard<std::mutex> noticeLock(noticeMutex);
    notice = running + " ran for more than " + seconds + " s";
  }

  platform::WatchedThread watched;  // the thread that made the watch
  Clock::duration limit, slow, grace;
  const volatile std::sig_atomic_t* stop;
  std::mutex mutex;
  std::condition_variable wake;
  bool quit = false;
  std::mutex noticeMutex;
  std::string notice;  // the last slow callback told, until taken
  std::thread thread;
};

FaultWatch::FaultWatch(const World& world, const WatchOptions& options) {
  g_scene = Scene{};
  g_scene.world = &world;
  std::snprintf(g_scene.limit, sizeof g_scene.limit, "%g", options.hangSeconds);
  platform::OnFatalCrash(OnCrash);
  if (options.stopOnSignals) stop_ = g_scene.stop = platform::CatchStopSignals();
  if (options.hangSeconds > 0 || options.slowSeconds > 0 || stop_ != nullptr)
    watchdog_ = std::make_unique<Watchdog>(world, options, stop_);
}

FaultWatch::~FaultWatch() {
  watchdog_.reset();
  platform::OnFatalCrash(nullptr);
  g_scene = Scene{};
}

std::string FaultWatch::TakeSlowNotice() {
  if (!watchdog_) return {};
  std::lock_guard<std::mutex> lock(watchdog_->noticeMutex);
  return std::exchange(watchdog_->notice, std::string());
}

void FaultWatch::StopIfAsked() {
  if (stop_ == nullptr || *stop_ == 0) return;
  watchdog_.reset();  // the report is this thread's alone
  Report(platform::Fault{}, End::Stop);
}

void FaultWatch::SetSession(const Session& session) { g_scene.session = &session; }

void FaultWatch::SetLastWork(std::function<void()> work) { g_scene.lastWork = std::move(work); }

namespace {

// Where an exception that left a module was thrown, told as a crash's `where` (the module's own
// line first) while the module is still loaded; when no frame was in a module's code (thrown
// by code the module called), the library whose callback it left, then the throw.
void TellEscape(const World& world, World::Escape& escape) {
  if (escape.thrown.empty()) return;
  const platform::Where where = platform::FindWhere(escape.thrown, ModuleLibraries(world));
  if (!where.author.empty()) {
    escape.where = where.Lines();
    return;
  }
  escape.where = {platform::PathToUtf8(escape.library) + ": the exception left its " + escape.call};
  for (const std::string& line : where.Lines()) escape.where.push_back("thrown in " + line);
}

// The `where` of a report of `escape`: as told, or the library whose callback the exception
// left, and why no more is named.
std::vector<std::string> EscapeWhere(const World::Escape& escape) {
  if (!escape.where.empty() || escape.library.empty()) return escape.where;
  return {
    platform::PathToUtf8(escape.library) + ": the exception left its " + escape.call,
#if defined(_WIN32)
        "(on Windows where the exception was thrown is not seen: the library named is the "
        "one whose callback it left)"
#else
        "(where the exception was thrown was not seen)"
#endif
  };
}

}  // namespace

int ReportEscape(const World& world, const Session* session, const ModuleException& e) {
  const World::Escape& escape = e.escape();
  std::string text = "\nhostsim: a module threw an exception out of " + escape.call;
  if (!escape.vessel.empty())
    text += " of vessel " + escape.vessel + " (class " + escape.className + ")";
  else if (!escape.module.empty())
    text += " of module " + escape.module;
  text += ": " + std::string(e.what()) + "\n";
  const std::vector<std::string> where = EscapeWhere(escape);
  for (std::size_t i = 0; i < where.size(); ++i)
    text += (i == 0 ? "  where: " : "    ") + where[i] + "\n";
  if (session != nullptr && !session->CurrentCommand().empty())
    text += "  session line: " + session->CurrentCommand() + "\n";
  const std::vector<std::string> calls = world.LastCalls(kReportedCalls);
  text += calls.empty() ? "  no host calls journalled\n" : "  last host calls:\n";
  for (const std::string& call : calls) text += "    " + call + "\n";
  std::cout.flush();
  Put(text);
  return kExitModuleFault;
}

WatchedWorld::WatchedWorld(Paths paths, const WatchOptions& options)
    : world_(std::move(paths)), watch_(world_, options) {
  // A report reads the world's ring of the latest calls, which costs next to nothing; the
  // journal's text is for those who ask for it (a trace).
  world_.journal().SetEnabled(false);
  world_.SetEscapeTeller([this](World::Escape& escape) { TellEscape(world_, escape); });
}

WatchedWorld::~WatchedWorld() {
  // Ended while the watch stands; the last work named things that may be gone by now.
  watch_.SetLastWork(nullptr);
  world_.Clear();
}

}  // namespace hostsim::cli
