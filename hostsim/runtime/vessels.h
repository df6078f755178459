// A vessel's life: its class read, the vessel made (its module's object made and set up, or
// the host's own from the configuration), and its end.
#pragma once

#include <memory>
#include <string>

#include "hostsim/runtime/state.h"

namespace hostsim {

// A name the host takes for a vessel or a class: not empty, no blanks or control characters.
bool ValidName(const std::string& name);

// Reads config/<class>.cfg and loads the class's module, or reads what a class without one
// sets up (and loads its mesh). Throws Error (a class name that is a path among the causes).
// A ClassName item that differs from the file's name is a warning: the file's name counts.
VesselClass ReadClass(World::Impl& w, const std::string& className);

// Makes a vessel of the class, registered by its handle: for a module class the module's
// object (zvcInit) set up with the class configuration (clbkSetupClass); for a class without
// a module the host's own object, set up from the configuration. Throws Error (or what the
// module threw), leaving nothing of the vessel.
std::unique_ptr<Vessel> MakeVessel(World::Impl& w, const std::string& name, const VesselClass& cls);

// Ends a vessel: its visual dropped, let go by the focus, its input box and attachments, its
// module's object destroyed (zvcExit), its handle forgotten. The caller frees the record.
void EndVessel(World::Impl& w, Vessel& v);

// Frees the lights the host made for the vessel.
void FreeLights(Vessel& v);

}  // namespace hostsim
