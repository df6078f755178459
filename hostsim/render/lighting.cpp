#include "hostsim/render/lighting.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>

namespace hostsim::render {
namespace {

constexpr int kSlices = 24;
constexpr int kLeastTilePx = 32;
constexpr int kMostTilesAcross = 128;

// The clusters a light's bounds touch: columns, rows and slices, each inclusive.
struct Box {
  int c0, c1, r0, r1, s0, s1;
  std::size_t Volume() const {
    return static_cast<std::size_t>(c1 - c0 + 1) * static_cast<std::size_t>(r1 - r0 + 1) *
           static_cast<std::size_t>(s1 - s0 + 1);
  }
};

VECTOR3 ToView(const Mat4& view, const VECTOR3& p) {
  const auto row = [&](int r) {
    return view.at(r, 0) * p.x + view.at(r, 1) * p.y + view.at(r, 2) * p.z + view.at(r, 3);
  };
  return {row(0), row(1), row(2)};
}

int SliceOf(const ClusterGrid& g, double depth) {
  const double k = std::log(std::max(depth, g.zNear) / g.zNear) / std::log(g.zFar / g.zNear) *
                   static_cast<double>(g.slices);
  return std::clamp(static_cast<int>(std::floor(k)), 0, g.slices - 1);
}

// The range of pixels (lo, hi) along one axis that a sphere at view-space offset `a` (x or y)
// and depth `d` with radius `r` may cover, `f` the projection's scale on that axis, `size`
// the picture's pixels along it. The sphere lies wholly in front of the eye (d - r > 0): a
// point of it at offset a' and depth d' has a' / d' between these bounds.
std::pair<double, double> PixelSpan(double a, double d, double r, double f, int size) {
  const double hi = a + r >= 0 ? (a + r) / (d - r) : (a + r) / (d + r);
  const double lo = a - r <= 0 ? (a - r) / (d - r) : (a - r) / (d + r);
  const auto pixel = [&](double t) { return (f * t + 1) / 2 * size; };
  return {pixel(lo), pixel(hi)};
}

}  // namespace

std::pair<VECTOR3, double> LightBounds(const SceneLight& light) {
  const double r = light.range;
  if (!light.spot || light.cosOuter <= 0) return {light.pos, r};
  // A narrow cone is held by the sphere through its tip and the rim of its far cap; a wider
  // one by the sphere around that rim.
  const double half = std::acos(std::clamp(light.cosOuter, 0.0, 1.0));
  if (half <= std::numbers::pi / 4) {
    const double c = r / (2 * light.cosOuter);
    return {Add(light.pos, Scale(light.dir, c)), c};
  }
  return {Add(light.pos, Scale(light.dir, r * light.cosOuter)), r * std::sin(half)};
}

LightLists AssignLights(const std::vector<SceneLight>& lights, const CameraMatrices& cam, int W,
                        int H, std::size_t maxIndices) {
  LightLists out;
  ClusterGrid& g = out.grid;
  // The projection's near and far planes, read back from its matrix.
  const double p22 = cam.proj.at(2, 2), p23 = cam.proj.at(2, 3);
  g.zNear = p23 / (p22 - 1);
  g.zFar = p23 / (p22 + 1);
  g.slices = kSlices;
  g.tilePx = std::max(kLeastTilePx, (std::max(W, H) + kMostTilesAcross - 1) / kMostTilesAcross);
  const double fx = cam.proj.at(0, 0), fy = cam.proj.at(1, 1);

  // Each light's depth and place in the picture, found once; the tiles may change size below.
  struct Placed {
    std::uint32_t light;
    bool whole;             // its bounds reach the eye: every tile
    double x0, x1, y0, y1;  // pixels
    int s0, s1;
  };
  std::vector<Placed> placed;
  for (std::size_t i = 0; i < lights.size(); ++i) {
    const auto [centre, r] = LightBounds(lights[i]);
    const VECTOR3 v = ToView(cam.view, centre);
    const double d = -v.z;
    if (d + r < g.zNear || d - r > g.zFar || !(r > 0)) continue;
    Placed p{static_cast<std::uint32_t>(i), d - r <= g.zNear * 0.5, 0, 0, 0, 0, 0, 0};
    if (!p.whole) {
      std::tie(p.x0, p.x1) = PixelSpan(v.x, d, r, fx, W);
      std::tie(p.y0, p.y1) = PixelSpan(v.y, d, r, fy, H);
      if (p.x1 < -1 || p.x0 > W + 1 || p.y1 < -1 || p.y0 > H + 1) continue;
    }
    // A little wider in depth than the bounds, for the shader's rounding at a slice's edge.
    p.s0 = SliceOf(g, (d - r) * 0.99);
    p.s1 = SliceOf(g, (d + r) * 1.01);
    placed.push_back(p);
    out.inView.push_back(p.light);
  }

  std::vector<Box> boxes(placed.size());
  for (;;) {
    g.cols = (W + g.tilePx - 1) / g.tilePx;
    g.rows = (H + g.tilePx - 1) / g.tilePx;
    std::size_t total = 0;
    for (std::size_t k = 0; k < placed.size(); ++k) {
      const Placed& p = placed[k];
      const auto tile = [&](double px, int most) {
        return std::clamp(static_cast<int>(std::floor(px / g.tilePx)), 0, most - 1);
      };
      Box& b = boxes[k];
      if (p.whole)
        b = {0, g.cols - 1, 0, g.rows - 1, p.s0, p.s1};
      else  // a pixel wider on each side, for the rounding of the bounds
        b = {tile(p.x0 - 1, g.cols),
             tile(p.x1 + 1, g.cols),
             tile(p.y0 - 1, g.rows),
             tile(p.y1 + 1, g.rows),
             p.s0,
             p.s1};
      total += b.Volume();
    }
    if (total <= maxIndices || (g.cols == 1 && g.rows == 1)) {
      if (total > maxIndices) throw Error("render: too many lights in view for this OpenGL");
      break;
    }
    g.tilePx *= 2;
  }

  // Counted, then filled: every cluster's list in one array.
  std::vector<std::uint32_t> count(g.Count(), 0);
  const auto cluster = [&](int c, int r, int s) {
    return (static_cast<std::size_t>(s) * static_cast<std::size_t>(g.rows) +
            static_cast<std::size_t>(r)) *
               static_cast<std::size_t>(g.cols) +
           static_cast<std::size_t>(c);
  };
  for (const Box& b : boxes)
    for (int s = b.s0; s <= b.s1; ++s)
      for (int r = b.r0; r <= b.r1; ++r)
        for (int c = b.c0; c <= b.c1; ++c) ++count[cluster(c, r, s)];
  out.ranges.resize(g.Count() * 2);
  std::uint32_t at = 0;
  for (std::size_t k = 0; k < count.size(); ++k) {
    out.ranges[k * 2] = at;
    out.ranges[k * 2 + 1] = 0;
    at += count[k];
  }
  out.indices.resize(at);
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const Box& b = boxes[k];
    for (int s = b.s0; s <= b.s1; ++s)
      for (int r = b.r0; r <= b.r1; ++r)
        for (int c = b.c0; c <= b.c1; ++c) {
          const std::size_t n = cluster(c, r, s);
          out.indices[out.ranges[n * 2] + out.ranges[n * 2 + 1]++] = static_cast<std::uint32_t>(k);
        }
  }
  return out;
}

