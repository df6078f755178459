// hostsim: meshes as the host holds them: a file as read, the templates modules load from it,
// a vessel's mesh slots, and a visual's own device meshes.
// The mesh file format is described in docs/formats.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/material.h"
#include "host/types.h"

namespace hostsim {

class Vessel;

// A mesh file as the host read it (Wavefront OBJ with its MTL): groups in file order,
// materials in MTL order. Read once per world; shared by every template made from it.
struct MeshGroup {
  std::string name;
  std::vector<float> positions;        // x, y, z per vertex
  std::vector<float> normals;          // x, y, z per vertex (same count as positions)
  std::vector<std::uint32_t> indices;  // triangles
  int material = -1;                   // index into the materials, -1 none
};

struct MeshFile {
  std::vector<MeshGroup> groups;
  std::vector<MATERIAL> materials;
  std::vector<std::string> materialNames;
  std::vector<std::filesystem::path> libraries;  // the material libraries read for it
};

// A template mesh: what zapiLoadMesh hands out. Its materials are its own (a module may change
// them in place); its groups are its file's.
struct Mesh {
  std::string name;
  std::uint64_t birth = 0;  // when it was made, among the objects whose handles are addresses
  std::shared_ptr<const MeshFile> file;
  std::vector<MATERIAL> materials;
  // The groups of its file, in file order.
  const std::vector<MeshGroup>& groups() const { return file->groups; }
  // The names of its file's materials, in MTL order.
  const std::vector<std::string>& materialNames() const { return file->materialNames; }
};

// One mesh a vessel shows: a template placed in the vessel frame.
struct MeshSlot {
  const Mesh* mesh = nullptr;  // template
  VECTOR3 ofs{0, 0, 0};
  std::uint16_t visMode = 1;
};

// One visual's copy of a vessel mesh: its own materials, changed by zapiSetMaterial.
struct DeviceMesh {
  Vessel* owner = nullptr;
  std::uint32_t index = 0;
  const Mesh* mesh = nullptr;
  std::vector<MATERIAL> materials;
  DEVMESHHANDLE handle = nullptr;  // what GetDevMesh hands out; dies with the visual
};

// What the host built to show a vessel: a device mesh for each of its mesh slots.
struct Visual {
  std::vector<std::unique_ptr<DeviceMesh>> meshes;
  VISHANDLE handle = nullptr;  // what clbkVisualBuilt receives; never reused
};

}  // namespace hostsim
