// HUD drawing: a Sketchpad that records what a module draws, and the default displays.
#include "hostsim/runtime/call.h"

namespace hostsim {

namespace {

constexpr int kCharHeight = 16;

}  // namespace

HudRecorder::HudRecorder(World& world, const Vessel& vessel, std::vector<HudOp>& ops)
    : world_(world), vessel_(vessel), ops_(ops) {}

HudRecorder::~HudRecorder() { ops_.resize(used_); }

template <class... Args>
void HudRecorder::Note(const char* call, const Args&... args) const {
  Record(*world_.impl_, Journal::Kind::Call, &vessel_, call, args...);
}

HudOp& HudRecorder::Add(HudOp::Kind kind) {
  if (used_ == ops_.size()) ops_.emplace_back();
  HudOp& op = ops_[used_++];
  op.kind = kind;
  op.x = op.y = op.x1 = op.y1 = 0;
  op.colour = 0;
  op.text.clear();  // keeps its storage for the text written into it
  return op;
}

std::uint32_t HudRecorder::SetTextColor(std::uint32_t col) {
  Note("Sketchpad::SetTextColor", HexColour{col});
  Add(HudOp::Kind::TextColour).colour = col;
  const std::uint32_t old = text_;
  text_ = col;
  return old;
}

std::uint32_t HudRecorder::SetBackgroundColor(std::uint32_t col) {
  Note("Sketchpad::SetBackgroundColor", HexColour{col});
  Add(HudOp::Kind::BackgroundColour).colour = col;
  const std::uint32_t old = background_;
  background_ = col;
  return old;
}

bool HudRecorder::Text(int x, int y, const char* str, int len) {
  Note("Sketchpad::Text", x, y, Bytes{str, len}, len);
  if (str == nullptr || len < 0) return false;
  HudOp& op = Add(HudOp::Kind::Text);
  op.x = x;
  op.y = y;
  op.colour = text_;
  op.text.assign(str, static_cast<std::size_t>(len));
  return true;
}

bool HudRecorder::Line(int x0, int y0, int x1, int y1) {
  Note("Sketchpad::Line", x0, y0, x1, y1);
  HudOp& op = Add(HudOp::Kind::Line);
  op.x = x0;
  op.y = y0;
  op.x1 = x1;
  op.y1 = y1;
  return true;
}

int HudRecorder::GetCharHeight() const {
  Note("Sketchpad::GetCharHeight");
  return kCharHeight;
}

std::vector<HudOp> World::DrawHUD(Vessel& v, int W, int H) {
  std::vector<HudOp> ops;
  DrawHUD(v, W, H, ops);
  return ops;
}

void World::DrawHUD(Vessel& v, int W, int H, std::vector<HudOp>& ops) {
  VESSEL3* cb = impl_->Find(v.handle()) == &v ? Of(v).cb3 : nullptr;
  if (cb == nullptr) {  // only the Sketchpad form of the callback is drawn here
    ops.clear();
    return;
  }
  ScopedCurrent current(impl_.get());
  HUDPAINTSPEC hps{};
  hps.W = W;
  hps.H = H;
  hps.CX = W / 2;
  hps.CY = H / 2;
  // A 40-degree vertical field of view fills the HUD height.
  hps.Scale = static_cast<double>(H) / 40.0;
  hps.Markersize = H / 50;
  HudRecorder skp(*this, v, ops);
  const int mode = 1;
  Callback in(*impl_, &v, "clbkDrawHUD", mode, &hps, static_cast<zapi::Sketchpad*>(&skp));
  in.Run([&] { cb->clbkDrawHUD(mode, &hps, &skp); });
}

bool World::DefNavDisplay() const { return impl_->defNav; }
bool World::DefRCSDisplay() const { return impl_->defRCS; }

}  // namespace hostsim

using namespace hostsim;

void zapiSetDefNavDisplay(int mode) {
  if (World::Impl* w = HostCall("zapiSetDefNavDisplay", mode)) w->defNav = mode != 0;
}

void zapiSetDefRCSDisplay(int mode) {
  if (World::Impl* w = HostCall("zapiSetDefRCSDisplay", mode)) w->defRCS = mode != 0;
}
