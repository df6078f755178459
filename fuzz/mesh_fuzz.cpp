// The host's meshes: a Wavefront OBJ file and its material library. The input is the OBJ
// text, then (after a line "@mtl") the MTL text; they are written as meshes/m.obj and
// meshes/m.mtl and loaded by a fresh world. A mesh the host took has every triangle index
// inside its group's vertices, a normal for every vertex and material indices that exist;
// a vessel of a class using it builds and drops a visual.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::PinModules();
  static const auto root = fuzzsupport::FreshDir(fuzzsupport::Scratch() / "mesh");
  static const bool made = [] {
    fuzzsupport::FreshDir(root / "config");
    fuzzsupport::FreshDir(root / "meshes");
    fuzzsupport::WriteFile(root / "config" / "box.cfg", "ClassName = box\nMesh = m\n");
    return true;
  }();
  (void)made;

  const std::string_view text = fuzzsupport::AsText(data, size);
  std::string_view obj = text, mtl;
  if (const auto at = text.find("\n@mtl\n"); at != std::string_view::npos) {
    obj = text.substr(0, at + 1);
    mtl = text.substr(at + 6);
  }
  fuzzsupport::WriteFile(root / "meshes" / "m.obj", obj);
  fuzzsupport::WriteFile(root / "meshes" / "m.mtl", mtl);

  hostsim::Paths paths = fuzzsupport::ExamplePaths();
  paths.config = root / "config";
  paths.meshes = root / "meshes";
  hostsim::World world(paths);
  world.journal().SetEnabled(false);
  const hostsim::Mesh* mesh = world.LoadMesh("m");
  if (mesh == nullptr) return 0;
  fuzzsupport::Expect(mesh->materials.size() == mesh->materialNames().size(),
                      "every material has its name");
  for (const hostsim::MeshGroup& g : mesh->groups()) {
    fuzzsupport::Expect(g.positions.size() % 3 == 0, "positions come in threes");
    fuzzsupport::Expect(g.normals.size() == g.positions.size(), "a normal for every vertex");
    fuzzsupport::Expect(g.indices.size() % 3 == 0, "indices make triangles");
    for (std::uint32_t i : g.indices)
      fuzzsupport::Expect(i < g.positions.size() / 3, "an index names a vertex of its group");
    fuzzsupport::Expect(g.material >= -1 && g.material < static_cast<int>(mesh->materials.size()),
                        "a group's material exists");
  }

  hostsim::Vessel& v = world.CreateVessel("B", "box");
  world.BuildVisual(v);
  fuzzsupport::Expect(v.visual != nullptr && v.visual->meshes.size() == 1,
                      "the visual has the mesh");
  world.DropVisual(v);
  world.DestroyVessel(v);
  return 0;
}
