// hostsim: the private copies of module libraries that a command runs.
//
// A library a world runs from the file its author builds changes under it when a build
// rewrites that file in place (truncates it, then writes the new library over it): the pages
// the system maps from the file change too, and the next call into the library faults. A
// command therefore runs a copy of each module library, made at the module's first load and
// loaded again from then on by every world of the command; a reload makes a new one.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace hostsim {

namespace platform {
class ScratchFolder;
}

class LibraryCopies {
 public:
  // Copies go to `folder` when one is given (it is the caller's), else to a temporary folder
  // of their own, made at the first copy and removed with this object (or by
  // platform::RemoveScratchFolders when the process ends without it).
  explicit LibraryCopies(std::filesystem::path folder = {});
  ~LibraryCopies();
  LibraryCopies(const LibraryCopies&) = delete;
  LibraryCopies& operator=(const LibraryCopies&) = delete;

  // The copy module `name` is loaded from: the one made before, else a copy of `original`
  // made now. Throws Error naming `original` when it cannot be read or the copy cannot be
  // written.
  std::filesystem::path For(const std::string& name, const std::filesystem::path& original);
  // A new copy of `original` under a name of its own (a system opens a file once, so a new
  // library beside a loaded one needs a file of its own), not yet the module's: a reload tries
  // it first, then Adopt()s it. Throws Error as For does.
  std::filesystem::path Make(const std::string& name, const std::filesystem::path& original);
  // Makes `copy` (from Make) the one module `name` is loaded from from now on.
  void Adopt(const std::string& name, const std::filesystem::path& copy);
  // Whether `copy` is the one module `name` is loaded from: a copy that no longer is may go
  // once its library is closed.
  bool IsCurrent(const std::string& name, const std::filesystem::path& copy) const;

 private:
  std::filesystem::path Folder();

  std::filesystem::path folder_;
  std::unique_ptr<platform::ScratchFolder> own_;
  std::map<std::string, std::filesystem::path> current_;
  unsigned made_ = 0;
};

}  // namespace hostsim