ShadowPlan PlanShadows(const std::vector<SceneLight>& lights,
                       const std::vector<std::uint32_t>& inView, const VECTOR3& eye) {
  ShadowPlan plan;
  struct Scored {
    std::uint32_t light;
    double score;
  };
  std::vector<Scored> scored;
  for (const std::uint32_t i : inView) {
    const SceneLight& l = lights[i];
    const double bright = std::max({l.colour[0], l.colour[1], l.colour[2]});
    if (!(bright > 0)) continue;
    const double d = std::max(1.0, Length(Sub(l.pos, eye)));
    scored.push_back({i, bright / (d * d)});
  }
  plan.candidates = static_cast<int>(scored.size());
  std::stable_sort(scored.begin(), scored.end(),
                   [](const Scored& a, const Scored& b) { return a.score > b.score; });

  for (const Scored& s : scored) {
    const SceneLight& l = lights[s.light];
    const double half = l.spot ? std::acos(std::clamp(l.cosOuter, -1.0, 1.0)) : std::numbers::pi;
    const int faces = l.spot && 2 * half <= kWidestShadowCone ? 1 : 6;
    if (plan.layers + faces > kShadowLayers) continue;
    ShadowCaster c;
    c.light = s.light;
    c.firstLayer = plan.layers;
    c.faces = faces;
    // A few map pixels wider than the cone, so that the filter's samples near its edge stay
    // inside the map.
    const double margin = 6.0 / kShadowMapSize;
    const double zNear = std::clamp(l.range * 1e-4, 0.01, 0.05);
    if (faces == 1) {
      const double tanHalf = std::tan(half) * (1 + margin) + margin;
      const VECTOR3 up = std::abs(l.dir.y) > 0.9 ? VECTOR3{0, 0, 1} : VECTOR3{0, 1, 0};
      c.viewProj[0] = Perspective(2 * std::atan(tanHalf), 1, zNear, l.range) *
                      LookAt(l.pos, Add(l.pos, l.dir), up);
      c.texelAtOneMetre = 2 * tanHalf / kShadowMapSize;
    } else {
      // The faces in the order the shader picks them: +x, -x, +y, -y, +z, -z.
      const VECTOR3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
      const VECTOR3 ups[6] = {{0, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};
      const double tanHalf = 1 + 2 * margin;
      for (std::size_t f = 0; f < 6; ++f)
        c.viewProj[f] = Perspective(2 * std::atan(tanHalf), 1, zNear, l.range) *
                        LookAt(l.pos, Add(l.pos, axes[f]), ups[f]);
      c.texelAtOneMetre = 2 * tanHalf / kShadowMapSize;
    }
    plan.layers += faces;
    plan.casters.push_back(c);
  }
  return plan;
}

std::string ShadowNote(const ShadowPlan& plan) {
  if (static_cast<int>(plan.casters.size()) >= plan.candidates) return {};
  return "shadows from " + std::to_string(plan.casters.size()) + " of " +
         std::to_string(plan.candidates) +
         " lights in view (the brightest and nearest, as many as " + std::to_string(kShadowLayers) +
         " shadow maps hold; a point light takes six); the others light without shadows";
}

}  // namespace hostsim::render
