// Mesh files: a Wavefront OBJ with its MTL read into a MeshFile, free of any world.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "hostsim/world.h"

namespace hostsim {

// Groups in file order (triangulated, one vertex per corner), materials in MTL order. A
// corner without a normal in the file gets its face's normal. Null, with the reason in
// `error`, when the file cannot be read.
std::unique_ptr<MeshFile> ReadObj(const std::filesystem::path& path, std::string& error);

}  // namespace hostsim
