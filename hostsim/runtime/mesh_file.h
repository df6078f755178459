// Mesh files: a Wavefront OBJ with its MTL read into a MeshFile, free of any world.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/mesh.h"

namespace hostsim {

// Groups in file order (triangulated, one vertex per corner), materials in MTL order. A
// corner without a normal in the file gets its face's normal.
//
// Throws Error: "FILE: cannot read mesh: reason" for a file that cannot be read, and
// "FILE:LINE: why" for text that is no mesh: a line that is not text (a zero byte, a control
// character), a vertex, normal, texture coordinate or material value that is not a finite
// number, a face corner naming a vertex, normal or texture coordinate the file has not given
// yet, or a material library named with a folder ("mtllib ../x.mtl", an absolute path): those
// are read from the mesh's folder only. A material library that is not there leaves the mesh
// without its materials, with a warning in `warnings`; one that cannot be read fails the mesh.
std::unique_ptr<MeshFile> ReadObj(const std::filesystem::path& path,
                                  std::vector<std::string>& warnings);

}  // namespace hostsim
