// What the per-OS parts of the file reader and writer (files_posix.cpp, files_win32.cpp) share
// with the part common to all systems (files.cpp).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace hostsim::platform::detail {

// The C library's text for an errno value, the same on every system ("Is a directory").
std::string ErrnoReason(int error);

// Why a file of `limit` bytes at most was refused.
std::string TooLarge(std::size_t limit);

// The file a chain of symbolic links starting at `file` leads to (`file` itself when it is no
// link; the file need not exist). Returns "" or the reason, such as a loop of links.
std::string FollowLinks(const std::filesystem::path& file, std::filesystem::path& target);

// A name for a temporary file of this process in `folder`: ".hostsim-PID-N.tmp".
std::filesystem::path TempName(const std::filesystem::path& folder);

// Removes the temporary files named by TempName in `folder` whose process no longer runs:
// what a save killed before its end left behind. Failures are ignored.
void RemoveStaleTemps(const std::filesystem::path& folder);

// This process's id, and whether the process with id `pid` still runs (per OS).
unsigned long ProcessId();
bool ProcessRunning(unsigned long pid);

}  // namespace hostsim::platform::detail
