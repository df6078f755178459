// hostsim: the stand-in host's world, as seen by its CLI, its tests and tools.
//
// The runtime library (libhostsim) implements every declaration of host/ against one
// World, the current one, and offers this C++ interface to drive it: create vessels from
// class configurations and modules, run time steps, send keys, answer input boxes, build
// visuals, draw the HUD, load and save scenario files, and read the journal of every host
// call the modules made. The parts of the world have headers of their own, all included
// here: journal.h, paths.h, module.h, mesh.h, transform.h, vessel.h and hud.h.
// The files a world reads and writes, and what loading and saving a scenario do, are
// described in docs/formats.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"
#include "hostsim/error.h"
#include "hostsim/hud.h"
#include "hostsim/journal.h"
#include "hostsim/mesh.h"
#include "hostsim/module.h"
#include "hostsim/paths.h"
#include "hostsim/transform.h"
#include "hostsim/vessel.h"

namespace hostsim {

// An input box a module opened: what it shows and whom its answer goes to.
struct InputBox {
  std::string title;
  std::string initial;  // the text shown at first ("" for a null pointer)
  int length = 0;
  InputCallback callback = nullptr;
  void* userData = nullptr;
  std::string opener;  // vessel that had the focus when the box was opened
};

// How LoadScenario loads.
struct LoadOptions {
  bool buildVisuals = true;  // build every vessel's visual once the vessels are made
};

class World {
 public:
  // An empty world reading its files from `paths`; it makes itself current.
  explicit World(Paths paths);
  // Clear(); a world that was current leaves none current.
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // The world the host's free functions and VESSEL operations act on: the one made current
  // last (a new World makes itself current).
  static World* Current();
  // Makes this world the current one.
  void MakeCurrent();
  // Destroys every vessel (zvcExit) and unloads every module: the world is empty.
  void Clear();

  // The journal of the host calls and callbacks made in this world.
  Journal& journal();
  const Journal& journal() const;
  // The latest host calls and callbacks made in this world, at most `n` of them (and at most
  // the 32 it keeps), oldest first, each as the journal writes its line. Kept whether the
  // journal is on or off, raw, and named only now: a vessel or handle that has ended since
  // shows as ended or unknown, a long text as its start and "...". Allocates: a crash report
  // asks it from a copy of the process.
  std::vector<std::string> LastCalls(std::size_t n) const;
  // While on, each host call a module makes is looked at as it is made, from its arguments'
  // values and handles (not the journal's text, which need not be on): a number that is not
  // finite, or the handle of a device mesh or visual that no longer lives, is a call the host
  // cannot accept. Off in a new world.
  void WatchArguments(bool on);
  // The first call since the last take with a number that is not finite, or with a handle of
  // a device mesh or visual that no longer lives, as the journal writes its line; empty when
  // there was none. Taking it starts the watch for the next one.
  std::string TakeNonFiniteCall();
  std::string TakeDeadHandleCall();
  // The folders the world reads its files from.
  const Paths& paths() const;
  // Every file the world has read, each once, in the order read: the inputs a run's outputs
  // may not replace.
  const std::vector<FileRead>& FilesRead() const;

  // A callback of a module that the host is running: its name ("clbkBufferedKey", "the
  // library's load hook"), the vessel it was made for and the module (either may be null).
  struct Running {
    const char* call = nullptr;
    const Vessel* vessel = nullptr;
    const Module* module = nullptr;
  };
  // The innermost callback running now; all null when none runs. Only reads memory, so a
  // crash report may ask it.
  Running RunningCallback() const;
  // The callback an exception left, thrown by a module's code and not caught there: what the
  // host is handed is a module's fault, not the host's error. Kept as text, as the vessel may
  // be gone by the time the exception is handled; where it was thrown as raw addresses, named
  // only for a report.
  struct Escape {
    std::string call;    // "clbkBufferedKey"
    std::string vessel;  // its name and class, empty for a library's load or unload hook
    std::string className;
    std::string module;             // the module's name
    std::filesystem::path library;  // its library's file, as its author built it
    // Where the exception was thrown, innermost first, each address inside its call
    // instruction (platform::FindWhere names them); empty where the throw was not seen.
    std::vector<const void*> thrown;
    // Those told as a report's lines, by the world's escape teller; empty when not told.
    std::vector<std::string> where;
  };
  // The callback the latest escaped exception left, once (empty when none did since it was last
  // taken).
  std::optional<Escape> TakeEscape();
  // For a handler of an exception: when one left a module's callback since TakeEscape, throws
  // a ModuleException of it that says `what` (the caught exception's what()); else returns.
  void ThrowIfEscaped(const std::string& what);
  // Called as an exception leaves a module's callback, before the host unwinds (a scenario
  // that fails to load unloads the modules it loaded): `tell` may fill in the escape's `where`
  // while the module's library is still loaded. A report's symbols are read then, on the way
  // to the report, never for an exception the module catches itself. None by default.
  void SetEscapeTeller(std::function<void(Escape&)> tell);
  // A count that grows whenever an outermost callback starts or ends, odd while one runs;
  // safe to read from any thread (a watchdog tells a callback that never returns by it).
  std::uint64_t CallbackEdges() const;
  // The outermost callback running now, read safely from any thread, with the CallbackEdges
  // count it ran under (odd); all null when none runs or when it ended while read. Its
  // vessel's and module's names may be read while the count stays the same.
  Running OutermostCallback(std::uint64_t& edges) const;

