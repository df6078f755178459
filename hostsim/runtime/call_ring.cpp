// The ring of the latest calls: filling a call's pieces, and its text when a report asks.
#include "hostsim/runtime/call_ring.h"

#include <algorithm>
#include <cstring>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"

namespace hostsim {

void RawCall::Writer::Quoted(std::string_view bytes) {
  Piece& p = Add(Piece::Type::Quoted);
  const std::size_t room = kTextBytes - c.textUsed;
  const std::size_t kept = std::min(bytes.size(), room);
  std::memcpy(c.text.data() + c.textUsed, bytes.data(), kept);
  p.textAt = c.textUsed;
  p.textBytes = static_cast<std::uint16_t>(kept);
  p.textCut = kept < bytes.size();
  c.textUsed = static_cast<std::uint16_t>(c.textUsed + kept);
}

namespace {

// Whether the object a handle of a reused address names now was made after the call: then the
// call named another, which has ended.
bool BornAfter(const World::Impl& w, const RawCall& c, const RawCall::Piece& p) {
  if (p.handle == HandleKind::File) {
    const FileObject* f = OpenFileOf(w, static_cast<FILEHANDLE>(const_cast<void*>(p.pointer)));
    return f != nullptr && f->birth > c.births;
  }
  if (p.handle == HandleKind::Mesh) {
    const auto it = w.meshes.templates.find(static_cast<MESHHANDLE>(const_cast<void*>(p.pointer)));
    return it != w.meshes.templates.end() && it->second->birth > c.births;
  }
  return false;
}

// The text of a call's arguments, from its pieces, as the journal's writer makes it.
std::string ArgumentText(const World::Impl& w, const RawCall& c) {
  std::string out;
  TextWriter text{w, out};
  for (std::size_t i = 0; i < c.pieceCount; ++i) {
    const RawCall::Piece& p = c.pieces[i];
    switch (p.type) {
      case RawCall::Piece::Type::Double:
        text.Double(p.d);
        break;
      case RawCall::Piece::Type::Float:
        text.Float(p.f);
        break;
      case RawCall::Piece::Type::Signed:
        text.Signed(p.i);
        break;
      case RawCall::Piece::Type::Unsigned:
        text.Unsigned(p.u);
        break;
      case RawCall::Piece::Type::Literal:
        text.Literal(p.literal);
        break;
      case RawCall::Piece::Type::Quoted:
        text.Quoted(std::string_view(c.text.data() + p.textAt, p.textBytes));
        if (p.textCut) out += "...";
        break;
      case RawCall::Piece::Type::Hex:
        text.Hex(static_cast<std::uint32_t>(p.u), p.digits);
        break;
      case RawCall::Piece::Type::Handle:
        if (BornAfter(w, c, p))
          out +=
              p.handle == HandleKind::File ? "<ended or unknown file>" : "<ended or unknown mesh>";
        else
          text.Handle(p.handle, p.pointer);
        break;
    }
  }
  if (c.cut) out += "...";
  return out;
}

}  // namespace

std::vector<std::string> World::LastCalls(std::size_t n) const {
  const CallRing& ring = impl_->lastCalls;
  const std::size_t count = std::min(n, ring.Held());
  std::vector<std::string> lines;
  lines.reserve(count);
  for (std::size_t back = count; back-- > 0;) {
    const RawCall& c = ring.Back(back);
    const Vessel* self = impl_->Find(c.self);
    Journal::Entry e{c.kind,
                     self != nullptr     ? self->name()
                     : c.self != nullptr ? "<ended vessel>"
                                         : "",
                     c.call, ArgumentText(*impl_, c)};
    std::string line;
    Journal::WriteLine(e, [&line](std::string_view piece) { line += piece; });
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace hostsim
