// The current world, and the journal's forms of handles.
#include "hostsim/runtime/call.h"

#include <utility>

#include "hostsim/runtime/attachments.h"
#include "hostsim/runtime/file_objects.h"

namespace hostsim {

namespace {

World::Impl* g_current = nullptr;

}  // namespace

World* World::Current() { return g_current != nullptr ? g_current->self : nullptr; }
void World::MakeCurrent() { g_current = impl_.get(); }
World::Impl* CurrentWorld() { return g_current; }
void ForgetCurrent() { g_current = nullptr; }

void Callback::Escaped(const char* what) {
  if (!w_.escape) {
    const World::Impl::Running& r = w_.callbacks.back();
    World::Escape e;
    e.call = r.call;
    if (r.vessel != nullptr) {
      e.vessel = r.vessel->name();
      e.className = r.vessel->className();
    }
    if (r.module != nullptr) {
      e.module = r.module->name;
      e.library = r.module->path;
    }
    e.thrown = platform::CaughtThrowStack();
    if (w_.escapeTeller) {
      try {
        w_.escapeTeller(e);
      } catch (...) {  // untold: the report names the library alone
      }
    }
    w_.escape = std::move(e);
  }
  throw ModuleException(*w_.escape, what);
}

std::optional<World::Escape> World::TakeEscape() { return std::exchange(impl_->escape, {}); }

void World::SetEscapeTeller(std::function<void(Escape&)> tell) {
  impl_->escapeTeller = std::move(tell);
}

void World::ThrowIfEscaped(const std::string& what) {
  if (std::optional<Escape> escape = TakeEscape()) throw ModuleException(std::move(*escape), what);
}

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

void AppendHandle(const World::Impl& w, std::string& out, ATTACHMENTHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  std::uintptr_t offset = 0;
  const Vessel* ves = w.PartOwner(v, offset);
  const AttachmentPoint* p = ves != nullptr ? OwnPoint(*ves, v) : nullptr;
  if (p == nullptr) {
    out += "<unknown attachment>";
    return;
  }
  // Its index among the vessel's points of its kind.
  std::size_t index = 0;
  for (std::size_t k = 0; k < (offset - 1) / 2; ++k)
    index += ves->attachments[k]->toParent == p->toParent;
  out += ves->name() + ":" + p->id + "#" + std::to_string(index);
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
  std::uintptr_t offset = 0;
  const Vessel* ves = w.PartOwner(v, offset);
  if (ves == nullptr || offset < 2 || offset % 2 == 1 ||
      (offset - 2) / 2 >= ves->components.size()) {
    out += "<unknown component>";
    return;
  }
  out += "component:" + ves->name() + "#" + std::to_string((offset - 2) / 2);
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