  // --- modules ---
  // Loads modules/<name> (once; shared by its vessels), from the command's copy of its file
  // where Paths::copies is set; throws Error when it cannot be loaded or lacks an entry point.
  Module& LoadModule(const std::string& name);
  // Unloads a module no vessel uses any more; false when it is in use or not loaded.
  bool UnloadModule(const std::string& name);
  // The modules loaded, by name.
  std::vector<const Module*> Modules() const;
  // Loads the module's library again, from a new copy of its file (so the file may have been
  // rebuilt), through the modules' own save and load: the world is saved into memory and
  // loaded again with the new library, which then runs that module's vessels; the old one is
  // unloaded. Time, focus, attachments and what every module saves stay; an open input box
  // closes. Throws Error when the module is not loaded, its new library cannot be loaded or
  // lacks an entry point, or the load fails: the world is then as it was, run by the old
  // library (unless a module failed once the new vessels were the world's).
  // With `copy` (from CopyModuleLibrary) the new library is that file, which the world then
  // owns: a reload tried elsewhere loads the bytes that were tried.
  void ReloadModule(const std::string& name, const std::filesystem::path& copy = {});
  // Loads the world again through its modules' save and load, as ReloadModule does, with its
  // class configurations, meshes and material libraries read again from their files: an
  // edited file takes effect. Throws Error when the load fails: the world is then as it was.
  void ReloadFiles();
  // A new copy of the loaded module's library file among the command's copies (Paths::copies,
  // else the world's own), for ReloadModule; throws Error when the module is not loaded or its file
  // cannot be copied.
  std::filesystem::path CopyModuleLibrary(const std::string& name);

  // --- vessels ---
  // Creates a vessel of class `className` (config/<class>.cfg): module vessels through
  // zvcInit then clbkSetupClass; config-only vessels from their configuration. Throws Error
  // for an unknown class, a missing module, a taken name or a null zvcInit result.
  Vessel& CreateVessel(const std::string& name, const std::string& className);
  // Feeds a block of scenario lines to clbkLoadScenario (host lines go to the host).
  void LoadVesselState(Vessel& v, const std::vector<std::string>& lines);
  // Calls clbkAfterCreation.
  void FinishCreation(Vessel& v);
  // Detaches the vessel from everything, calls zvcExit, forgets it.
  void DestroyVessel(Vessel& v);
  // Case-insensitive lookup; null when none.
  Vessel* FindVessel(std::string_view name) const;
  // The vessel of this world's that a handle names, or null.
  Vessel* FromHandle(OBJHANDLE h) const;
  // The world's vessels in creation order.
  std::vector<Vessel*> Vessels() const;

  // --- focus, time, keys ---
  // Gives the focus to `v` (null: none), calling clbkFocusChanged of the vessel losing it and
  // of the one taking it; throws Error for a vessel of another world.
  void SetFocus(Vessel* v);
  // The vessel with the focus, or null.
  Vessel* Focus() const;
  // One frame: clbkBeforeStep of every vessel, clbkDirectKeys of the focused one with the
  // current key state, clbkAfterStep of every vessel; the simulation time advances by dt.
  // Throws Error, running nothing, when the time would stop being a finite number.
  void Step(double dt);
  // The simulation time, seconds.
  double SimTime() const;
  // The length of the last step, seconds (0 before the first and after a scenario load).
  double SimStep() const;
  // Sets the simulation time, calling nothing.
  void SetSimTime(double t);
  // The date passed to the step callbacks: a fixed start date plus the simulation time.
  double Mjd() const;
  // The keyboard the key callbacks are handed: 256 bytes, bit 7 = down.
  char* KeyState();
  // Marks the key `code` down or up, calling nothing.
  void SetKey(std::uint8_t code, bool down);
  // Marks every key up, calling nothing.
  void ReleaseAllKeys();
  // One key event to the focused vessel's clbkBufferedKey, with the current key state;
  // returns its result (0 when no module vessel has the focus).
  int KeyEvent(std::uint8_t code, bool down);

