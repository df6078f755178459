// A vessel's block of a scenario.
#include "hostsim/runtime/vessel_state.h"

#include <algorithm>
#include <memory>

#include "hostsim/runtime/attachments.h"
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/transform.h"

namespace hostsim {

void ApplyHostLine(World::Impl& w, Vessel& v, std::string_view line, const std::string& file,
                   int number, LineTally* tally) {
  Vessel::Impl& vi = Of(v);
  // The line as a module reads it: up to a zero byte, if one was handed in.
  const std::string_view text = line.substr(0, line.find('\0'));
  const HostLine h = ParseHostLine(text);
  const auto warn = [&](const std::string& what) {
    if (tally == nullptr || tally->Name(number)) w.warnings.push_back(Where(file, number) + what);
  };
  switch (h.kind) {
    case HostLine::Kind::Pos:
    case HostLine::Kind::Ori:
      (h.kind == HostLine::Kind::Pos ? vi.pos : vi.ori) = h.v;
      vi.poseGiven = true;
      vi.loadedPose.reset();  // a load sets it once every block is read
      vi.freePose = PoseFromAngles(vi.pos, vi.ori);
      return;
    case HostLine::Kind::Attached:
      vi.pendingAttach = std::make_unique<PendingAttachment>(
          PendingAttachment{h.parent, h.index, h.pointId, file, number});
      return;
    case HostLine::Kind::Malformed:
      warn(h.problem + "; line kept");
      break;
    case HostLine::Kind::None:
      if (BreaksBlock(text)) {
        warn("line of \"" + v.name() +
             "\" dropped: saved, it would end the vessel's block: " + Quote(text));
        return;
      }
      warn("unknown line of \"" + v.name() + "\" kept: " + Quote(text));
      break;
  }
  v.keptLines.Add(text);
}

void HostLines(const Vessel& v, const Transform& pose, PackedLines& out) {
  const Vessel::Impl& vi = Of(v);
  VECTOR3 pos = vi.pos, ori = vi.ori;
  const bool whereLoaded = vi.loadedPose && SameTransform(pose, *vi.loadedPose);
  if (!whereLoaded && !SameTransform(pose, PoseFromAngles(vi.pos, vi.ori))) {
    pos = pose.t;
    ori = AnglesFromPose(pose);
  }
  out.Add(PosLine(pos));
  out.Add(OriLine(ori));
  for (AttachmentPoint* own : v.Points(true)) {
    if (own->peer == nullptr) continue;
    out.Add(AttachedLine(own->peer->owner->name(), own->peer->index, own->id));
  }
  out.Add(v.keptLines);
}

void LoadBlock(World::Impl& w, Vessel& v, BlockLines lines, const std::string& file) {
  VESSEL2* cb = Of(v).cb2;
  if (cb == nullptr) {
    LineTally tally;
    std::string_view line;
    int number = 0;
    while (lines.Next(line, number)) ApplyHostLine(w, v, line, file, number, &tally);
    if (tally.unnamed != 0) w.warnings.push_back(UnnamedLines(file, tally, v.name()));
    return;
  }
  ScenarioReadObject block(file, v, lines);
  {
    OpenFile open(w, block);
    void* status = &block;  // only passed back to ParseScenarioLineEx, never followed
    Callback in(w, &v, "clbkLoadScenario", open.handle(), status);
    in.Run([&] { cb->clbkLoadScenario(open.handle(), status); });
  }
  if (block.warned.unnamed != 0) w.warnings.push_back(UnnamedLines(file, block.warned, v.name()));
}

PackedLines SaveBlock(World::Impl& w, Vessel& v, const Transform& pose) {
  VESSEL2* cb = Of(v).cb2;
  if (cb == nullptr) {
    PackedLines out;
    HostLines(v, pose, out);
    return out;
  }
  ScenarioWriteObject block(v, pose);
  OpenFile open(w, block);
  Callback in(w, &v, "clbkSaveState", open.handle());
  in.Run([&] { cb->clbkSaveState(open.handle()); });
  return std::move(block.lines);
}

void RestoreAttachment(const VesselRegistry& among, Vessel& child) {
  Vessel::Impl& ci = Of(child);
  if (!ci.pendingAttach) return;
  const std::unique_ptr<PendingAttachment> pending = std::move(ci.pendingAttach);
  const PendingAttachment& p = *pending;
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
