// Beacon light record.
#pragma once

#include "types.h"

// A beacon: a light sprite drawn at a point of the vessel. The module fills the record,
// registers it with VESSEL::AddBeacon and keeps it at a fixed address; the host keeps the
// pointer and reads the record and the two vectors it points at on every frame, so later
// changes are seen without another call.
struct BEACONLIGHTSPEC {
  std::uint32_t shape;  // sprite shape code (host-defined; 0 compact, 1 diffuse, 2 star)
  VECTOR3* pos;         // position in the vessel frame
  VECTOR3* col;         // colour r, g, b in [0, 1]
  double size;          // sprite size in metres
  double falloff;       // how fast brightness falls with distance
  double period;        // blink period in seconds; 0 = steady
  double duration;      // length of one blink in seconds
  double tofs;          // time offset of the blink pattern
  bool active;          // drawn only while set
};
