// A small vessel module for the tests of `hostsim check`: a box with a spot light, a beacon,
// an attachment point, an animation, a visual whose material it sets, keys, an input box, a
// HUD line and two scenario lines. Built sound, and built with one fault each (CHECKMOD_*),
// so that each check can be shown to catch its fault and only its fault:
//   CHECKMOD_LEAK_ON_UNLOAD  allocates at load and never frees it
//   CHECKMOD_CRASH_ON_KEY    crashes when the key C goes down
//   CHECKMOD_CRASH_ON_SETUP  crashes in clbkSetupClass (a rebuild that breaks a reload)
//   CHECKMOD_BAD_SAVE        ignores its LEVEL line when loading
//   CHECKMOD_BAD_ON_LOAD     ignores its ON line when loading (the key B turns it on)
//   CHECKMOD_NAN_LIGHT       gives the light whatever number the box is answered with
//   CHECKMOD_FRAME_ALLOC     allocates in every frame
//   CHECKMOD_FRAME_MALLOC    allocates with malloc in every frame
//   CHECKMOD_FRAME_FILE      opens and closes a file in every frame
//   CHECKMOD_FRAME_PRINT     calls fprintf in every frame (printing nothing)
//   CHECKMOD_FRAME_STAT      asks stat about a folder in every frame
//   CHECKMOD_FRAME_FORTIFIED opens a file, reads from it and prints in every frame, built
//                            with _FORTIFY_SOURCE: the C library's fortified forms are called
//   CHECKMOD_FRAME_LOOKUP    looks a vessel up by a long name in every frame: the host's work,
//                            which is sound
//   CHECKMOD_KEEP_DEVMESH    keeps the device mesh of a dropped visual and still sets it
//   CHECKMOD_HANG_ON_KEY     never returns once the key D goes down
//   CHECKMOD_UNSET_READ      decides on a field it never set in every frame
//   CHECKMOD_NULL_LIGHT      dims a light it never made when the key C goes down: the fault
//                            is in the host's code, called from the module's
//   CHECKMOD_FMOD_HANG       never returns once the key D goes down, most of its time spent in
//                            the C library's fmod
//   CHECKMOD_HUD_STRING      builds its HUD line in a std::string, which allocates
//   CHECKMOD_THROW           lets a C++ exception out of clbkBufferedKey when the key T goes
//                            down, and out of clbkLoadScenario at a line THROW
//   CHECKMOD_REWRITE_ON_KEY  writes a few bytes over the file its scenario line "REWRITE FILE"
//                            names (its own library, as a build would) when the key W goes down
// Each fault is written so that no optimiser can remove it: what it allocates, the address
// it stores to and the flag its hang waits on are volatile objects (an allocation whose
// result goes unused, or is freed at once, may be left out).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#if defined(CHECKMOD_THROW) || defined(CHECKMOD_REWRITE_ON_KEY)
#include <cstring>
#endif
#if defined(CHECKMOD_THROW)
#include <stdexcept>
#endif

#if defined(CHECKMOD_FRAME_STAT)
#include <sys/stat.h>
#endif

#if defined(CHECKMOD_FRAME_FILE) || defined(CHECKMOD_FRAME_FORTIFIED)
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif
#endif

#include "host/host.h"

namespace {

#if defined(CHECKMOD_LEAK_ON_UNLOAD)
// Made when the library is loaded and never freed: each load leaves it behind.
[[maybe_unused]] int* volatile g_table = new int[64]();
#endif

#if defined(CHECKMOD_CRASH_ON_KEY) || defined(CHECKMOD_CRASH_ON_SETUP)
// A store through a null pointer: a real fault the host must see as a crash. The sanitizer
// builds would otherwise stop at the store with a report of their own, before any fault, and
// the host would see an ordinary exit instead.
__attribute__((no_sanitize("null"))) void Crash() { *static_cast<volatile int*>(nullptr) = 1; }
#endif

#if defined(CHECKMOD_FRAME_ALLOC)
// Where each frame's allocation goes before it is freed.
int* volatile g_scratch = nullptr;
#endif

#if defined(CHECKMOD_FRAME_MALLOC)
void* volatile g_block = nullptr;
#endif

#if defined(CHECKMOD_FRAME_FILE)
// Opened and closed at once: no allocation, only the calls into the C library.
void TouchFile() {
#if defined(_WIN32)
  const int fd = _open("NUL", _O_RDONLY);
  if (fd >= 0) _close(fd);
#else
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) close(fd);
#endif
}
#endif

#if defined(CHECKMOD_FRAME_FORTIFIED)
// Flags and a count the compiler cannot see, into a buffer whose size it can: the fortified
// open and read are called. The format, which no compiler can drop as printing nothing, is
// printed with a precision of nothing.
volatile int g_flags = O_RDONLY | O_CLOEXEC;
volatile unsigned g_count = 8;
volatile long g_got = 0;
const char* volatile g_format = "%.0s";
void ReadAndPrint() {
  const int fd = open("/dev/zero", g_flags);
  if (fd >= 0) {
    char buf[8];
    g_got = read(fd, buf, g_count);
    close(fd);
  }
  std::printf(g_format, "frame");
}
#endif

