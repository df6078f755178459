// A vessel's block of a scenario: the host's own lines read and written, the block handed to
// the module, an ATTACHED line carried out once every vessel exists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "hostsim/runtime/scenario_text.h"
#include "hostsim/runtime/state.h"

namespace hostsim {

// A line of the vessel's block handed to the host (by the block's load, or by the module):
// POS and ORI place the vessel, ATTACHED is kept for RestoreAttachment, anything else is kept
// as written (with a warning), a line that would break the saved block is dropped. A block's
// load hands its tally, which names the first of its warned lines and counts the rest; a line
// handed outside any load (null) is always named.
void ApplyHostLine(World::Impl& w, Vessel& v, std::string_view line, const std::string& file,
                   int number, LineTally* tally);
// Adds the host's lines of the vessel standing at `pose` in the world to `out`: POS, ORI,
// ATTACHED and the lines it kept.
void HostLines(const Vessel& v, const Transform& pose, PackedLines& out);

// Hands the block to the vessel: to its module's clbkLoadScenario, or to the host's lines.
void LoadBlock(World::Impl& w, Vessel& v, BlockLines lines, const std::string& file);
// The vessel's block as it saves it, standing at `pose`: its module's clbkSaveState, or the
// host's lines.
PackedLines SaveBlock(World::Impl& w, Vessel& v, const Transform& pose);
// Hangs the vessel on the vessel of `among` its ATTACHED line named, at the parent's child
// point of that index, by its own point of that id. Throws Error naming the line when there
// is no such vessel or point, or the point holds another vessel already.
void RestoreAttachment(const VesselRegistry& among, Vessel& child);
void CallAfterCreation(World::Impl& w, Vessel& v);

}  // namespace hostsim
