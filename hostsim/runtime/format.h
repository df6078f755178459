// Text forms of values, as the journal and the scenario files write them: doubles %.17g,
// floats %.9g, vectors "(x, y, z)", texts quoted with non-printable bytes as \xNN. Plain
// functions of values, free of any world (the journal's forms of handles, which name what a
// handle stands for, are the world's: see call.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

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

std::string FormatDouble(double v);  // %.17g
// The shortest text that reads back as the same double ("0.97", not "0.96999999999999997"),
// as scenario files write numbers: exact, and the same again on the next round trip. Zero is
// "0" whatever its sign.
std::string ShortestDouble(double v);
void AppendNumber(std::string& out, double v);
void AppendFloat(std::string& out, float v);
void AppendQuoted(std::string& out, std::string_view text);
std::string Quote(std::string_view text);

void AppendValue(std::string& out, double v);
void AppendValue(std::string& out, float v);
void AppendValue(std::string& out, int v);
void AppendValue(std::string& out, unsigned v);
void AppendValue(std::string& out, unsigned short v);
void AppendValue(std::string& out, unsigned long v);
void AppendValue(std::string& out, bool v);
void AppendValue(std::string& out, const char* v);
void AppendValue(std::string& out, const std::string& v);
void AppendValue(std::string& out, Bytes v);
void AppendValue(std::string& out, Raw v);
void AppendValue(std::string& out, HexColour v);
void AppendValue(std::string& out, const VECTOR3& v);
void AppendValue(std::string& out, const VECTOR3* v);
void AppendValue(std::string& out, COLOUR4 v);
void AppendValue(std::string& out, const MATERIAL* v);
void AppendValue(std::string& out, const BEACONLIGHTSPEC* v);
void AppendValue(std::string& out, const MGROUP_TRANSFORM* v);
void AppendValue(std::string& out, const HUDPAINTSPEC* v);
void AppendValue(std::string& out, InputCallback v);
void AppendValue(std::string& out, SURFHANDLE v);
void AppendValue(std::string& out, PANELHANDLE v);
void AppendValue(std::string& out, zapi::Sketchpad* v);
void AppendValue(std::string& out, const void* v);

}  // namespace hostsim
