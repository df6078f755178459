// Running one check in this process, and the last word a crash leaves for the parent.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string_view>
#include <thread>

#include "hostsim/check/check.h"
#include "hostsim/check/context.h"
#include "hostsim/check/counters.h"
#include "hostsim/platform/process.h"
#include "hostsim/platform/where.h"

namespace hostsim::check {

namespace {

constexpr const char* kTailStart = "--- last host calls ---";
constexpr const char* kTailEnd = "--- end of host calls ---";
constexpr std::size_t kTailLines = 16;
constexpr const char* kWhere = "hostsim check: where: ";
constexpr const char* kHostFault = "crashed in hostsim's own code, not in the module: ";

void Put(const char* s) { platform::WriteStderr(s, std::char_traits<char>::length(s)); }

platform::Fault g_fault;

// In a copy of the process (it allocates): where the faulting code is, the module's own line
// first.
void WriteWhere() {
  const Context* ctx = Context::Active();
  const platform::Where where = platform::FindWhere(
      platform::FaultStack(g_fault, 64),
      ctx != nullptr ? ctx->ModuleLibraries() : std::vector<platform::ModuleLibrary>{});
  std::string text;
  for (const std::string& line : where.Lines())
    text += (text.empty() ? kWhere : "hostsim check:   ") + line + "\n";
  Put(text.c_str());
}

// In a copy of the process: 0 when the fault's stack was walked and no frame of it is in the
// module's library, else 1.
int ModuleFrameAnswer() {
  const Context* ctx = Context::Active();
  const std::vector<const void*> stack = platform::FaultStack(g_fault, 256);
  return stack.size() > 1 && ctx != nullptr &&
                 !platform::InModuleLibrary(stack, ctx->ModuleLibraries())
             ? 0
             : 1;
}

// The last word of a crash or a hang: names the check, whose code faulted or stood (the
// module's, or hostsim's own when no module code ran, or when a crash has no frame of the
// module's library on its stack), where, and quotes the journal.
void LastWord(const platform::Fault& fault, bool hung) {
  Context* ctx = Context::Active();
  g_fault = fault;
  bool module = ctx != nullptr && ctx->ModuleRunning() != nullptr;
  if (module && !hung && fault.code != nullptr &&
      platform::RunIsolatedAnswer(ModuleFrameAnswer, std::chrono::seconds(20)) == 0)
    module = false;
  Put("\nhostsim check: ");
  if (ctx != nullptr) {
    platform::WriteStderr(ctx->name().data(), ctx->name().size());
    Put(" ");
  }
  if (hung)
    Put(module ? "hung" : "hung in hostsim's own code, not in the module");
  else
    Put(module ? "crashed: " : kHostFault);
  if (!hung) Put(fault.what != nullptr ? fault.what : "fatal fault");
  if (module) {
    Put(" in ");
    Put(ctx->ModuleRunning());
  } else if (!hung && ctx != nullptr && ctx->ModuleRunning() != nullptr) {
    Put(" while ");
    Put(ctx->ModuleRunning());
    Put(" ran");
  }
  Put("\n");
  if (fault.code != nullptr) platform::RunIsolated(WriteWhere, std::chrono::seconds(20));
  Put(kTailStart);
  Put("\n");
  if (ctx != nullptr) ctx->WriteJournalTail(kTailLines);
  Put(kTailEnd);
  Put("\n");
}

void CrashReport(const platform::Fault& fault) { LastWord(fault, false); }

void HangReport(const platform::Fault& fault) {
  LastWord(fault, true);
  std::_Exit(kHungStatus);
}

}  // namespace

struct HangWatch::Thread {
  explicit Thread(double seconds)
      : limit(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds))),
        thread([this] { Watch(); }) {}
  ~Thread() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    wake.notify_one();
    thread.join();
  }
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex);
    if (wake.wait_for(lock, limit, [this] { return stop; })) return;
    watched.Interrupt("hang", HangReport);
    // Only a thread that blocks the signal comes back here: the parent stops the process.
  }

  platform::WatchedThread watched;  // the thread that runs the checks
  std::chrono::steady_clock::duration limit;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::thread thread;
};

