// Meshes of vessels: files read once, templates handed out, visuals and their device meshes.
#pragma once

#include <memory>
#include <string>

#include "hostsim/runtime/state.h"

namespace hostsim {

// meshes/<name>.obj as read, once per world; null when the name is a path, or the file is not
// there, cannot be read or is no mesh (then, with `why`, the reason there: "FILE: cannot read
// mesh: reason" or "FILE:LINE: why"). What the mesh went without (a material library that is
// not there) becomes a warning of the world.
std::shared_ptr<const MeshFile> ReadMeshFile(World::Impl& w, const std::string& name,
                                             std::string* why = nullptr);
// A new template of the mesh, loaded by `loader` (null: by the world); null when the mesh
// cannot be read (a warning names the mesh, the file tried and why).
MESHHANDLE NewTemplate(World::Impl& w, const std::string& name, Vessel* loader);
// The template a handle names, or null.
Mesh* TemplateOf(const World::Impl& w, MESHHANDLE h);
// The device mesh of a live visual a handle names, or null.
DeviceMesh* DeviceMeshOf(const World::Impl& w, DEVMESHHANDLE h);
// Adds a slot showing the template `h` names (none when it names none); returns its index.
std::uint32_t AddMeshSlot(World::Impl& w, Vessel& v, MESHHANDLE h, const VECTOR3* ofs);
// Builds the vessel's visual (device meshes copied from its templates), then clbkVisualBuilt.
void BuildVisualOf(World::Impl& w, Vessel& v);
// clbkVisualDestroyed, then the visual dropped with its device meshes; nothing without one.
void DropVisualOf(World::Impl& w, Vessel& v);

}  // namespace hostsim
