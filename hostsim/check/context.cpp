// The check's context: seeded random numbers, worlds, vessels, journal tails, outcome.
#include "hostsim/check/context.h"

#include <algorithm>
#include <cmath>

#include "hostsim/keys/keys.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/platform/process.h"
#include "hostsim/platform/where.h"
#include "hostsim/runtime/text.h"

#if defined(_WIN32)
#include <process.h>
#define HOSTSIM_GETPID _getpid
#else
#include <unistd.h>
#define HOSTSIM_GETPID getpid
#endif

namespace hostsim::check {

namespace {

Context* g_active = nullptr;
const char* g_inModule = nullptr;

// The callbacks known to hang and what to do when one is about to be called again.
std::vector<KnownHang> g_hangs;
void (*g_stop)(const Result&) = nullptr;

// FNV-1a of the check's name: each check draws its own numbers from the one seed.
std::uint64_t NameHash(const std::string& name) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// For a key callback's entry, the key by name and code: " (key D (0x20))".
std::string KeyOf(const Journal::Entry& e) {
  if (e.call.find("clbkBufferedKey") == std::string::npos) return {};
  long long code = 0;
  if (!ParseInt(e.args.substr(0, e.args.find(',')), code) || code < 0 || code > 255) return {};
  return " (key " + KeyText(static_cast<std::uint8_t>(code)) + ")";
}

constexpr std::size_t kTrimAt = 4096;  // journal entries kept before Trim clears them
constexpr std::size_t kKeptLines = 32;

}  // namespace

std::string JournalLine(const Journal::Entry& e, std::size_t limit) {
  std::string line;
  if (!e.self.empty()) line += e.self + ": ";
  if (e.kind == Journal::Kind::Callback) line += "-> ";
  line += e.call + "(" + e.args + ")";
  if (line.size() > limit) {
    const std::size_t full = line.size();
    line.resize(limit);
    line += "... (" + std::to_string(full) + " bytes)";
  }
  return line;
}

InModule::InModule(const char* what) : previous_(g_inModule) { g_inModule = what; }
InModule::~InModule() { g_inModule = previous_; }
const char* InModule::Running() { return g_inModule; }

void OnKnownHang(const std::vector<KnownHang>& hangs, void (*stop)(const Result& r)) {
  g_hangs = hangs;
  g_stop = stop;
}

// Sees every journal entry of the check's worlds as it is made, before a callback runs.
void Context::Listen(void* data, const Journal::Entry& e) {
  auto* self = static_cast<Context*>(data);
  if (self->tail_) self->tail_->Add(e);
  if (e.kind != Journal::Kind::Callback || g_stop == nullptr) return;
  const std::string call = e.call + "(" + e.args + ")";
  for (const KnownHang& h : g_hangs) {
    if (h.call != call) continue;
    Result r;
    r.name = self->name_;
    r.status = Status::Skipped;
    r.reason = "not run: it would call " + h.call + KeyOf(e) + " again, where " + h.check +
               " hung; see that check";
    r.journal = self->JournalTail(16);
    g_stop(r);
  }
}

Context::Context(const Check& check, const Subject& subject)
    : subject_(subject), name_(check.name), random_(subject.seed ^ NameHash(check.name)) {
  if (!subject.journalTail.empty()) tail_ = std::make_unique<JournalTailFile>(subject.journalTail);
  g_active = this;
}

Context::~Context() {
  // Worlds go newest first: a later world may hold nothing of an earlier one, but the order
  // matches how they were made.
  while (!worlds_.empty()) worlds_.pop_back();
  if (!temp_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(temp_, ec);
  }
  if (g_active == this) g_active = nullptr;
}

Context* Context::Active() { return g_active; }

const char* Context::ModuleRunning() const {
  if (g_inModule != nullptr) return g_inModule;
  for (const auto& w : worlds_)
    if (const World::Running r = w->RunningCallback(); r.call != nullptr) return r.call;
  return nullptr;
}

std::vector<platform::ModuleLibrary> Context::ModuleLibraries() const {
  std::vector<platform::ModuleLibrary> libraries;
  for (const auto& w : worlds_)
    for (const Module* m : w->Modules())
      if (m->init != nullptr)
        libraries.push_back(
            {reinterpret_cast<const void*>(m->init), platform::PathToUtf8(m->path)});
  return libraries;
}

std::uint64_t Context::Next() { return random_(); }

double Context::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

int Context::Below(int n) {
  if (n <= 0) return 0;
  return static_cast<int>(Next() % static_cast<std::uint64_t>(n));
}

double Context::LogUniform(double lo, double hi) {
  const double a = std::log(lo), b = std::log(hi);
  return std::exp(a + (b - a) * Uniform());
}

World& Context::NewWorld() {
  worlds_.push_back(std::make_unique<World>(subject_.paths));
  World& w = *worlds_.back();
  w.journal().SetEnabled(true);
  w.WatchArguments(true);
  // An exception out of the module is told where it was thrown while its library is loaded.
  w.SetEscapeTeller([this](World::Escape& escape) {
    if (!escape.thrown.empty())
      escape.where = platform::FindWhere(escape.thrown, ModuleLibraries()).Lines();
  });
  if (tail_ || !g_hangs.empty()) w.journal().SetListener(Listen, this);
  Watch(w);
  return w;
}

void Context::DropWorld(World& world) {
  for (auto it = worlds_.begin(); it != worlds_.end(); ++it) {
    if (it->get() != &world) continue;
    if (watched_ == &world) {
      // Its last lines stay quotable: the module may fail in the next world's first call.
      for (const std::string& line : JournalTail(kKeptLines)) kept_.push_back(line);
      if (kept_.size() > kKeptLines) kept_.erase(kept_.begin(), kept_.end() - kKeptLines);
      watched_ = nullptr;
    }
    worlds_.erase(it);
    if (watched_ == nullptr && !worlds_.empty()) watched_ = worlds_.back().get();
    return;
  }
}

void Context::Watch(World& world) {
  if (watched_ == &world) return;
  if (watched_ != nullptr) {
    for (const std::string& line : JournalTail(kKeptLines)) kept_.push_back(line);
    if (kept_.size() > kKeptLines) kept_.erase(kept_.begin(), kept_.end() - kKeptLines);
  }
  watched_ = &world;
}

Vessel& Context::MakeVessel(World& world, const std::string& cls, const std::string& name) {
  Vessel* v = nullptr;
  try {
    v = &world.CreateVessel(name, cls);
  } catch (const Error& e) {
    Fail("the host could not create vessel \"" + name + "\" of class " + cls + ": " + e.what());
  }
  world.FinishCreation(*v);
  return *v;
}

const std::filesystem::path& Context::TempDir() {
  if (temp_.empty()) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) Fail("no temporary folder: " + ec.message());
    for (int i = 0; i < 1000 && temp_.empty(); ++i) {
      std::filesystem::path p = base / ("hostsim-check-" + std::to_string(HOSTSIM_GETPID()) + "-" +
                                        std::to_string(Next() % 1000000));
      if (std::filesystem::create_directory(p, ec)) temp_ = p;
    }
    if (temp_.empty()) Fail("cannot make a temporary folder in " + base.string());
  }
  return temp_;
}

