// Value types and opaque handles shared by the host and its modules.
#pragma once

#include <cstdint>

// A vector of three doubles; lengths in metres unless an operation says otherwise.
struct VECTOR3 {
  // The components along the frame's x, y and z axes.
  double x, y, z;
};

// A colour of four floats (red, green, blue, alpha), each nominally in [0, 1]; passed by value.
struct COLOUR4 {
  // Red, green, blue and alpha.
  float r, g, b, a;
};

// Opaque handles. Each names one object owned by the host; a module never frees them.
struct zapi_object_tag;
struct zapi_attachment_tag;
struct zapi_mesh_tag;
struct zapi_devmesh_tag;
struct zapi_visual_tag;
struct zapi_file_tag;
struct zapi_animcomp_tag;
struct zapi_module_tag;
struct zapi_surface_tag;
struct zapi_panel_tag;

using OBJHANDLE = zapi_object_tag*;                    // a vessel or other simulation object
using ATTACHMENTHANDLE = zapi_attachment_tag*;         // one attachment point of one vessel
using MESHHANDLE = zapi_mesh_tag*;                     // a template mesh loaded by the host
using DEVMESHHANDLE = zapi_devmesh_tag*;               // a visual's own copy of a mesh
using VISHANDLE = zapi_visual_tag*;                    // a visual the host built for a vessel
using FILEHANDLE = zapi_file_tag*;                     // a scenario or configuration file
using ANIMATIONCOMPONENT_HANDLE = zapi_animcomp_tag*;  // one component of an animation
using MODULEHANDLE = zapi_module_tag*;                 // a loaded module library
using SURFHANDLE = zapi_surface_tag*;                  // a drawing surface (panels, HUD textures)
using PANELHANDLE = zapi_panel_tag*;                   // a 2-D instrument panel
using DEVCONTEXT = void*;                              // a platform device context

// Animation ids are indices handed out by CreateAnimation.
using ANIMATION_ID = std::uint32_t;