#if defined(CHECKMOD_FRAME_PRINT)
// Printed to the standard error in every frame with a precision of nothing: no byte reaches
// the system, but the call is there.
const char* volatile g_text = "frame";
#endif

#if defined(CHECKMOD_FRAME_STAT)
volatile int g_found = 0;
#endif

#if defined(CHECKMOD_UNSET_READ)
// Counts the frames that found the unset field high: a decision no optimiser can drop.
volatile int g_highs = 0;
#endif

#if defined(CHECKMOD_HANG_ON_KEY)
// Spins on a flag nothing clears: a loop with a volatile read in it is never assumed to end.
volatile bool g_spinning = true;
void Hang() {
  while (g_spinning) {
  }
}
#endif

#if defined(CHECKMOD_NULL_LIGHT)
// The light the module forgot to make; volatile, so that the call is made as written.
LightEmitter* volatile g_missingLight = nullptr;
void Dim(LightEmitter* light) { light->SetIntensity(0.0); }
#endif

#if defined(CHECKMOD_FMOD_HANG)
volatile bool g_cycling = true;
volatile double g_phase = 1e300, g_period = 3.0;
void Cycle() {
  while (g_cycling) g_phase = std::fmod(g_phase, g_period) + 1e300;
}
#endif

class CheckVessel final : public VESSEL3 {
 public:
  CheckVessel(OBJHANDLE h, int fmodel) : VESSEL3(h, fmodel) {}
  ~CheckVessel() { delete turn_; }

  void clbkSetupClass(FILEHANDLE) override {
#if defined(CHECKMOD_CRASH_ON_SETUP)
    Crash();
#endif
    SetSize(1.0);
    SetEmptyMass(10.0);
    const COLOUR4 white{1, 1, 1, 1}, none{0, 0, 0, 0};
    light_ = AddSpotLight({0, 0, 0}, {0, 0, 1}, 100, 1, 0, 0.01, 0.3, 0.5, white, white, none);
    light_->Activate(false);
    AddBeacon(&beacon_);
    CreateAttachment(true, {0, -0.4, 0}, {0, -1, 0}, {0, 0, 1}, "CK");
    AddMesh(zapiLoadMesh("checkbox"));
    anim_ = CreateAnimation(0.0);
    turn_ = new MGROUP_ROTATE(0, groups_, 1, {0, 0, 0}, {0, 1, 0}, 6.283185307179586f);
    AddAnimationComponent(anim_, 0.0, 1.0, turn_);
  }

  void clbkLoadScenario(FILEHANDLE scn, void* status) override {
    char* line = nullptr;
    while (zapiReadScenario_nextline(scn, line)) {
      double v = 0;
      int n = 0;
      if (std::sscanf(line, "LEVEL %lf", &v) == 1) {
#if !defined(CHECKMOD_BAD_SAVE)
        level_ = v;
#endif
#if defined(CHECKMOD_REWRITE_ON_KEY)
      } else if (std::strncmp(line, "REWRITE ", 8) == 0) {
        rewrite_ = line + 8;
#endif
#if defined(CHECKMOD_THROW)
      } else if (std::strcmp(line, "THROW") == 0) {
        throw std::runtime_error("checkmod_throw: cannot load THROW");
#endif
      } else if (std::sscanf(line, "ON %d", &n) == 1) {
#if !defined(CHECKMOD_BAD_ON_LOAD)
        on_ = n != 0;
#endif
      } else {
        ParseScenarioLineEx(line, status);
      }
    }
  }

  void clbkSaveState(FILEHANDLE scn) override {
    VESSEL2::clbkSaveState(scn);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", level_);
    zapiWriteScenario_string(scn, "LEVEL", buf);
    zapiWriteScenario_string(scn, "ON", on_ ? "1" : "0");
  }

  void clbkAfterCreation() override { light_->Activate(on_); }

  void clbkVisualBuilt(VISHANDLE vis, int) override { glass_ = GetDevMesh(vis, 0); }

  void clbkVisualDestroyed(VISHANDLE, int) override {
#if !defined(CHECKMOD_KEEP_DEVMESH)
    glass_ = nullptr;
#endif
  }

