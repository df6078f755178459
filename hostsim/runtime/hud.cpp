// HUD drawing: a Sketchpad that records what a module draws, and the default displays.
#include <cstdint>
#include <cstring>

#include "hostsim/runtime/internal.h"

namespace hostsim {

namespace {

constexpr int kCharHeight = 16;

bool SetText(std::string& text, const char* str, std::size_t n) {
  text.assign(str, n);
  return true;
}

}  // namespace

// The operations keep to few instructions on a warm list: what is seldom needed (a longer
// list, a text of another length, the journal, an order of calls other than colour then text)
// is out of line, and the two a HUD frame calls most need no stack frame. Most HUDs set the
// colour before every text: the colour waits (it is the current text colour) and is written
// into the list together with the text that follows it, which saves a second pass over the
// list's bookkeeping; any other operation, or the recorder's end, writes it first.
HudRecorder::HudRecorder(World& world, const Vessel& vessel, std::vector<HudOp>& ops)
    : world_(world),
      vessel_(vessel),
      state_(world.impl_->journal.Enabled() ? State::Journalled : State::Ready),
      ops_(ops),
      next_(ops.data()),
      end_(ops.data() + ops.size()) {}

HudRecorder::~HudRecorder() {
  if (state_ == State::ColourWaiting || next_ != end_) [[unlikely]]
    Finish();
}

std::uint32_t HudRecorder::SetTextColor(std::uint32_t col) {
  if (state_ != State::Ready) [[unlikely]]
    return SlowTextColor(col);
  state_ = State::ColourWaiting;
  const std::uint32_t old = text_;
  text_ = col;
  return old;
}

std::uint32_t HudRecorder::SetBackgroundColor(std::uint32_t col) {
  Flush();
  Trace(world_.impl_.get(), &vessel_, "Sketchpad::SetBackgroundColor", HexColour{col});
  Next(HudOp::Kind::BackgroundColour).colour = col;
  std::uint32_t old = background_;
  background_ = col;
  return old;
}

// The waiting colour and this text, into two entries that held a colour and a text of this
// length the frame before.
bool HudRecorder::Text(int x, int y, const char* str, int len) {
  HudOp* op = next_;
  const auto n = static_cast<std::size_t>(len);
  if (state_ != State::ColourWaiting || end_ - op < 2 || str == nullptr || len < 8 ||
      !op[0].text.empty() || op[1].text.size() != n) [[unlikely]]
    return SlowText(x, y, str, len);
  state_ = State::Ready;
  next_ = op + 2;
  op[0].kind = HudOp::Kind::TextColour;
  op[0].x = op[0].y = op[0].x1 = op[0].y1 = 0;
  op[0].colour = text_;
  op[1].kind = HudOp::Kind::Text;
  op[1].x = x;
  op[1].y = y;
  op[1].x1 = op[1].y1 = 0;
  op[1].colour = text_;
  std::memcpy(op[1].text.data(), str, n);
  return true;
}

bool HudRecorder::Line(int x0, int y0, int x1, int y1) {
  Flush();
  Trace(world_.impl_.get(), &vessel_, "Sketchpad::Line", x0, y0, x1, y1);
  HudOp& op = Next(HudOp::Kind::Line);
  op.x = x0;
  op.y = y0;
  op.x1 = x1;
  op.y1 = y1;
  return true;
}

int HudRecorder::GetCharHeight() const {
  Trace(world_.impl_.get(), &vessel_, "Sketchpad::GetCharHeight");
  return kCharHeight;
}

// A colour set while another waits, or any colour set while the journal is on: written into
// the list at once.
std::uint32_t HudRecorder::SlowTextColor(std::uint32_t col) {
  Flush();
  if (state_ == State::Journalled)
    Trace(world_.impl_.get(), &vessel_, "Sketchpad::SetTextColor", HexColour{col});
  Next(HudOp::Kind::TextColour).colour = col;
  const std::uint32_t old = text_;
  text_ = col;
  return old;
}

// Any text the quick path does not take: the waiting colour (if any) first, then the text,
// unless there is none to write.
bool HudRecorder::SlowText(int x, int y, const char* str, int len) {
  if (state_ == State::Journalled)
    Trace(world_.impl_.get(), &vessel_, "Sketchpad::Text", x, y, Bytes{str, len}, len);
  Flush();
  if (str == nullptr || len < 0) return false;
  HudOp& op = Next(HudOp::Kind::Text, false);
  op.x = x;
  op.y = y;
  op.colour = text_;
  // A HUD drawn every frame mostly writes as many bytes into an entry as the frame before:
  // then only the bytes are copied.
  const auto n = static_cast<std::size_t>(len);
  if (op.text.size() != n) return SetText(op.text, str, n);
  std::memcpy(op.text.data(), str, n);
  return true;
}

// Writes the waiting colour into the list.
inline void HudRecorder::Flush() {
  if (state_ != State::ColourWaiting) return;
  state_ = State::Ready;
  Next(HudOp::Kind::TextColour).colour = text_;
}

// The waiting colour, then the entries that the frame did not reach dropped.
void HudRecorder::Finish() {
  Flush();
  ops_.resize(static_cast<std::size_t>(next_ - ops_.data()));
}

// The next entry, reset to a fresh operation of that kind; its text keeps its storage, and is
// emptied unless the caller sets it.
inline HudOp& HudRecorder::Next(HudOp::Kind kind, bool noText) {
  if (next_ == end_) [[unlikely]]
    Add();
  HudOp& op = *next_++;
  op.kind = kind;
  op.x = op.y = op.x1 = op.y1 = 0;
  op.colour = 0;
  if (noText && !op.text.empty()) op.text.clear();
  return op;
}

void HudRecorder::Add() {
  const auto used = static_cast<std::size_t>(next_ - ops_.data());
  ops_.emplace_back();
  next_ = ops_.data() + used;
  end_ = ops_.data() + ops_.size();
}

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
  HudRecorder skp(*this, v, ops);
  const int mode = 1;
  TraceCallback(*impl_, v, "clbkDrawHUD", mode, &hps, static_cast<zapi::Sketchpad*>(&skp));
  InCallback in(*impl_, &v);
  cb->clbkDrawHUD(mode, &hps, &skp);
}

bool World::DefNavDisplay() const { return impl_->defNav; }
bool World::DefRCSDisplay() const { return impl_->defRCS; }

}  // namespace hostsim

using namespace hostsim;

// Modules call these every HUD frame, mostly with what is already set: the world's flag is
// written only when it changes, so that a HUD frame stores nothing into the world's state.
void zapiSetDefNavDisplay(int mode) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiSetDefNavDisplay", mode);
  if (w != nullptr && w->defNav != (mode != 0)) w->defNav = mode != 0;
}

void zapiSetDefRCSDisplay(int mode) {
  World::Impl* w = CurrentImpl();
  Trace(w, nullptr, "zapiSetDefRCSDisplay", mode);
  if (w != nullptr && w->defRCS != (mode != 0)) w->defRCS = mode != 0;
}
