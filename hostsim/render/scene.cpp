#include "hostsim/render/scene.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

#include "hostsim/render/camera.h"

namespace hostsim::render {
namespace {

// Calls fn(mesh, group index, group-to-world transform, materials) for every group of every
// visible mesh of the vessel, which stands at `pose` in the world.
template <typename Fn>
void ForEachGroup(const Vessel& v, const Transform& pose, Fn&& fn) {
  for (std::size_t slot = 0; slot < v.meshes.size(); ++slot) {
    const MeshSlot& ms = v.meshes[slot];
    if (!ms.mesh || (ms.visMode & 1) == 0) continue;
    const std::vector<MATERIAL>* materials = &ms.mesh->materials;
    if (v.visual) {
      for (const auto& dm : v.visual->meshes)
        if (dm && dm->index == slot) {
          materials = &dm->materials;
          break;
        }
    }
    const std::vector<Transform> groupTf = v.GroupTransforms(static_cast<std::uint32_t>(slot));
    const Transform base = Translation(ms.ofs).Then(pose);
    for (std::size_t g = 0; g < ms.mesh->groups().size(); ++g) {
      const Transform world = g < groupTf.size() ? groupTf[g].Then(base) : base;
      fn(*ms.mesh, g, world, *materials);
    }
  }
}

std::array<float, 9> NormalMatrix(const Transform& t) {
  // Inverse transpose of the 3x3 part (rotations give the rotation back; scales are handled).
  const double* a = t.r;
  const double c00 = a[4] * a[8] - a[5] * a[7], c01 = a[5] * a[6] - a[3] * a[8],
               c02 = a[3] * a[7] - a[4] * a[6];
  const double c10 = a[2] * a[7] - a[1] * a[8], c11 = a[0] * a[8] - a[2] * a[6],
               c12 = a[1] * a[6] - a[0] * a[7];
  const double c20 = a[1] * a[5] - a[2] * a[4], c21 = a[2] * a[3] - a[0] * a[5],
               c22 = a[0] * a[4] - a[1] * a[3];
  double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
  if (std::abs(det) < 1e-12) det = 1e-12;
  // Cofactor matrix / det is the inverse transpose; stored column-major.
  const double cof[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
  std::array<float, 9> out{};
  for (std::size_t row = 0; row < 3; ++row)
    for (std::size_t col = 0; col < 3; ++col)
      out[col * 3 + row] = static_cast<float>(cof[row][col] / det);
  return out;
}

std::array<float, 3> Rgb(const COLOUR4& c, double scale) {
  return {static_cast<float>(c.r * scale), static_cast<float>(c.g * scale),
          static_cast<float>(c.b * scale)};
}

double HalfAngleCos(double fullAngle) {
  const double half = std::clamp(fullAngle / 2, 0.0, std::numbers::pi);
  return std::cos(half);
}

void AddLight(const Vessel& v, const LightEmitter& light, const Transform& pose,
              std::vector<SceneLight>& out) {
  const LightState l = ViewLight(light);
  if (!l.active) return;
  if (l.type != LightEmitter::LT_SPOT && l.type != LightEmitter::LT_POINT) return;
  const double intensity = std::max(0.0, l.intensity);
  SceneLight s;
  s.vessel = &v;
  s.spot = l.type == LightEmitter::LT_SPOT;
  s.pos = pose.Apply(l.position);
  s.dir = Normalized(Rotate(pose, l.direction));
  s.colour = Rgb(l.diffuse, intensity);
  s.specular = Rgb(l.specular, intensity);
  s.range = l.range;
  s.att = {l.attenuation[0], l.attenuation[1], l.attenuation[2]};
  if (s.spot) {
    // Angles are full cone angles. A penumbra inside the umbra makes a hard edge at the
    // umbra rather than an inverted fade.
    const double umbra = std::max(0.0, l.umbra);
    const double penumbra = std::max(umbra, l.penumbra);
    s.cosInner = HalfAngleCos(umbra);
    s.cosOuter = HalfAngleCos(penumbra);
  }
  if (s.range > 0) out.push_back(s);
}

bool BeaconLit(const BEACONLIGHTSPEC& b, double simt) {
  if (!b.active || !b.pos || !b.col) return false;
  if (!(b.period > 0)) return true;
  double phase = std::fmod(simt + b.tofs, b.period);
  if (phase < 0) phase += b.period;
  return phase < b.duration;
}

}  // namespace

MATERIAL DefaultMaterial() {
  MATERIAL m{};
  m.diffuse = {0.6f, 0.6f, 0.6f, 1};
  m.ambient = {0.6f, 0.6f, 0.6f, 1};
  m.specular = {0.2f, 0.2f, 0.2f, 1};
  m.emissive = {0, 0, 0, 0};
  m.power = 20;
  return m;
}

Scene CaptureScene(World& world, const RenderOptions& opts) {
  Scene scene;
  // Every chain posed once for the frame: a walk from each vessel to its root would take time
  // growing with the square of a chain's length.
  const Poses poses = WorldPoses(world.Vessels());
  scene.groundY = GroundHeight(world, opts, poses);
  const double simt = world.SimTime();
  for (Vessel* v : world.Vessels()) {
    const Transform& pose = poses.at(v);
    ForEachGroup(*v, pose,
                 [&](const Mesh& mesh, std::size_t g, const Transform& tf,
                     const std::vector<MATERIAL>& materials) {
                   const MeshGroup& group = mesh.groups()[g];
                   if (group.indices.empty()) return;
                   DrawGroup dg;
                   dg.vessel = v;
                   dg.mesh = &mesh;
                   dg.groupIndex = g;
                   dg.model = FromTransform(tf);
                   dg.normalMat = NormalMatrix(tf);
                   dg.material = group.material >= 0 &&
                                         static_cast<std::size_t>(group.material) < materials.size()
                                     ? materials[static_cast<std::size_t>(group.material)]
                                     : DefaultMaterial();
                   scene.groups.push_back(dg);
                 });
    for (const LightEmitter* l : v->lights)
      if (l) AddLight(*v, *l, pose, scene.lights);
    for (const BEACONLIGHTSPEC* b : v->beacons) {
      if (!b || !BeaconLit(*b, simt) || !(b->size > 0)) continue;
      SceneBeacon sb;
      sb.pos = pose.Apply(*b->pos);
      sb.colour = {static_cast<float>(std::clamp(b->col->x, 0.0, 1.0)),
                   static_cast<float>(std::clamp(b->col->y, 0.0, 1.0)),
                   static_cast<float>(std::clamp(b->col->z, 0.0, 1.0))};
      sb.size = b->size;
      scene.beacons.push_back(sb);
    }
  }
  return scene;
}

std::pair<VECTOR3, double> VesselBounds(const Vessel& v, const Transform& pose) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  VECTOR3 lo{kInf, kInf, kInf}, hi{-kInf, -kInf, -kInf};
  std::vector<VECTOR3> points;
  ForEachGroup(
      v, pose,
      [&](const Mesh& mesh, std::size_t g, const Transform& tf, const std::vector<MATERIAL>&) {
        const auto& pos = mesh.groups()[g].positions;
        for (std::size_t i = 0; i + 2 < pos.size(); i += 3) {
          const VECTOR3 p = tf.Apply({pos[i], pos[i + 1], pos[i + 2]});
          lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
          hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
          points.push_back(p);
        }
      });
  if (points.empty()) return {pose.t, 0.5};
  const VECTOR3 c = Scale(Add(lo, hi), 0.5);
  double r = 0;
  for (const VECTOR3& p : points) r = std::max(r, Length(Sub(p, c)));
  return {c, std::max(r, 0.05)};
}

VECTOR3 VesselCentre(const Vessel& vessel) {
  return VesselBounds(vessel, vessel.WorldPose()).first;
}

double GroundHeight(World& world, const RenderOptions& opts) {
  if (opts.groundY) return *opts.groundY;
  return GroundHeight(world, opts, WorldPoses(world.Vessels()));
}

double GroundHeight(World& world, const RenderOptions& opts, const Poses& poses) {
  if (opts.groundY) return *opts.groundY;
  // Vessels standing free on touchdown points stand on the ground; without any, the ground
  // lies under the lowest point of every mesh.
  double feet = std::numeric_limits<double>::infinity();
  for (const Vessel* v : world.Vessels()) {
    if (v->Parent()) continue;
    const Transform& pose = poses.at(v);
    bool set = false;
    for (const VECTOR3& p : v->physics.touchdown) set = set || p.x != 0 || p.y != 0 || p.z != 0;
    if (!set) continue;
    for (const VECTOR3& p : v->physics.touchdown) feet = std::min(feet, pose.Apply(p).y);
  }
  if (std::isfinite(feet)) return feet;
  double lowest = std::numeric_limits<double>::infinity();
  for (const Vessel* v : world.Vessels()) {
    ForEachGroup(
        *v, poses.at(v),
        [&](const Mesh& mesh, std::size_t g, const Transform& tf, const std::vector<MATERIAL>&) {
          const auto& pos = mesh.groups()[g].positions;
          for (std::size_t i = 0; i + 2 < pos.size(); i += 3)
            lowest = std::min(lowest, tf.Apply({pos[i], pos[i + 1], pos[i + 2]}).y);
        });
  }
  return std::isfinite(lowest) ? lowest : 0.0;
}

Camera DefaultCamera(World& world, double aspect) {
  Camera cam;
  Vessel* v = world.Focus();
  if (!v) {
    const auto all = world.Vessels();
    if (!all.empty()) v = all.front();
  }
  if (!v) {
    cam.target = {0, 0, 0};
    cam.yaw = 0.9;
    cam.distance = 8;
    return cam;
  }
  const Poses poses = WorldPoses(world.Vessels());
  const Transform& pose = poses.at(v);
  const auto [centre, radius] = VesselBounds(*v, pose);
  const double groundY = GroundHeight(world, {}, poses);

  // Where the vessel looks: its first spot light's beam (on or off, so that switching does
  // not move the camera), else its own +z axis. And where that beam meets the ground.
  VECTOR3 forward = Rotate(pose, {0, 0, 1});
  forward.y = 0;
  forward = Normalized(forward, {0, 0, 1});
  VECTOR3 heading = forward;
  VECTOR3 interest = centre;
  for (const LightEmitter* light : v->lights) {
    if (!light) continue;
    const LightState spot = ViewLight(*light);
    if (spot.type != LightEmitter::LT_SPOT) continue;
    const VECTOR3 origin = pose.Apply(spot.position);
    const VECTOR3 dir = Normalized(Rotate(pose, spot.direction));
    const VECTOR3 flat{dir.x, 0, dir.z};
    heading = Normalized(flat, forward);  // a beam straight up or down: the vessel's front
    const double height = origin.y - groundY;
    const double elevation = std::asin(std::clamp(dir.y, -1.0, 1.0));
    const double half = std::clamp(std::max(spot.umbra, spot.penumbra) / 2, 0.0, 1.4);
    const double reach = std::min(spot.range, 30.0);
    // The axis's ground point, or for a beam that does not dip, a little past where its
    // lower edge lands.
    double along = -1;
    if (height > 0 && elevation < -0.05)
      along = height / std::tan(-elevation);
    else if (height > 0 && elevation - half < -0.02)
      along = 1.6 * height / std::tan(half - elevation);
    if (along > 0)
      interest = Sub(Add(origin, Scale(heading, std::min(along, reach))), {0, height, 0});
    break;
  }

  // From the vessel's front quarter, looking slightly down: its face, and the ground its beam
  // lights, in view together.
  const double span = Length(Sub(interest, centre));
  cam.target = Sub(Add(centre, Scale(Sub(interest, centre), 0.45)), {0, radius * 0.3, 0});
  cam.yaw = std::atan2(heading.x, heading.z) + 0.95;
  cam.pitch = 0.48;
  const double fit = std::max(radius * 2.2, span * 0.7 + radius) / std::tan(cam.fovY / 2);
  cam.distance = aspect < 1.0 ? fit / std::max(aspect, 0.25) : fit;
  return cam;
}

VECTOR3 Camera::Eye() const {
  const double p = std::clamp(pitch, -1.55, 1.55);
  return {target.x + distance * std::cos(p) * std::sin(yaw), target.y + distance * std::sin(p),
          target.z + distance * std::cos(p) * std::cos(yaw)};
}

CameraMatrices MatricesOf(const Camera& camera, double aspect) {
  CameraMatrices m;
  m.eye = camera.Eye();
  m.view = LookAt(m.eye, camera.target, {0, 1, 0});
  const double zNear = std::clamp(camera.distance * 0.01, 0.01, 1.0);
  m.proj = Perspective(camera.fovY, aspect, zNear, 4000.0);
  return m;
}

std::optional<std::pair<double, double>> Project(const Camera& camera, int W, int H,
                                                 const VECTOR3& point) {
  if (W <= 0 || H <= 0) return std::nullopt;
  const CameraMatrices m = MatricesOf(camera, static_cast<double>(W) / H);
  const Mat4 vp = m.proj * m.view;
  double clip[4];
  const double p[4] = {point.x, point.y, point.z, 1};
  for (int i = 0; i < 4; ++i) {
    clip[i] = 0;
    for (int k = 0; k < 4; ++k) clip[i] += vp.at(i, k) * p[k];
  }
  if (clip[3] <= 1e-9) return std::nullopt;
  const double nx = clip[0] / clip[3], ny = clip[1] / clip[3];
  return std::make_pair((nx + 1) / 2 * W, (1 - ny) / 2 * H);
}

std::optional<std::pair<int, int>> ParseSize(std::string_view text) {
  const auto x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  const auto side = [](std::string_view s) -> std::optional<int> {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < 1 || v > 8192)
      return std::nullopt;
    return v;
  };
  const auto w = side(text.substr(0, x)), h = side(text.substr(x + 1));
  if (!w || !h) return std::nullopt;
  return std::make_pair(*w, *h);
}

}  // namespace hostsim::render
