// How the journal shows a host call's arguments. Every value is told to a writer as a few
// pieces: numbers, texts, punctuation and handles. The journal's writer turns the pieces into
// text at once; the ring of the latest calls keeps them raw and turns them into the same text
// only when a report asks (call_ring.h). So the form of each value is written down once: plain
// values in call_arg_values.h, the host interface's structures in call_arg_structs.h.
//
// A writer W has: Double(double) (%.17g), Float(float) (%.9g), Signed(long long),
// Unsigned(unsigned long long), Literal(const char*) (text that outlives the world),
// Quoted(std::string_view) (a text, shown quoted with non-printable bytes as \xNN),
// Hex(std::uint32_t value, int digits) ("0x" and that many upper-case digits) and
// Handle(HandleKind, const void*) (what the handle names in the world).
#pragma once

#include "hostsim/runtime/call_arg_structs.h"
#include "hostsim/runtime/call_arg_values.h"

namespace hostsim {

// The arguments of a call: ", " between them.
template <class W, class... Args>
void PutArgs(W& w, const Args&... args) {
  [[maybe_unused]] const char* separator = "";
  ((w.Literal(separator), Put(w, args), separator = ", "), ...);
}

}  // namespace hostsim
