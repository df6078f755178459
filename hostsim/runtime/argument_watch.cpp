// The world's look at the arguments of each host call as it is made (World::WatchArguments).
#include <utility>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

void ArgumentLook::Handle(HandleKind kind, const void* handle) {
  if (handle == nullptr) return;
  // The handle types are pointers to distinct incomplete types: the value is the handle.
  auto* h = const_cast<void*>(handle);
  if (kind == HandleKind::DeviceMesh)
    deadHandle = deadHandle || !w.meshes.deviceMeshes.contains(static_cast<DEVMESHHANDLE>(h));
  else if (kind == HandleKind::Visual)
    deadHandle = deadHandle || !w.meshes.visuals.contains(static_cast<VISHANDLE>(h));
}

void World::WatchArguments(bool on) {
  impl_->argumentWatch.on = on;
  impl_->argumentWatch.nonFinite.clear();
  impl_->argumentWatch.deadHandle.clear();
}

std::string World::TakeNonFiniteCall() { return std::exchange(impl_->argumentWatch.nonFinite, {}); }

std::string World::TakeDeadHandleCall() {
  return std::exchange(impl_->argumentWatch.deadHandle, {});
}

}  // namespace hostsim
