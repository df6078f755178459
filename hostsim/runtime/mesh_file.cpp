// Mesh files.
#include "hostsim/runtime/mesh_file.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <sstream>

#include "hostsim/platform/files.h"

namespace hostsim {

namespace {

COLOUR4 Colour(const tinyobj::real_t c[3], float alpha) {
  return {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), alpha};
}

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

// Material libraries, read through the host's bounded reader from the OBJ's folder. A library
// that is not there leaves the mesh without its materials; one that cannot be read (too
// large, a device) fails the whole mesh, with the reason kept in `error`.
class MaterialLibraries final : public tinyobj::MaterialReader {
 public:
  explicit MaterialLibraries(std::filesystem::path folder) : folder_(std::move(folder)) {}
  bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                  std::map<std::string, int>* byName, std::string* warn,
                  std::string* err) override {
    const std::filesystem::path file =
        folder_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return false;
    std::string text;
    if (std::string reason = platform::ReadTextFile(file, platform::kMeshLimit, text);
        !reason.empty()) {
      if (error.empty()) error = Utf8(file) + ": cannot read materials: " + reason;
      return false;
    }
    std::istringstream in(std::move(text));
    tinyobj::LoadMtl(byName, materials, &in, warn, err);
    read.push_back(file);
    return true;
  }
  std::string error;
  std::vector<std::filesystem::path> read;  // the libraries read

 private:
  std::filesystem::path folder_;
};

// Builds the mesh from the reader's calls: every "g" or "o" line opens a group (kept, empty,
// when no face follows it), faces before the first of them form a group of their own.
struct Builder {
  MeshFile* mesh = nullptr;
  std::vector<float> positions, normals;  // the file's, x, y, z each
  std::vector<tinyobj::material_t> materials;
  std::vector<std::string> materialNames;
  MeshGroup* group = nullptr;  // the group faces go to
  bool groupHasFaces = false;
  int material = -1;  // the one "usemtl" named last

  void Open(std::string name) {
    group = &mesh->groups.emplace_back();
    group->name = std::move(name);
    groupHasFaces = false;
  }

  // The index into the file's list of `count` entries that an OBJ index names (from 1, or
  // from the end when negative), or -1 for none.
  static long long Resolve(int index, std::size_t count) {
    if (index > 0) return static_cast<long long>(index) - 1;
    if (index < 0) return static_cast<long long>(count) + index;
    return -1;
  }

  // Appends the three values of entry `index` of `src` (zeros for an index out of range).
  static void Fetch(const std::vector<float>& src, long long index, std::vector<float>& dst) {
    for (std::size_t k = 0; k < 3; ++k) {
      const bool in = index >= 0 && static_cast<std::size_t>(index) < src.size() / 3;
      dst.push_back(in ? src[static_cast<std::size_t>(index) * 3 + k] : 0.0f);
    }
  }

  // The unit normal of the triangle of group corners a, b, c (zero when it has no area).
  std::array<float, 3> FaceNormal(std::size_t a, std::size_t b, std::size_t c) const {
    const auto p = [&](std::size_t i, std::size_t k) {
      return static_cast<double>(group->positions[i * 3 + k]);
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

  // A face of `n` corners, as a fan of triangles; a corner without a normal takes its
  // triangle's.
  void Face(const tinyobj::index_t* corners, int n) {
    if (n < 3) return;
    if (group == nullptr) Open("");
    if (!groupHasFaces) group->material = material;
    groupHasFaces = true;
    const std::size_t vertices = positions.size() / 3, normalCount = normals.size() / 3;
    for (int t = 1; t + 1 < n; ++t) {
      const std::size_t first = group->positions.size() / 3;
      bool withoutNormal[3] = {};
      std::size_t i = 0;
      for (const tinyobj::index_t& c : {corners[0], corners[t], corners[t + 1]}) {
        group->indices.push_back(static_cast<std::uint32_t>(first + i));
        Fetch(positions, Resolve(c.vertex_index, vertices), group->positions);
        const long long normal = Resolve(c.normal_index, normalCount);
        Fetch(normals, normal, group->normals);
        withoutNormal[i++] = normal < 0 || static_cast<std::size_t>(normal) >= normalCount;
      }
      for (i = 0; i < 3; ++i)
        if (withoutNormal[i]) {
          const auto normal = FaceNormal(first, first + 1, first + 2);
          std::copy(normal.begin(), normal.end(),
                    group->normals.begin() + static_cast<std::ptrdiff_t>((first + i) * 3));
        }
    }
  }
};

Builder& Of(void* user) { return *static_cast<Builder*>(user); }

tinyobj::callback_t Callbacks() {
  tinyobj::callback_t cb;
  cb.vertex_cb = [](void* u, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
                    tinyobj::real_t) {
    Of(u).positions.insert(Of(u).positions.end(),
                           {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
  };
  cb.normal_cb = [](void* u, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z) {
    Of(u).normals.insert(Of(u).normals.end(),
                         {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
  };
  cb.index_cb = [](void* u, tinyobj::index_t* corners, int n) { Of(u).Face(corners, n); };
  cb.usemtl_cb = [](void* u, const char*, int id) { Of(u).material = id; };
  cb.mtllib_cb = [](void* u, const tinyobj::material_t* m, int n) {
    Of(u).materials.assign(m, m + n);
  };
  cb.group_cb = [](void* u, const char** names, int n) {
    // Several names on one line make one group, named by all of them.
    std::string name;
    for (int i = 0; i < n; ++i) name += (i > 0 ? " " : "") + std::string(names[i]);
    Of(u).Open(std::move(name));
  };
  cb.object_cb = [](void* u, const char* name) { Of(u).Open(name); };
  return cb;
}

}  // namespace

std::unique_ptr<MeshFile> ReadObj(const std::filesystem::path& path, std::string& error) {
  std::string text;
  if (std::string reason = platform::ReadTextFile(path, platform::kMeshLimit, text);
      !reason.empty()) {
    error = Utf8(path) + ": cannot read mesh: " + reason;
    return nullptr;
  }
  auto mesh = std::make_unique<MeshFile>();
  Builder builder;
  builder.mesh = mesh.get();
  MaterialLibraries libraries(path.parent_path());
  std::istringstream in(std::move(text));
  std::string warn, err;
  if (!tinyobj::LoadObjWithCallback(in, Callbacks(), &builder, &libraries, &warn, &err)) {
    error = Utf8(path) + ": cannot read mesh";
    return nullptr;
  }
  if (!libraries.error.empty()) {
    error = libraries.error;
    return nullptr;
  }
  mesh->libraries = std::move(libraries.read);
  for (const auto& m : builder.materials) {
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
  // A "usemtl" naming no material of the libraries leaves its faces without one.
  for (MeshGroup& g : mesh->groups)
    if (g.material >= static_cast<int>(mesh->materials.size())) g.material = -1;
  return mesh;
}

}  // namespace hostsim
