// How the journal shows a host call's plain arguments: numbers, texts, colours, keys, handles
// and the pointers it does not look into (call_args.h says how a writer takes them).
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

}  // namespace hostsim
