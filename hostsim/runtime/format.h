// Text forms of the values in journal entries: doubles %.17g, floats %.9g, vectors
// "(x, y, z)", texts quoted with non-printable bytes as \xNN, handles by what they name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hostsim/world.h"

namespace hostsim {

// A text of a given length (not zero-terminated), shown quoted.
struct Bytes {
  const char* data;
  int length;
};

// A packed 0x00BBGGRR colour, shown as 0x and six hex digits (blue, green, red).
struct HexColour {
  std::uint32_t value;
};

// Preformatted text, appended as it is.
struct Raw {
  std::string_view text;
};

void AppendNumber(std::string& out, double v);
void AppendFloat(std::string& out, float v);
void AppendQuoted(std::string& out, std::string_view text);
std::string FormatDouble(double v);  // %.17g

void AppendArg(World::Impl& w, std::string& out, double v);
void AppendArg(World::Impl& w, std::string& out, float v);
void AppendArg(World::Impl& w, std::string& out, int v);
void AppendArg(World::Impl& w, std::string& out, unsigned v);
void AppendArg(World::Impl& w, std::string& out, unsigned short v);
void AppendArg(World::Impl& w, std::string& out, unsigned long v);
void AppendArg(World::Impl& w, std::string& out, bool v);
void AppendArg(World::Impl& w, std::string& out, const char* v);
void AppendArg(World::Impl& w, std::string& out, char* v);
void AppendArg(World::Impl& w, std::string& out, const std::string& v);
void AppendArg(World::Impl& w, std::string& out, Bytes v);
void AppendArg(World::Impl& w, std::string& out, Raw v);
void AppendArg(World::Impl& w, std::string& out, HexColour v);
void AppendArg(World::Impl& w, std::string& out, const VECTOR3& v);
void AppendArg(World::Impl& w, std::string& out, const VECTOR3* v);
void AppendArg(World::Impl& w, std::string& out, COLOUR4 v);
void AppendArg(World::Impl& w, std::string& out, OBJHANDLE v);
void AppendArg(World::Impl& w, std::string& out, ATTACHMENTHANDLE v);
void AppendArg(World::Impl& w, std::string& out, MESHHANDLE v);
void AppendArg(World::Impl& w, std::string& out, DEVMESHHANDLE v);
void AppendArg(World::Impl& w, std::string& out, VISHANDLE v);
void AppendArg(World::Impl& w, std::string& out, FILEHANDLE v);
void AppendArg(World::Impl& w, std::string& out, ANIMATIONCOMPONENT_HANDLE v);
void AppendArg(World::Impl& w, std::string& out, MODULEHANDLE v);
void AppendArg(World::Impl& w, std::string& out, SURFHANDLE v);
void AppendArg(World::Impl& w, std::string& out, PANELHANDLE v);
void AppendArg(World::Impl& w, std::string& out, const MATERIAL* v);
void AppendArg(World::Impl& w, std::string& out, MATERIAL* v);
void AppendArg(World::Impl& w, std::string& out, const BEACONLIGHTSPEC* v);
void AppendArg(World::Impl& w, std::string& out, BEACONLIGHTSPEC* v);
void AppendArg(World::Impl& w, std::string& out, const MGROUP_TRANSFORM* v);
void AppendArg(World::Impl& w, std::string& out, MGROUP_TRANSFORM* v);
void AppendArg(World::Impl& w, std::string& out, const HUDPAINTSPEC* v);
void AppendArg(World::Impl& w, std::string& out, InputCallback v);
void AppendArg(World::Impl& w, std::string& out, const void* v);
void AppendArg(World::Impl& w, std::string& out, void* v);
void AppendArg(World::Impl& w, std::string& out, zapi::Sketchpad* v);

inline void FormatArgs(World::Impl&, std::string&) {}

template <class First, class... Rest>
void FormatArgs(World::Impl& w, std::string& out, const First& first, const Rest&... rest) {
  AppendArg(w, out, first);
  ((out += ", ", AppendArg(w, out, rest)), ...);
}

}  // namespace hostsim
