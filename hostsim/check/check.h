// hostsim check: loads a vessel module into the host and runs a battery of named checks on
// it, each (by default) in a child process of its own, and reports what each found.
//
// A check is a function over a Context: it makes worlds, vessels of the module's classes,
// drives them as a host would and calls Fail (or Skip) when the module does something a
// host cannot accept. What the module did last is in the journal the report quotes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostsim/world.h"

namespace hostsim::check {

// Hung: the check's process was stopped at its time limit.
enum class Status { Passed, Failed, Skipped, Crashed, Hung };
const char* StatusName(Status s);  // "passed", "failed", "skipped", "crashed", "hung"

// The outcome of one check.
struct Result {
  std::string name;
  Status status = Status::Passed;
  std::string reason;                // why it failed, was skipped, crashed or hung
  std::vector<std::string> journal;  // the last host calls before a failure, crash or hang
  std::vector<std::string> details;  // what the check found worth reporting when it passed
  double seconds = 0;
  // Skipped because it counts (allocations, calls) and its process could not: a check is
  // never passed without the counting it promises.
  bool notCounted = false;
  // Crashed in hostsim's own code, not in the module's: the host's fault.
  bool hostFault = false;
  // Memcheck found errors in the module: the check is repeated under memcheck.
  bool foundByMemcheck = false;
};

// What every check is given: the module, where its classes and meshes are, and the seed.
struct Subject {
  std::filesystem::path module;      // the module library as given
  std::string moduleName;            // its file name without the suffix
  Paths paths;                       // config and meshes of the root, modules: the module's folder
  std::vector<std::string> classes;  // the vessel classes to test, at least one
  std::uint64_t seed = 0;
  std::filesystem::path journalTail;  // where to keep the last host calls as they come; empty: none
};

class Context;

// One named check of the battery.
struct Check {
  const char* name;         // stable: "group.what"
  const char* description;  // one line
  void (*run)(Context&);
  bool timed = false;  // it measures time: left out where code runs slowed down (memcheck)
};

// The whole battery in the order it runs.
const std::vector<Check>& Battery();

// Thrown by Context::Fail and Context::Skip; the runner turns them into results.
struct CheckFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct CheckSkipped : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Thrown by Context::NotCounted: the check's counters cannot count in this process.
struct CheckNotCounted : CheckSkipped {
  using CheckSkipped::CheckSkipped;
};

// The exit status of a check's process that stopped itself at its time limit (HangWatch),
// after a last word on the standard error like a crash's.
inline constexpr int kHungStatus = 5;

// Watches this process's checks while it lives: one still running after `seconds` is stopped
// where it stands, and the process ends with kHungStatus after a last word that names the
// check, the module code that ran, where it stood and the host calls before.
class HangWatch {
 public:
  explicit HangWatch(double seconds);
  ~HangWatch();
  HangWatch(const HangWatch&) = delete;
  HangWatch& operator=(const HangWatch&) = delete;

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
};

// A callback an earlier check hung in, and that check's name.
struct KnownHang {
  std::string call;  // "clbkBufferedKey(32, true)": the callback with its arguments
  std::string check;
};

// Called when the check running in this process is about to call into a known hang: it gets
// the check's result (not run, naming the hang) and must end the process.
void OnKnownHang(const std::vector<KnownHang>& hangs, void (*stop)(const Result& r));

// Runs one check in this process and returns its result. A crash of the module ends the
// process, after a last word on the standard error that names the check and quotes the
// journal (see ParseCrashReport).
Result RunInProcess(const Check& check, const Subject& subject);

// What a crashed child left on its standard error: the journal lines of its last word, and
// the error output's last lines when it has none (a sanitizer's report, say).
std::vector<std::string> CrashJournal(const std::string& stderrText);
// Where its last word says the fault was: "lib.so: Fn() at file.cpp:12", the module's own
// line, then "called from ..." and "innermost: ..." as it tells them; empty: unknown.
std::vector<std::string> CrashWhere(const std::string& stderrText);
// Whether its last word says the fault was in hostsim's own code, not the module's.
bool CrashWasHosts(const std::string& stderrText);

// Options of `hostsim check`.
// How much longer a check may take under memcheck, which runs code many times slower.
inline constexpr double kMemcheckSlowdown = 30;

struct Options {
  std::filesystem::path module;
  std::string className;  // empty: every class whose configuration names the module
  std::string filter;     // regular expression over check names (searched); empty: all
  bool list = false;
  std::filesystem::path json, junit;
  bool seedGiven = false;
  std::uint64_t seed = 0;
  bool inProcess = false;
  std::string root;  // --root as given (passed on to the child processes); empty: none
  // A limit that a 2-core machine meets with room to spare for every check of a sound module
  // (they take seconds), and that a hang costs about once (see `hangs`).
  double timeoutSeconds = 60;
  // Each child runs under Valgrind's memcheck (POSIX), whose findings in the module fail the
  // check; the time limit is then kMemcheckSlowdown times as long.
  bool memcheck = false;
  // Where a child keeps its last host calls as it goes (given by the parent, which reads them
  // when it has to stop the child); empty: nowhere.
  std::filesystem::path journalTail;
  // Given by the parent to a child under memcheck: Valgrind's own work runs on the check's
  // thread, so the kernel's counts of the thread are not the module's.
  bool underMemcheck = false;
  // Given by the parent: the time limit the child watches itself (HangWatch); 0: none.
  double hangSeconds = 0;
  // Given by the parent: the callbacks ("clbkBufferedKey(32, true)") in which earlier checks
  // hung, each as "CHECK:CALL". A check about to make such a call again is reported as not
  // run because of that hang instead of waiting out its own time limit.
  std::vector<std::string> hangs;
  // Given by the parent: its copy of the module library, which the child loads instead of
  // making one of its own (one copy a run, loaded by every check). Empty: the process copies
  // the library itself.
  std::filesystem::path libraryCopy;
};

// The exit status of a run in which hostsim itself crashed (a fault of the host's own code,
// not the module's): the run's verdict on the module cannot be trusted.
inline constexpr int kHostFaultStatus = 3;

// Runs `hostsim check`: `paths` holds the root's config and meshes folders (the modules
// folder is the module's own). Returns the exit status: 0 when nothing failed, crashed or
// hung, 1 otherwise or on an error, kHostFaultStatus when hostsim itself crashed.
int Main(const Options& options, const Paths& paths, std::ostream& out, std::ostream& err);

}  // namespace hostsim::check
