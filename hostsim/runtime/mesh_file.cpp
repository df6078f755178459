// Mesh files.
#include "hostsim/runtime/mesh_file.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>

#include "hostsim/error.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/runtime/format.h"
#include "hostsim/runtime/text.h"

namespace hostsim {

namespace {

COLOUR4 Colour(const tinyobj::real_t c[3], float alpha) {
  return {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), alpha};
}

// Why a word is no number the reader can take into a float, or "" when it is one: it must be a
// number (digits, not "inf" or "nan"), and within a float's range — a larger one, also one that
// overflows even a double, would become infinite there.
std::string NotAFloat(std::string_view word) {
  const std::string text(word);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || std::isnan(v) ||
      text.find_first_of("0123456789") == std::string::npos)
    return "is not a finite number";
  return std::fabs(v) <= std::numeric_limits<float>::max()
             ? std::string()
             : "is too large for a float (at most 3.4e38)";
}

// Refuses a line whose words after the keyword are not `least` to `most` finite numbers.
void CheckNumbers(std::string_view line, std::size_t least, std::size_t most,
                  const std::string& file, int number) {
  const std::string keyword(FirstWord(line));
  const std::vector<std::string> words = SplitWords(AfterFirstWord(line));
  for (const std::string& w : words)
    if (std::string why = NotAFloat(w); !why.empty())
      throw Error(keyword + ": " + Quote(w) + " " + why, file, number);
  if (words.size() < least || words.size() > most)
    throw Error(keyword + " takes " + std::to_string(least) +
                    (most > least ? " to " + std::to_string(most) : std::string()) +
                    " numbers, not " + std::to_string(words.size()),
                file, number);
}

// The entries a face corner can name: those the file gave on the lines before it.
struct Given {
  long long vertices = 0, texcoords = 0, normals = 0;
};

// Refuses a face corner ("v", "v/vt", "v//vn" or "v/vt/vn") that is not one, or names an
// entry the file has not given: 0, beyond the count, or (negative, from the end) before the
// first.
void CheckCorner(std::string_view word, const Given& given, const std::string& file, int number) {
  static constexpr const char* kWhat[] = {"vertex", "texture coordinate", "normal"};
  const long long counts[] = {given.vertices, given.texcoords, given.normals};
  std::size_t part = 0;
  for (std::string_view rest = word;; ++part) {
    const std::size_t slash = rest.find('/');
    const std::string_view text = rest.substr(0, slash);
    long long index = 0;
    if (part > 2 || (!text.empty() && !ParseInt(text, index)) || (part == 0 && text.empty()))
      throw Error("f: " + Quote(word) + " is not a face corner (v, v/vt, v//vn or v/vt/vn)", file,
                  number);
    if (!text.empty() && (index == 0 || index > counts[part] || index < -counts[part]))
      throw Error("f: corner " + Quote(word) + " names " + kWhat[part] + " " + std::string(text) +
                      ", but the lines before it give " + std::to_string(counts[part]),
                  file, number);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
}

// A material library is a file beside the mesh: a name without a folder, not a path.
bool LibraryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos;
}

// Refuses what the reader would take silently wrong: a line that is not text, a number that
// is not finite, a face corner naming nothing, a material library outside the mesh's folder.
// Returns the line of the first "mtllib" naming each library.
std::map<std::string, int> CheckObjText(std::string_view text, const std::string& file) {
  Given given;
  std::map<std::string, int> libraries;
  ForEachLine(text, file, "mesh line", [&](std::string_view line, int number) {
    const std::string_view key = FirstWord(line);
    if (key == "v") {
      CheckNumbers(line, 3, 7, file, number);  // x y z, then w or a colour
      ++given.vertices;
    } else if (key == "vt") {
      CheckNumbers(line, 1, 3, file, number);
      ++given.texcoords;
    } else if (key == "vn") {
      CheckNumbers(line, 3, 3, file, number);
      ++given.normals;
    } else if (key == "f") {
      const std::vector<std::string> corners = SplitWords(AfterFirstWord(line));
      if (corners.size() < 3)
        throw Error("f takes three corners or more, not " + std::to_string(corners.size()), file,
                    number);
      for (const std::string& c : corners) CheckCorner(c, given, file, number);
    } else if (key == "mtllib") {
      for (const std::string& name : SplitWords(AfterFirstWord(line))) {
        if (!LibraryName(name))
          throw Error(
              "mtllib: materials are read from the mesh's folder only, not from " + Quote(name),
              file, number);
        libraries.emplace(name, number);
      }
    }
  });
  return libraries;
}

