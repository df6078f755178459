// The files the host reads and writes, behind one small interface: one bounded reader for
// every file it is given, and one safe writer for every file it writes.
//
// Both report failure as a reason, to be shown after the file's name and what was being
// done: the system's own text ("No such file or directory", "Permission denied", "Is a
// directory") or one of ours ("not a regular file but a FIFO"). An empty reason means success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace hostsim::platform {

// The largest file of each kind the host reads, in bytes: a bigger one (or an endless one,
// such as /dev/zero through a pipe) is refused before it fills the memory.
inline constexpr std::size_t kMiB = std::size_t{1} << 20;
inline constexpr std::size_t kScenarioLimit = 64 * kMiB;
inline constexpr std::size_t kScriptLimit = 16 * kMiB;     // session scripts
inline constexpr std::size_t kConfigLimit = 4 * kMiB;      // class configurations
inline constexpr std::size_t kMeshLimit = 64 * kMiB;       // OBJ meshes and their MTL materials
inline constexpr std::size_t kFontLimit = 64 * kMiB;       // the renderer's font
inline constexpr std::size_t kLibraryLimit = 1024 * kMiB;  // module libraries the host copies

// What ReadFile takes: a regular file or a pipe (a scenario or script given as `<(...)`), or
// a regular file only (the files a world finds in its root, which nothing should feed: a FIFO
// there would make the read wait for a writer for ever).
enum class Readable { FileOrPipe, FileOnly };

// Reads the whole of `file` into `bytes`. Only a regular file or, as `kinds` allows, a pipe is
// read (a folder, a device or a socket is refused without being opened, a FIFO that is not
// taken too), and none over `limit` bytes. Returns "" on success, else the reason; `bytes` is
// then empty.
[[nodiscard]] std::string ReadFile(const std::filesystem::path& file, std::size_t limit,
                                   std::string& bytes, Readable kinds = Readable::FileOrPipe);

// ReadFile for a text file: a leading UTF-8 byte-order mark, which some editors write, is
// dropped.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& file, std::size_t limit,
                                       std::string& text, Readable kinds = Readable::FileOrPipe);

// Why `file` (links followed) is no regular file to open, as ReadFile would say it ("No such
// file or directory", "Is a directory", "not a regular file but a FIFO"), or "" when it is one:
// for files the host hands to the system to open rather than reading them itself (libraries).
[[nodiscard]] std::string NotARegularFile(const std::filesystem::path& file);

// Makes `bytes` the whole content of `file`, so that at every moment the file holds its old
// content or its new one, and the new one is on the disk when this returns:
//  - a target that exists must be a regular file that is not read-only; anything else (a
//    folder, a device, a FIFO) is refused and left alone;
//  - a symbolic link is written through: its target is replaced, the link stays;
//  - the new content goes to a temporary file in the target's folder, is flushed to the disk
//    and renamed over the target, then the folder itself is flushed;
//  - the replaced file's permissions are kept; a new file gets the usual ones;
//  - the folder must exist: no folder is created.
// The temporary file has no name until it is complete where the system allows it (Linux);
// elsewhere it is named ".hostsim-PID-N.tmp", and such a file left by a process that no longer
// runs (killed during a save) is removed by the next save into its folder. Returns "" on
// success, else the reason, with the target as it was.
[[nodiscard]] std::string WriteFile(const std::filesystem::path& file, std::string_view bytes);

// A file that grows by appending and keeps what it was given through a crash, a kill or a
// power cut: a recording of what a user does, written as it happens.
class GrowingFile {
 public:
  GrowingFile() = default;
  ~GrowingFile();
  GrowingFile(const GrowingFile&) = delete;
  GrowingFile& operator=(const GrowingFile&) = delete;

  // Makes `first` the whole content of `file` with WriteFile (and its rules), then keeps the
  // file open for appending. Returns "" or the reason.
  [[nodiscard]] std::string Create(const std::filesystem::path& file, std::string_view first);
  // Writes `bytes` at the end of the file; they are on the disk when it returns. Returns ""
  // or the reason (also when the file is not open).
  [[nodiscard]] std::string Append(std::string_view bytes);

 private:
  std::intptr_t handle_ = -1;
};

// Creates `folder` and every missing folder above it. Returns "" on success, else
// "FOLDER: reason" for the folder that could not be made.
[[nodiscard]] std::string CreateFolders(const std::filesystem::path& folder);

// A folder of this process's own in the system's temporary folder, named PREFIX-PID-NUMBER
// and open to its owner alone, removed with everything in it when it goes: for files the host
// makes for itself (copies of libraries, a trial's scenario). `prefix` starts with "hostsim-".
// Making one removes the scratch folders of processes that no longer run (killed, or crashed
// where they could not clean up).
class ScratchFolder {
 public:
  // Makes the folder; when it cannot, path() is empty and error() says why.
  explicit ScratchFolder(std::string_view prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::string error_;
};

// Removes every ScratchFolder of this process that stands, for a process about to end
// without its destructors running (a crash report, through RunIsolated: it allocates).
void RemoveScratchFolders();

// True when `a` and `b` both exist and are the same file (or folder), however they are
// spelled: through links, relative or absolute.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace hostsim::platform
