// What a check works with: its seeded random numbers, the worlds it makes, the vessels of
// the module's classes, notes for the report, and the way to fail or skip.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "hostsim/check/check.h"
#include "hostsim/check/journal_tail.h"
#include "hostsim/platform/where.h"

namespace hostsim::check {

class Context {
 public:
  Context(const Check& check, const Subject& subject);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  const Subject& subject() const { return subject_; }
  const std::string& name() const { return name_; }

  // --- random numbers, from the seed and the check's name: one check run alone with the same
  // seed sees the same numbers as in a whole run ---
  std::uint64_t Next();
  // Uniform in [0, 1).
  double Uniform();
  // Uniform integer in [0, n); 0 for n <= 0.
  int Below(int n);
  // Spread evenly over the exponent between lo and hi (both > 0).
  double LogUniform(double lo, double hi);

  // --- worlds: the journal of the world made last is the one a failure quotes ---
  // A new world over the subject's folders, with its journal on.
  World& NewWorld();
  // Destroys a world made by NewWorld (its vessels go, its modules unload).
  void DropWorld(World& world);
  // Creates a vessel of class `cls` and finishes its creation (clbkAfterCreation); a host
  // error (say zvcInit gave null) fails the check.
  Vessel& MakeVessel(World& world, const std::string& cls, const std::string& name);
  // Writes `text` as a scenario file in the check's own folder and loads it into a new
  // world; a host error fails the check, quoting the file.
  World& LoadScenarioText(const std::string& text);
  // The check's own temporary folder (made on first use, removed with the context).
  const std::filesystem::path& TempDir();

  // Keeps the journal of the watched world short in long loops: when it has grown past a few
  // thousand entries, its last lines are kept aside for the report and it is cleared.
  void Trim();
  // The last `n` journal lines of the watched world, oldest first.
  std::vector<std::string> JournalTail(std::size_t n = 16) const;
  // Makes `world` the one whose journal a failure quotes.
  void Watch(World& world);
  // Writes the last `n` journal lines to the standard error without allocating (for the
  // last word before a crash).
  void WriteJournalTail(std::size_t n) const;

  // --- outcome ---
  void Note(std::string text) { notes_.push_back(std::move(text)); }
  const std::vector<std::string>& notes() const { return notes_; }
  [[noreturn]] void Fail(const std::string& why);
  [[noreturn]] void Skip(const std::string& why);
  // Skips a check that counts, where its counters cannot count: `why` says why.
  [[noreturn]] void NotCounted(const std::string& why);

  // The context of the check running in this process (for the crash report), or null.
  static Context* Active();
  // The module callback running in any of the check's worlds, or the module code the check
  // called itself (InModule); null when none runs. Only reads memory (for a crash report).
  const char* ModuleRunning() const;
  // The libraries of the modules the check's worlds have loaded, for telling where a fault
  // was (allocates: a crash report asks only in a copy of its process).
  std::vector<platform::ModuleLibrary> ModuleLibraries() const;

 private:
  const Subject& subject_;
  std::string name_;
  std::mt19937_64 random_;
  static void Listen(void* data, const Journal::Entry& e);
  std::unique_ptr<JournalTailFile> tail_;  // every world's journal goes there too
  std::vector<std::unique_ptr<World>> worlds_;
  World* watched_ = nullptr;
  std::vector<std::string> kept_;  // journal lines set aside by Trim
  std::vector<std::string> notes_;
  std::filesystem::path temp_;
  int scenarios_ = 0;
};

// Marks code of the module the check calls itself, not through the host (a frame's
// callbacks, the library's exports), while it runs: a crash meanwhile is the module's.
class InModule {
 public:
  explicit InModule(const char* what);
  ~InModule();
  InModule(const InModule&) = delete;
  InModule& operator=(const InModule&) = delete;
  // What runs now, or null.
  static const char* Running();

 private:
  const char* previous_;
};

// One journal entry as a line: "self: call(args)", "self: -> callback(args)"; at most
// `limit` bytes (a longer one is cut with a note of its length).
std::string JournalLine(const Journal::Entry& e, std::size_t limit = 300);

}  // namespace hostsim::check
