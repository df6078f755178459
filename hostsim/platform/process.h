// The operating system's processes, behind one small interface: this program's own path,
// child processes run with a time limit, a last word before a fatal crash, and whether a
// library is still mapped into this process.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace hostsim::platform {

// The path of the running program; empty when the system cannot tell it.
std::filesystem::path ExecutablePath();

// How a child process ended.
struct ChildEnd {
  enum class Kind {
    Exited,      // it returned from main or called exit: `code` holds the status
    Crashed,     // a signal or an unhandled exception ended it: `why` names it
    TimedOut,    // it was still running at the time limit and was killed
    NotStarted,  // it could not be started: `why` says why
  };
  Kind kind = Kind::NotStarted;
  int code = 0;
  std::string why;
};

// Runs `program` with `args` (UTF-8), its standard input empty and its standard output and
// error written to the files `out` and `err`; kills it when it runs longer than `limit`.
ChildEnd RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                  const std::filesystem::path& out, const std::filesystem::path& err,
                  std::chrono::milliseconds limit);

// Calls `report` once, with the name of the signal or exception, when this process is about
// to die of a crash (invalid access, abort, illegal instruction, arithmetic fault); the
// process then dies as it would have without it. `report` must only read memory and write
// to the standard error.
void OnFatalCrash(void (*report)(const char* what));

// Writes `text` to the standard error without buffering or allocating (safe in `report`).
void WriteStderr(const char* text, std::size_t length);

// Whether the library at `path` is mapped into this process now (without loading it).
bool LibraryIsLoaded(const std::filesystem::path& path);

// A file of a fixed size mapped into memory for writing: what is stored in `data()` reaches
// the file also when the process is killed right after (the system holds the pages).
class MappedFile {
 public:
  // Creates or empties the file at `path` and maps `size` bytes of it; `data()` is null when
  // that fails.
  MappedFile(const std::filesystem::path& path, std::size_t size);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  void* file_ = nullptr;     // the system's handle of the file (Windows)
  void* mapping_ = nullptr;  // and of its mapping (Windows)
};

}  // namespace hostsim::platform
