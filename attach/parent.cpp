// Hanging the lamp on a parent vessel's attachment point and releasing it, and the stored
// placement of the parent's point that holds the lamp.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lamp/lumipod.h"

namespace {

constexpr std::size_t kNameField = 256;  // a name of at most 255 characters and its zero

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The attach text: a name (the first run of non-blank characters) and an optional decimal
// index after it, read as "%s%d" reads them. The name must fit its field; a longer first
// word is refused rather than cut, since a cut name would select some other vessel. An index
// must be the text's last word, a whole number: "Tug 3.5" or "Tug 1 extra" would otherwise
// hang the lamp on a point the user did not name, so they are refused like any other text
// the lamp cannot use.
struct AttachText {
  char name[kNameField];
  std::int64_t index;
};

bool ParseAttachText(const char* text, AttachText& out) {
  out.index = 0;
  const char* p = text;
  while (*p != '\0' && IsBlank(*p)) ++p;
  const char* start = p;
  while (*p != '\0' && !IsBlank(*p)) ++p;
  const std::size_t len = static_cast<std::size_t>(p - start);
  if (len == 0 || len >= kNameField) return false;
  std::memcpy(out.name, start, len);
  out.name[len] = '\0';
  // The index as "%d" reads it: white space, optional sign, digits; it stays 0 when none
  // follows. strtoll caps values beyond its range, and those never name a point anyway.
  char* end = nullptr;
  const long long value = std::strtoll(p, &end, 10);
  if (end == p) return true;
  out.index = value;
  while (*end != '\0' && IsBlank(*end)) ++end;
  return *end == '\0';
}

}  // namespace

bool lumipod::FindParentSlot(ParentSlot& out) const {
  const OBJHANDLE hParent = GetAttachmentStatus(hParentAttach);
  if (hParent == nullptr) return false;
  VESSEL* parent = zapiGetVesselInterface(hParent);
  if (parent == nullptr) return false;
  const std::uint32_t n = parent->AttachmentCount(false);
  for (std::uint32_t i = 0; i < n; ++i) {
    const ATTACHMENTHANDLE h = parent->GetAttachmentHandle(false, i);
    const OBJHANDLE child = parent->GetAttachmentStatus(h);
    if (child == GetHandle()) {
      out.parent = parent;
      out.slot = h;
      return true;
    }
  }
  return false;
}

bool lumipod::AttachFromText(const char* text) {
  if (text == nullptr) return false;
  AttachText parsed;
  // No name (an empty or blank text) or one too long for its field: refused without asking
  // the host for an object by that name.
  if (!ParseAttachText(text, parsed)) return false;

  const OBJHANDLE object = zapiGetObjectByName(parsed.name);
  if (object == nullptr) return false;
  VESSEL* parent = zapiGetVesselInterface(object);
  if (parent == nullptr) return false;  // an object that is no vessel holds no points

  const std::uint32_t n = parent->AttachmentCount(false);
  // The index must name one of the n child points (index + 1 <= n, compared without the
  // addition, so that no index can overflow it).
  if (parsed.index < 0 || parsed.index >= static_cast<std::int64_t>(n)) return false;
  const ATTACHMENTHANDLE h =
      parent->GetAttachmentHandle(false, static_cast<std::uint32_t>(parsed.index));
  if (parent->GetAttachmentStatus(h) != nullptr) return false;  // already holds something
  return parent->AttachChild(GetHandle(), h, hParentAttach);
}

bool AttachInputCallback(void* /*id*/, char* str, void* usrdata) {
  if (usrdata == nullptr) return false;
  return static_cast<lumipod*>(usrdata)->AttachFromText(str);
}

void lumipod::DetachFromParent() {
  const OBJHANDLE hParent = GetAttachmentStatus(hParentAttach);
  if (hParent == nullptr) return;
  VESSEL* parent = zapiGetVesselInterface(hParent);
  if (parent == nullptr) return;
  const std::uint32_t n = parent->AttachmentCount(false);
  // Every point is visited: each one that holds the lamp is released.
  for (std::uint32_t i = 0; i < n; ++i) {
    const ATTACHMENTHANDLE h = parent->GetAttachmentHandle(false, i);
    const OBJHANDLE child = parent->GetAttachmentStatus(h);
    if (child == GetHandle()) parent->DetachChild(h, 0.0);
  }
}

void lumipod::CaptureStoredPlacement() {
  ParentSlot ps{};
  if (!FindParentSlot(ps)) return;
  ps.parent->GetAttachmentParams(ps.slot, storedPos, storedDir, storedRot);
}

void lumipod::ApplyStoredPlacement() {
  ParentSlot ps{};
  if (!FindParentSlot(ps)) return;
  ps.parent->SetAttachmentParams(ps.slot, storedPos, storedDir, storedRot);
}
