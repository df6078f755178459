// Running one check in this process, and the last word a crash leaves for the parent.
#include <chrono>
#include <sstream>

#include "hostsim/check/check.h"
#include "hostsim/check/context.h"
#include "hostsim/platform/process.h"

namespace hostsim::check {

namespace {

constexpr const char* kTailStart = "--- last host calls ---";
constexpr const char* kTailEnd = "--- end of host calls ---";
constexpr std::size_t kTailLines = 16;
constexpr const char* kWhere = "hostsim check: where: ";
constexpr const char* kHostFault = "crashed in hostsim's own code, not in the module: ";

void Put(const char* s) { platform::WriteStderr(s, std::char_traits<char>::length(s)); }

const void* g_faultCode = nullptr;

// In a copy of the process (it allocates): where the faulting code is.
void WriteWhere() {
  const std::string line = kWhere + platform::CodeLocation(g_faultCode) + "\n";
  Put(line.c_str());
}

// Called on the way down of a crash: names the check, whose code faulted (the module's, or
// hostsim's own when no module code ran), where, and quotes the journal.
void CrashReport(const platform::Fault& fault) {
  Context* ctx = Context::Active();
  Put("\nhostsim check: ");
  if (ctx != nullptr) {
    platform::WriteStderr(ctx->name().data(), ctx->name().size());
    Put(" ");
  }
  const bool module = ctx != nullptr && ctx->ModuleRunning() != nullptr;
  Put(module ? "crashed: " : kHostFault);
  Put(fault.what != nullptr ? fault.what : "fatal fault");
  if (module) {
    Put(" in ");
    Put(ctx->ModuleRunning());
  }
  Put("\n");
  g_faultCode = fault.code;
  if (fault.code != nullptr) platform::RunIsolated(WriteWhere, std::chrono::seconds(20));
  Put(kTailStart);
  Put("\n");
  if (ctx != nullptr) ctx->WriteJournalTail(kTailLines);
  Put(kTailEnd);
  Put("\n");
}

}  // namespace

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
      r.status = Status::Skipped;
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
      r.journal = ctx.JournalTail(kTailLines);
    } catch (...) {
      r.status = Status::Crashed;
      r.reason = "an exception of unknown type escaped from the module";
      r.journal = ctx.JournalTail(kTailLines);
    }
    r.details = ctx.notes();
  }  // the check's worlds go here: their vessels' zvcExit and the unloads are part of it
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

std::string CrashWhere(const std::string& stderrText) {
  std::string where;
  std::istringstream in(stderrText);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(kWhere, 0) == 0) where = line.substr(std::char_traits<char>::length(kWhere));
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
