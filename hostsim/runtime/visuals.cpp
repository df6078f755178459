// Meshes of vessels: templates handed out, visuals built and dropped with their device meshes.
#include "hostsim/runtime/visuals.h"

#include <algorithm>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/mesh_file.h"
#include "hostsim/runtime/text.h"

namespace hostsim {

namespace {

bool ValidMeshName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of("/\\:") != std::string::npos) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

std::shared_ptr<const MeshFile> ReadMeshFile(World::Impl& w, const std::string& name,
                                             std::string* why) {
  if (auto it = w.meshes.files.find(name); it != w.meshes.files.end()) return it->second;
  std::string error;
  std::shared_ptr<const MeshFile> mesh;
  if (!ValidMeshName(name)) {
    error = "a mesh name is a name, not a path: " + Quote(name);
  } else {
    std::string file = name;
    if (file.size() < 4 || !EqualsNoCase(file.substr(file.size() - 4), ".obj")) file += ".obj";
    const auto path = w.paths.meshes / file;
    NoteFileRead(w, "mesh", path);
    try {
      mesh = ReadObj(path, w.warnings);
    } catch (const Error& e) {
      error = e.what();
    }
  }
  if (mesh != nullptr) {
    for (const std::filesystem::path& library : mesh->libraries)
      NoteFileRead(w, "material library", library);
    w.meshes.files.emplace(name, mesh);
  } else if (why != nullptr) {
    *why = error;
  }
  return mesh;
}

MESHHANDLE NewTemplate(World::Impl& w, const std::string& name, Vessel* loader) {
  std::string why;
  std::shared_ptr<const MeshFile> file = ReadMeshFile(w, name, &why);
  if (file == nullptr) {
    // The module goes on without it (a null handle), but what it asked for is not there.
    w.warnings.push_back(
        (loader != nullptr ? "vessel " + Quote(loader->name()) + ": " : std::string()) +
        "cannot load mesh " + Quote(name) + ": " + why);
    return nullptr;
  }
  auto mesh = std::make_shared<Mesh>();
  mesh->name = name;
  mesh->birth = ++w.handleBirths;
  mesh->materials = file->materials;
  mesh->file = std::move(file);
  const auto h = reinterpret_cast<MESHHANDLE>(mesh.get());
  w.meshes.templates.emplace(h, std::move(mesh));
  if (loader != nullptr) Of(*loader).loadedMeshes.push_back(h);
  return h;
}

Mesh* TemplateOf(const World::Impl& w, MESHHANDLE h) {
  auto it = w.meshes.templates.find(h);
  return it != w.meshes.templates.end() ? it->second.get() : nullptr;
}

DeviceMesh* DeviceMeshOf(const World::Impl& w, DEVMESHHANDLE h) {
  auto it = w.meshes.deviceMeshes.find(h);
  return it != w.meshes.deviceMeshes.end() ? it->second : nullptr;
}

std::uint32_t AddMeshSlot(World::Impl& w, Vessel& v, MESHHANDLE h, const VECTOR3* ofs) {
  MeshSlot& slot = v.meshes.emplace_back();
  if (auto it = w.meshes.templates.find(h); it != w.meshes.templates.end()) {
    slot.mesh = it->second.get();
    Of(v).shownMeshes.push_back(it->second);
  }
  if (ofs != nullptr) slot.ofs = *ofs;
  return static_cast<std::uint32_t>(v.meshes.size() - 1);
}

void BuildVisualOf(World::Impl& w, Vessel& v) {
  auto vis = std::make_unique<Visual>();
  vis->handle = reinterpret_cast<VISHANDLE>(w.NewToken());
  for (std::size_t i = 0; i < v.meshes.size(); ++i) {
    auto dm = std::make_unique<DeviceMesh>();
    dm->owner = &v;
    dm->index = static_cast<std::uint32_t>(i);
    dm->mesh = v.meshes[i].mesh;
    if (dm->mesh != nullptr) dm->materials = dm->mesh->materials;
    dm->handle = reinterpret_cast<DEVMESHHANDLE>(w.NewToken());
    w.meshes.deviceMeshes[dm->handle] = dm.get();
    vis->meshes.push_back(std::move(dm));
  }
  const VISHANDLE h = vis->handle;
  w.meshes.visuals[h] = &v;
  v.visual = std::move(vis);
  if (VESSEL2* cb = Of(v).cb2) {
    Callback in(w, &v, "clbkVisualBuilt", h, 1);
    in.Run([&] { cb->clbkVisualBuilt(h, 1); });
  }
}

void DropVisualOf(World::Impl& w, Vessel& v) {
  if (!v.visual) return;
  const VISHANDLE h = v.visual->handle;
  if (VESSEL2* cb = Of(v).cb2) {
    Callback in(w, &v, "clbkVisualDestroyed", h, 1);
    in.Run([&] { cb->clbkVisualDestroyed(h, 1); });
  }
  if (!v.visual) return;
  for (const auto& dm : v.visual->meshes) w.meshes.deviceMeshes.erase(dm->handle);
  w.meshes.visuals.erase(h);
  v.visual.reset();
}

const Mesh* World::LoadMesh(const std::string& name) {
  return TemplateOf(*impl_, NewTemplate(*impl_, name, nullptr));
}

const Mesh* World::MeshFromHandle(MESHHANDLE h) const { return TemplateOf(*impl_, h); }

const DeviceMesh* World::DeviceMeshFromHandle(DEVMESHHANDLE h) const {
  return DeviceMeshOf(*impl_, h);
}

void World::BuildVisual(Vessel& v) {
  if (v.visual || impl_->Find(v.handle()) != &v) return;
  ScopedCurrent current(impl_.get());
  BuildVisualOf(*impl_, v);
}

void World::DropVisual(Vessel& v) {
  ScopedCurrent current(impl_.get());
  DropVisualOf(*impl_, v);
}

}  // namespace hostsim

using namespace hostsim;

MESHHANDLE zapiLoadMesh(const char* name) {
  World::Impl* w = HostCall("zapiLoadMesh", name);
  if (w == nullptr || name == nullptr) return nullptr;
  // The template is the vessel's whose callback loads it.
  return NewTemplate(*w, name, w->callbacks.empty() ? nullptr : w->callbacks.back().vessel);
}

std::uint32_t zapiMeshMaterialCount(MESHHANDLE hMesh) {
  World::Impl* w = HostCall("zapiMeshMaterialCount", hMesh);
  const Mesh* m = w != nullptr ? TemplateOf(*w, hMesh) : nullptr;
  return m != nullptr ? static_cast<std::uint32_t>(m->materials.size()) : 0;
}

MATERIAL* zapiMeshMaterial(MESHHANDLE hMesh, std::uint32_t idx) {
  World::Impl* w = HostCall("zapiMeshMaterial", hMesh, idx);
  Mesh* m = w != nullptr ? TemplateOf(*w, hMesh) : nullptr;
  if (m == nullptr || idx >= m->materials.size()) return nullptr;
  return &m->materials[idx];
}

int zapiSetMaterial(DEVMESHHANDLE hMesh, std::uint32_t idx, const MATERIAL* mat) {
  World::Impl* w = HostCall("zapiSetMaterial", hMesh, idx, mat);
  DeviceMesh* dm = w != nullptr ? DeviceMeshOf(*w, hMesh) : nullptr;
  if (dm == nullptr) return 1;
  if (idx >= dm->materials.size()) return 2;
  if (mat == nullptr) return 3;
  dm->materials[idx] = *mat;
  return 0;
}