// Refuses material text that is not text, or a colour or value that is not a finite number.
void CheckMtlText(std::string_view text, const std::string& file) {
  static constexpr std::string_view kValues[] = {"Ka", "Kd", "Ks",  "Kt",    "Tf",    "Ke",
                                                 "Ni", "Ns", "d",   "Tr",    "Pr",    "Pm",
                                                 "Ps", "Pc", "Pcr", "aniso", "anisor"};
  ForEachLine(text, file, "material line", [&](std::string_view line, int number) {
    if (std::find(std::begin(kValues), std::end(kValues), FirstWord(line)) != std::end(kValues))
      CheckNumbers(line, 1, 3, file, number);
  });
}

// Material libraries, read through the host's bounded reader from the OBJ's folder. A library
// that is not there leaves the mesh without its materials, with a warning; one that cannot be
// read (too large, a device) or is no material text fails the whole mesh, with the reason kept
// in `error`.
class MaterialLibraries final : public tinyobj::MaterialReader {
 public:
  MaterialLibraries(const std::filesystem::path& mesh, std::map<std::string, int> lines)
      : mesh_(platform::PathToUtf8(mesh)), folder_(mesh.parent_path()), lines_(std::move(lines)) {}
  bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                  std::map<std::string, int>* byName, std::string* warn,
                  std::string* err) override {
    // The mesh's lines were checked: every name is a file of its folder. This stays so.
    if (error || !LibraryName(name)) return false;
    const std::filesystem::path file =
        folder_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
    const auto line = lines_.find(name);
    std::string text;
    if (std::string reason = platform::ReadTextFile(file, platform::kMeshLimit, text);
        !reason.empty()) {
      std::error_code ec;
      if (!std::filesystem::exists(file, ec) && !ec) {
        warnings.emplace_back(Error("cannot load materials: " + platform::PathToUtf8(file) + ": " +
                                        reason + "; the mesh goes without them",
                                    mesh_, line != lines_.end() ? line->second : 0)
                                  .what());
        return false;
      }
      error = Error("cannot read materials: " + reason, platform::PathToUtf8(file));
      return false;
    }
    try {
      CheckMtlText(text, platform::PathToUtf8(file));
    } catch (const Error& e) {
      error = e;
      return false;
    }
    std::istringstream in(std::move(text));
    tinyobj::LoadMtl(byName, materials, &in, warn, err);
    read.push_back(file);
    return true;
  }
  std::optional<Error> error;
  std::vector<std::string> warnings;
  std::vector<std::filesystem::path> read;  // the libraries read

 private:
  std::string mesh_;
  std::filesystem::path folder_;
  std::map<std::string, int> lines_;
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

std::unique_ptr<MeshFile> ReadObj(const std::filesystem::path& path,
                                  std::vector<std::string>& warnings) {
  const std::string name = platform::PathToUtf8(path);
  std::string text;
  if (std::string reason = platform::ReadTextFile(path, platform::kMeshLimit, text);
      !reason.empty())
    throw Error("cannot read mesh: " + reason, name);
  MaterialLibraries libraries(path, CheckObjText(text, name));
  auto mesh = std::make_unique<MeshFile>();
  Builder builder;
  builder.mesh = mesh.get();
  std::istringstream in(std::move(text));
  std::string warn, err;
  if (!tinyobj::LoadObjWithCallback(in, Callbacks(), &builder, &libraries, &warn, &err))
    throw Error("cannot read mesh", name);
  if (libraries.error) throw *libraries.error;
  warnings.insert(warnings.end(), libraries.warnings.begin(), libraries.warnings.end());
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
