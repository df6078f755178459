// Module libraries: loading through the platform seam (from the command's copy of each where
// the world's paths give one), entry points, unloading.
#include "hostsim/runtime/modules.h"

#include <system_error>

#include "hostsim/platform/dynlib.h"
#include "hostsim/platform/files.h"
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

namespace {

template <class Fn>
Fn Symbol(void* lib, const char* name) {
  return reinterpret_cast<Fn>(platform::FindSymbol(lib, name));
}

bool ValidModuleName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\:") == std::string::npos;
}

// Where the world's copies are: the command's (Paths::copies), else its own, made for a reload.
LibraryCopies& Copies(World::Impl& w) {
  if (w.paths.copies) return *w.paths.copies;
  if (!w.ownCopies) w.ownCopies = std::make_unique<LibraryCopies>();
  return *w.ownCopies;
}

// Removes the copy a closed module was loaded from, unless it is still the one the module is
// loaded from (a later load uses it again).
void RemoveCopy(World::Impl& w, const Module& m) {
  if (!m.copied || Copies(w).IsCurrent(m.name, m.loadedFrom)) return;
  std::error_code ec;
  std::filesystem::remove(m.loadedFrom, ec);
}

// `text` (a message of the system's loader) with the copy a module was loaded from named as
// the library its author built.
std::string NamingTheLibrary(std::string text, const Module& m) {
  const std::string copy = m.loadedFrom.string(), file = m.path.string();
  if (copy == file) return text;
  for (std::size_t at = text.find(copy); at != std::string::npos;
       at = text.find(copy, at + file.size()))
    text.replace(at, copy.size(), file);
  return text;
}

}  // namespace

std::unique_ptr<Module> OpenModule(World::Impl& w, const std::string& name,
                                   const std::filesystem::path& from) {
  if (!ValidModuleName(name)) throw Error("a module name is a name, not a path: " + Quote(name));
  // An absolute path: a bare file name would make the system search its library folders.
  std::error_code ec;
  auto path = std::filesystem::absolute(w.paths.modules / (name + platform::LibrarySuffix()), ec);
  if (ec) throw Error("cannot resolve the module path: " + ec.message(), name);
  if (std::string reason = platform::NotARegularFile(path); !reason.empty())
    throw Error("cannot load module: " + reason, path.string());

  NoteFileRead(w, "module library", path);
  auto mod = std::make_unique<Module>();
  mod->name = name;
  mod->path = path;
  if (!from.empty()) {  // a copy made beforehand (CopyModuleLibrary), the world's own
    mod->loadedFrom = from;
    mod->copied = true;
  } else if (auto given = w.paths.libraryFiles.find(name); given != w.paths.libraryFiles.end()) {
    mod->loadedFrom = given->second;  // a file the caller owns
  } else if (w.paths.copies) {
    mod->loadedFrom = w.paths.copies->For(name, path);
    mod->copied = true;
  } else {
    mod->loadedFrom = path;
  }
  // The library's load hook calls InitLib while it is being opened; it reaches this world.
  std::string why;
  void* lib = nullptr;
  {
    ScopedCurrent current(&w);
    w.initialising = mod.get();
    Callback in(w, *mod, "the library's load hook");
    // A copy's dependencies are looked for beside the file it copies too (Windows).
    lib = in.Run([&] { return platform::OpenLibrary(mod->loadedFrom, why, path.parent_path()); });
    w.initialising = nullptr;
  }
  if (lib == nullptr) {
    RemoveCopy(w, *mod);
    throw Error("cannot load module: " + NamingTheLibrary(why, *mod), path.string());
  }

  mod->library = lib;
  mod->init = Symbol<ZvcInitFn>(lib, "zvcInit");
  mod->exit = Symbol<ZvcExitFn>(lib, "zvcExit");
  mod->date = Symbol<ModuleDateFn>(lib, "ModuleDate");
  mod->version = Symbol<GetModuleVersionFn>(lib, "GetModuleVersion");
  const char* missing = mod->init == nullptr      ? "zvcInit"
                        : mod->exit == nullptr    ? "zvcExit"
                        : mod->date == nullptr    ? "ModuleDate"
                        : mod->version == nullptr ? "GetModuleVersion"
                                                  : nullptr;
  if (missing != nullptr) {
    CloseModule(w, *mod);
    throw Error(std::string("module lacks the entry point ") + missing, path.string());
  }
  // Without InitLib the host never learns the library's handle: what a module asks of the
  // host by its handle then fails in a simulator, though it may run here.
  if (mod->initHandle == nullptr)
    w.warnings.push_back(
        path.string() +
        ": the module never called InitLib while it was loaded: build it with "
        "hostsim_add_module, which gives it the load hook that does, or call InitLib from its own");
  return mod;
}

void CloseModule(World::Impl& w, Module& m) {
  {
    ScopedCurrent current(&w);  // the library's exit hook may call the host
    Callback in(w, m, "the library's unload hook");
    in.Run([&] { platform::CloseLibrary(m.library); });
  }
  m.library = nullptr;
  RemoveCopy(w, m);
}

void AdoptModuleCopy(World::Impl& w, const std::string& name, const std::filesystem::path& copy) {
  Copies(w).Adopt(name, copy);
}

Module& World::LoadModule(const std::string& name) {
  if (auto it = impl_->modules.find(name); it != impl_->modules.end()) return *it->second;
  auto mod = OpenModule(*impl_, name);
  Module& ref = *mod;
  impl_->modules.emplace(name, std::move(mod));
  return ref;
}

std::filesystem::path World::CopyModuleLibrary(const std::string& name) {
  auto it = impl_->modules.find(name);
  if (it == impl_->modules.end()) throw Error("no module " + Quote(name) + " is loaded");
  return Copies(*impl_).Make(name, it->second->path);
}

bool World::UnloadModule(const std::string& name) {
  auto it = impl_->modules.find(name);
  if (it == impl_->modules.end() || it->second->refCount > 0) return false;
  CloseModule(*impl_, *it->second);
  impl_->modules.erase(it);
  return true;
}

std::vector<const Module*> World::Modules() const {
  std::vector<const Module*> out;
  for (const auto& [name, m] : impl_->modules) out.push_back(m.get());
  return out;
}

}  // namespace hostsim
