// How the journal shows a host call's arguments. Every value is told to a writer as a few
// pieces: numbers, texts, punctuation and handles. The journal's writer turns the pieces into
// text at once; the ring of the latest calls keeps them raw and turns them into the same text
// only when a report asks (call_ring.h). So the form of each value is written down once, here.
//
// A writer W has: Double(double) (%.17g), Float(float) (%.9g), Signed(long long),
// Unsigned(unsigned long long), Literal(const char*) (text that outlives the world),
// Quoted(std::string_view) (a text, shown quoted with non-printable bytes as \xNN),
// Hex(std::uint32_t value, int digits) ("0x" and that many upper-case digits) and
// Handle(HandleKind, const void*) (what the handle names in the world).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

namespace hostsim {

// The kinds of handle the host hands out, each named in its own way.
enum class HandleKind : std::uint8_t {
  Object,
  Attachment,
  Mesh,
  DeviceMesh,
  Visual,
  File,
  Component,
  Module
};

// A text of a given length (not zero-terminated), shown quoted.
struct Bytes {
  const char* data;
  int length;
};

// A packed 0x00BBGGRR colour, shown as 0x and six hex digits (blue, green, red).
struct HexColour {
  std::uint32_t value;
};

// The keyboard handed to clbkDirectKeys, shown as the keys down: "[0x2A, 0x31]".
struct KeysDown {
  const std::array<char, 256>* keys;
};

template <class W>
void Put(W& w, double v) {
  w.Double(v);
}
template <class W>
void Put(W& w, float v) {
  w.Float(v);
}
template <class W>
void Put(W& w, int v) {
  w.Signed(v);
}
template <class W>
void Put(W& w, unsigned v) {
  w.Unsigned(v);
}
template <class W>
void Put(W& w, unsigned short v) {
  w.Unsigned(v);
}
template <class W>
void Put(W& w, unsigned long v) {
  w.Unsigned(v);
}
template <class W>
void Put(W& w, bool v) {
  w.Literal(v ? "true" : "false");
}
template <class W>
void Put(W& w, const char* v) {
  if (v == nullptr)
    w.Literal("null");
  else
    w.Quoted(v);
}
template <class W>
void Put(W& w, const std::string& v) {
  w.Quoted(v);
}
template <class W>
void Put(W& w, Bytes v) {
  if (v.data == nullptr)
    w.Literal("null");
  else if (v.length < 0)
    w.Literal("<negative length>");
  else
    w.Quoted(std::string_view(v.data, static_cast<std::size_t>(v.length)));
}
template <class W>
void Put(W& w, HexColour v) {
  w.Hex(v.value, 6);
}
template <class W>
void Put(W& w, KeysDown v) {
  w.Literal("[");
  const char* separator = "";
  for (std::size_t i = 0; i < v.keys->size(); ++i) {
    if ((static_cast<unsigned char>((*v.keys)[i]) & 0x80) == 0) continue;
    w.Literal(separator);
    w.Hex(static_cast<std::uint32_t>(i), 2);
    separator = ", ";
  }
  w.Literal("]");
}
template <class W>
void Put(W& w, const VECTOR3& v) {
  w.Literal("(");
  w.Double(v.x);
  w.Literal(", ");
  w.Double(v.y);
  w.Literal(", ");
  w.Double(v.z);
  w.Literal(")");
}
template <class W>
void Put(W& w, const VECTOR3* v) {
  if (v == nullptr)
    w.Literal("null");
  else
    Put(w, *v);
}
template <class W>
void Put(W& w, COLOUR4 v) {
  w.Literal("(");
  w.Float(v.r);
  w.Literal(", ");
  w.Float(v.g);
  w.Literal(", ");
  w.Float(v.b);
  w.Literal(", ");
  w.Float(v.a);
  w.Literal(")");
}
template <class W>
void Put(W& w, const MATERIAL* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{diffuse ");
  Put(w, v->diffuse);
  w.Literal(", ambient ");
  Put(w, v->ambient);
  w.Literal(", specular ");
  Put(w, v->specular);
  w.Literal(", emissive ");
  Put(w, v->emissive);
  w.Literal(", power ");
  w.Float(v->power);
  w.Literal("}");
}
template <class W>
void Put(W& w, const BEACONLIGHTSPEC* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{shape ");
  w.Signed(v->shape);
  w.Literal(", pos ");
  Put(w, v->pos);
  w.Literal(", col ");
  Put(w, v->col);
  w.Literal(", size ");
  w.Double(v->size);
  w.Literal(", falloff ");
  w.Double(v->falloff);
  w.Literal(", period ");
  w.Double(v->period);
  w.Literal(", duration ");
  w.Double(v->duration);
  w.Literal(", tofs ");
  w.Double(v->tofs);
  w.Literal(v->active ? ", active true}" : ", active false}");
}
template <class W>
void Put(W& w, const MGROUP_TRANSFORM* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  const auto* rot = dynamic_cast<const MGROUP_ROTATE*>(v);
  if (rot != nullptr) {
    w.Literal("ROTATE{mesh ");
  } else {
    w.Literal("TRANSFORM{type ");
    w.Signed(v->Type());
    w.Literal(", mesh ");
  }
  w.Unsigned(v->mesh);
  w.Literal(", groups [");
  if (v->grp != nullptr) {
    for (std::uint32_t i = 0; i < v->ngrp; ++i) {
      if (i > 0) w.Literal(", ");
      w.Unsigned(v->grp[i]);
    }
  } else {
    w.Literal("null");
  }
  w.Literal("]");
  if (rot != nullptr) {
    w.Literal(", ref ");
    Put(w, rot->ref);
    w.Literal(", axis ");
    Put(w, rot->axis);
    w.Literal(", angle ");
    w.Float(rot->angle);
  }
  w.Literal("}");
}
template <class W>
void Put(W& w, const HUDPAINTSPEC* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{W ");
  w.Signed(v->W);
  w.Literal(", H ");
  w.Signed(v->H);
  w.Literal(", CX ");
  w.Signed(v->CX);
  w.Literal(", CY ");
  w.Signed(v->CY);
  w.Literal(", Scale ");
  w.Double(v->Scale);
  w.Literal(", Markersize ");
  w.Signed(v->Markersize);
  w.Literal("}");
}
template <class W>
void Put(W& w, InputCallback v) {
  w.Literal(v != nullptr ? "<callback>" : "null");
}
template <class W>
void Put(W& w, SURFHANDLE v) {
  w.Literal(v != nullptr ? "<surface>" : "null");
}
template <class W>
void Put(W& w, PANELHANDLE v) {
  w.Literal(v != nullptr ? "<panel>" : "null");
}
template <class W>
void Put(W& w, zapi::Sketchpad* v) {
  w.Literal(v != nullptr ? "<sketchpad>" : "null");
}
template <class W>
void Put(W& w, const void* v) {
  w.Literal(v != nullptr ? "<data>" : "null");
}

// Handles, named by the world when the text is made.
template <class W>
void Put(W& w, OBJHANDLE v) {
  w.Handle(HandleKind::Object, v);
}
template <class W>
void Put(W& w, ATTACHMENTHANDLE v) {
  w.Handle(HandleKind::Attachment, v);
}
template <class W>
void Put(W& w, MESHHANDLE v) {
  w.Handle(HandleKind::Mesh, v);
}
template <class W>
void Put(W& w, DEVMESHHANDLE v) {
  w.Handle(HandleKind::DeviceMesh, v);
}
template <class W>
void Put(W& w, VISHANDLE v) {
  w.Handle(HandleKind::Visual, v);
}
template <class W>
void Put(W& w, FILEHANDLE v) {
  w.Handle(HandleKind::File, v);
}
template <class W>
void Put(W& w, ANIMATIONCOMPONENT_HANDLE v) {
  w.Handle(HandleKind::Component, v);
}
template <class W>
void Put(W& w, MODULEHANDLE v) {
  w.Handle(HandleKind::Module, v);
}

// The arguments of a call: ", " between them.
template <class W, class... Args>
void PutArgs(W& w, const Args&... args) {
  [[maybe_unused]] const char* separator = "";
  ((w.Literal(separator), Put(w, args), separator = ", "), ...);
}

}  // namespace hostsim
