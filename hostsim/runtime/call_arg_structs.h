// How the journal shows the host interface's structures handed to a call: vectors, colours,
// materials, beacons, animation transforms and HUD paint specifications, field by field
// (call_args.h says how a writer takes them).
#pragma once

#include <cstdint>

#include "host/host.h"

namespace hostsim {

template <class W>
void Put(W& w, const VECTOR3& v) {
  w.Literal("(");
  w.Double(v.x);
  w.Literal(", ");
  w.Double(v.y);
  w.Literal(", ");
  w.Double(v.z);
  w.Literal(")");
}
template <class W>
void Put(W& w, const VECTOR3* v) {
  if (v == nullptr)
    w.Literal("null");
  else
    Put(w, *v);
}
template <class W>
void Put(W& w, COLOUR4 v) {
  w.Literal("(");
  w.Float(v.r);
  w.Literal(", ");
  w.Float(v.g);
  w.Literal(", ");
  w.Float(v.b);
  w.Literal(", ");
  w.Float(v.a);
  w.Literal(")");
}
template <class W>
void Put(W& w, const MATERIAL* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{diffuse ");
  Put(w, v->diffuse);
  w.Literal(", ambient ");
  Put(w, v->ambient);
  w.Literal(", specular ");
  Put(w, v->specular);
  w.Literal(", emissive ");
  Put(w, v->emissive);
  w.Literal(", power ");
  w.Float(v->power);
  w.Literal("}");
}
template <class W>
void Put(W& w, const BEACONLIGHTSPEC* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{shape ");
  w.Signed(v->shape);
  w.Literal(", pos ");
  Put(w, v->pos);
  w.Literal(", col ");
  Put(w, v->col);
  w.Literal(", size ");
  w.Double(v->size);
  w.Literal(", falloff ");
  w.Double(v->falloff);
  w.Literal(", period ");
  w.Double(v->period);
  w.Literal(", duration ");
  w.Double(v->duration);
  w.Literal(", tofs ");
  w.Double(v->tofs);
  w.Literal(v->active ? ", active true}" : ", active false}");
}
template <class W>
void Put(W& w, const MGROUP_TRANSFORM* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  const auto* rot = dynamic_cast<const MGROUP_ROTATE*>(v);
  if (rot != nullptr) {
    w.Literal("ROTATE{mesh ");
  } else {
    w.Literal("TRANSFORM{type ");
    w.Signed(v->Type());
    w.Literal(", mesh ");
  }
  w.Unsigned(v->mesh);
  w.Literal(", groups [");
  if (v->grp != nullptr) {
    for (std::uint32_t i = 0; i < v->ngrp; ++i) {
      if (i > 0) w.Literal(", ");
      w.Unsigned(v->grp[i]);
    }
  } else {
    w.Literal("null");
  }
  w.Literal("]");
  if (rot != nullptr) {
    w.Literal(", ref ");
    Put(w, rot->ref);
    w.Literal(", axis ");
    Put(w, rot->axis);
    w.Literal(", angle ");
    w.Float(rot->angle);
  }
  w.Literal("}");
}
template <class W>
void Put(W& w, const HUDPAINTSPEC* v) {
  if (v == nullptr) {
    w.Literal("null");
    return;
  }
  w.Literal("{W ");
  w.Signed(v->W);
  w.Literal(", H ");
  w.Signed(v->H);
  w.Literal(", CX ");
  w.Signed(v->CX);
  w.Literal(", CY ");
  w.Signed(v->CY);
  w.Literal(", Scale ");
  w.Double(v->Scale);
  w.Literal(", Markersize ");
  w.Signed(v->Markersize);
  w.Literal("}");
}
}  // namespace hostsim
