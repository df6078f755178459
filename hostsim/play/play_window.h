// The interactive window (Play): its state, shared by the files that run its loop
// (play.cpp), take its keys (play_input.cpp) and draw it (play_draw.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/gl/gl_context.h"
#include "hostsim/play/play.h"
#include "hostsim/render/gl_renderer.h"
#include "hostsim/render/render.h"
#include "hostsim/render/scene.h"

namespace hostsim::render {

// A question of the window's own, drawn like an input box: a file to save to, a vessel to
// give the focus to, or yes or no.
struct Prompt {
  enum class Kind { SaveAs, FocusName, Overwrite, Quit };
  Kind kind = Kind::SaveAs;
  std::string title;
  std::string text;              // typed so far, UTF-8 (SaveAs, FocusName)
  std::filesystem::path target;  // Overwrite: the file to replace
  bool Question() const { return kind == Kind::Overwrite || kind == Kind::Quit; }
};

// What a frame shows of the world: compared frame to frame, so that an unchanged world is
// not drawn again.
struct FrameLook {
  Scene scene;
  std::vector<HudOp> hud;
  const Vessel* focus = nullptr;
};
bool SameLook(const FrameLook& a, const FrameLook& b);

// Appends UTF-8 text as the 8-bit characters (Windows-1252) the modules take, while `out` is
// shorter than `limit`; characters that have no such byte are dropped.
void AppendAs1252(std::string& out, const char* utf8, std::size_t limit);

// The set-1 codes of the keys that make a chord with another: the shifts, the alts, left Ctrl.
bool IsModifier(std::uint8_t code);

class Window {
 public:
  Window(World& world, const PlayOptions& opts) : world_(world), opts_(opts) {}
  int Run();

 private:
  // play.cpp
  bool Open();
  void Loop();
  void StepOnce();
  bool LookChanged();
  void HandleEvent(const WindowEvent& e);
  // Milliseconds since the window was made.
  std::uint64_t Ticks() const;
  // play_input.cpp
  void HandleKey(const WindowEvent& k);
  void BoxKey(const WindowEvent& k);
  void PromptKey(const WindowEvent& k);
  void AnswerPrompt();
  void WindowKey(std::uint8_t key, bool shift);
  void VesselKey(std::uint8_t code, bool down);
  void PressKey(std::uint8_t code);
  void TakeKeyboard(bool byKey);
  void ReleaseKeys();
  void CycleFocus(int by);
  void FocusOn(Vessel& v);
  void StartSave();
  void SaveTo(const std::filesystem::path& file);
  // Whether the window may write `file` (PlayOptions::outputReason); says why not when not.
  bool MayWrite(const std::filesystem::path& file);
  void AskToQuit();
  void WriteCamera();
  // play.cpp: live reload
  void WatchLibraries();
  void ReloadModule(const std::string& module);
  // Loads the world again with its class configurations and meshes read anew (`edited`: the
  // files that changed, for the message; empty for F6).
  void ReloadFiles(const std::vector<std::string>& edited);
  static bool Asset(std::string_view kind);
  // Whether the file, watched under `key`, changed and has now stood unchanged long enough.
  bool Settled(const std::string& key, const std::filesystem::path& file, std::uint64_t now);
  // Whether a signal asked the program to stop (PlayOptions::stop).
  bool StopAsked() const { return opts_.stop != nullptr && *opts_.stop != 0; }
  std::filesystem::path NewSaveName() const;
  std::size_t BoxLimit() const;
  // play_draw.cpp
  void DrawFrame();
  void DrawBox(int W, int H, const std::string& title, const std::string& text, int length,
               bool caret);
  void DrawStatus(int W, int H);

  void Say(std::string text);
  void DrawableSize(int& W, int& H) const;
  void ResetCamera();

  World& world_;
  const PlayOptions& opts_;
  std::unique_ptr<GlWindow> gl_;
  std::optional<GlRenderer> renderer_;
  Camera camera_;
  bool quit_ = false;
  bool hidden_ = false;
  bool redraw_ = true;
  std::optional<FrameLook> shown_;  // what the last frame drawn showed of the world

  // A vessel's input box has the keyboard.
  bool boxOpen_ = false;
  std::string boxText_;
  bool skipOpenerText_ = false;  // the text of the key that opened the box is not typed
  std::optional<Prompt> prompt_;

  std::set<std::uint8_t> held_;  // the vessel keys held down, as the world's key state has them
  bool dirty_ = false;           // the user changed the world since the last save

  std::string message_;
  std::uint64_t messageUntil_ = 0;

  // The module libraries' and the other root files' as last seen (size and time of change),
  // by module or path, and when a change was first seen: a file is read again once it has
  // stopped changing.
  struct WatchedFile {
    std::string stamp;
    std::uint64_t changedAt = 0;  // 0: no change waiting
  };
  std::map<std::string, WatchedFile> files_;
  std::uint64_t nextLook_ = 0;
};

}  // namespace hostsim::render
