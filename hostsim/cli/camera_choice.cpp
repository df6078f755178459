#include "camera_choice.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <system_error>

#include "text.h"

namespace hostsim::cli {
namespace {

constexpr double kMaxPitch = 88;         // degrees: the view keeps its sense of up
constexpr double kMaxDistance = 100000;  // metres
constexpr double kMaxCoordinate = 1e9;   // metres: a point the GPU's floats still hold
constexpr double kRadiansPerDegree = std::numbers::pi / 180;

std::string Q(std::string_view s) { return Quote(s, TextEncoding::Utf8); }

// A bound (a whole number) as a message gives it: written out in full.
std::string Bound(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.0f", v);
  return buf;
}

// A whole text read as a number; none when anything else is in it. `nan` and `inf` are read,
// so that the caller can say what is wrong with them.
std::optional<double> Number(std::string_view s) {
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// X,Y,Z: none when the text is not three numbers apart by commas.
std::optional<std::array<double, 3>> ThreeNumbers(std::string_view s) {
  std::array<double, 3> v{};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t comma = s.find(',');
    if ((i < 2) != (comma != std::string_view::npos)) return std::nullopt;
    const auto n = Number(s.substr(0, comma));
    if (!n) return std::nullopt;
    v[i] = *n;
    if (i < 2) s.remove_prefix(comma + 1);
  }
  return v;
}

std::string ParseTarget(std::string_view word, std::string_view value, CameraChoice& c) {
  if (value.empty()) return Q(word) + ": at= takes a vessel's NAME or a point X,Y,Z";
  if (const auto p = ThreeNumbers(value)) {
    for (double v : *p)
      if (!std::isfinite(v) || std::abs(v) > kMaxCoordinate)
        return Q(word) + ": a point's coordinates are finite numbers of metres, at most " +
               Bound(kMaxCoordinate) + " across";
    c.point = VECTOR3{(*p)[0], (*p)[1], (*p)[2]};
  } else {
    c.vessel = std::string(value);
  }
  return {};
}

// The number of the part `word` gives, from `low` to `high` (`low` itself excluded when
// `aboveLow`), in `unit`.
std::string ParseNumber(std::string_view word, std::string_view value, double low, double high,
                        bool aboveLow, std::string_view unit, std::optional<double>& into) {
  const auto v = Number(value);
  if (!v || !std::isfinite(*v)) return Q(word) + ": not a finite number";
  if (*v < low || (aboveLow && *v == low) || *v > high)
    return Q(word) + ": not " + (aboveLow ? "above " : "from ") + Bound(low) +
           (aboveLow ? " and at most " : " to ") + Bound(high) + " " + std::string(unit);
  into = *v;
  return {};
}

// Shortest decimal, with no "-0".
std::string Decimal(double v) { return Shortest(v == 0 ? 0.0 : v); }

}  // namespace

bool CameraChoice::operator==(const CameraChoice& o) const {
  const auto samePoint = [](const std::optional<VECTOR3>& a, const std::optional<VECTOR3>& b) {
    return a.has_value() == b.has_value() && (!a || (a->x == b->x && a->y == b->y && a->z == b->z));
  };
  return vessel == o.vessel && samePoint(point, o.point) && yaw == o.yaw && pitch == o.pitch &&
         distance == o.distance;
}

std::string ParseCameraWords(const std::vector<std::string_view>& words, CameraChoice& choice) {
  CameraChoice c;
  if (words.empty()) return "no camera given: expected at=, yaw=, pitch= or dist=";
  bool seen[4] = {false, false, false, false};
  for (std::string_view word : words) {
    const std::size_t eq = word.find('=');
    if (eq == std::string_view::npos)
      return Q(word) + " is not PART=VALUE (the parts: at, yaw, pitch, dist; e.g. at=Tug)";
    const std::string_view part = word.substr(0, eq), value = word.substr(eq + 1);
    int which = -1;
    std::string error;
    if (part == "at") {
      which = 0;
      error = ParseTarget(word, value, c);
    } else if (part == "yaw") {
      which = 1;
      error = ParseNumber(word, value, -360, 360, false, "degrees", c.yaw);
    } else if (part == "pitch") {
      which = 2;
      error = ParseNumber(word, value, -kMaxPitch, kMaxPitch, false, "degrees", c.pitch);
    } else if (part == "dist") {
      which = 3;
      error = ParseNumber(word, value, 0, kMaxDistance, true, "metres", c.distance);
    } else {
      return "unknown camera part " + Q(part) + " (the parts: at, yaw, pitch, dist)";
    }
    if (!error.empty()) return error;
    if (seen[which]) return std::string(part) + "= is given twice";
    seen[which] = true;
  }
  choice = std::move(c);
  return {};
}

std::string ParseCameraChoice(std::string_view text, CameraChoice& choice) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return ParseCameraWords(words, choice);
}

std::string FormatCameraChoice(const CameraChoice& c) {
  std::string s;
  const auto add = [&s](const std::string& word) { s += (s.empty() ? "" : " ") + word; };
  if (c.point)
    add("at=" + Decimal(c.point->x) + "," + Decimal(c.point->y) + "," + Decimal(c.point->z));
  else if (!c.vessel.empty())
    add("at=" + c.vessel);
  if (c.yaw) add("yaw=" + Decimal(*c.yaw));
  if (c.pitch) add("pitch=" + Decimal(*c.pitch));
  if (c.distance) add("dist=" + Decimal(*c.distance));
  return s;
}

#if defined(HOSTSIM_HAVE_RENDER)
render::Camera ChosenCamera(World& world, const CameraChoice& choice, double aspect) {
  render::Camera camera = render::DefaultCamera(world, aspect);
  if (choice.point) {
    camera.target = *choice.point;
  } else if (!choice.vessel.empty()) {
    const Vessel* v = world.FindVessel(choice.vessel);
    if (!v)
      throw Error("no vessel named " + Q(choice.vessel) + " to look at" +
                  (choice.vessel.find(',') != std::string::npos ? " (a point is at=X,Y,Z)" : ""));
    camera.target = render::VesselCentre(*v);
  }
  if (choice.yaw) camera.yaw = *choice.yaw * kRadiansPerDegree;
  if (choice.pitch) camera.pitch = *choice.pitch * kRadiansPerDegree;
  if (choice.distance) camera.distance = *choice.distance;
  return camera;
}

CameraChoice ChoiceOf(const render::Camera& camera) {
  const auto round = [](double v) { return std::round(v * 1e4) / 1e4; };
  double yaw = round(std::remainder(camera.yaw / kRadiansPerDegree, 360.0));
  if (yaw <= -180) yaw += 360;
  CameraChoice c;
  c.point = VECTOR3{round(camera.target.x), round(camera.target.y), round(camera.target.z)};
  c.yaw = yaw;
  c.pitch = round(camera.pitch / kRadiansPerDegree);
  c.distance = round(camera.distance);
  return c;
}
#endif

}  // namespace hostsim::cli
