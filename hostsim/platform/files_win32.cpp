// The file reader and writer on Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "hostsim/platform/files.h"
#include "hostsim/platform/files_os.h"
#include "hostsim/platform/path_text.h"

namespace hostsim::platform {
namespace fs = std::filesystem;
using detail::ErrnoReason;

namespace {

// The reason for a Windows error code. The common ones read as their C library texts, as on
// every other system ("No such file or directory"); the rest in the system's own words.
std::string Reason(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ErrnoReason(ENOENT);
    case ERROR_ACCESS_DENIED:
      return ErrnoReason(EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrnoReason(ENOSPC);
    case ERROR_WRITE_PROTECT:
      return ErrnoReason(EROFS);
    default:
      break;
  }
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == '.')) buf[--n] = '\0';
  return n > 0 ? std::string(buf) : "system error " + std::to_string(code);
}

std::string LastReason() { return Reason(GetLastError()); }

// An open handle, closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool open() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  bool Close() {
    if (!open()) return true;
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE h_;
};

// Writes all of `bytes`, through short writes.
std::string WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), piece, &written, nullptr)) return LastReason();
    if (written == 0) return ErrnoReason(EIO);
    bytes.remove_prefix(written);
  }
  return {};
}

// Why an open file of Windows type `type` is neither read nor written; "" for a disk file.
std::string NotRegular(DWORD type) {
  switch (type) {
    case FILE_TYPE_DISK:
      return {};
    case FILE_TYPE_PIPE:
      return "not a regular file but a pipe";
    case FILE_TYPE_CHAR:
      return "not a regular file but a character device";
    default:
      return "not a regular file";
  }
}

}  // namespace

std::string ReadFile(const fs::path& file, std::size_t limit, std::string& bytes) {
  bytes.clear();
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return ErrnoReason(EISDIR);
  Handle in(CreateFileW(file.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.open()) return LastReason();
  const DWORD type = GetFileType(in.get());
  if (type != FILE_TYPE_DISK) return NotRegular(type);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(in.get(), &size)) return LastReason();
  if (static_cast<unsigned long long>(size.QuadPart) > limit) return detail::TooLarge(limit);
  bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  char piece[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(in.get(), piece, sizeof piece, &n, nullptr)) {
      const DWORD code = GetLastError();
      bytes.clear();
      return Reason(code);
    }
    if (n == 0) return {};
    if (n > limit - bytes.size()) {
      bytes.clear();
      return detail::TooLarge(limit);
    }
    bytes.append(piece, n);
  }
}

FileReplacement::~FileReplacement() { GiveUp(); }

void FileReplacement::GiveUp() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  if (!name_.empty()) DeleteFileW(name_.c_str());
  name_.clear();
}

std::string FileReplacement::Begin(const fs::path& file) {
  GiveUp();
  if (!file.has_filename()) return ErrnoReason(EISDIR);
  if (std::string reason = detail::FollowLinks(file, target_); !reason.empty()) return reason;
  mode_ = 0;
  const DWORD attributes = GetFileAttributesW(target_.c_str());
  replaces_ = attributes != INVALID_FILE_ATTRIBUTES;
  if (replaces_) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ErrnoReason(EISDIR);
    if (attributes & FILE_ATTRIBUTE_DEVICE) return NotRegular(FILE_TYPE_CHAR);
    if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
    mode_ = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    // A device such as NUL or CON has no attributes of its own to tell it by.
    Handle probe(CreateFileW(target_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe.open() && GetFileType(probe.get()) != FILE_TYPE_DISK)
      return NotRegular(GetFileType(probe.get()));
  }
  folder_ = target_.parent_path();
  if (folder_.empty()) folder_ = ".";
  detail::RemoveStaleTemps(folder_);
  name_ = detail::TempName(folder_);
  const HANDLE h = CreateFileW(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const std::string reason = LastReason();
    name_.clear();
    return "cannot create a file in " + PathToUtf8(folder_) + ": " + reason;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return {};
}

std::string FileReplacement::Write(std::string_view bytes) {
  if (handle_ == -1) return ErrnoReason(EBADF);
  return WriteAll(reinterpret_cast<HANDLE>(handle_), bytes);
}

std::string FileReplacement::Settle() {
  Handle file(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  std::string reason;
  if (!FlushFileBuffers(file.get())) reason = LastReason();
  if (!file.Close() && reason.empty()) reason = LastReason();
  if (reason.empty() && mode_ != 0 && !SetFileAttributesW(name_.c_str(), mode_))
    reason = "cannot keep the file's attributes: " + LastReason();
  return reason;
}

std::string FileReplacement::Commit() {
  if (handle_ == -1) return ErrnoReason(EBADF);
  std::string reason = Settle();
  if (reason.empty() && !MoveFileExW(name_.c_str(), target_.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    reason = LastReason();
  if (!reason.empty()) {
    GiveUp();
    return reason;
  }
  name_.clear();  // it is the target now
  return {};
}

GrowingFile::~GrowingFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::string GrowingFile::Create(const fs::path& file, std::string_view first) {
  if (std::string reason = WriteFile(file, first); !reason.empty()) return reason;
  HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastReason();
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return {};
}

std::string GrowingFile::Append(std::string_view bytes) {
  if (handle_ == -1) return ErrnoReason(EBADF);
  const HANDLE h = reinterpret_cast<HANDLE>(handle_);
  if (std::string reason = WriteAll(h, bytes); !reason.empty()) return reason;
  if (!FlushFileBuffers(h)) return LastReason();
  return {};
}

namespace detail {

unsigned long ProcessId() { return GetCurrentProcessId(); }

bool ProcessRunning(unsigned long pid) {
  Handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process.open()) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace detail

}  // namespace hostsim::platform
