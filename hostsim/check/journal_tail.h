// The last host calls of a check, kept in a file as they are made: a parent that had to kill
// its hung child still reads what the module was doing. The file is mapped into memory, so
// that keeping it costs a copy per journal entry and no system call.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "hostsim/platform/process.h"
#include "hostsim/world.h"

namespace hostsim::check {

class JournalTailFile {
 public:
  // Creates the file; when that fails, Add does nothing.
  explicit JournalTailFile(const std::filesystem::path& path);
  // Keeps `e` as the newest line, the oldest goes.
  void Add(const Journal::Entry& e);
  // For Journal::SetListener: `data` is the JournalTailFile.
  static void Listen(void* data, const Journal::Entry& e);

 private:
  platform::MappedFile map_;
};

// The lines kept in the file at `path`, oldest first; empty when it holds none.
std::vector<std::string> ReadJournalTail(const std::filesystem::path& path);

}  // namespace hostsim::check
