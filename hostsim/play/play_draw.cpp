// Drawing the window: the world as the renderer draws it, an open box or question over it,
// and the status bar: the focused vessel and the keys that work now.
#include <algorithm>
#include <string>

#include "hostsim/gl/gl_api.h"
#include "hostsim/play/play_window.h"

namespace hostsim::render {

void Window::DrawFrame() {
  int W = 0, H = 0;
  DrawableSize(W, H);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  renderer_->DrawWorld(world_, W, H, opts_.render, camera_);
  const bool caret = (Ticks() / 500) % 2 == 0;
  if (prompt_) {
    // File and vessel names are typed as UTF-8; the font draws 8-bit characters.
    std::string text;
    AppendAs1252(text, prompt_->text.c_str(), 4096);
    DrawBox(W, H, prompt_->title, text, prompt_->Question() ? -1 : 40, caret);
  } else if (const InputBox* box = world_.OpenBox(); boxOpen_ && box) {
    DrawBox(W, H, box->title, boxText_, box->length, caret);
  }
  DrawStatus(W, H);
}

// A box `length` characters wide (no field at all for a negative length: a question).
void Window::DrawBox(int W, int H, const std::string& title, const std::string& text, int length,
                     bool caret) {
  const float px = std::max(14.0f, static_cast<float>(H) / 36.0f);
  const float pad = px * 0.8f;
  const bool field = length >= 0;
  const float fieldChars = static_cast<float>(std::clamp(length, 10, 60));
  const float fieldW = field ? std::max(renderer_->TextWidth("0", px) * fieldChars,
                                        renderer_->TextWidth(text + "_", px))
                             : 0.0f;
  const float w = std::max(renderer_->TextWidth(title, px), fieldW) + 2 * pad;
  const float h = (field ? px * 3.2f : px * 1.2f) + 2 * pad;
  const float x = (static_cast<float>(W) - w) / 2, y = static_cast<float>(H) * 0.35f - h / 2;
  const float panel[4] = {0.05f, 0.07f, 0.10f, 0.92f};
  const float frame[4] = {0.40f, 1.0f, 0.40f, 0.9f};
  const float back[4] = {0.0f, 0.0f, 0.0f, 0.9f};
  const float titleColour[4] = {0.85f, 0.90f, 0.95f, 1.0f};
  const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  renderer_->FillRect(W, H, x - 1, y - 1, w + 2, h + 2, frame);
  renderer_->FillRect(W, H, x, y, w, h, panel);
  renderer_->DrawText(W, H, x + pad, y + pad, title, titleColour, px);
  if (!field) return;
  const float fy = y + pad + px * 1.5f;
  renderer_->FillRect(W, H, x + pad - 4, fy - 3, w - 2 * pad + 8, px * 1.4f, back);
  renderer_->DrawText(W, H, x + pad, fy, text + (caret ? "_" : ""), white, px, false);
}

void Window::DrawStatus(int W, int H) {
  const float px = std::max(11.0f, static_cast<float>(H) / 56.0f);
  const float grey[4] = {0.65f, 0.68f, 0.72f, 0.85f};
  const float bright[4] = {1.0f, 0.92f, 0.55f, 1.0f};
  const float y = static_cast<float>(H) - px * 1.6f;
  std::string help;
  if (prompt_ && prompt_->Question())
    help = "Y: yes   N or Esc: no";
  else if (prompt_ || boxOpen_)
    help = "Enter: answer   Esc: cancel";
  else
    help =
        "F2: save as   F3: reset view   F4: next vessel   F5: vessel by name   F6: reload   "
        "F7: print view   Esc: quit";
  const Vessel* focus = world_.Focus();
  // Lights that light the view without a shadow, for want of shadow maps, are said.
  const GlRenderer::Lighting& lit = renderer_->LastLighting();
  const std::string shadows = lit.shadowCasters < lit.shadowCandidates
                                  ? "   shadows from " + std::to_string(lit.shadowCasters) +
                                        " of " + std::to_string(lit.shadowCandidates) + " lights"
                                  : "";
  help = "focus: " + (focus ? focus->name() : std::string("(none)")) +
         (dirty_ ? "  (not saved)" : "") + shadows + "   " + help;
  renderer_->DrawText(W, H, px * 0.6f, y, help, grey, px);
  if (!message_.empty() && Ticks() < messageUntil_)
    renderer_->DrawText(W, H, px * 0.6f, y - px * 1.5f, message_, bright, px);
}

}  // namespace hostsim::render
