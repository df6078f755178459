// Mesh files.
#include "hostsim/runtime/mesh_file.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace hostsim {

namespace {

COLOUR4 Colour(const tinyobj::real_t c[3], float alpha) {
  return {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), alpha};
}

// Appends the three values of entry `index` of `src` (zeros for an index out of range).
void Fetch(const std::vector<tinyobj::real_t>& src, int index, std::vector<float>& dst) {
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t at = static_cast<std::size_t>(index) * 3 + k;
    dst.push_back(index >= 0 && at < src.size() ? static_cast<float>(src[at]) : 0.0f);
  }
}

// The unit normal of the triangle of corners a, b, c of the group (zero when it has no area).
std::array<float, 3> FaceNormal(const MeshGroup& g, std::size_t a, std::size_t b, std::size_t c) {
  const auto p = [&](std::size_t i, std::size_t k) {
    return static_cast<double>(g.positions[i * 3 + k]);
  };
  const double u[3] = {p(b, 0) - p(a, 0), p(b, 1) - p(a, 1), p(b, 2) - p(a, 2)};
  const double v[3] = {p(c, 0) - p(a, 0), p(c, 1) - p(a, 1), p(c, 2) - p(a, 2)};
  const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                       u[0] * v[1] - u[1] * v[0]};
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(len > 0) || !std::isfinite(len)) return {0, 0, 0};
  return {static_cast<float>(n[0] / len), static_cast<float>(n[1] / len),
          static_cast<float>(n[2] / len)};
}

}  // namespace

std::unique_ptr<MeshFile> ReadObj(const std::filesystem::path& path, std::string& error) {
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
  auto mesh = std::make_unique<MeshFile>();
  for (const auto& m : reader.GetMaterials()) {
    const auto alpha = static_cast<float>(m.dissolve);
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
  for (const auto& shape : reader.GetShapes()) {
    MeshGroup& g = mesh->groups.emplace_back();
    g.name = shape.name;
    const auto& corners = shape.mesh.indices;
    for (const auto& idx : corners) {
      g.indices.push_back(static_cast<std::uint32_t>(g.positions.size() / 3));
      Fetch(attrib.vertices, idx.vertex_index, g.positions);
      Fetch(attrib.normals, idx.normal_index, g.normals);
    }
    // Corners the file gives no normal take their triangle's.
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3)
      for (std::size_t i = t; i < t + 3; ++i)
        if (corners[i].normal_index < 0) {
          const auto n = FaceNormal(g, t, t + 1, t + 2);
          std::copy(n.begin(), n.end(), g.normals.begin() + static_cast<std::ptrdiff_t>(i * 3));
        }
    if (!shape.mesh.material_ids.empty()) {
      const int id = shape.mesh.material_ids.front();
      if (id >= 0 && static_cast<std::size_t>(id) < mesh->materials.size()) g.material = id;
    }
  }
  return mesh;
}

}  // namespace hostsim
