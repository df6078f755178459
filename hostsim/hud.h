// hostsim: the HUD as the host records it: the operations a module's drawing made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/sketchpad.h"

namespace hostsim {

class Vessel;
class World;

// What the host recorded of one HUD frame.
struct HudOp {
  enum class Kind { TextColour, BackgroundColour, Text, Line } kind;
  int x = 0, y = 0, x1 = 0, y1 = 0;
  std::uint32_t colour = 0;
  std::string text;  // exact bytes for Text
};

// The host's recording Sketchpad. What a module draws on it goes into a list of HudOp, one
// entry per operation in call order; the list is whole once the recorder has gone. The list
// passed in is drawn over from its first entry on, reusing its entries and their texts'
// storage (a list drawn into every frame allocates nothing once it has grown). Every call is
// journalled like a host call while the journal is on. World::DrawHUD draws with one; so may
// a host that calls a module's clbkDrawHUD itself.
class HudRecorder final : public zapi::Sketchpad {
 public:
  // Draws `vessel`'s frame into `ops`, journalling into `world`; both must outlive it.
  HudRecorder(World& world, const Vessel& vessel, std::vector<HudOp>& ops);
  // Cuts `ops` to the entries this frame drew.
  ~HudRecorder() override;
  HudRecorder(const HudRecorder&) = delete;
  HudRecorder& operator=(const HudRecorder&) = delete;

  // Records a text colour change; returns the colour it replaces.
  std::uint32_t SetTextColor(std::uint32_t col) override;
  // Records a background colour change; returns the colour it replaces.
  std::uint32_t SetBackgroundColor(std::uint32_t col) override;
  // Records `len` bytes of `str` at (x, y); false, recording nothing, for a null text or a
  // negative length.
  bool Text(int x, int y, const char* str, int len) override;
  // Records a line from (x0, y0) to (x1, y1); always true.
  bool Line(int x0, int y0, int x1, int y1) override;
  // The height of a line of text, in pixels.
  int GetCharHeight() const override;

 private:
  // The next entry of the list, as a fresh operation of that kind.
  HudOp& Add(HudOp::Kind kind);
  template <class... Args>
  void Note(const char* call, const Args&... args) const;  // journals the call

  World& world_;
  const Vessel& vessel_;
  std::vector<HudOp>& ops_;
  std::size_t used_ = 0;  // entries of this frame
  std::uint32_t text_ = 0xFFFFFF;
  std::uint32_t background_ = 0;
};

}  // namespace hostsim
