// Text forms of values, as the journal and the scenario files write them: doubles %.17g,
// floats %.9g, texts quoted with non-printable bytes as \xNN. Plain functions of values, free
// of any world (how the journal puts a call's arguments together is call_args.h's; the forms of
// handles, which name what a handle stands for, are the world's: see call.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

namespace hostsim {

std::string FormatDouble(double v);  // %.17g
// The shortest text that reads back as the same double ("0.97", not "0.96999999999999997"),
// as scenario files write numbers: exact, and the same again on the next round trip. Zero is
// "0" whatever its sign.
std::string ShortestDouble(double v);
void AppendNumber(std::string& out, double v);
void AppendFloat(std::string& out, float v);
void AppendQuoted(std::string& out, std::string_view text);
std::string Quote(std::string_view text);

// "0x" and `digits` upper-case hex digits of `value`.
void AppendHex(std::string& out, std::uint32_t value, int digits);

}  // namespace hostsim
