// The latest host calls and callbacks of a world, kept raw for a fault's report. Every call is
// written into the next slot of a fixed ring as plain pieces (call_args.h): which call, on
// which vessel, its numbers, handles and short copies of its texts. Nothing is formatted and
// nothing allocated while the modules run; the text is made only when a report asks, with the
// same forms the journal uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hostsim/journal.h"
#include "hostsim/runtime/call_args.h"

namespace hostsim {

// One call as it was made, in pieces.
struct RawCall {
  static constexpr std::size_t kPieces = 40;      // pieces of the arguments kept
  static constexpr std::size_t kTextBytes = 160;  // bytes of texts kept

  struct Piece {
    enum class Type : std::uint8_t {
      Double,
      Float,
      Signed,
      Unsigned,
      Literal,
      Quoted,
      Hex,
      Handle
    };
    Type type;
    HandleKind handle;        // Handle
    std::uint8_t digits;      // Hex
    bool textCut;             // Quoted: only the start of the text was kept
    std::uint16_t textAt;     // Quoted: where its bytes start in `text`
    std::uint16_t textBytes;  // Quoted: how many were kept
    union {
      double d;
      float f;
      long long i;
      unsigned long long u;
      const char* literal;
      const void* pointer;
    };
  };

  Journal::Kind kind = Journal::Kind::Call;
  const char* call = "";     // a text that outlives the world
  std::uint64_t births = 0;  // the world's handleBirths then: what its handles could name
  OBJHANDLE self = nullptr;  // the vessel it was made on or for, if any
  bool cut = false;          // the pieces ran out: the arguments end with "..."
  std::uint16_t textUsed = 0;
  std::uint8_t pieceCount = 0;
  std::array<Piece, kPieces> pieces;
  Piece spare;  // takes what comes once the pieces are used up
  std::array<char, kTextBytes> text;

  // The writer of call_args.h that fills the call's pieces.
  struct Writer {
    RawCall& c;
    void Double(double v) { Add(Piece::Type::Double).d = v; }
    void Float(float v) { Add(Piece::Type::Float).f = v; }
    void Signed(long long v) { Add(Piece::Type::Signed).i = v; }
    void Unsigned(unsigned long long v) { Add(Piece::Type::Unsigned).u = v; }
    void Literal(const char* piece) {
      if (*piece != '\0') Add(Piece::Type::Literal).literal = piece;
    }
    void Quoted(std::string_view bytes);
    void Hex(std::uint32_t value, int digits) {
      Piece& p = Add(Piece::Type::Hex);
      p.u = value;
      p.digits = static_cast<std::uint8_t>(digits);
    }
    void Handle(HandleKind handleKind, const void* handle) {
      Piece& p = Add(Piece::Type::Handle);
      p.handle = handleKind;
      p.pointer = handle;
    }

   private:
    // The next piece, or the spare one once the call's pieces are used up.
    Piece& Add(Piece::Type type) {
      if (c.pieceCount == kPieces) {
        c.cut = true;
        return c.spare;
      }
      Piece& p = c.pieces[c.pieceCount++];
      p.type = type;
      return p;
    }
  };

  // Starts the call over: its kind, its name, its vessel's handle (null for none) and the
  // count of objects made whose handles are addresses.
  void Begin(Journal::Kind k, const char* name, OBJHANDLE vessel, std::uint64_t born) {
    kind = k;
    call = name;
    births = born;
    self = vessel;
    textUsed = 0;
    pieceCount = 0;
    cut = false;
  }
};

// The ring: the latest kSize calls.
class CallRing {
 public:
  static constexpr std::size_t kSize = 32;

  // The slot for the next call, begun as RawCall::Begin; it replaces the oldest.
  RawCall& Next(Journal::Kind kind, const char* call, OBJHANDLE self, std::uint64_t births) {
    RawCall& c = calls_[written_ % kSize];
    ++written_;
    c.Begin(kind, call, self, births);
    return c;
  }
  // The call written `back` calls before the latest (0: the latest); only for back < Held().
  const RawCall& Back(std::size_t back) const { return calls_[(written_ - 1 - back) % kSize]; }
  // How many calls the ring holds.
  std::size_t Held() const { return written_ < kSize ? static_cast<std::size_t>(written_) : kSize; }

 private:
  std::array<RawCall, kSize> calls_{};
  std::uint64_t written_ = 0;
};

}  // namespace hostsim
