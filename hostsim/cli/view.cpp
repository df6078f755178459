#include "view.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

namespace hostsim::cli {
namespace {

Json NonFinite(double v) {
  if (std::isnan(v)) return "nan";
  return v > 0 ? "inf" : "-inf";
}

Json Vec(const VECTOR3& v) { return Json::array({Num(v.x), Num(v.y), Num(v.z)}); }

// A vector the module keeps behind a pointer; null when the pointer is null.
Json VecPtr(const VECTOR3* v) { return v ? Vec(*v) : Json(nullptr); }

Json Colour(const COLOUR4& c) { return Json::array({Num(c.r), Num(c.g), Num(c.b), Num(c.a)}); }

Json MaterialView(const MATERIAL& m) {
  Json j;
  j["diffuse"] = Colour(m.diffuse);
  j["ambient"] = Colour(m.ambient);
  j["specular"] = Colour(m.specular);
  j["emissive"] = Colour(m.emissive);
  j["power"] = Num(m.power);
  return j;
}

Json TransformView(const Transform& t) {
  Json rows = Json::array();
  for (std::size_t i = 0; i < 3; ++i)
    rows.push_back(Json::array({Num(t.r[3 * i]), Num(t.r[3 * i + 1]), Num(t.r[3 * i + 2])}));
  Json j;
  j["rotation"] = std::move(rows);
  j["translation"] = Vec(t.t);
  return j;
}

Json AttachmentsView(const Vessel& v) {
  Json list = Json::array();
  for (const auto& up : v.attachments) {
    const AttachmentPoint& p = *up;
    Json j;
    j["id"] = ToUtf8(p.id, TextEncoding::Latin1);
    j["index"] = p.index;
    j["toParent"] = p.toParent;
    j["pos"] = Vec(p.pos);
    j["dir"] = Vec(p.dir);
    j["rot"] = Vec(p.rot);
    j["loose"] = p.loose;
    if (p.peer && p.peer->owner)
      j["holds"] = p.peer->owner->name();
    else
      j["holds"] = nullptr;
    list.push_back(std::move(j));
  }
  return list;
}

Json ParentView(const Vessel& v) {
  for (const AttachmentPoint* own : v.Points(true)) {
    const AttachmentPoint* slot = own->peer;
    if (!slot || !slot->owner) continue;
    Json j;
    j["name"] = slot->owner->name();
    j["point"] = slot->index;
    j["pointId"] = ToUtf8(slot->id, TextEncoding::Latin1);
    j["ownPointId"] = ToUtf8(own->id, TextEncoding::Latin1);
    return j;
  }
  return nullptr;
}

Json PhysicsView(const Physics& p) {
  Json j;
  j["size"] = Num(p.size);
  j["emptyMass"] = Num(p.emptyMass);
  j["focusEnabled"] = p.focusEnabled;
  j["touchdown"] = Json::array({Vec(p.touchdown[0]), Vec(p.touchdown[1]), Vec(p.touchdown[2])});
  j["pmi"] = Vec(p.pmi);
  j["crossSections"] = Vec(p.crossSections);
  j["rotDrag"] = Vec(p.rotDrag);
  j["cw"] = Json::array({Num(p.cw[0]), Num(p.cw[1]), Num(p.cw[2]), Num(p.cw[3])});
  j["visLimit"] = Num(p.visLimit);
  j["spotLimit"] = Num(p.spotLimit);
  return j;
}

const char* LightType(LightEmitter::TYPE t) {
  switch (t) {
    case LightEmitter::LT_POINT:
      return "point";
    case LightEmitter::LT_SPOT:
      return "spot";
    default:
      return "none";
  }
}

// The light as the host sees it: reading it through the module's functions would journal
// calls the module never made.
Json LightView(const LightEmitter& l) {
  const LightState s = ViewLight(l);
  Json j;
  j["type"] = LightType(s.type);
  j["active"] = s.active;
  j["intensity"] = Num(s.intensity);
  j["position"] = Vec(s.position);
  j["direction"] = Vec(s.direction);
  if (s.type == LightEmitter::LT_POINT || s.type == LightEmitter::LT_SPOT) {
    j["range"] = Num(s.range);
    j["attenuation"] =
        Json::array({Num(s.attenuation[0]), Num(s.attenuation[1]), Num(s.attenuation[2])});
  } else {
    j["range"] = nullptr;
    j["attenuation"] = nullptr;
  }
  if (s.type == LightEmitter::LT_SPOT) {
    j["umbra"] = Num(s.umbra);
    j["penumbra"] = Num(s.penumbra);
  } else {
    j["umbra"] = nullptr;
    j["penumbra"] = nullptr;
  }
  Json colours;
  colours["diffuse"] = Colour(s.diffuse);
  colours["specular"] = Colour(s.specular);
  colours["ambient"] = Colour(s.ambient);
  j["colours"] = std::move(colours);
  return j;
}

Json BeaconView(const BEACONLIGHTSPEC& b) {
  Json j;
  j["active"] = b.active;
  j["shape"] = b.shape;
  j["size"] = Num(b.size);
  j["pos"] = VecPtr(b.pos);
  j["colour"] = VecPtr(b.col);
  j["falloff"] = Num(b.falloff);
  j["period"] = Num(b.period);
  j["duration"] = Num(b.duration);
  j["tofs"] = Num(b.tofs);
  return j;
}

const char* TransformType(MGROUP_TRANSFORM::TYPE t) {
  switch (t) {
    case MGROUP_TRANSFORM::ROTATE:
      return "rotate";
    case MGROUP_TRANSFORM::TRANSLATE:
      return "translate";
    case MGROUP_TRANSFORM::SCALE:
      return "scale";
    default:
      return "null";
  }
}

int ComponentIndex(const Vessel& v, const AnimationComponent* c) {
  for (std::size_t i = 0; i < v.components.size(); ++i)
    if (v.components[i].get() == c) return static_cast<int>(i);
  return -1;
}

Json ComponentView(const Vessel& v, const AnimationComponent& c) {
  Json j;
  j["index"] = ComponentIndex(v, &c);
  j["state0"] = Num(c.state0);
  j["state1"] = Num(c.state1);
  j["parent"] = c.parent ? Json(ComponentIndex(v, c.parent)) : Json(nullptr);
  if (!c.trans) {
    j["type"] = nullptr;
    return j;
  }
  const MGROUP_TRANSFORM::TYPE type = c.trans->Type();
  j["type"] = TransformType(type);
  j["mesh"] = c.trans->mesh;
  Json groups = Json::array();
  if (c.trans->grp)
    for (std::uint32_t i = 0; i < c.trans->ngrp; ++i) groups.push_back(c.trans->grp[i]);
  j["groups"] = std::move(groups);
  if (type == MGROUP_TRANSFORM::ROTATE) {
    const auto& r = static_cast<const MGROUP_ROTATE&>(*c.trans);
    j["ref"] = Vec(r.ref);
    j["axis"] = Vec(r.axis);
    j["angle"] = Num(r.angle);
  }
  return j;
}

Json AnimationsView(const Vessel& v) {
  Json list = Json::array();
  for (const Animation& a : v.animations) {
    Json j;
    j["state"] = Num(a.state);
    j["initial"] = Num(a.initial);
    Json comps = Json::array();
    for (const AnimationComponent* c : a.components)
      if (c) comps.push_back(ComponentView(v, *c));
    j["components"] = std::move(comps);
    list.push_back(std::move(j));
  }
  return list;
}

const DeviceMesh* VisualMesh(const Vessel& v, std::uint32_t index) {
  if (!v.visual) return nullptr;
  for (const auto& dm : v.visual->meshes)
    if (dm && dm->index == index) return dm.get();
  return nullptr;
}

Json MeshesView(const Vessel& v) {
  Json list = Json::array();
  for (std::size_t mi = 0; mi < v.meshes.size(); ++mi) {
    const MeshSlot& slot = v.meshes[mi];
    const auto index = static_cast<std::uint32_t>(mi);
    Json j;
    j["index"] = index;
    j["name"] = slot.mesh ? Json(slot.mesh->name) : Json(nullptr);
    j["offset"] = Vec(slot.ofs);
    j["visMode"] = slot.visMode;
    Json groups = Json::array();
    Json materials = Json::array();
    if (slot.mesh) {
      const std::vector<Transform> transforms = v.GroupTransforms(index);
      for (std::size_t gi = 0; gi < slot.mesh->groups().size(); ++gi) {
        const MeshGroup& g = slot.mesh->groups()[gi];
        Json gj;
        gj["index"] = gi;
        gj["name"] = g.name;
        gj["material"] = g.material;
        gj["transform"] = gi < transforms.size() ? TransformView(transforms[gi]) : Json(nullptr);
        groups.push_back(std::move(gj));
      }
      const DeviceMesh* dev = VisualMesh(v, index);
      for (std::size_t k = 0; k < slot.mesh->materials.size(); ++k) {
        Json mj;
        mj["index"] = k;
        mj["name"] = k < slot.mesh->materialNames().size() ? Json(slot.mesh->materialNames()[k])
                                                           : Json(nullptr);
        mj["template"] = MaterialView(slot.mesh->materials[k]);
        mj["visual"] =
            dev && k < dev->materials.size() ? MaterialView(dev->materials[k]) : Json(nullptr);
        materials.push_back(std::move(mj));
      }
    }
    j["groups"] = std::move(groups);
    j["materials"] = std::move(materials);
    list.push_back(std::move(j));
  }
  return list;
}

Json InputBoxView(const World& world, const Vessel& v) {
  const InputBox* box = world.OpenBox();
  if (!box || box->opener != v.name()) return nullptr;
  Json j;
  j["title"] = ToUtf8(box->title, TextEncoding::Latin1);
  j["length"] = box->length;
  j["initial"] = ToUtf8(box->initial, TextEncoding::Latin1);
  return j;
}

bool IsPlain(const Json& j) { return !j.is_object() && !j.is_array(); }

std::string Scalar(const Json& j) {
  return j.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
}

void Print(const Json& j, int indent, std::string& out) {
  const std::string pad(static_cast<std::size_t>(indent) + 2, ' ');
  if (j.is_object()) {
    if (j.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (!first) out += ",\n";
      first = false;
      out += pad + Scalar(Json(it.key())) + ": ";
      Print(it.value(), indent + 2, out);
    }
    out += "\n" + std::string(static_cast<std::size_t>(indent), ' ') + "}";
  } else if (j.is_array()) {
    if (j.empty()) {
      out += "[]";
      return;
    }
    bool plain = true;
    for (const auto& e : j) plain = plain && IsPlain(e);
    if (plain) {
      out += "[";
      for (std::size_t i = 0; i < j.size(); ++i) out += (i ? ", " : "") + Scalar(j[i]);
      out += "]";
      return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < j.size(); ++i) {
      if (i) out += ",\n";
      out += pad;
      Print(j[i], indent + 2, out);
    }
    out += "\n" + std::string(static_cast<std::size_t>(indent), ' ') + "]";
  } else {
    out += Scalar(j);
  }
}

}  // namespace

// A zero is shown as 0.0 whatever its sign: a -0.0 that a rotation leaves in a matrix says nothing
// a reader could use.
Json Num(double v) {
  if (!std::isfinite(v)) return NonFinite(v);
  return v == 0 ? 0.0 : v;
}

Json Num(float v) {
  if (!std::isfinite(v)) return NonFinite(v);
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  *res.ptr = '\0';
  return Num(std::strtod(buf, nullptr));
}

Json VesselView(const World& world, const Vessel& v) { return VesselView(world, v, v.WorldPose()); }

Json VesselView(const World& world, const Vessel& v, const Transform& pose) {
  Json j;
  j["name"] = v.name();
  j["class"] = v.className();
  // True for module objects with callbacks (interface versions 2 and 3); config-only vessels
  // are run by the host alone.
  j["module"] = v.callbacks2() != nullptr;
  j["focus"] = world.Focus() == &v;
  j["attachments"] = AttachmentsView(v);
  j["parent"] = ParentView(v);
  Json pj;
  pj["position"] = Vec(pose.t);
  pj["rotation"] = TransformView(pose)["rotation"];
  j["pose"] = std::move(pj);
  j["physics"] = PhysicsView(v.physics);
  Json lights = Json::array();
  for (const LightEmitter* l : v.lights)
    if (l) lights.push_back(LightView(*l));
  j["lights"] = std::move(lights);
  Json beacons = Json::array();
  for (const BEACONLIGHTSPEC* b : v.beacons)
    if (b) beacons.push_back(BeaconView(*b));
  j["beacons"] = std::move(beacons);
  j["animations"] = AnimationsView(v);
  j["visual"] = v.visual != nullptr;
  j["meshes"] = MeshesView(v);
  j["inputBox"] = InputBoxView(world, v);
  Json kept = Json::array();
  for (const std::string_view line : v.keptLines) kept.push_back(std::string(line));
  j["keptLines"] = std::move(kept);
  return j;
}

std::string PrettyJson(const Json& j) {
  std::string out;
  Print(j, 0, out);
  return out;
}

void JsonArrayWriter::Add(const Json& element) {
  if (IsPlain(element))
    throw std::invalid_argument("JsonArrayWriter: an element that prints on one line");
  std::string text = count_++ == 0 ? "[\n  " : ",\n  ";
  Print(element, 2, text);
  out_ << text;
}

void JsonArrayWriter::Close() { out_ << (count_ == 0 ? "[]" : "\n]"); }

void WriteWorldView(const World& world, std::ostream& out) {
  // Vessel by vessel: the whole view of a large world would take many times its memory. The
  // poses come from one table, each chain composed once.
  const std::vector<Vessel*> vessels = world.Vessels();
  const Poses poses = WorldPoses(vessels);
  JsonArrayWriter array(out);
  for (const Vessel* v : vessels) {
    array.Add(VesselView(world, *v, poses.at(v)));
    if (!out) return;
  }
  array.Close();
  out << "\n";
}

}  // namespace hostsim::cli
