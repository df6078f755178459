// Text forms of values.
#include "hostsim/runtime/format.h"

#include <charconv>
#include <cstdio>

namespace hostsim {

std::string FormatDouble(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string ShortestDouble(double v) {
  // A negative zero (a turn that ends at -0, a position -0 after a move) reads back as zero:
  // writing it as "-0" would only put a stray sign into the file.
  if (v == 0) v = 0;
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

void AppendNumber(std::string& out, double v) { out += FormatDouble(v); }

void AppendFloat(std::string& out, float v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  out += buf;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  out += '"';
}

std::string Quote(std::string_view text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

void AppendValue(std::string& out, double v) { AppendNumber(out, v); }
void AppendValue(std::string& out, float v) { AppendFloat(out, v); }
void AppendValue(std::string& out, int v) { out += std::to_string(v); }
void AppendValue(std::string& out, unsigned v) { out += std::to_string(v); }
void AppendValue(std::string& out, unsigned short v) { out += std::to_string(v); }
void AppendValue(std::string& out, unsigned long v) { out += std::to_string(v); }
void AppendValue(std::string& out, bool v) { out += v ? "true" : "false"; }

void AppendValue(std::string& out, const char* v) {
  if (v == nullptr)
    out += "null";
  else
    AppendQuoted(out, v);
}

void AppendValue(std::string& out, const std::string& v) { AppendQuoted(out, v); }

void AppendValue(std::string& out, Bytes v) {
  if (v.data == nullptr)
    out += "null";
  else if (v.length < 0)
    out += "<negative length>";
  else
    AppendQuoted(out, std::string_view(v.data, static_cast<std::size_t>(v.length)));
}

void AppendValue(std::string& out, Raw v) { out += v.text; }

void AppendValue(std::string& out, HexColour v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", v.value);
  out += buf;
}

void AppendValue(std::string& out, const VECTOR3& v) {
  out += '(';
  AppendNumber(out, v.x);
  out += ", ";
  AppendNumber(out, v.y);
  out += ", ";
  AppendNumber(out, v.z);
  out += ')';
}

void AppendValue(std::string& out, const VECTOR3* v) {
  if (v == nullptr)
    out += "null";
  else
    AppendValue(out, *v);
}

void AppendValue(std::string& out, COLOUR4 v) {
  out += '(';
  AppendFloat(out, v.r);
  out += ", ";
  AppendFloat(out, v.g);
  out += ", ";
  AppendFloat(out, v.b);
  out += ", ";
  AppendFloat(out, v.a);
  out += ')';
}

void AppendValue(std::string& out, const MATERIAL* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{diffuse ";
  AppendValue(out, v->diffuse);
  out += ", ambient ";
  AppendValue(out, v->ambient);
  out += ", specular ";
  AppendValue(out, v->specular);
  out += ", emissive ";
  AppendValue(out, v->emissive);
  out += ", power ";
  AppendFloat(out, v->power);
  out += '}';
}

void AppendValue(std::string& out, const BEACONLIGHTSPEC* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{shape " + std::to_string(v->shape) + ", pos ";
  AppendValue(out, v->pos);
  out += ", col ";
  AppendValue(out, v->col);
  out += ", size ";
  AppendNumber(out, v->size);
  out += ", falloff ";
  AppendNumber(out, v->falloff);
  out += ", period ";
  AppendNumber(out, v->period);
  out += ", duration ";
  AppendNumber(out, v->duration);
  out += ", tofs ";
  AppendNumber(out, v->tofs);
  out += v->active ? ", active true}" : ", active false}";
}

void AppendValue(std::string& out, const MGROUP_TRANSFORM* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  auto* rot = dynamic_cast<const MGROUP_ROTATE*>(v);
  out +=
      rot != nullptr ? "ROTATE{mesh " : "TRANSFORM{type " + std::to_string(v->Type()) + ", mesh ";
  out += std::to_string(v->mesh) + ", groups [";
  if (v->grp != nullptr) {
    for (std::uint32_t i = 0; i < v->ngrp; ++i) {
      if (i > 0) out += ", ";
      out += std::to_string(v->grp[i]);
    }
  } else {
    out += "null";
  }
  out += ']';
  if (rot != nullptr) {
    out += ", ref ";
    AppendValue(out, rot->ref);
    out += ", axis ";
    AppendValue(out, rot->axis);
    out += ", angle ";
    AppendFloat(out, rot->angle);
  }
  out += '}';
}

void AppendValue(std::string& out, const HUDPAINTSPEC* v) {
  if (v == nullptr) {
    out += "null";
    return;
  }
  out += "{W " + std::to_string(v->W) + ", H " + std::to_string(v->H) + ", CX " +
         std::to_string(v->CX) + ", CY " + std::to_string(v->CY) + ", Scale ";
  AppendNumber(out, v->Scale);
  out += ", Markersize " + std::to_string(v->Markersize) + "}";
}

void AppendValue(std::string& out, InputCallback v) { out += v != nullptr ? "<callback>" : "null"; }
void AppendValue(std::string& out, SURFHANDLE v) { out += v ? "<surface>" : "null"; }
void AppendValue(std::string& out, PANELHANDLE v) { out += v ? "<panel>" : "null"; }
void AppendValue(std::string& out, zapi::Sketchpad* v) { out += v ? "<sketchpad>" : "null"; }
void AppendValue(std::string& out, const void* v) { out += v ? "<data>" : "null"; }

}  // namespace hostsim
