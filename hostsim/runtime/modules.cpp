// Module libraries: loading through the platform seam, entry points, unloading.
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

}  // namespace

Module& World::LoadModule(const std::string& name) {
  if (auto it = impl_->modules.find(name); it != impl_->modules.end()) return *it->second;
  if (!ValidModuleName(name)) throw Error("a module name is a name, not a path: " + Quote(name));
  // An absolute path: a bare file name would make the system search its library folders.
  std::error_code ec;
  auto path =
      std::filesystem::absolute(impl_->paths.modules / (name + platform::LibrarySuffix()), ec);
  if (ec) throw Error("cannot resolve the module path: " + ec.message(), name);
  if (std::string reason = platform::NotARegularFile(path); !reason.empty())
    throw Error("cannot load module: " + reason, path.string());

  NoteFileRead(*impl_, "module library", path);
  auto mod = std::make_unique<Module>();
  mod->name = name;
  mod->path = path;
  // The library's load hook calls InitLib while it is being opened; it reaches this world.
  std::string why;
  void* lib = nullptr;
  {
    ScopedCurrent current(impl_.get());
    impl_->initialising = mod.get();
    Callback in(*impl_, *mod, "the library's load hook");
    lib = platform::OpenLibrary(path, why);
    impl_->initialising = nullptr;
  }
  if (lib == nullptr) throw Error("cannot load module: " + why, path.string());

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
    platform::CloseLibrary(lib);
    throw Error(std::string("module lacks the entry point ") + missing, path.string());
  }
  // Without InitLib the host never learns the library's handle: what a module asks of the
  // host by its handle then fails in a simulator, though it may run here.
  if (mod->initHandle == nullptr)
    impl_->warnings.push_back(
        path.string() +
        ": the module never called InitLib while it was loaded: build it with "
        "hostsim_add_module, which gives it the load hook that does, or call InitLib from its own");
  Module& ref = *mod;
  impl_->modules.emplace(name, std::move(mod));
  return ref;
}

bool World::UnloadModule(const std::string& name) {
  auto it = impl_->modules.find(name);
  if (it == impl_->modules.end() || it->second->refCount > 0) return false;
  {
    ScopedCurrent current(impl_.get());  // the library's exit hook may call the host
    Callback in(*impl_, *it->second, "the library's unload hook");
    platform::CloseLibrary(it->second->library);
  }
  impl_->modules.erase(it);
  return true;
}

std::vector<const Module*> World::Modules() const {
  std::vector<const Module*> out;
  for (const auto& [name, m] : impl_->modules) out.push_back(m.get());
  return out;
}

}  // namespace hostsim