  void clbkBeforeStep(double, double, double) override {
#if defined(CHECKMOD_FRAME_ALLOC)
    g_scratch = new int[16];
    delete[] g_scratch;
#endif
#if defined(CHECKMOD_FRAME_MALLOC)
    g_block = std::malloc(1024);
    std::free(g_block);
#endif
#if defined(CHECKMOD_FRAME_FILE)
    TouchFile();
#endif
#if defined(CHECKMOD_FRAME_PRINT)
    std::fprintf(stderr, "%.0s", g_text);
#endif
#if defined(CHECKMOD_FRAME_FORTIFIED)
    ReadAndPrint();
#endif
#if defined(CHECKMOD_FRAME_STAT)
    struct stat st {};
    if (stat(".", &st) == 0) g_found = g_found + 1;
#endif
#if defined(CHECKMOD_FRAME_LOOKUP)
    if (zapiGetObjectByName("a vessel whose name is long") != nullptr) level_ = level_ * 1.0;
#endif
#if defined(CHECKMOD_UNSET_READ)
    if (unset_ > 0.5) g_highs = g_highs + 1;
#endif
    light_->SetIntensity(on_ ? level_ : 0.0);
    SetAnimation(anim_, level_);
    if (glass_ != nullptr) {
      MATERIAL m{{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, 1};
      m.emissive.r = on_ ? static_cast<float>(level_) : 0.0f;
      zapiSetMaterial(glass_, 0, &m);
    }
  }

  int clbkDirectKeys(char* kstate) override {
    if ((static_cast<unsigned char>(kstate[ZKEY_A]) & 0x80) != 0)
      level_ = std::fmin(1.0, level_ + 0.1 * zapiGetSimStep());
    return 0;
  }

  int clbkBufferedKey(std::uint32_t key, bool down, char*) override {
    if (!down) return 0;
    switch (key) {
      case ZKEY_A:
        level_ = std::fmin(1.0, level_ + 0.125);
        return 1;
      case ZKEY_B:
        on_ = !on_;
        light_->Activate(on_);
        return 1;
      case ZKEY_C:
#if defined(CHECKMOD_CRASH_ON_KEY)
        Crash();
#endif
#if defined(CHECKMOD_NULL_LIGHT)
        Dim(g_missingLight);
#endif
        return 1;
#if defined(CHECKMOD_THROW)
      case ZKEY_T:
        throw std::runtime_error("checkmod_throw: bad key T");
#endif
      case ZKEY_D:
#if defined(CHECKMOD_HANG_ON_KEY)
        Hang();
#endif
#if defined(CHECKMOD_FMOD_HANG)
        Cycle();
#endif
        return 1;
#if defined(CHECKMOD_REWRITE_ON_KEY)
      case ZKEY_W:
        // Truncated, then written shorter: a library mapped from this file loses its pages.
        if (std::FILE* f = std::fopen(rewrite_.c_str(), "wb")) {
          std::fputs("rewritten", f);
          std::fclose(f);
        }
        return 1;
#endif
      case ZKEY_N:
        zapiOpenInputBox("Level", LevelTyped, nullptr, 20, this);
        return 1;
      default:
        return 0;
    }
  }

  bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) override {
    VESSEL3::clbkDrawHUD(mode, hps, skp);
    if (hps == nullptr || skp == nullptr || hps->W < 200 || hps->H < 100) return true;
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "Level %.2f %s", level_, on_ ? "on" : "off");
    skp->Text(10, 10, buf, n);
#if defined(CHECKMOD_HUD_STRING)
    const std::string line = "Light level " + std::to_string(level_) + " of full";
    skp->Text(10, 30, line.c_str(), static_cast<int>(line.size()));
#endif
    return true;
  }

 private:
  static bool LevelTyped(void*, char* text, void* self) {
    auto* v = static_cast<CheckVessel*>(self);
    const double x = std::strtod(text, nullptr);
#if defined(CHECKMOD_NAN_LIGHT)
    v->light_->SetIntensity(x);
#endif
    if (!std::isfinite(x) || x < 0 || x > 1) return false;
    v->level_ = x;
    return true;
  }

  LightEmitter* light_ = nullptr;
  VECTOR3 beaconPos_{0, 0.5, 0}, beaconCol_{1, 0.5, 0};
  BEACONLIGHTSPEC beacon_{0, &beaconPos_, &beaconCol_, 0.2, 0.5, 1.0, 0.1, 0.0, true};
  ANIMATION_ID anim_ = 0;
  std::uint32_t groups_[1] = {0};
  MGROUP_ROTATE* turn_ = nullptr;
  DEVMESHHANDLE glass_ = nullptr;
  double level_ = 0.5;
  bool on_ = false;
#if defined(CHECKMOD_UNSET_READ)
  double unset_;  // never given a value
#endif
#if defined(CHECKMOD_REWRITE_ON_KEY)
  std::string rewrite_;
#endif
};

}  // namespace

extern "C" {

ZVC_EXPORT VESSEL* zvcInit(OBJHANDLE hvessel, int flightmodel) {
  return new (std::nothrow) CheckVessel(hvessel, flightmodel);
}
ZVC_EXPORT void zvcExit(VESSEL* vessel) { delete static_cast<CheckVessel*>(vessel); }
ZVC_EXPORT const char* ModuleDate() { return "Jun 01 2024"; }
ZVC_EXPORT int GetModuleVersion() { return Date2Int("Aug 30 2010"); }

}  // extern "C"
