// The host's view of vessels as JSON.
//
// Numbers are JSON numbers at full precision: doubles round-trip exactly; floats (colours,
// the angle of a mesh rotation) are written as the shortest decimal that reads back as the
// same float. A value that JSON cannot hold (not-a-number, infinite) is written as the
// string "nan", "inf" or "-inf".
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "hostsim/world.h"
#include "text.h"

namespace hostsim::cli {

using Json = nlohmann::ordered_json;

// A double as JSON: a number, or "nan" / "inf" / "-inf".
Json Num(double v);
// A float as JSON: the shortest decimal that reads back as `v`, or the strings above.
Json Num(float v);

// Everything the host holds about one vessel: name, class, attachments, parent, pose,
// lights, beacons, animations, meshes with group transforms and materials (template and
// visual), the open input box when this vessel opened it, and the scenario lines kept.
Json VesselView(const World& world, const Vessel& v);

// JSON text indented by two spaces, with arrays of plain values kept on one line
// ("[1.0, 0.0, 0.0]"), so vectors and colours stay readable.
std::string PrettyJson(const Json& j);

}  // namespace hostsim::cli
