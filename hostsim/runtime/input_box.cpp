// Text input boxes: at most one open; the user's answer goes to the module's callback.
#include "hostsim/runtime/call.h"

namespace hostsim {

const InputBox* World::OpenBox() const { return impl_->box ? &*impl_->box : nullptr; }

bool World::OpenInputBox(InputBox box) {
  if (impl_->box || box.callback == nullptr) return false;
  impl_->boxOwner = impl_->callbacks.empty() ? impl_->focus : impl_->callbacks.back().vessel;
  impl_->box = std::move(box);
  return true;
}

bool World::AnswerBox(const std::string& text) {
  if (!impl_->box) throw Error("no input box is open");
  ScopedCurrent current(impl_.get());
  // The box closes before the callback runs, so the callback may open the next one.
  InputBox box = std::move(*impl_->box);
  Vessel* owner = impl_->boxOwner;
  impl_->box.reset();
  impl_->boxOwner = nullptr;
  // A writable copy with room to spare: the callback owns it for the call.
  std::vector<char> buf(text.begin(), text.end());
  buf.resize(text.size() + 256, '\0');
  Callback in(*impl_, owner, "InputCallback", box.title, text);
  return in.Run([&] { return box.callback(&box, buf.data(), box.userData); });
}

void World::CancelBox() {
  impl_->box.reset();
  impl_->boxOwner = nullptr;
}

}  // namespace hostsim

using namespace hostsim;

bool zapiOpenInputBox(const char* title, InputCallback cbk, const char* buf, int vislen,
                      void* usrdata) {
  World::Impl* w = HostCall("zapiOpenInputBox", title, cbk, buf, vislen, usrdata);
  if (w == nullptr) return false;
  InputBox box;
  box.title = title != nullptr ? title : "";
  box.initial = buf != nullptr ? buf : "";
  box.length = vislen;
  box.callback = cbk;
  box.userData = usrdata;
  box.opener = w->focus != nullptr ? w->focus->name() : std::string();
  return w->self->OpenInputBox(std::move(box));
}
