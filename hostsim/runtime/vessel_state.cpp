// A vessel's block of a scenario.
#include "hostsim/runtime/vessel_state.h"

#include <algorithm>

#include "hostsim/runtime/attachments.h"
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/transform.h"

namespace hostsim {

void ApplyHostLine(World::Impl& w, Vessel& v, std::string_view line, const std::string& file,
                   int number) {
  Vessel::Impl& vi = Of(v);
  // The line as a module reads it: up to a zero byte, if one was handed in.
  const std::string_view text = line.substr(0, line.find('\0'));
  const HostLine h = ParseHostLine(text);
  switch (h.kind) {
    case HostLine::Kind::Pos:
    case HostLine::Kind::Ori:
      (h.kind == HostLine::Kind::Pos ? vi.pos : vi.ori) = h.v;
      vi.poseGiven = true;
      vi.loadedPose.reset();  // a load sets it once every block is read
      vi.givenPose = PoseFromAngles(vi.pos, vi.ori);
      vi.freePose = vi.givenPose;
      return;
    case HostLine::Kind::Attached:
      vi.pendingAttach = PendingAttachment{h.parent, h.index, h.pointId, file, number};
      return;
    case HostLine::Kind::Malformed:
      w.warnings.push_back(Where(file, number) + h.problem + "; line kept");
      break;
    case HostLine::Kind::None:
      if (BreaksBlock(text)) {
        w.warnings.push_back(Where(file, number) + "line of \"" + v.name() +
                             "\" dropped: saved, it would end the vessel's block: " + Quote(text));
        return;
      }
      w.warnings.push_back(Where(file, number) + "unknown line of \"" + v.name() +
                           "\" kept: " + Quote(text));
      break;
  }
  v.keptLines.push_back(OneLine(std::string(text)));
}

std::vector<std::string> HostLines(const Vessel& v, const Transform& pose) {
  const Vessel::Impl& vi = Of(v);
  VECTOR3 pos = vi.pos, ori = vi.ori;
  const bool whereLoaded = vi.loadedPose && SameTransform(pose, *vi.loadedPose);
  if (!whereLoaded && !SameTransform(pose, vi.givenPose)) {
    pos = pose.t;
    ori = AnglesFromPose(pose);
  }
  std::vector<std::string> out = {PosLine(pos), OriLine(ori)};
  for (AttachmentPoint* own : v.Points(true)) {
    if (own->peer == nullptr) continue;
    out.push_back(AttachedLine(own->peer->owner->name(), own->peer->index, own->id));
  }
  out.insert(out.end(), v.keptLines.begin(), v.keptLines.end());
  return out;
}

void LoadBlock(World::Impl& w, Vessel& v, const std::vector<ScenarioLine>& lines,
               const std::string& file) {
  VESSEL2* cb = Of(v).cb2;
  if (cb == nullptr) {
    for (const ScenarioLine& l : lines) ApplyHostLine(w, v, l.text, file, l.number);
    return;
  }
  ScenarioReadObject block(file, v, lines);
  OpenFile open(w, block);
  void* status = &block;  // only passed back to ParseScenarioLineEx, never followed
  Callback in(w, &v, "clbkLoadScenario", open.handle(), status);
  in.Run([&] { cb->clbkLoadScenario(open.handle(), status); });
}

std::vector<std::string> SaveBlock(World::Impl& w, Vessel& v, const Transform& pose) {
  VESSEL2* cb = Of(v).cb2;
  if (cb == nullptr) return HostLines(v, pose);
  ScenarioWriteObject block(v, pose);
  OpenFile open(w, block);
  Callback in(w, &v, "clbkSaveState", open.handle());
  in.Run([&] { cb->clbkSaveState(open.handle()); });
  return std::move(block.lines);
}

void RestoreAttachment(const VesselRegistry& among, Vessel& child) {
  Vessel::Impl& ci = Of(child);
  if (!ci.pendingAttach) return;
  const PendingAttachment p = std::move(*ci.pendingAttach);
  ci.pendingAttach.reset();
  const auto refuse = [&](const std::string& why) {
    throw Error("cannot hang \"" + child.name() + "\": " + why, p.file, p.line);
  };
  Vessel* parent = among.Find(p.parent);
  if (parent == nullptr) refuse("no vessel \"" + p.parent + "\"");
  // The parent's child point number p.index, and the child's own point of that id (exactly,
  // else without regard to case).
  const auto slots = parent->Points(false);
  if (p.index >= slots.size())
    refuse("\"" + parent->name() + "\" has no child point " + std::to_string(p.index) +
           (slots.empty() ? " (it has none)"
                          : " (its points are 0 to " + std::to_string(slots.size() - 1) + ")"));
  const auto own = child.Points(true);
  auto it = std::find_if(own.begin(), own.end(), [&](auto* q) { return q->id == p.pointId; });
  if (it == own.end())
    it = std::find_if(own.begin(), own.end(),
                      [&](auto* q) { return EqualsNoCase(q->id, p.pointId); });
  if (it == own.end()) refuse("it has no point " + Quote(p.pointId) + " to hang by");
  if (const AttachmentPoint* taken = slots[p.index]->peer)
    refuse("point " + std::to_string(p.index) + " of \"" + parent->name() + "\" holds \"" +
           taken->owner->name() + "\" already");
  if (!Attach(*parent, slots[p.index], child, *it))
    refuse("it cannot hang on \"" + parent->name() + "\" point " + std::to_string(p.index) +
           " (its own point is taken, or it would close a ring)");
}

void CallAfterCreation(World::Impl& w, Vessel& v) {
  if (VESSEL2* cb = Of(v).cb2) {
    Callback in(w, &v, "clbkAfterCreation");
    in.Run([&] { cb->clbkAfterCreation(); });
  }
}

}  // namespace hostsim
