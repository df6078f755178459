// Template meshes, device meshes and their materials.
#pragma once

#include <cstdint>

#include "api.h"
#include "material.h"
#include "types.h"

// Loads the mesh `name` from the host's mesh folder (loaded once and shared); null when no
// such mesh can be read.
ZAPI_FUNC MESHHANDLE zapiLoadMesh(const char* name);

// Returns the number of materials of a template mesh (0 for null).
ZAPI_FUNC std::uint32_t zapiMeshMaterialCount(MESHHANDLE hMesh);

// Returns the template mesh's own material record `idx`, which a module may change in place;
// null when the mesh is null or has no such material.
ZAPI_FUNC MATERIAL* zapiMeshMaterial(MESHHANDLE hMesh, std::uint32_t idx);

// Copies `mat` into material `idx` of a device mesh (one visual's copy of a mesh); returns 0
// on success, 1 when the device mesh does not exist, 2 when it has no such material, 3 when
// `mat` is null.
ZAPI_FUNC int zapiSetMaterial(DEVMESHHANDLE hMesh, std::uint32_t idx, const MATERIAL* mat);
