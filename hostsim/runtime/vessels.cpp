// A vessel's life: its class read, the vessel made, and its end.
#include "hostsim/runtime/vessels.h"

#include "hostsim/runtime/attachments.h"
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/visuals.h"

namespace hostsim {

namespace {

// The host's own vessel object for a class without a module.
class HostVessel final : public VESSEL3 {
 public:
  explicit HostVessel(OBJHANDLE h) : VESSEL3(h, 1) {}
};

// Reads VESSEL's protected fields for the host's own checks, without a journal entry.
struct VesselFields : VESSEL {
  static constexpr int VESSEL::*kVersion = &VesselFields::version_;
  static constexpr OBJHANDLE VESSEL::*kHandle = &VesselFields::hVessel_;
};

// Sets up a vessel of a class without a module from what its configuration says.
void SetUpFromConfig(World::Impl& w, Vessel& v, const ClassItems& items) {
  Vessel::Impl& vi = Of(v);
  vi.iface = new HostVessel(v.handle());
  vi.hostObject = true;
  v.physics.focusEnabled = false;
  if (!items.mesh.empty()) {
    const MESHHANDLE mesh = NewTemplate(w, items.mesh, &v);
    if (mesh == nullptr)  // it was read when the class was; only a file since changed fails
      throw Error("cannot load mesh " + Quote(items.mesh), vi.config->file, items.meshLine);
    AddMeshSlot(w, v, mesh, nullptr);
  }
  if (items.size) v.physics.size = *items.size;
  if (items.mass) v.physics.emptyMass = *items.mass;
  for (const auto& p : items.points)
    CreatePoint(v, p.toParent, p.pos, p.dir, p.rot, p.id.c_str(), false);
}

// Makes the module's object of the vessel (zvcInit) and sets it up (clbkSetupClass).
void SetUpFromModule(World::Impl& w, Vessel& v, Module& mod) {
  Vessel::Impl& vi = Of(v);
  VESSEL* obj = nullptr;
  {
    Callback in(w, &v, "zvcInit", v.handle(), 1);
    obj = in.Run([&] { return mod.init(v.handle(), 1); });
  }
  if (obj == nullptr)
    throw Error("zvcInit returned no object for vessel \"" + v.name() + "\"", mod.path.string());
  const int version = obj->*VesselFields::kVersion;
  if (obj->*VesselFields::kHandle != v.handle() || version < 1 || version > 3) {
    mod.exit(obj);
    throw Error("zvcInit returned an object not bound to vessel \"" + v.name() +
                    "\" (interface version " + std::to_string(version) + ")",
                mod.path.string());
  }
  vi.module = &mod;
  vi.iface = obj;
  ++mod.refCount;
  if (version >= 2) vi.cb2 = static_cast<VESSEL2*>(obj);
  if (version == 3) vi.cb3 = static_cast<VESSEL3*>(obj);
  if (vi.cb2 == nullptr) return;
  ConfigFileObject file(*vi.config);
  OpenFile open(w, file);
  Callback in(w, &v, "clbkSetupClass", open.handle());
  in.Run([&] { vi.cb2->clbkSetupClass(open.handle()); });
}

}  // namespace

bool ValidName(const std::string& name) {
  if (name.empty()) return false;
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

VesselClass ReadClass(World::Impl& w, const std::string& className) {
  VesselClass cls;
  cls.name = className;
  const auto path = ClassConfigPath(w.paths.config, className);
  if (!ClassConfigPresent(path))
    throw Error("unknown vessel class " + Quote(className) + ": no class configuration",
                path.string());
  NoteFileRead(w, "class configuration", path);
  cls.config = std::make_shared<const ConfigFile>(ReadConfig(path));
  // The file's name decides the class: a copied and renamed file keeps its old ClassName.
  if (const ConfigItem* n = cls.config->Find("ClassName");
      n != nullptr && !EqualsNoCase(n->value, className))
    w.warnings.push_back(Error("ClassName " + Quote(n->value) + " differs from the file's name: " +
                                   "the class is " + Quote(className),
                               cls.config->file, n->line)
                             .what());
  // The items the host defines are checked in every class, a module's too; only a class
  // without a module is set up from them.
  ClassItems items = ReadClassItems(*cls.config);
  if (const ConfigItem* m = cls.config->Find("Module"); m != nullptr && !m->value.empty()) {
    try {
      cls.module = &w.self->LoadModule(m->value);
    } catch (const Error& e) {
      throw Error(e.what(), cls.config->file, m->line);
    }
    return cls;
  }
  cls.items = std::move(items);
  std::string why;
  if (!cls.items.mesh.empty() && ReadMeshFile(w, cls.items.mesh, &why) == nullptr)
    throw Error("cannot load mesh " + Quote(cls.items.mesh) + ": " + why, cls.config->file,
                cls.items.meshLine);
  return cls;
}

std::unique_ptr<Vessel> MakeVessel(World::Impl& w, const std::string& name,
                                   const VesselClass& cls) {
  auto v = std::make_unique<Vessel>();
  Vessel::Impl& vi = Of(*v);
  vi.world = &w;
  vi.name = name;
  vi.className = cls.name;
  vi.token = w.NewToken();
  vi.config = cls.config;
  w.handles[vi.token] = v.get();
  try {
    if (cls.module != nullptr)
      SetUpFromModule(w, *v, *cls.module);
    else
      SetUpFromConfig(w, *v, cls.items);
  } catch (...) {
    EndVessel(w, *v);  // a module's exception leaves no half-made vessel behind
    throw;
  }
  return v;
}

void EndVessel(World::Impl& w, Vessel& v) {
  Vessel::Impl& vi = Of(v);
  DropVisualOf(w, v);
  if (w.box && w.boxOwner == &v) {
    w.box.reset();
    w.boxOwner = nullptr;
  }
  DetachAll(v);
  if (w.focus == &v) w.focus = nullptr;
  if (vi.hostObject) {
    delete static_cast<HostVessel*>(vi.iface);
  } else if (vi.module != nullptr && vi.iface != nullptr) {
    Callback in(w, &v, "zvcExit", v.handle());
    in.Run([&] { vi.module->exit(vi.iface); });
    --vi.module->refCount;
  }
  vi.iface = nullptr;
  vi.cb2 = nullptr;
  vi.cb3 = nullptr;
  for (MESHHANDLE h : vi.loadedMeshes) w.meshes.templates.erase(h);
  vi.loadedMeshes.clear();
  w.handles.erase(vi.token);
}

}  // namespace hostsim