World& Context::LoadScenarioText(const std::string& text) {
  const std::filesystem::path file =
      TempDir() / ("scenario" + std::to_string(++scenarios_) + ".scn");
  if (std::string reason = platform::WriteFile(file, text); !reason.empty())
    Fail("cannot write " + file.string() + ": " + reason);
  World& w = NewWorld();
  try {
    w.LoadScenario(file);
  } catch (const Error& e) {
    Fail(std::string("the host refused the module's own save when loading it again: ") + e.what());
  }
  return w;
}

void Context::Trim() {
  if (watched_ == nullptr) return;
  Journal& j = watched_->journal();
  if (j.Entries().size() < kTrimAt) return;
  kept_ = JournalTail(kKeptLines);
  j.Clear();
}

std::vector<std::string> Context::JournalTail(std::size_t n) const {
  std::vector<std::string> out;
  if (watched_ != nullptr) {
    const auto& entries = watched_->journal().Entries();
    const std::size_t from = entries.size() > n ? entries.size() - n : 0;
    for (std::size_t i = from; i < entries.size(); ++i) out.push_back(JournalLine(entries[i]));
  }
  if (out.size() < n) {
    const std::size_t more = std::min(n - out.size(), kept_.size());
    out.insert(out.begin(), kept_.end() - static_cast<std::ptrdiff_t>(more), kept_.end());
  }
  return out;
}

void Context::WriteJournalTail(std::size_t n) const {
  auto put = [](std::string_view s) { platform::WriteStderr(s.data(), s.size()); };
  std::size_t own = 0;
  const std::vector<Journal::Entry>* entries = nullptr;
  if (watched_ != nullptr) {
    entries = &watched_->journal().Entries();
    own = std::min(n, entries->size());
  }
  const std::size_t older = std::min(n - own, kept_.size());
  for (std::size_t i = kept_.size() - older; i < kept_.size(); ++i) {
    put("  ");
    put(kept_[i]);
    put("\n");
  }
  for (std::size_t i = entries != nullptr ? entries->size() - own : 0;
       entries && i < entries->size(); ++i) {
    put("  ");
    Journal::WriteLine((*entries)[i], put, 300);
    put("\n");
  }
}

void Context::Fail(const std::string& why) { throw CheckFailed(why); }

void Context::Skip(const std::string& why) { throw CheckSkipped(why); }

void Context::NotCounted(const std::string& why) { throw CheckNotCounted("not counted: " + why); }

}  // namespace hostsim::check
