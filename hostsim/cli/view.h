// The host's view of vessels as JSON.
//
// Numbers are JSON numbers at full precision: doubles round-trip exactly; floats (colours,
// the angle of a mesh rotation) are written as the shortest decimal that reads back as the
// same float. A value that JSON cannot hold (not-a-number, infinite) is written as the
// string "nan", "inf" or "-inf".
#pragma once

#include <iosfwd>
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
// The same with the vessel's world pose given: the views of many vessels take theirs from one
// table (WorldPoses) rather than each walking its chain to the root.
Json VesselView(const World& world, const Vessel& v, const Transform& pose);

// The view of every vessel of the world, in creation order, as `inspect` prints it: a JSON
// array written vessel by vessel (JsonArrayWriter), the poses taken from one table. Stops early
// when `out` fails (a full disk, a closed pipe), for the caller to report.
void WriteWorldView(const World& world, std::ostream& out);

// JSON text indented by two spaces, with arrays of plain values kept on one line
// ("[1.0, 0.0, 0.0]"), so vectors and colours stay readable.
std::string PrettyJson(const Json& j);

// Writes a JSON array element by element, in the text PrettyJson gives the whole array, so
// that only one element is held at a time (the view of a world of many vessels would
// otherwise be built whole, many times the world's size). Elements are objects or arrays: an
// array of plain values (numbers, strings) is printed on one line, which could not be known
// before its last element.
class JsonArrayWriter {
 public:
  explicit JsonArrayWriter(std::ostream& out) : out_(out) {}
  // Throws std::invalid_argument for a plain value (a number, a string, ...).
  void Add(const Json& element);
  // Ends the array: "]" after its elements, "[]" when it has none.
  void Close();

 private:
  std::ostream& out_;
  std::size_t count_ = 0;
};

}  // namespace hostsim::cli
