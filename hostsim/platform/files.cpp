// The parts of the file reader and writer that are the same on every system.
#include "hostsim/platform/files.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include "hostsim/platform/files_os.h"
#include "hostsim/platform/path_text.h"

namespace hostsim::platform {
namespace fs = std::filesystem;

namespace detail {

std::string ErrnoReason(int error) { return std::generic_category().message(error); }

std::string TooLarge(std::size_t limit) {
  const std::string size =
      limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes";
  return "larger than " + size + ", the most that is read from such a file";
}

std::string FollowLinks(const fs::path& file, fs::path& target) {
  // The kernel's own limit on the links it follows in one path.
  constexpr int kMaxLinks = 40;
  fs::path p = file;
  for (int links = 0;; ++links) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(p, ec);
    if (ec || !fs::is_symlink(st)) break;  // not a link, or missing: the caller sees which
    if (links == kMaxLinks) return ErrnoReason(ELOOP);
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) return ec.message();
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  target = p;
  return {};
}

fs::path TempName(const fs::path& folder) {
  static std::atomic<unsigned> counter{0};
  return folder /
         (".hostsim-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) + ".tmp");
}

namespace {

// The process id in a name made by TempName, or 0 when the name is not one of those.
unsigned long TempOwner(std::string_view name) {
  constexpr std::string_view kPrefix = ".hostsim-", kSuffix = ".tmp";
  if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix))
    return 0;
  name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  const auto number = [](std::string_view digits, unsigned long& value) {
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size() && !digits.empty();
  };
  const std::size_t dash = name.find('-');
  unsigned long pid = 0, n = 0;
  if (dash == std::string_view::npos || !number(name.substr(0, dash), pid) ||
      !number(name.substr(dash + 1), n))
    return 0;
  return pid;
}

}  // namespace

void RemoveStaleTemps(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const unsigned long pid = TempOwner(PathToUtf8(it->path().filename()));
    if (pid != 0 && pid != ProcessId() && !ProcessRunning(pid)) stale.push_back(it->path());
  }
  for (const fs::path& p : stale) fs::remove(p, ec);
}

}  // namespace detail

std::string WriteFile(const fs::path& file, std::string_view bytes) {
  FileReplacement replacement;
  if (std::string reason = replacement.Begin(file); !reason.empty()) return reason;
  if (std::string reason = replacement.Write(bytes); !reason.empty()) return reason;
  return replacement.Commit();
}

std::string ReadTextFile(const fs::path& file, std::size_t limit, std::string& text) {
  std::string reason = ReadFile(file, limit, text);
  if (reason.empty() && text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return reason;
}

std::string NotARegularFile(const fs::path& file) {
  std::error_code ec;
  const fs::file_status st = fs::status(file, ec);
  switch (st.type()) {
    case fs::file_type::regular:
      return {};
    case fs::file_type::not_found:
      return detail::ErrnoReason(ENOENT);
    case fs::file_type::directory:
      return detail::ErrnoReason(EISDIR);
    case fs::file_type::fifo:
      return "not a regular file but a FIFO";
    case fs::file_type::character:
      return "not a regular file but a character device";
    case fs::file_type::block:
      return "not a regular file but a block device";
    case fs::file_type::socket:
      return "not a regular file but a socket";
    default:
      return ec ? ec.message() : "not a regular file";
  }
}

std::string CreateFolders(const fs::path& folder) {
  std::error_code ec;
  // The missing folders, the innermost first, so that a failure names the one that failed.
  std::vector<fs::path> missing;
  for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
    if (fs::exists(p, ec)) break;
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  if (missing.empty() && !fs::is_directory(folder, ec))
    return PathToUtf8(folder) + ": " + detail::ErrnoReason(ENOTDIR);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (!fs::create_directory(*it, ec) && ec) return PathToUtf8(*it) + ": " + ec.message();
  return {};
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

namespace {

// The scratch folders of this process that stand, for RemoveScratchFolders.
std::mutex g_scratchMutex;
std::vector<fs::path> g_scratch;

// The number in a name that is all decimal digits; false for any other.
bool Number(std::string_view digits, unsigned long& value) {
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
}

// The process id in a scratch folder's name ("hostsim-WORD-PID-N"), or 0 for another name.
unsigned long ScratchOwner(std::string_view name) {
  if (!name.starts_with("hostsim-")) return 0;
  const std::size_t last = name.rfind('-');
  if (last == std::string_view::npos || last == 0) return 0;
  const std::size_t before = name.rfind('-', last - 1);
  if (before == std::string_view::npos || before < std::string_view("hostsim").size()) return 0;
  unsigned long pid = 0, n = 0;
  if (!Number(name.substr(before + 1, last - before - 1), pid) || !Number(name.substr(last + 1), n))
    return 0;
  return pid;
}

// Removes the scratch folders in `base` whose process no longer runs: those of a process
// that was killed, or crashed where it could not clean up.
void RemoveStaleScratch(const fs::path& base) {
  std::error_code ec;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const unsigned long pid = ScratchOwner(PathToUtf8(it->path().filename()));
    std::error_code kind;
    if (pid != 0 && pid != detail::ProcessId() && !detail::ProcessRunning(pid) &&
        it->is_directory(kind) && !it->is_symlink(kind))
      stale.push_back(it->path());
  }
  for (const fs::path& p : stale) fs::remove_all(p, ec);
}

}  // namespace

ScratchFolder::ScratchFolder(std::string_view prefix) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) {
    error_ = "no temporary folder: " + ec.message();
    return;
  }
  RemoveStaleScratch(base);
  std::random_device random;
  for (int tries = 0; tries < 100; ++tries) {
    fs::path folder = base / (std::string(prefix) + "-" + std::to_string(detail::ProcessId()) +
                              "-" + std::to_string(random()));
    if (fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, ec);
      path_ = std::move(folder);
      std::lock_guard<std::mutex> lock(g_scratchMutex);
      g_scratch.push_back(path_);
      return;
    }
    if (ec) break;
  }
  error_ = PathToUtf8(base) + ": cannot make a folder in it: " +
           (ec ? ec.message() : std::string("every name tried is taken"));
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  if (path_.empty()) return;
  fs::remove_all(path_, ec);
  std::lock_guard<std::mutex> lock(g_scratchMutex);
  std::erase(g_scratch, path_);
}

void RemoveScratchFolders() {
  // A lock held by a thread that the crash stopped is not waited for.
  std::unique_lock<std::mutex> lock(g_scratchMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  std::error_code ec;
  for (const fs::path& p : g_scratch) fs::remove_all(p, ec);
}

}  // namespace hostsim::platform
