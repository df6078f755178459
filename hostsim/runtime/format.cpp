// Text forms of journal arguments.
#include "hostsim/runtime/format.h"

#include <cinttypes>
#include <cstdio>

#include "hostsim/runtime/internal.h"

namespace hostsim {

void AppendNumber(std::string& out, double v) { out += FormatDouble(v); }

std::string FormatDouble(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

void AppendFloat(std::string& out, float v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  out += buf;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  out += '"';
}

void AppendArg(World::Impl&, std::string& out, double v) { AppendNumber(out, v); }
void AppendArg(World::Impl&, std::string& out, float v) { AppendFloat(out, v); }
void AppendArg(World::Impl&, std::string& out, int v) { out += std::to_string(v); }
void AppendArg(World::Impl&, std::string& out, unsigned v) { out += std::to_string(v); }
void AppendArg(World::Impl&, std::string& out, unsigned short v) { out += std::to_string(v); }
void AppendArg(World::Impl&, std::string& out, unsigned long v) { out += std::to_string(v); }
void AppendArg(World::Impl&, std::string& out, bool v) { out += v ? "true" : "false"; }

void AppendArg(World::Impl&, std::string& out, const char* v) {
  if (v == nullptr)
    out += "null";
  else
    AppendQuoted(out, v);
}
void AppendArg(World::Impl& w, std::string& out, char* v) {
  AppendArg(w, out, static_cast<const char*>(v));
}
void AppendArg(World::Impl&, std::string& out, const std::string& v) { AppendQuoted(out, v); }

void AppendArg(World::Impl&, std::string& out, Bytes v) {
  if (v.data == nullptr) {
    out += "null";
  } else if (v.length < 0) {
    out += "<negative length>";
  } else {
    AppendQuoted(out, std::string_view(v.data, static_cast<std::size_t>(v.length)));
  }
}

void AppendArg(World::Impl&, std::string& out, Raw v) { out += v.text; }

void AppendArg(World::Impl&, std::string& out, HexColour v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", v.value);
  out += buf;
}

void AppendArg(World::Impl&, std::string& out, const VECTOR3& v) {
  out += '(';
  AppendNumber(out, v.x);
  out += ", ";
  AppendNumber(out, v.y);
  out += ", ";
  AppendNumber(out, v.z);
  out += ')';
}

void AppendArg(World::Impl& w, std::string& out, const VECTOR3* v) {
  if (v == nullptr)
    out += "null";
  else
    AppendArg(w, out, *v);
}

void AppendArg(World::Impl&, std::string& out, COLOUR4 v) {
  out += '(';
  AppendFloat(out, v.r);
  out += ", ";
  AppendFloat(out, v.g);
  out += ", ";
  AppendFloat(out, v.b);
  out += ", ";
  AppendFloat(out, v.a);
  out += ')';
}

void AppendArg(World::Impl& w, std::string& out, OBJHANDLE v) {
  if (v == nullptr) {
    out += "null";
  } else if (Vessel* ves = w.Find(v)) {
    out += ves->name();
  } else {
    out += "<unknown object>";
  }
}

void AppendArg(World::Impl& w, std::string& out, ATTACHMENTHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  for (const auto& ves : w.vessels) {
    if (AttachmentPoint* p = OwnPoint(*ves, v)) {
      int index = 0;
      for (const auto& q : ves->attachments) {
        if (q.get() == p) break;
        if (q->toParent == p->toParent) ++index;
      }
      out += ves->name() + ":" + p->id + "#" + std::to_string(index);
      return;
    }
  }
  out += "<unknown attachment>";
}

void AppendArg(World::Impl& w, std::string& out, MESHHANDLE v) {
  if (v == nullptr) {
    out += "null";
  } else if (Mesh* m = w.MeshOf(v)) {
    out += "mesh:" + m->name;
  } else {
    out += "<unknown mesh>";
  }
}

void AppendArg(World::Impl& w, std::string& out, DEVMESHHANDLE v) {
  if (v == nullptr) {
    out += "null";
  } else if (DeviceMesh* d = w.DevMesh(v)) {
    out += "devmesh:" + d->owner->name() + "#" + std::to_string(d->index);
  } else {
    out += "<dead device mesh>";
  }
}

void AppendArg(World::Impl& w, std::string& out, VISHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  if (const Vessel* owner = w.visuals.Find(reinterpret_cast<std::uintptr_t>(v)))
    out += "visual:" + owner->name();
  else
    out += "<dead visual>";
}

void AppendArg(World::Impl& w, std::string& out, FILEHANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  const FileObject* f = w.OpenFileOf(v);
  if (f == nullptr) {
    out += "<closed file>";
    return;
  }
  out += "file:";
  out += f->name;
}

void AppendArg(World::Impl& w, std::string& out, ANIMATIONCOMPONENT_HANDLE v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  for (const auto& ves : w.vessels) {
    for (std::size_t i = 0; i < ves->components.size(); ++i) {
      if (reinterpret_cast<ANIMATIONCOMPONENT_HANDLE>(ves->components[i].get()) == v) {
        out += "component:" + ves->name() + "#" + std::to_string(i);
        return;
      }
    }
  }
  out += "<unknown component>";
}

void AppendArg(World::Impl& w, std::string& out, MODULEHANDLE v) {
  if (v == nullptr) {
    out += "null";
  } else if (w.initialising != nullptr) {
    out += "module:" + w.initialising->name;
  } else {
    for (const auto& [name, m] : w.modules) {
      if (m->initHandle == v) {
        out += "module:" + name;
        return;
      }
    }
    out += "<unknown module>";
  }
}

void AppendArg(World::Impl&, std::string& out, SURFHANDLE v) { out += v ? "<surface>" : "null"; }
void AppendArg(World::Impl&, std::string& out, PANELHANDLE v) { out += v ? "<panel>" : "null"; }

void AppendArg(World::Impl& w, std::string& out, const MATERIAL* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{diffuse ";
  AppendArg(w, out, v->diffuse);
  out += ", ambient ";
  AppendArg(w, out, v->ambient);
  out += ", specular ";
  AppendArg(w, out, v->specular);
  out += ", emissive ";
  AppendArg(w, out, v->emissive);
  out += ", power ";
  AppendFloat(out, v->power);
  out += '}';
}
void AppendArg(World::Impl& w, std::string& out, MATERIAL* v) {
  AppendArg(w, out, static_cast<const MATERIAL*>(v));
}

void AppendArg(World::Impl& w, std::string& out, const BEACONLIGHTSPEC* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{shape " + std::to_string(v->shape) + ", pos ";
  AppendArg(w, out, v->pos);
  out += ", col ";
  AppendArg(w, out, v->col);
  out += ", size ";
  AppendNumber(out, v->size);
  out += ", falloff ";
  AppendNumber(out, v->falloff);
  out += ", period ";
  AppendNumber(out, v->period);
  out += ", duration ";
  AppendNumber(out, v->duration);
  out += ", tofs ";
  AppendNumber(out, v->tofs);
  out += v->active ? ", active true}" : ", active false}";
}
void AppendArg(World::Impl& w, std::string& out, BEACONLIGHTSPEC* v) {
  AppendArg(w, out, static_cast<const BEACONLIGHTSPEC*>(v));
}

void AppendArg(World::Impl& w, std::string& out, const MGROUP_TRANSFORM* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  auto* rot = dynamic_cast<const MGROUP_ROTATE*>(v);
  out +=
      rot != nullptr ? "ROTATE{mesh " : "TRANSFORM{type " + std::to_string(v->Type()) + ", mesh ";
  out += std::to_string(v->mesh) + ", groups [";
  if (v->grp != nullptr) {
    for (std::uint32_t i = 0; i < v->ngrp; ++i) {
      if (i > 0) out += ", ";
      out += std::to_string(v->grp[i]);
    }
  } else {
    out += "null";
  }
  out += ']';
  if (rot != nullptr) {
    out += ", ref ";
    AppendArg(w, out, rot->ref);
    out += ", axis ";
    AppendArg(w, out, rot->axis);
    out += ", angle ";
    AppendFloat(out, rot->angle);
  }
  out += '}';
}
void AppendArg(World::Impl& w, std::string& out, MGROUP_TRANSFORM* v) {
  AppendArg(w, out, static_cast<const MGROUP_TRANSFORM*>(v));
}

void AppendArg(World::Impl&, std::string& out, const HUDPAINTSPEC* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{W " + std::to_string(v->W) + ", H " + std::to_string(v->H) + ", CX " +
         std::to_string(v->CX) + ", CY " + std::to_string(v->CY) + ", Scale ";
  AppendNumber(out, v->Scale);
  out += ", Markersize " + std::to_string(v->Markersize) + "}";
}

void AppendArg(World::Impl&, std::string& out, InputCallback v) {
  out += v != nullptr ? "<callback>" : "null";
}
void AppendArg(World::Impl&, std::string& out, const void* v) { out += v ? "<data>" : "null"; }
void AppendArg(World::Impl&, std::string& out, void* v) { out += v ? "<data>" : "null"; }
void AppendArg(World::Impl&, std::string& out, zapi::Sketchpad* v) {
  out += v ? "<sketchpad>" : "null";
}

}  // namespace hostsim
