// Attachment points of vessels, and hanging vessels on each other.
#pragma once

#include "hostsim/runtime/state.h"

namespace hostsim {

// The vessel's own point a handle names, or null.
AttachmentPoint* OwnPoint(const Vessel& v, ATTACHMENTHANDLE h);
// The handle of the vessel's i-th point.
ATTACHMENTHANDLE PointHandle(const Vessel& v, std::size_t i);
AttachmentPoint* CreatePoint(Vessel& v, bool toParent, const VECTOR3& pos, const VECTOR3& dir,
                             const VECTOR3& rot, const char* id, bool loose);
// Hangs `child` by its to-parent point `childAt` on the parent's child point `at`; false
// (nothing changed) when the points are not free, of the wrong kinds, or would make a cycle.
bool Attach(Vessel& parent, AttachmentPoint* at, Vessel& child, AttachmentPoint* childAt);
// Releases what hangs on the child point `at`, with a speed along the point's direction.
bool Detach(AttachmentPoint* at, double vel);
// Releases a vessel that ends from its parent and its children; the children stay where
// they are.
void DetachAll(Vessel& v);

}  // namespace hostsim
