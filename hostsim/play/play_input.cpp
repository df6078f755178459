// The window's keyboard: an open input box or question takes it first, then the window's own
// keys (Escape, F2 to F7), and every other key goes to the focused vessel. What reaches the
// world is told to the recorder in the terms of a session script, and done exactly as a
// session does it, so that the recording runs again to the same state.
#include <algorithm>
#include <iostream>

#include "host/keys.h"
#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/play/play_window.h"
#include "hostsim/render/font.h"

namespace hostsim::render {
namespace fs = std::filesystem;
using platform::PathFromUtf8;
using platform::PathToUtf8;

namespace {

// Drops the last UTF-8 character of `s`.
void PopCharacter(std::string& s) {
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty()) s.pop_back();
}

}  // namespace

void AppendAs1252(std::string& out, const char* utf8, std::size_t limit) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s && out.size() < limit) {
    int cp = 0, extra = 0;
    if (*s < 0x80) {
      cp = *s;
    } else if ((*s & 0xE0) == 0xC0) {
      cp = *s & 0x1F;
      extra = 1;
    } else if ((*s & 0xF0) == 0xE0) {
      cp = *s & 0x0F;
      extra = 2;
    } else {
      cp = *s & 0x07;
      extra = 3;
    }
    ++s;
    for (int i = 0; i < extra && (*s & 0xC0) == 0x80; ++i, ++s) cp = (cp << 6) | (*s & 0x3F);
    for (int b = 0x20; b < 0x100; ++b)
      if (b != 0x7F && Font::CodePoint(static_cast<unsigned char>(b)) == cp) {
        out.push_back(static_cast<char>(b));
        break;
      }
  }
}

bool IsModifier(std::uint8_t code) {
  return code == ZKEY_LSHIFT || code == ZKEY_RSHIFT || code == ZKEY_LALT || code == ZKEY_RALT ||
         code == ZKEY_LCTRL;
}

std::size_t Window::BoxLimit() const {
  const InputBox* box = world_.OpenBox();
  return box && box->length > 0 ? static_cast<std::size_t>(box->length) : 255;
}

void Window::HandleKey(const WindowEvent& k) {
  const bool down = k.type == WindowEvent::Type::KeyDown;
  if (prompt_) {
    if (down) PromptKey(k);
    return;
  }
  if (boxOpen_) {
    if (down) BoxKey(k);
    return;
  }
  if (k.key == ZKEY_ESCAPE || (k.key >= ZKEY_F2 && k.key <= ZKEY_F7)) {
    if (down && !k.repeat) WindowKey(k.key, k.shift);
    return;
  }
  if (k.repeat) return;  // a held key is one press: its state stays down
  if (k.key != 0) VesselKey(k.key, down);
}

// The box has the keyboard; typed characters arrive as text input, each after its key.
void Window::BoxKey(const WindowEvent& k) {
  skipOpenerText_ = false;  // the opening key made no text: this key's text is typed
  if (k.key == ZKEY_RETURN || k.key == ZKEY_NUMPAD_ENTER) {
    boxOpen_ = false;
    if (opts_.recorder) opts_.recorder->Type(boxText_);
    dirty_ = true;
    try {
      if (!world_.AnswerBox(boxText_)) Say("the vessel did not take \"" + boxText_ + "\"");
    } catch (const std::exception& ex) {
      world_.ThrowIfEscaped(ex.what());  // a module's fault ends the window
      Say(ex.what());
    }
  } else if (k.key == ZKEY_ESCAPE) {
    boxOpen_ = false;
    if (opts_.recorder) opts_.recorder->Cancel();
    world_.CancelBox();
  } else if (k.key == ZKEY_BACKSPACE && !boxText_.empty()) {
    boxText_.pop_back();
  }
}