  // --- input box ---
  const InputBox* OpenBox() const;  // null when none is open
  // Opens `box`, owned by the vessel whose callback runs (else the focused one), as
  // zapiOpenInputBox does; false, opening nothing, when a box is open or it has no callback.
  bool OpenInputBox(InputBox box);
  // Answers the open box with `text`; the box closes; returns the callback's result.
  // Throws Error when no box is open.
  bool AnswerBox(const std::string& text);
  // Closes the open box, if any, without calling its callback.
  void CancelBox();

  // --- visuals, HUD ---
  // Builds a visual (device meshes copied from the templates) and calls clbkVisualBuilt;
  // does nothing when one exists.
  void BuildVisual(Vessel& v);
  // Calls clbkVisualDestroyed and drops the visual; its device mesh handles die with it.
  void DropVisual(Vessel& v);
  // Draws the vessel's HUD at W x H through VESSEL3::clbkDrawHUD into a recording Sketchpad.
  std::vector<HudOp> DrawHUD(Vessel& v, int W, int H);
  // The same into `ops`, which is replaced by this frame's operations. Its storage is reused:
  // a host drawing every frame into one list allocates nothing once the list has grown.
  void DrawHUD(Vessel& v, int W, int H, std::vector<HudOp>& ops);
  // Whether the host's own navigation and RCS displays are on, as the modules last set them.
  bool DefNavDisplay() const;
  bool DefRCSDisplay() const;

  // --- meshes, configuration ---
  // A new template of meshes/<name>.obj (the file is read once); null, with a warning saying
  // why, when it cannot be read.
  const Mesh* LoadMesh(const std::string& name);
  // The mesh a handle names, or null.
  const Mesh* MeshFromHandle(MESHHANDLE h) const;
  // The live device mesh a handle names, or null (dropped visuals' handles give null).
  const DeviceMesh* DeviceMeshFromHandle(DEVMESHHANDLE h) const;

  // --- scenarios ---
  // Replaces the world's vessels with the scenario's. A malformed file is refused with an
  // Error naming file and line, and the world is left as it was before the call.
  void LoadScenario(const std::filesystem::path& file, LoadOptions opts = {});
  // The bytes of the scenario file the world holds, as LoadScenario read them ("" before the
  // first load): a copy that later saves over that file do not change.
  const std::string& LoadedScenarioBytes() const;
  // Writes the scenario (every vessel, clbkSaveState for module vessels) with the host's safe
  // writer (platform::WriteFile: the folder must exist, a special or read-only target is
  // refused, a link is written through); throws Error on failure, leaving no partial file.
  void SaveScenario(const std::filesystem::path& file);
  // The scenario as text, as SaveScenario would write it.
  std::string ScenarioText();
  // The scenario's title: its TITLE line, written back by a save.
  std::string title;
  // Warnings gathered while loading (unknown lines kept, etc.), cleared by the call.
  std::vector<std::string> TakeWarnings();

  // The runtime's record of the world (hostsim/runtime/state.h).
  struct Impl;

 private:
  friend class HudRecorder;
  std::unique_ptr<Impl> impl_;
};

// An exception a module's callback let out, as the host caught it: what it said (its what(),
// or kNotAStdException) and the callback it left (World::TakeEscape). A command reports it as
// the module's fault.
class ModuleException : public std::runtime_error {
 public:
  ModuleException(World::Escape escape, const std::string& what)
      : std::runtime_error(what), escape_(std::move(escape)) {}
  const World::Escape& escape() const { return escape_; }

 private:
  World::Escape escape_;
};

// What a ModuleException says of an exception that is no std::exception.
inline constexpr const char* kNotAStdException = "an exception that is no std::exception";

// Does `work` with `world`: an exception a module's callback let out meanwhile leaves as a
// ModuleException, any other as it was thrown.
template <class Work>
decltype(auto) BlamingModules(World& world, Work&& work) {
  try {
    return work();
  } catch (const ModuleException&) {
    throw;
  } catch (const std::exception& e) {
    world.ThrowIfEscaped(e.what());
    throw;
  } catch (...) {
    world.ThrowIfEscaped(kNotAStdException);
    throw;
  }
}

}  // namespace hostsim
