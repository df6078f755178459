// HUD drawing: a Sketchpad that records what a module draws, and the default displays.
#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

// Records every drawing operation of one HUD frame into a list whose storage outlives the
// frame: each operation overwrites the entry of the same place from the frame before, so a
// host that draws every frame into the same list copies the texts into strings that already
// have the room and allocates nothing once the list has grown.
class RecordingSketchpad final : public zapi::Sketchpad {
 public:
  RecordingSketchpad(World::Impl& w, const Vessel& v, std::vector<HudOp>& ops)
      : w_(w), v_(v), ops_(ops) {}
  RecordingSketchpad(const RecordingSketchpad&) = delete;
  RecordingSketchpad& operator=(const RecordingSketchpad&) = delete;
  // Drops the entries this frame did not reach.
  ~RecordingSketchpad() { ops_.resize(used_); }

  std::uint32_t SetTextColor(std::uint32_t col) override {
    Trace(&w_, &v_, "Sketchpad::SetTextColor", HexColour{col});
    HudOp& op = Next(HudOp::Kind::TextColour);
    op.colour = col;
    std::uint32_t old = text_;
    text_ = col;
    return old;
  }

  std::uint32_t SetBackgroundColor(std::uint32_t col) override {
    Trace(&w_, &v_, "Sketchpad::SetBackgroundColor", HexColour{col});
    HudOp& op = Next(HudOp::Kind::BackgroundColour);
    op.colour = col;
    std::uint32_t old = background_;
    background_ = col;
    return old;
  }

  bool Text(int x, int y, const char* str, int len) override {
    Trace(&w_, &v_, "Sketchpad::Text", x, y, Bytes{str, len}, len);
    if (str == nullptr || len < 0) return false;
    HudOp& op = Next(HudOp::Kind::Text);
    op.x = x;
    op.y = y;
    op.colour = text_;
    op.text.assign(str, static_cast<std::size_t>(len));
    return true;
  }

  bool Line(int x0, int y0, int x1, int y1) override {
    Trace(&w_, &v_, "Sketchpad::Line", x0, y0, x1, y1);
    HudOp& op = Next(HudOp::Kind::Line);
    op.x = x0;
    op.y = y0;
    op.x1 = x1;
    op.y1 = y1;
    return true;
  }

  int GetCharHeight() const override {
    Trace(&w_, &v_, "Sketchpad::GetCharHeight");
    return kCharHeight;
  }

 private:
  static constexpr int kCharHeight = 16;

  // The next entry, reset to a fresh operation of that kind (its text keeps its storage).
  HudOp& Next(HudOp::Kind kind) {
    if (used_ == ops_.size()) ops_.emplace_back();
    HudOp& op = ops_[used_++];
    op.kind = kind;
    op.x = op.y = op.x1 = op.y1 = 0;
    op.colour = 0;
    op.text.clear();
    return op;
  }

  World::Impl& w_;
  const Vessel& v_;
  std::vector<HudOp>& ops_;
  std::size_t used_ = 0;
  std::uint32_t text_ = 0xFFFFFF;
  std::uint32_t background_ = 0;
};

}  // namespace

std::vector<HudOp> World::DrawHUD(Vessel& v, int W, int H) {
  std::vector<HudOp> ops;
  DrawHUD(v, W, H, ops);
  return ops;
}

void World::DrawHUD(Vessel& v, int W, int H, std::vector<HudOp>& ops) {
  if (impl_->Find(v.handle()) != &v || Of(v).cb3 == nullptr) {
    ops.clear();
    return;
  }
  VESSEL3* cb = Of(v).cb3;  // only the Sketchpad form of the callback is drawn here
  ScopedCurrent current(*this);
  HUDPAINTSPEC hps{};
  hps.W = W;
  hps.H = H;
  hps.CX = W / 2;
  hps.CY = H / 2;
  // A 40-degree vertical field of view fills the HUD height.
  hps.Scale = static_cast<double>(H) / 40.0;
  hps.Markersize = H / 50;
  RecordingSketchpad skp(*impl_, v, ops);
  const int mode = 1;
  TraceCallback(*impl_, v, "clbkDrawHUD", mode, &hps, static_cast<zapi::Sketchpad*>(&skp));
  InCallback in(*impl_, &v);
  cb->clbkDrawHUD(mode, &hps, &skp);
}

bool World::DefNavDisplay() const { return impl_->defNav; }
bool World::DefRCSDisplay() const { return impl_->defRCS; }

}  // namespace hostsim

using namespace hostsim;

void zapiSetDefNavDisplay(int mode) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiSetDefNavDisplay", mode);
  if (w != nullptr) w->defNav = mode != 0;
}

void zapiSetDefRCSDisplay(int mode) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiSetDefRCSDisplay", mode);
  if (w != nullptr) w->defRCS = mode != 0;
}