void Window::PromptKey(const WindowEvent& k) {
  skipOpenerText_ = false;
  if (prompt_->Question()) {
    // Yes is Y (as the layout has it) only: Enter or any other key would be too easy a yes.
    if (k.letter == 'y') {
      AnswerPrompt();
    } else if (k.letter == 'n' || k.key == ZKEY_ESCAPE) {
      prompt_.reset();
    }
    return;
  }
  if (k.key == ZKEY_RETURN || k.key == ZKEY_NUMPAD_ENTER) {
    AnswerPrompt();
  } else if (k.key == ZKEY_ESCAPE) {
    prompt_.reset();
  } else if (k.key == ZKEY_BACKSPACE) {
    PopCharacter(prompt_->text);
  }
}

void Window::AnswerPrompt() {
  const Prompt p = *prompt_;
  prompt_.reset();
  switch (p.kind) {
    case Prompt::Kind::SaveAs: {
      if (p.text.empty()) {
        Say("no file named: nothing saved");
        return;
      }
      const fs::path target = PathFromUtf8(p.text);
      if (!MayWrite(target)) return;
      std::error_code ec;
      if (fs::exists(target, ec) || platform::SameFile(target, opts_.scenario)) {
        prompt_ = Prompt{Prompt::Kind::Overwrite, p.text + " exists: replace it? (Y: yes, N: no)",
                         "", target};
        return;
      }
      SaveTo(target);
      break;
    }
    case Prompt::Kind::Overwrite:
      SaveTo(p.target);
      break;
    case Prompt::Kind::FocusName:
      if (Vessel* v = world_.FindVessel(p.text))
        FocusOn(*v);
      else if (!p.text.empty())
        Say("no vessel named \"" + p.text + "\"");
      break;
    case Prompt::Kind::Quit:
      quit_ = true;
      break;
  }
}

void Window::WindowKey(std::uint8_t key, bool shift) {
  switch (key) {
    case ZKEY_ESCAPE:
      AskToQuit();
      break;
    case ZKEY_F2:
      StartSave();
      break;
    case ZKEY_F3:
      ResetCamera();
      break;
    case ZKEY_F4:
      CycleFocus(shift ? -1 : 1);
      break;
    case ZKEY_F5:
      ReleaseKeys();
      prompt_ = Prompt{Prompt::Kind::FocusName, "Focus on the vessel named:", "", {}};
      skipOpenerText_ = false;  // F5 types nothing
      break;
    case ZKEY_F6: {
      std::vector<std::string> names;
      for (const Module* m : world_.Modules()) names.push_back(m->name);
      for (const std::string& name : names) ReloadModule(name);
      ReloadFiles({});
      break;
    }
    case ZKEY_F7:
      WriteCamera();
      break;
    default:
      break;
  }
}

void Window::VesselKey(std::uint8_t code, bool down) {
  if (!down) {
    if (held_.erase(code) > 0) world_.SetKey(code, false);
    return;
  }
  if (!world_.Focus()) return;  // no vessel takes keys
  if (!held_.insert(code).second) return;
  world_.SetKey(code, true);
  if (!IsModifier(code)) PressKey(code);  // a modifier alone is only held
}

// A key press reaches the vessel as a session's `press` gives it: the chord's keys (the
// modifiers held and the key) and no other are down for the press, which is followed at once
// by the release; then the keys held are down again for the time steps.
void Window::PressKey(std::uint8_t code) {
  std::vector<std::uint8_t> modifiers;
  for (std::uint8_t k : held_)
    if (IsModifier(k)) modifiers.push_back(k);
  if (opts_.recorder) opts_.recorder->Press(modifiers, code);
  dirty_ = true;
  for (std::uint8_t k : held_)
    if (k != code && !IsModifier(k)) world_.SetKey(k, false);
  world_.KeyEvent(code, true);
  world_.SetKey(code, false);
  world_.KeyEvent(code, false);
  if (world_.OpenBox()) {  // the key opened a box: it has the keyboard now
    TakeKeyboard(true);
    return;
  }
  for (std::uint8_t k : held_) world_.SetKey(k, true);
}

