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

// Reads the whole of `file` into `bytes`. Only a regular file is read: a folder, a device, a
// socket or a FIFO is refused without being opened (a FIFO would make the read wait for a
// writer, perhaps for ever; a device may act or never end), and a file over `limit` bytes too,
// also one that grows past it while it is read. Returns "" on success, else the reason;
// `bytes` is then empty.
[[nodiscard]] std::string ReadFile(const std::filesystem::path& file, std::size_t limit,
                                   std::string& bytes);

// ReadFile for a text file: a leading UTF-8 byte-order mark, which some editors write, is
// dropped.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& file, std::size_t limit,
                                       std::string& text);

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

// A file written in pieces that takes its target's place only when it is complete, by the
// rules of WriteFile (which writes one in a single piece): until Commit the target keeps its
// old content, and a file given up leaves nothing behind (where the system cannot make a file
// without a name, a ".hostsim-PID-N.tmp" that the next save into the folder removes). For
// output made as a run goes, such as a trace.
class FileReplacement {
 public:
  FileReplacement() = default;
  // Gives up a file that was begun and not committed; the target stays as it was.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Checks `file` as WriteFile does and begins its new content in the target's folder.
  // Returns "" or the reason, with nothing begun.
  [[nodiscard]] std::string Begin(const std::filesystem::path& file);
  // Adds `bytes` to the new content. Returns "" or the reason (also when nothing was begun).
  [[nodiscard]] std::string Write(std::string_view bytes);
  // Puts the new content on the disk and in the target's place. Returns "" or the reason; on
  // failure the new content is given up and the target stays as it was.
  [[nodiscard]] std::string Commit();
  // Gives the new content up, if any: the target stays as it was.
  void GiveUp();

 private:  // Puts the new content on the disk under a name of its own in the folder, and closes it.
  std::string Settle();

  std::intptr_t handle_ = -1;
  std::filesystem::path target_;  // the file replaced, links followed
  std::filesystem::path folder_;  // its folder, where the new content is written
  std::filesystem::path name_;    // the new content's file, while it has a name
  bool replaces_ = false;         // the target exists: what it has of these is kept
  unsigned long mode_ = 0, owner_ = 0, group_ = 0;  // permissions or attributes, owner
};

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
