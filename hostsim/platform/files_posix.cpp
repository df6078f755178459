// The file reader and writer on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "hostsim/platform/files.h"
#include "hostsim/platform/files_os.h"
#include "hostsim/platform/path_text.h"

namespace hostsim::platform {
namespace fs = std::filesystem;
using detail::ErrnoReason;

namespace {

std::string LastReason() { return ErrnoReason(errno); }

// Why a file of mode `mode` is neither read nor replaced.
std::string NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return ErrnoReason(EISDIR);
  const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "a special file";
  return std::string("not a regular file but ") + kind;
}

// An open file descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool open() const { return fd_ >= 0; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Closes the descriptor; false (errno set) when the system reports a failure, which on some
  // file systems is the first news of a failed write.
  bool Close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

// Writes all of `bytes`, through interruptions and short writes.
std::string WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t piece = std::min<std::size_t>(bytes.size(), std::size_t{1} << 30);
    const ssize_t n = ::write(fd, bytes.data(), piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastReason();
    if (n == 0) return ErrnoReason(EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

// Flushes the folder's entries (the rename) to the disk. File systems that cannot sync a folder
// say so with EINVAL; that is no failure of the save.
std::string SyncFolder(const fs::path& folder) {
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.open()) return {};
  if (::fsync(dir.get()) != 0 && errno != EINVAL && errno != ENOTSUP)
    return "the folder " + PathToUtf8(folder) + " could not be flushed: " + LastReason();
  return {};
}

// A new named file in `folder` for the new content, open for writing; -1 with `reason` set when
// it cannot be made.
int CreateNamed(const fs::path& folder, fs::path& name, std::string& reason) {
  name = detail::TempName(folder);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    reason = "cannot create a file in " + PathToUtf8(folder) + ": " + LastReason();
    name.clear();
  }
  return fd;
}

// Gives the new content the permissions (and, where it may, the owner) of the file it replaces.
std::string KeepPermissions(int fd, mode_t mode, uid_t owner, gid_t group) {
  // The owner first: changing it clears the set-user-id and set-group-id bits.
  struct stat now {};
  if (::fstat(fd, &now) == 0 && (now.st_uid != owner || now.st_gid != group))
    (void)::fchown(fd, owner, group);  // only a privileged process may
  if (::fchmod(fd, mode & 07777) != 0) return "cannot keep the file's permissions: " + LastReason();
  return {};
}

// Copies what `from` holds into `to`, from the start.
std::string CopyContent(int from, int to) {
  char piece[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(from, piece, sizeof piece, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastReason();
    if (n == 0) return {};
    if (std::string reason = WriteAll(to, std::string_view(piece, static_cast<std::size_t>(n)));
        !reason.empty())
      return reason;
    at += n;
  }
}

}  // namespace

std::string ReadFile(const fs::path& file, std::size_t limit, std::string& bytes) {
  bytes.clear();
  // Anything but a regular file is refused before it is opened: opening a device may wait,
  // or act, and a FIFO waits for a writer.
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return LastReason();
  if (!S_ISREG(st.st_mode)) return NotRegular(st.st_mode);
  // A FIFO put there meanwhile must not make the open wait either.
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.open()) return LastReason();
  // The file opened may not be the one looked at.
  if (::fstat(fd.get(), &st) != 0) return LastReason();
  if (!S_ISREG(st.st_mode)) return NotRegular(st.st_mode);
  if (static_cast<std::uintmax_t>(st.st_size) > limit) return detail::TooLarge(limit);
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  // A file that grows while it is read is read up to the limit and no further.
  char piece[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      bytes.clear();
      return LastReason();
    }
    if (n == 0) return {};
    if (static_cast<std::size_t>(n) > limit - bytes.size()) {
      bytes.clear();
      return detail::TooLarge(limit);
    }
    bytes.append(piece, static_cast<std::size_t>(n));
  }
}

FileReplacement::~FileReplacement() { GiveUp(); }

void FileReplacement::GiveUp() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  if (!name_.empty()) ::unlink(name_.c_str());
  name_.clear();
}