HangWatch::HangWatch(double seconds) {
  if (seconds > 0) thread_ = std::make_unique<Thread>(seconds);
}

HangWatch::~HangWatch() = default;

const char* StatusName(Status s) {
  switch (s) {
    case Status::Passed:
      return "passed";
    case Status::Failed:
      return "failed";
    case Status::Skipped:
      return "skipped";
    case Status::Crashed:
      return "crashed";
    case Status::Hung:
      return "hung";
  }
  return "?";
}

Result RunInProcess(const Check& check, const Subject& subject) {
  static const bool installed = (platform::OnFatalCrash(CrashReport), true);
  (void)installed;
  Result r;
  r.name = check.name;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> thrownWhere;  // where an exception out of the module was thrown
  {
    Context ctx(check, subject);
    try {
      check.run(ctx);
      r.status = Status::Passed;
    } catch (const CheckFailed& e) {
      r.status = Status::Failed;
      r.reason = e.what();
      r.journal = ctx.JournalTail(kTailLines);
    } catch (const CheckNotCounted& e) {
      // Where the system can count, a check that could not is a failure of the run: it
      // promises counting, and an author's run must not pass without it. Elsewhere it is a
      // skip, which the report says once at its top.
      r.status = Counters::Possible() ? Status::Failed : Status::Skipped;
      r.reason = e.what();
      r.notCounted = true;
    } catch (const CheckSkipped& e) {
      r.status = Status::Skipped;
      r.reason = e.what();
    } catch (const Error& e) {
      r.status = Status::Failed;
      r.reason = std::string("the host reported an error: ") + e.what();
      r.journal = ctx.JournalTail(kTailLines);
    } catch (const std::exception& e) {
      r.status = Status::Crashed;
      r.reason = std::string("an exception escaped from the module: ") + e.what();
      if (const auto* escaped = dynamic_cast<const ModuleException*>(&e))
        thrownWhere = escaped->escape().where;
      r.journal = ctx.JournalTail(kTailLines);
    } catch (...) {
      r.status = Status::Crashed;
      r.reason = "an exception of unknown type escaped from the module";
      r.journal = ctx.JournalTail(kTailLines);
    }
    r.details = ctx.notes();
    for (std::size_t i = 0; i < thrownWhere.size(); ++i)
      r.details.push_back((i == 0 ? "where: " : "  ") + thrownWhere[i]);
  }  // the check's worlds go here: their vessels' zvcExit and the unloads are part of it
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

std::vector<std::string> CrashWhere(const std::string& stderrText) {
  constexpr std::string_view kMore = "hostsim check:   ";
  std::vector<std::string> where;
  std::istringstream in(stderrText);
  bool in_where = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(kWhere, 0) == 0) {
      where = {line.substr(std::char_traits<char>::length(kWhere))};
      in_where = true;
    } else if (in_where && line.starts_with(kMore)) {
      where.push_back(line.substr(kMore.size()));
    } else {
      in_where = false;
    }
  }
  return where;
}

bool CrashWasHosts(const std::string& stderrText) {
  return stderrText.find(kHostFault) != std::string::npos;
}

std::vector<std::string> CrashJournal(const std::string& stderrText) {
  std::vector<std::string> lines;
  std::istringstream in(stderrText);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != kTailStart) continue;
    out.clear();
    for (std::size_t k = i + 1; k < lines.size() && lines[k] != kTailEnd; ++k)
      out.push_back(lines[k].size() > 2 ? lines[k].substr(2) : lines[k]);
  }
  if (!out.empty()) return out;
  // No last word (a sanitizer's report, a hang): the error output's last lines instead.
  for (std::size_t i = lines.size() > 12 ? lines.size() - 12 : 0; i < lines.size(); ++i)
    if (!lines[i].empty()) out.push_back("stderr: " + lines[i]);
  return out;
}

}  // namespace hostsim::check