void Window::TakeKeyboard(bool byKey) {
  // From now on the keys and the typing go to the box, not to the vessel.
  boxOpen_ = true;
  boxText_ = world_.OpenBox()->initial;
  skipOpenerText_ = byKey;
  ReleaseKeys();
  redraw_ = true;
}

void Window::ReleaseKeys() {
  held_.clear();
  world_.ReleaseAllKeys();
}

void Window::CycleFocus(int by) {
  const std::vector<Vessel*> vessels = world_.Vessels();
  if (vessels.empty()) return;
  const auto at = std::find(vessels.begin(), vessels.end(), world_.Focus());
  const auto n = static_cast<std::ptrdiff_t>(vessels.size());
  std::ptrdiff_t i = at == vessels.end() ? (by > 0 ? -1 : 0) : at - vessels.begin();
  i = ((i + by) % n + n) % n;
  FocusOn(*vessels[static_cast<std::size_t>(i)]);
}

void Window::FocusOn(Vessel& v) {
  if (world_.Focus() == &v) return;
  ReleaseKeys();
  if (opts_.recorder) opts_.recorder->Focus(v.name());
  world_.SetFocus(&v);
  dirty_ = true;
  ResetCamera();
  Say("focus " + v.name());
}

// A new file beside the scenario: its name with "-1", "-2", ... before the extension.
fs::path Window::NewSaveName() const {
  if (!opts_.saveAs.empty()) return opts_.saveAs;
  const fs::path& s = opts_.scenario;
  const fs::path stem = s.stem().empty() ? fs::path("scenario") : s.stem();
  const fs::path ext = s.extension().empty() ? fs::path(".scn") : s.extension();
  for (int n = 1;; ++n) {
    fs::path candidate = s.parent_path() / stem;
    candidate += "-" + std::to_string(n);
    candidate += ext;
    std::error_code ec;
    if (!fs::exists(candidate, ec) || n == 10000) return candidate;
  }
}

void Window::StartSave() {
  ReleaseKeys();
  prompt_ = Prompt{Prompt::Kind::SaveAs, "Save the scenario as:", PathToUtf8(NewSaveName()), {}};
}

bool Window::MayWrite(const fs::path& file) {
  const std::string why = opts_.outputReason ? opts_.outputReason(file) : std::string();
  if (why.empty()) return true;
  Say("not saved: " + PathToUtf8(file) + ": " + why);
  std::cerr << "hostsim play: not saved: " << PathToUtf8(file) << ": " << why << std::endl;
  return false;
}

void Window::SaveTo(const fs::path& file) {
  // Asked again: the answer may have changed while the window asked to replace the file.
  if (!MayWrite(file)) return;
  try {
    world_.SaveScenario(file);
  } catch (const std::exception& ex) {
    world_.ThrowIfEscaped(ex.what());
    Say(std::string("not saved: ") + ex.what());
    std::cerr << "hostsim play: not saved: " << ex.what() << std::endl;
    return;
  }
  if (opts_.recorder) opts_.recorder->Save(file);
  dirty_ = false;
  Say("saved " + PathToUtf8(file));
  std::cout << "hostsim play: saved " << PathToUtf8(file) << std::endl;
}

// The camera as the option of a picture from it: in the status bar, where it is seen, and on
// the standard output, from where it is copied into a command or a script. A standard output
// that cannot be written loses the line, not the window.
void Window::WriteCamera() {
  if (!opts_.cameraText) return;
  const std::string text = opts_.cameraText(camera_);
  Say(text);
  std::cout << "hostsim play: " << text << std::endl;
}

void Window::AskToQuit() {
  if (!dirty_) {
    quit_ = true;
    return;
  }
  ReleaseKeys();
  prompt_ = Prompt{
      Prompt::Kind::Quit, "The changes are not saved: quit all the same? (Y: yes, N: no)", "", {}};
}

}  // namespace hostsim::render
