// Template meshes (Wavefront OBJ with its MTL), visuals and their device meshes.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cstring>

#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

bool ValidMeshName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of("/\\:") != std::string::npos) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

COLOUR4 Colour(const tinyobj::real_t c[3], float alpha) {
  return {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), alpha};
}

std::unique_ptr<Mesh> ReadObj(const std::filesystem::path& path, const std::string& name,
                              std::string& error) {
  tinyobj::ObjReaderConfig config;
  config.triangulate = true;
  config.vertex_color = false;
  config.mtl_search_path = path.parent_path().string();
  tinyobj::ObjReader reader;
  if (!reader.ParseFromFile(path.string(), config)) {
    error = reader.Error().empty() ? "cannot read mesh" : reader.Error();
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    return nullptr;
  }
  auto mesh = std::make_unique<Mesh>();
  mesh->name = name;
  for (const auto& m : reader.GetMaterials()) {
    float alpha = static_cast<float>(m.dissolve);
    MATERIAL mat{};
    mat.diffuse = Colour(m.diffuse, alpha);
    mat.ambient = Colour(m.ambient, alpha);
    mat.specular = Colour(m.specular, alpha);
    mat.emissive = Colour(m.emission, alpha);
    mat.power = static_cast<float>(m.shininess);
    mesh->materials.push_back(mat);
    mesh->materialNames.push_back(m.name);
  }
  const auto& attrib = reader.GetAttrib();
  auto fetch = [](const std::vector<tinyobj::real_t>& src, int index, std::vector<float>& dst) {
    for (int k = 0; k < 3; ++k) {
      std::size_t at = static_cast<std::size_t>(index) * 3 + static_cast<std::size_t>(k);
      dst.push_back(index >= 0 && at < src.size() ? static_cast<float>(src[at]) : 0.0f);
    }
  };
  for (const auto& shape : reader.GetShapes()) {
    MeshGroup g;
    g.name = shape.name;
    for (const auto& idx : shape.mesh.indices) {
      g.indices.push_back(static_cast<std::uint32_t>(g.positions.size() / 3));
      fetch(attrib.vertices, idx.vertex_index, g.positions);
      fetch(attrib.normals, idx.normal_index, g.normals);
    }
    if (!shape.mesh.material_ids.empty()) {
      int id = shape.mesh.material_ids.front();
      if (id >= 0 && static_cast<std::size_t>(id) < mesh->materials.size()) g.material = id;
    }
    mesh->groups.push_back(std::move(g));
  }
  return mesh;
}

}  // namespace

const Mesh* World::LoadMesh(const std::string& name) {
  if (auto it = impl_->meshes.find(name); it != impl_->meshes.end()) return it->second.get();
  if (!ValidMeshName(name)) {
    impl_->meshErrors[name] = "invalid mesh name";
    return nullptr;
  }
  std::string file = name;
  if (file.size() < 4 || !EqualsNoCase(file.substr(file.size() - 4), ".obj")) file += ".obj";
  auto path = impl_->paths.meshes / file;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    impl_->meshErrors[name] = "no mesh file " + path.string();
    return nullptr;
  }
  std::string error;
  auto mesh = ReadObj(path, name, error);
  if (!mesh) {
    impl_->meshErrors[name] = path.string() + ": " + error;
    return nullptr;
  }
  impl_->meshErrors.erase(name);
  const Mesh* out = mesh.get();
  impl_->meshes.emplace(name, std::move(mesh));
  return out;
}

const Mesh* World::MeshFromHandle(MESHHANDLE h) const { return impl_->MeshOf(h); }

const DeviceMesh* World::DeviceMeshFromHandle(DEVMESHHANDLE h) const { return impl_->DevMesh(h); }

void BuildVisualOf(World::Impl& w, Vessel& v) {
  auto vis = std::make_unique<Visual>();
  std::uintptr_t token = w.NewToken();
  vis->handle = reinterpret_cast<VISHANDLE>(token);
  vis->meshes.reserve(v.meshes.size());
  for (std::size_t i = 0; i < v.meshes.size(); ++i) {
    auto dm = std::make_unique<DeviceMesh>();
    dm->owner = &v;
    dm->index = static_cast<std::uint32_t>(i);
    dm->mesh = v.meshes[i].mesh;
    if (dm->mesh != nullptr) dm->materials = dm->mesh->materials;
    std::uintptr_t dt = w.NewToken();
    dm->handle = reinterpret_cast<DEVMESHHANDLE>(dt);
    w.devMeshes.Set(dt, dm.get());
    vis->meshes.push_back(std::move(dm));
  }
  w.visuals.Set(token, &v);
  VISHANDLE h = vis->handle;
  v.visual = std::move(vis);
  if (VESSEL2* cb = Of(v).cb2) {
    TraceCallback(w, v, "clbkVisualBuilt", h, 1);
    InCallback in(w, &v);
    cb->clbkVisualBuilt(h, 1);
  }
}

void World::BuildVisual(Vessel& v) {
  if (v.visual || impl_->Find(v.handle()) != &v) return;
  ScopedCurrent current(*this);
  BuildVisualOf(*impl_, v);
}

void World::DropVisual(Vessel& v) {
  if (!v.visual) return;
  ScopedCurrent current(*this);
  VISHANDLE h = v.visual->handle;
  if (VESSEL2* cb = Of(v).cb2) {
    TraceCallback(*impl_, v, "clbkVisualDestroyed", h, 1);
    InCallback in(*impl_, &v);
    cb->clbkVisualDestroyed(h, 1);
  }
  if (!v.visual) return;
  for (const auto& dm : v.visual->meshes)
    impl_->devMeshes.Erase(reinterpret_cast<std::uintptr_t>(dm->handle));
  impl_->visuals.Erase(reinterpret_cast<std::uintptr_t>(h));
  v.visual.reset();
}

}  // namespace hostsim

using namespace hostsim;

MESHHANDLE zapiLoadMesh(const char* name) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiLoadMesh", name);
  if (w == nullptr || name == nullptr) return nullptr;
  const Mesh* m = w->self->LoadMesh(name);
  return reinterpret_cast<MESHHANDLE>(const_cast<Mesh*>(m));
}

std::uint32_t zapiMeshMaterialCount(MESHHANDLE hMesh) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiMeshMaterialCount", hMesh);
  Mesh* m = w != nullptr ? w->MeshOf(hMesh) : nullptr;
  return m != nullptr ? static_cast<std::uint32_t>(m->materials.size()) : 0;
}

MATERIAL* zapiMeshMaterial(MESHHANDLE hMesh, std::uint32_t idx) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiMeshMaterial", hMesh, idx);
  Mesh* m = w != nullptr ? w->MeshOf(hMesh) : nullptr;
  if (m == nullptr || idx >= m->materials.size()) return nullptr;
  return &m->materials[idx];
}

int zapiSetMaterial(DEVMESHHANDLE hMesh, std::uint32_t idx, const MATERIAL* mat) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiSetMaterial", hMesh, idx, mat);
  DeviceMesh* dm = w != nullptr ? w->DevMesh(hMesh) : nullptr;
  if (dm == nullptr) return 1;
  if (idx >= dm->materials.size()) return 2;
  if (mat == nullptr) return 3;
  dm->materials[idx] = *mat;
  return 0;
}
