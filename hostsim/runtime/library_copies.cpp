// The private copies of module libraries: made once per module and command, in a folder of
// their own.
#include "hostsim/library_copies.h"

#include "hostsim/error.h"
#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/files.h"

namespace hostsim {

LibraryCopies::LibraryCopies(std::filesystem::path folder) : folder_(std::move(folder)) {}

LibraryCopies::~LibraryCopies() = default;

std::filesystem::path LibraryCopies::Folder() {
  if (!folder_.empty()) return folder_;
  if (!own_) {
    auto folder = std::make_unique<platform::ScratchFolder>("hostsim-libraries");
    if (folder->path().empty())
      throw Error("cannot make a folder for the copies of module libraries: " + folder->error());
    own_ = std::move(folder);
  }
  return own_->path();
}

std::filesystem::path LibraryCopies::For(const std::string& name,
                                         const std::filesystem::path& original) {
  if (auto it = current_.find(name); it != current_.end()) return it->second;
  std::filesystem::path copy = Make(name, original);
  current_[name] = copy;
  return copy;
}

std::filesystem::path LibraryCopies::Make(const std::string& name,
                                          const std::filesystem::path& original) {
  std::string bytes;
  if (std::string reason = platform::ReadFile(original, platform::kLibraryLimit, bytes);
      !reason.empty())
    throw Error("cannot load module: " + reason, original.string());
  std::filesystem::path copy =
      Folder() / (name + "-" + std::to_string(++made_) + platform::LibrarySuffix());
  if (std::string reason = platform::WriteFile(copy, bytes); !reason.empty())
    throw Error("cannot load module: cannot make the copy of it that the command runs, " +
                    copy.string() + ": " + reason,
                original.string());
  return copy;
}

void LibraryCopies::Adopt(const std::string& name, const std::filesystem::path& copy) {
  current_[name] = copy;
}

bool LibraryCopies::IsCurrent(const std::string& name, const std::filesystem::path& copy) const {
  auto it = current_.find(name);
  return it != current_.end() && it->second == copy;
}

}  // namespace hostsim