std::string FileReplacement::Begin(const fs::path& file) {
  GiveUp();
  if (!file.has_filename()) return ErrnoReason(EISDIR);
  if (std::string reason = detail::FollowLinks(file, target_); !reason.empty()) return reason;
  struct stat st {};
  replaces_ = ::lstat(target_.c_str(), &st) == 0;
  if (!replaces_ && errno != ENOENT) return LastReason();  // e.g. a file where a folder should be
  if (replaces_) {
    if (!S_ISREG(st.st_mode)) return NotRegular(st.st_mode);
    // No write permission for anyone: read-only, even to a process that could override it.
    if ((st.st_mode & 0222) == 0) return "the file is read-only";
    if (::access(target_.c_str(), W_OK) != 0) return LastReason();
    mode_ = st.st_mode;
    owner_ = st.st_uid;
    group_ = st.st_gid;
  }
  folder_ = target_.parent_path();
  if (folder_.empty()) folder_ = ".";
  detail::RemoveStaleTemps(folder_);

  // Without a name while it is written where the system offers that, so that a process killed
  // meanwhile leaves nothing behind.
  int fd = -1;
#if defined(O_TMPFILE)
  fd = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  std::string reason;
  if (fd < 0) fd = CreateNamed(folder_, name_, reason);  // the named file's attempt tells why
  if (fd < 0) return reason;
  handle_ = fd;
  if (replaces_)
    reason = KeepPermissions(fd, static_cast<mode_t>(mode_), static_cast<uid_t>(owner_),
                             static_cast<gid_t>(group_));
  if (!reason.empty()) GiveUp();
  return reason;
}

std::string FileReplacement::Write(std::string_view bytes) {
  if (handle_ < 0) return ErrnoReason(EBADF);
  return WriteAll(static_cast<int>(handle_), bytes);
}

std::string FileReplacement::Settle() {
  if (name_.empty()) {
    // The complete file gets its name through the process's view of its descriptor.
    name_ = detail::TempName(folder_);
    const std::string self = "/proc/self/fd/" + std::to_string(handle_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      // A system without that view: the content goes into a named file as a copy.
      std::string reason;
      const int named = CreateNamed(folder_, name_, reason);
      if (named < 0) return reason;
      const int unnamed = static_cast<int>(handle_);
      handle_ = named;
      if (replaces_)
        reason = KeepPermissions(named, static_cast<mode_t>(mode_), static_cast<uid_t>(owner_),
                                 static_cast<gid_t>(group_));
      if (reason.empty()) reason = CopyContent(unnamed, named);
      ::close(unnamed);
      if (!reason.empty()) return reason;
    }
  }
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  const bool synced = ::fsync(fd) == 0;
  std::string reason = synced ? std::string() : LastReason();
  // A failed close is, on some file systems, the first news of a failed write.
  if (::close(fd) != 0 && synced) reason = LastReason();
  return reason;
}

std::string FileReplacement::Commit() {
  if (handle_ < 0) return ErrnoReason(EBADF);
  std::string reason = Settle();
  if (reason.empty() && ::rename(name_.c_str(), target_.c_str()) != 0) reason = LastReason();
  if (!reason.empty()) {
    GiveUp();
    return reason;
  }
  name_.clear();  // it is the target now
  return SyncFolder(folder_);
}

GrowingFile::~GrowingFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::string GrowingFile::Create(const fs::path& file, std::string_view first) {
  if (std::string reason = WriteFile(file, first); !reason.empty()) return reason;
  // Opened by its name again, through the same links: the file the writer just made.
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return LastReason();
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = fd;
  return {};
}

std::string GrowingFile::Append(std::string_view bytes) {
  if (handle_ < 0) return ErrnoReason(EBADF);
  const int fd = static_cast<int>(handle_);
  if (std::string reason = WriteAll(fd, bytes); !reason.empty()) return reason;
  if (::fdatasync(fd) != 0 && errno != EINVAL) return LastReason();
  return {};
}

namespace detail {

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

bool ProcessRunning(unsigned long pid) {
  // An id no process can have is taken for a running one: its file is left alone.
  if (pid == 0 || pid > static_cast<unsigned long>(std::numeric_limits<pid_t>::max())) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace detail

}  // namespace hostsim::platform
