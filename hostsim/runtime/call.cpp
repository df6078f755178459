// The current world, and the journal's forms of handles.
#include "hostsim/runtime/call.h"

#include "hostsim/runtime/file_objects.h"

namespace hostsim {

namespace {

World::Impl* g_current = nullptr;

}  // namespace

World* World::Current() { return g_current != nullptr ? g_current->self : nullptr; }
void World::MakeCurrent() { g_current = impl_.get(); }
World::Impl* CurrentWorld() { return g_current; }
void ForgetCurrent() { g_current = nullptr; }

ScopedCurrent::ScopedCurrent(World::Impl* w) : previous_(g_current) { g_current = w; }
ScopedCurrent::~ScopedCurrent() { g_current = previous_; }

namespace {

void AppendHandle(const World::Impl& w, std::string& out, OBJHANDLE v) {
  if (v == nullptr)
    out += "null";
  else if (const Vessel* ves = w.Find(v))
    out += ves->name();
  else
    out += "<unknown object>";
}

// The vessel a point or component handle belongs to, while it lives; null for one that names
// none.
Vessel* PartOwner(const World::Impl& w, const void* handle) {
  auto it = w.partOwners.find(handle);
  return it != w.partOwners.end() ? it->second : nullptr;
}

void AppendHandle(const World::Impl& w, std::string& out, ATTACHMENTHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  if (const Vessel* ves = PartOwner(w, v)) {
    const auto& points = ves->attachments;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (reinterpret_cast<ATTACHMENTHANDLE>(points[i].get()) != v) continue;
      // Its index among the vessel's points of its kind.
      std::size_t index = 0;
      for (std::size_t k = 0; k < i; ++k) index += points[k]->toParent == points[i]->toParent;
      out += ves->name() + ":" + points[i]->id + "#" + std::to_string(index);
      return;
    }
  }
  out += "<unknown attachment>";
}

void AppendHandle(const World::Impl& w, std::string& out, MESHHANDLE v) {
  auto it = w.meshes.templates.find(v);
  if (v == nullptr)
    out += "null";
  else if (it != w.meshes.templates.end())
    out += "mesh:" + it->second->name;
  else
    out += "<unknown mesh>";
}

void AppendHandle(const World::Impl& w, std::string& out, DEVMESHHANDLE v) {
  auto it = w.meshes.deviceMeshes.find(v);
  if (v == nullptr)
    out += "null";
  else if (it != w.meshes.deviceMeshes.end())
    out += "devmesh:" + it->second->owner->name() + "#" + std::to_string(it->second->index);
  else
    out += "<dead device mesh>";
}

void AppendHandle(const World::Impl& w, std::string& out, VISHANDLE v) {
  auto it = w.meshes.visuals.find(v);
  if (v == nullptr)
    out += "null";
  else if (it != w.meshes.visuals.end())
    out += "visual:" + it->second->name();
  else
    out += "<dead visual>";
}

void AppendHandle(const World::Impl& w, std::string& out, FILEHANDLE v) {
  const FileObject* f = v != nullptr ? OpenFileOf(w, v) : nullptr;
  if (v == nullptr)
    out += "null";
  else if (f != nullptr)
    out += "file:" + f->name;
  else
    out += "<closed file>";
}

void AppendHandle(const World::Impl& w, std::string& out, ANIMATIONCOMPONENT_HANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  if (const Vessel* ves = PartOwner(w, v)) {
    for (std::size_t i = 0; i < ves->components.size(); ++i)
      if (reinterpret_cast<ANIMATIONCOMPONENT_HANDLE>(ves->components[i].get()) == v) {
        out += "component:" + ves->name() + "#" + std::to_string(i);
        return;
      }
  }
  out += "<unknown component>";
}

void AppendHandle(const World::Impl& w, std::string& out, MODULEHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  if (w.initialising != nullptr) {
    out += "module:" + w.initialising->name;
    return;
  }
  for (const auto& [name, m] : w.modules)
    if (m->initHandle == v) {
      out += "module:" + name;
      return;
    }
  out += "<unknown module>";
}

}  // namespace

void AppendHandle(const World::Impl& w, std::string& out, HandleKind kind, const void* handle) {
  // The handle types are pointers to distinct incomplete types: the value is the handle.
  auto* h = const_cast<void*>(handle);
  switch (kind) {
    case HandleKind::Object:
      return AppendHandle(w, out, static_cast<OBJHANDLE>(h));
    case HandleKind::Attachment:
      return AppendHandle(w, out, static_cast<ATTACHMENTHANDLE>(h));
    case HandleKind::Mesh:
      return AppendHandle(w, out, static_cast<MESHHANDLE>(h));
    case HandleKind::DeviceMesh:
      return AppendHandle(w, out, static_cast<DEVMESHHANDLE>(h));
    case HandleKind::Visual:
      return AppendHandle(w, out, static_cast<VISHANDLE>(h));
    case HandleKind::File:
      return AppendHandle(w, out, static_cast<FILEHANDLE>(h));
    case HandleKind::Component:
      return AppendHandle(w, out, static_cast<ANIMATIONCOMPONENT_HANDLE>(h));
    case HandleKind::Module:
      return AppendHandle(w, out, static_cast<MODULEHANDLE>(h));
  }
  out += "<unknown handle>";
}

}  // namespace hostsim
