// The files a module is handed as a FILEHANDLE while one callback runs: a class
// configuration, a vessel block being loaded, a vessel block being saved.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/runtime/config.h"
#include "hostsim/runtime/scenario_text.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

class FileObject {
 public:
  explicit FileObject(std::string shownAs) : name(std::move(shownAs)) {}
  virtual ~FileObject() = default;
  std::string name;         // as shown in messages and the journal
  std::uint64_t birth = 0;  // World::Impl::handleBirths when it was handed over
};

struct ConfigFileObject final : FileObject {
  explicit ConfigFileObject(const ConfigFile& c) : FileObject(c.file), config(c) {}
  const ConfigFile& config;
};

// One vessel block being handed to clbkLoadScenario.
struct ScenarioReadObject final : FileObject {
  ScenarioReadObject(std::string file, Vessel& v, BlockLines l)
      : FileObject(std::move(file)), vessel(v), lines(l) {}
  Vessel& vessel;
  BlockLines lines;  // those not handed out yet
  // The line handed out last, which the module may change in place.
  std::string current;
  int currentLine = 0;  // its number in the file
  LineTally warned;     // the lines handed back to the host that it warned about
};

// One vessel block being written by clbkSaveState.
struct ScenarioWriteObject final : FileObject {
  ScenarioWriteObject(Vessel& v, const Transform& where)
      : FileObject("(saving)"), vessel(v), pose(where) {}
  Vessel& vessel;
  Transform pose;  // where the vessel stood in the world when the save began
  PackedLines lines;
};

// Hands a file object to the callbacks that run while it lives.
class OpenFile {
 public:
  OpenFile(World::Impl& w, FileObject& f) : w_(w), f_(f) {
    f_.birth = ++w_.handleBirths;
    w_.openFiles.push_back(&f_);
  }
  ~OpenFile() { w_.openFiles.erase(std::find(w_.openFiles.begin(), w_.openFiles.end(), &f_)); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  FILEHANDLE handle() const { return reinterpret_cast<FILEHANDLE>(&f_); }

 private:
  World::Impl& w_;
  FileObject& f_;
};

// The open file a handle names, or null (a closed file, or a file of another kind).
inline FileObject* OpenFileOf(const World::Impl& w, FILEHANDLE h) {
  for (FileObject* f : w.openFiles)
    if (reinterpret_cast<FILEHANDLE>(f) == h) return f;
  return nullptr;
}

template <class T>
T* OpenFileOf(const World::Impl* w, FILEHANDLE h) {
  return w != nullptr ? dynamic_cast<T*>(OpenFileOf(*w, h)) : nullptr;
}

}  // namespace hostsim
