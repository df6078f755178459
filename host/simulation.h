// The simulation: time, objects and their vessel interfaces.
#pragma once

#include "api.h"
#include "types.h"

class VESSEL;

// Returns the length in seconds of the current time step (0 before the first step).
ZAPI_FUNC double zapiGetSimStep();

// Returns the simulation time in seconds since the scenario started.
ZAPI_FUNC double zapiGetSimTime();

// Returns the object named `name` (matched without regard to case), or null when there is none
// or `name` is null.
ZAPI_FUNC OBJHANDLE zapiGetObjectByName(const char* name);

// Returns the vessel interface of the object `hVessel`, or null when it is not a vessel.
ZAPI_FUNC VESSEL* zapiGetVesselInterface(OBJHANDLE hVessel);

// Returns the vessel that has the input focus, or null.
ZAPI_FUNC OBJHANDLE zapiGetFocusObject();
