// `hostsim check`: finds the module's classes, chooses the checks, runs each in a child
// process of its own (or here), reports, and writes the JSON and JUnit files.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>

#include "hostsim/check/check.h"
#include "hostsim/check/counters.h"
#include "hostsim/check/journal_tail.h"
#include "hostsim/check/memcheck.h"
#include "hostsim/check/report.h"
#include "hostsim/inputs/inputs.h"
#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "hostsim/runtime/config.h"

namespace fs = std::filesystem;

namespace hostsim::check {

namespace {

// The report of a child that stops before a known hang, and where it goes.
Report* g_stopReport = nullptr;
fs::path g_stopJson;

// Writes the check's result (not run, because of an earlier hang) and ends the process as a
// run of checks ends.
[[noreturn]] void StopBeforeHang(const Result& r) {
  if (g_stopReport != nullptr && !g_stopJson.empty()) {
    g_stopReport->results = {r};
    if (std::string why = platform::WriteFile(g_stopJson, JsonText(*g_stopReport)); !why.empty()) {
      std::cerr << "hostsim check: " << platform::PathToUtf8(g_stopJson) << ": " << why << "\n";
      std::_Exit(kHostFaultStatus);
    }
  }
  std::cout.flush();
  std::_Exit(0);
}

// A usage or set-up error: printed as one line, exit status 1 (2 for usage).
struct SetupError {
  std::string message;
  int status = 1;
};

// Thrown when a signal asked the run to stop: the check that ran has been ended.
struct StoppedBySignal {
  int signal;
};

// The flag CatchStopSignals sets, while the checks run in children.
const volatile std::sig_atomic_t* g_stop = nullptr;

bool StopAsked() { return g_stop != nullptr && *g_stop != 0; }

std::string FileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The class named by `cls` must exist and name the module.
bool NamesModule(const fs::path& cfg, const std::string& module) {
  const ConfigFile file = ReadConfig(cfg);
  const ConfigItem* item = file.Find("Module");
  return item != nullptr && EqualsNoCase(item->value, module);
}

std::vector<std::string> FindClasses(const Options& o, const Paths& paths,
                                     const std::string& module, std::ostream& err) {
  std::error_code ec;
  if (!o.className.empty()) {
    try {
      const fs::path cfg = ClassConfigPath(paths.config, o.className);
      if (!ClassConfigPresent(cfg))
        throw SetupError{cfg.string() + ": no configuration of class " + o.className +
                         " (--class)"};
      if (!NamesModule(cfg, module))
        throw SetupError{cfg.string() + ": class " + o.className + " is not of module " + module};
    } catch (const Error& e) {
      throw SetupError{e.what()};
    }
    return {o.className};
  }
  std::vector<std::string> classes;
  if (fs::is_directory(paths.config, ec)) {
    for (const auto& entry : fs::directory_iterator(paths.config, ec)) {
      if (entry.path().extension() != ".cfg") continue;
      try {
        if (NamesModule(entry.path(), module)) classes.push_back(entry.path().stem().string());
      } catch (const Error& e) {
        err << "hostsim check: skipped " << e.what() << "\n";
      }
    }
  }
  std::sort(classes.begin(), classes.end());
  if (classes.empty())
    throw SetupError{"no class configuration in " + paths.config.string() + " names module " +
                     module + " (give --class, or a --root whose config/ has one)"};
  return classes;
}

std::string Limit(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", seconds);
  return buf;
}

// The arguments that run the same check again in a child, answering in `json`.
std::vector<std::string> ChildArgs(const Options& o, const Check& c, std::uint64_t seed,
                                   const fs::path& json, const fs::path& tail, bool memcheck,
                                   double seconds, const std::vector<KnownHang>& hangs,
                                   const fs::path& libraryCopy) {
  std::string name = c.name;
  std::string pattern = "^";
  for (char ch : name) {
    if (ch == '.') pattern += '\\';
    pattern += ch;
  }
  pattern += "$";
  std::vector<std::string> args = {"check",
                                   platform::PathToUtf8(o.module),
                                   "--in-process",
                                   "--filter",
                                   pattern,
                                   "--seed",
                                   std::to_string(seed),
                                   "--json",
                                   platform::PathToUtf8(json),
                                   "--journal-tail",
                                   platform::PathToUtf8(tail)};
  if (!o.className.empty()) args.insert(args.end(), {"--class", o.className});
  if (!o.root.empty()) args.insert(args.end(), {"--root", o.root});
  if (memcheck) args.emplace_back("--under-memcheck");
  args.insert(args.end(), {"--hang-after", std::to_string(seconds)});
  for (const KnownHang& h : hangs) args.insert(args.end(), {"--hung-in", h.check + ":" + h.call});
  args.insert(args.end(), {"--library-copy", platform::PathToUtf8(libraryCopy)});
  return args;
}

// What memcheck found in the module while the check ran: it fails a check that passed, and
// is listed after what the check itself said.
void AddMemoryErrors(Result& r, const std::vector<MemoryError>& errors) {
  if (errors.empty()) return;
  r.foundByMemcheck = true;
  constexpr std::size_t kListed = 10;
  if (r.status == Status::Passed || r.notCounted) {
    r.status = Status::Failed;
    r.notCounted = false;
    r.reason = "memcheck found " + std::to_string(errors.size()) + " error" +
               (errors.size() == 1 ? "" : "s") + " in the module: " + errors.front().Text();
  }
  for (std::size_t i = 0; i < errors.size() && i < kListed; ++i)
    r.details.push_back("memcheck: " + errors[i].Text());
  if (errors.size() > kListed)
    r.details.push_back("memcheck: " + std::to_string(errors.size() - kListed) + " more");
}

// The callback a hung check was in: the last callback of its journal tail, as
// "clbkBufferedKey(32, true)"; empty when it shows none.
std::string HungCallback(const std::vector<std::string>& journal) {
  for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
    const std::size_t arrow = it->find("-> ");
    if (arrow != std::string::npos) return it->substr(arrow + 3);
  }
  return {};
}

// Runs the check in a child process of its own, which loads the module from `libraryCopy`,
// under memcheck when `valgrind` is given; what memcheck found in the module goes to
// `memoryErrors`.
Result RunInChild(const Options& o, const Check& c, std::uint64_t seed, const fs::path& dir,
                  const fs::path& libraryCopy, const fs::path& valgrind,
                  const std::vector<KnownHang>& hangs, std::vector<MemoryError>& memoryErrors) {
  const std::string base = c.name;
  const fs::path json = dir / (base + ".json");
  const fs::path out = dir / (base + ".out");
  const fs::path errFile = dir / (base + ".err");
  const fs::path tail = dir / (base + ".tail");
  const fs::path xml = dir / (base + ".memcheck.xml");
  const bool memcheck = !valgrind.empty();
  const double seconds = memcheck ? o.timeoutSeconds * kMemcheckSlowdown : o.timeoutSeconds;
  // The child stops itself at the limit, telling where it stood; the parent stops a child that
  // could not, a while later.
  const auto limit = std::chrono::milliseconds(static_cast<long long>((seconds * 1.1 + 5) * 1000));
  fs::path program = platform::ExecutablePath();
  std::vector<std::string> args =
      ChildArgs(o, c, seed, json, tail, memcheck, seconds, hangs, libraryCopy);
  if (memcheck) {
    std::vector<std::string> under = MemcheckArgs(xml);
    under.push_back(platform::PathToUtf8(program));
    args.insert(args.begin(), under.begin(), under.end());
    program = valgrind;
  }
  const platform::ChildEnd end = platform::RunChild(program, args, out, errFile, limit, g_stop);
  if (end.kind == platform::ChildEnd::Kind::Stopped) throw StoppedBySignal{*g_stop};
  Result r;
  r.name = c.name;
  std::vector<Result> got;
  std::error_code ec;
  // A result counts only from a child that ended as a run of checks ends (status 0 or 1): one
  // that crashed or was stopped after writing it did not finish the check.
  const bool finished =
      end.kind == platform::ChildEnd::Kind::Exited && (end.code == 0 || end.code == 1);
  if (finished && fs::exists(json, ec) && ReadResults(FileText(json), got) && got.size() == 1 &&
      got[0].name == c.name) {
    r = got[0];
  } else {
    r.status = Status::Crashed;
    const std::string errText = FileText(errFile);
    const bool reported = fs::exists(json, ec);
    switch (end.kind) {
      case platform::ChildEnd::Kind::Stopped:  // thrown above
      case platform::ChildEnd::Kind::NotStarted:
        r.reason = "could not run the check: " + end.why;
        break;
      case platform::ChildEnd::Kind::TimedOut:
        r.status = Status::Hung;
        r.reason = "no result within " + Limit(o.timeoutSeconds) +
                   " s: the check was stopped (--in-process runs it where a debugger can look)";
        break;
      case platform::ChildEnd::Kind::Crashed:
        r.reason = std::string(reported ? "crashed after it reported: " : "crashed: ") + end.why;
        break;
      case platform::ChildEnd::Kind::Exited:
        r.reason = "the check's process ended with status " + std::to_string(end.code) +
                   (reported ? " after it reported" : " before it reported");
        break;
    }
    if (end.kind == platform::ChildEnd::Kind::Exited && end.code == kHungStatus) {
      r.status = Status::Hung;
      r.reason = "no result within " + Limit(o.timeoutSeconds) +
                 " s: the check was stopped (--in-process runs it where a debugger can look)";
    }
    if (r.status == Status::Crashed && CrashWasHosts(errText)) {
      r.hostFault = true;
      r.reason = "hostsim crashed in its own code, not in the module (" + end.why +
                 "): a fault of the host, please report it";
    }
    const std::vector<std::string> where = CrashWhere(errText);
    for (std::size_t i = 0; i < where.size(); ++i)
      r.details.push_back((i == 0 ? "where: " : "  ") + where[i]);
    // A child stopped by the parent wrote no last word: what it was doing is in its journal
    // tail file.
    r.journal = end.kind == platform::ChildEnd::Kind::TimedOut ? ReadJournalTail(tail)
                                                               : CrashJournal(errText);
  }
  // Memcheck names the file the child mapped: the copy.
  if (memcheck) memoryErrors = ModuleErrors(FileText(xml), libraryCopy);
  for (const fs::path& p : {json, out, errFile, tail, xml}) fs::remove(p, ec);
  return r;
}

#if defined(HOSTSIM_WATCH_LIBRARY)
// Whether the dynamic linker reads `path` as one entry of LD_PRELOAD, which separates its
// entries with colons and blanks and has no way to quote them.
bool PreloadsAsOne(const std::string& path) {
  return !path.empty() && path.find_first_of(": \t\n") == std::string::npos;
}
#endif

// The environment the checks' processes start with: the counting library preloaded (Linux).
// Only `check` sets it, for its children: every other command runs without it. A library whose
// path LD_PRELOAD cannot hold (a folder with a blank in its name) is preloaded through a link
// to it, or a copy, of a plain name in the run's own folder `work`. Returns why the library
// cannot be preloaded; empty when it is, or where there is none to preload.
std::string PrepareChildren(const fs::path& work) {
#if defined(HOSTSIM_WATCH_LIBRARY)
  const fs::path dir = platform::ExecutablePath().parent_path();
  std::error_code ec;
  for (const fs::path& candidate : {dir / HOSTSIM_WATCH_FROM_BINDIR / HOSTSIM_WATCH_LIBRARY,
                                    dir / ".." / "lib" / HOSTSIM_WATCH_LIBRARY}) {
    if (!fs::is_regular_file(candidate, ec)) continue;
    std::string preload = fs::weakly_canonical(candidate, ec).string();
    if (!PreloadsAsOne(preload)) {
      const fs::path plain = work / HOSTSIM_WATCH_LIBRARY;
      fs::create_symlink(preload, plain, ec);
      if (ec) fs::copy_file(preload, plain, fs::copy_options::overwrite_existing, ec);
      if (ec || !PreloadsAsOne(plain.string()))
        return "the counting library " + platform::PathToUtf8(candidate) +
               " cannot be preloaded: LD_PRELOAD cannot hold a path with a colon or a blank, and " +
               (ec ? "no link to it could be made in " + platform::PathToUtf8(work) + ": " +
                         ec.message()
                   : "the temporary folder " + platform::PathToUtf8(work) + " has one too");
      preload = plain.string();
    }
    if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0')
      preload += std::string(":") + old;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    // In a sanitizer build the sanitizer's runtime then comes after the preloaded library,
    // which is meant: the library hands the calls it watches on to the sanitizer's.
    std::string asan = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
    asan += std::string(asan.empty() ? "" : ":") + "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    return {};
  }
  return "the counting library " HOSTSIM_WATCH_LIBRARY " is not installed beside " +
         platform::PathToUtf8(dir);
#else
  (void)work;
  return {};
#endif
}

int Run(const Options& o, const Paths& rootPaths, std::ostream& out, std::ostream& err) {
  std::regex filter;
  try {
    filter = std::regex(o.filter.empty() ? std::string(".") : o.filter);
  } catch (const std::regex_error& e) {
    throw SetupError{"--filter: not a regular expression: " + std::string(e.what()), 2};
  }
  std::vector<const Check*> chosen;
  for (const Check& c : Battery())
    if (std::regex_search(c.name, filter)) chosen.push_back(&c);
  if (chosen.empty()) throw SetupError{"no check matches --filter " + o.filter, 2};
  if (o.list) {
    for (const Check* c : chosen) out << std::left << c->name << "\n    " << c->description << "\n";
    return 0;
  }

  if (o.module.empty()) throw SetupError{"give the module library to check (MODULE)", 2};
  fs::path valgrind;
  if (o.memcheck) {
#if defined(_WIN32)
    throw SetupError{"--memcheck is not available on Windows (it runs Valgrind)", 2};
#else
    if (o.inProcess)
      throw SetupError{"--memcheck runs each check in a child: not with --in-process", 2};
    valgrind = FindValgrind();
    if (valgrind.empty())
      throw SetupError{"--memcheck needs Valgrind: no valgrind program on the PATH"};
#endif
  }
  std::error_code ec;
  if (fs::is_directory(o.module, ec))
    throw SetupError{platform::PathToUtf8(o.module) + ": a folder, not a module library"};
  if (std::string reason = platform::NotARegularFile(o.module); !reason.empty())
    throw SetupError{platform::PathToUtf8(o.module) +
                     (fs::exists(o.module, ec) ? ": not a module library: " + reason
                                               : std::string(": no such module library"))};
  const std::string suffix = platform::LibrarySuffix();
  if (o.module.extension() != suffix)
    throw SetupError{o.module.string() + ": a module library on this system ends in " + suffix};

  Subject subject;
  subject.module = o.module;
  subject.moduleName = o.module.stem().string();
  subject.paths = rootPaths;
  subject.paths.modules = fs::absolute(o.module, ec).parent_path();
  subject.classes = FindClasses(o, subject.paths, subject.moduleName, err);
  if (o.inProcess) subject.journalTail = o.journalTail;
  // The checks run a copy of the library, made once: a build that rewrites the file in place
  // meanwhile changes nothing in them. A child loads its parent's; everything the run reports
  // names the module's own file.
  if (!o.libraryCopy.empty()) subject.paths.libraryFiles[subject.moduleName] = o.libraryCopy;
  if (o.underMemcheck) Counters::IgnoreKernel();
  // The result files may replace neither the module nor a file of the root, before anything
  // runs.
  const std::vector<Input> inputs = {{"the module library", o.module}};
  for (const auto& [file, kind] : {std::pair{&o.json, "JSON"}, std::pair{&o.junit, "JUnit"}}) {
    if (file->empty()) continue;
    if (std::string reason = InputReason(inputs, subject.paths, *file); !reason.empty())
      throw SetupError{platform::PathToUtf8(*file) + ": cannot write the " + kind +
                       " results: " + reason};
  }
  if (!o.json.empty() && !o.junit.empty() && SameOutput(o.json, o.junit))
    throw SetupError{platform::PathToUtf8(o.junit) +
                     ": cannot write the JUnit results: it is where the JSON results go (--json)"};
  if (o.seedGiven) {
    subject.seed = o.seed;
  } else {
    std::random_device rd;
    // Kept below 2^53, so that a JSON reader that takes numbers as doubles reads it exactly.
    subject.seed = ((static_cast<std::uint64_t>(rd()) << 32) | rd()) & ((1ull << 53) - 1);
  }

  Report report;
  report.module = platform::PathToUtf8(o.module);
  report.classes = subject.classes;
  report.seed = subject.seed;
  report.rerun = "hostsim check " + report.module + " --seed " + std::to_string(subject.seed);
  if (!o.className.empty()) report.rerun += " --class " + o.className;
  if (!o.root.empty()) report.rerun += " --root " + o.root;
  report.checks = chosen;
  if (!Counters::Possible()) report.uncounted = Counters::Unavailable();

  // A folder of its own for the children's files, removed when the run ends.
  std::unique_ptr<platform::ScratchFolder> work;
  std::unique_ptr<HangWatch> hangWatch;
  std::string cannotPreload;  // why the children cannot count; empty: they can
  fs::path libraryCopy;       // the one the children load
  if (o.inProcess) {
    std::vector<KnownHang> known;
    for (const std::string& h : o.hangs)
      if (const std::size_t colon = h.find(':'); colon != std::string::npos)
        known.push_back({h.substr(colon + 1), h.substr(0, colon)});
    hangWatch = std::make_unique<HangWatch>(o.hangSeconds);
    g_stopReport = &report;
    g_stopJson = o.json;
    OnKnownHang(known, StopBeforeHang);
  } else {
    // A stop ends the check that runs and removes the children's folder on the way out.
    g_stop = platform::CatchStopSignals();
    work = std::make_unique<platform::ScratchFolder>("hostsim-check-run");
    if (work->path().empty()) throw SetupError{"cannot make a temporary folder: " + work->error()};
    cannotPreload = PrepareChildren(work->path());
    try {
      if (!subject.paths.copies) subject.paths.copies = std::make_shared<LibraryCopies>();
      libraryCopy = subject.paths.copies->For(subject.moduleName, fs::absolute(o.module, ec));
    } catch (const Error& e) {
      throw SetupError{e.what()};
    }
    if (!cannotPreload.empty()) err << "hostsim check: cannot count: " << cannotPreload << "\n";
  }
  WriteHeading(out, report);
  const auto start = std::chrono::steady_clock::now();
  std::vector<KnownHang> hangs;
  for (const Check* c : chosen) {
    if (StopAsked()) throw StoppedBySignal{*g_stop};
    Result r;
    const auto started = std::chrono::steady_clock::now();
    if (o.memcheck && c->timed) {
      r.name = c->name;
      r.status = Status::Skipped;
      r.reason = "a time means nothing under memcheck, which runs code many times slower";
    } else if (o.inProcess) {
      r = RunInProcess(*c, subject);
    } else {
      std::vector<MemoryError> memoryErrors;
      r = RunInChild(o, *c, subject.seed, work->path(), libraryCopy, valgrind, hangs, memoryErrors);
      if (r.notCounted && o.memcheck) {
        // Memcheck's allocator takes the counter's place: the check counts again outside it,
        // and what memcheck found stays.
        std::vector<MemoryError> none;
        r = RunInChild(o, *c, subject.seed, work->path(), libraryCopy, {}, hangs, none);
        r.details.insert(r.details.begin(),
                         "counted in a run outside memcheck, whose allocator the counter cannot "
                         "see");
      }
      if (r.notCounted && !cannotPreload.empty()) r.reason = "not counted: " + cannotPreload;
      if (o.memcheck) AddMemoryErrors(r, memoryErrors);
      if (r.status == Status::Hung)
        if (std::string call = HungCallback(r.journal); !call.empty())
          hangs.push_back({std::move(call), c->name});
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report.results.push_back(std::move(r));
    WriteRow(out, report, *c, report.results.back());
  }
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  WriteSummary(out, report);

  int status = 0;
  auto write = [&](const fs::path& file, const std::string& text) {
    if (std::string reason = platform::WriteFile(file, text); !reason.empty()) {
      err << "hostsim check: " << platform::PathToUtf8(file) << ": cannot write: " << reason
          << "\n";
      status = 1;
    }
  };
  if (!o.json.empty()) write(o.json, JsonText(report));
  if (!o.junit.empty()) write(o.junit, JunitText(report));
  const Counts n = Count(report.results);
  if (n.failed > 0 || n.crashed > 0 || n.hung > 0) status = 1;
  for (const Result& r : report.results)
    if (r.hostFault) status = kHostFaultStatus;
  return status;
}

}  // namespace

int Main(const Options& options, const Paths& paths, std::ostream& out, std::ostream& err) {
  try {
    return Run(options, paths, out, err);
  } catch (const SetupError& e) {
    err << "hostsim check: " << CleanText(e.message) << "\n";
    return e.status;
  } catch (const StoppedBySignal& stop) {
    out.flush();
    err << "hostsim check: stopped by " << platform::StopSignalName(stop.signal)
        << ": the check that ran was ended and its files removed\n";
    return 128 + stop.signal;
  }
}

}  // namespace hostsim::check
