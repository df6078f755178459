// buoy: a harbour marker buoy, a vessel module built against an installed hostsim.
//
// Its lantern shows a light characteristic, a pattern of flashes, which the host draws as a
// blinking beacon. A point light at the lantern lights the water around the buoy and follows
// the flashes: it is on exactly while the beacon is lit. Keys: [C] shows the next
// characteristic; [T] opens a box to type one by name; [L] tests the lantern, which burns
// steadily while the key is held. Each key counts pressed alone, without Shift, Ctrl or Alt. The
// HUD shows the characteristic and the keys, in the lantern's colour.
//
// The class configuration gives the lantern's colour (LanternColour = r g b) and its first
// characteristic (Character = F, Fl4, Q or Iso2); one module serves several classes, such as
// a red port-hand and a green starboard-hand buoy. A scenario keeps the characteristic in a
// LIGHT line.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "host/host.h"

namespace {

struct Characteristic {
  const char* name;   // as written in configurations, scenarios and the input box
  double period;      // seconds from one flash to the next; 0 = fixed (always lit)
  double duration;    // seconds lit in each period
  const char* shown;  // what the HUD says of it
};

constexpr Characteristic kCharacteristics[] = {
    {"F", 0.0, 0.0, "fixed"},
    {"Fl4", 4.0, 0.5, "a flash every 4 s"},
    {"Q", 1.0, 0.5, "quick, a flash every second"},
    {"Iso2", 2.0, 1.0, "isophase, 1 s lit, 1 s dark"},
};
constexpr int kCharacteristicCount = static_cast<int>(std::size(kCharacteristics));

// The index of the named characteristic, or -1.
int FindCharacteristic(const char* name) {
  for (int i = 0; i < kCharacteristicCount; ++i)
    if (std::strcmp(kCharacteristics[i].name, name) == 0) return i;
  return -1;
}

// A colour component from the configuration, brought into [0, 1]; one that is not a number
// becomes 1.
double ColourComponent(double c) {
  if (std::isnan(c)) return 1.0;
  return c < 0.0 ? 0.0 : c > 1.0 ? 1.0 : c;
}

// A colour in [0, 1] packed as the Sketchpad takes it: 0x00BBGGRR.
std::uint32_t PackColour(const VECTOR3& c) {
  auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255.0)); };
  return byte(c.x) | byte(c.y) << 8 | byte(c.z) << 16;
}

class Buoy final : public VESSEL3 {
 public:
  Buoy(OBJHANDLE hVessel, int flightModel) : VESSEL3(hVessel, flightModel) {
    beacon_.pos = &lanternPos_;
    beacon_.col = &colour_;
  }

  void clbkSetupClass(FILEHANDLE cfg) override {
    SetSize(1.2);
    SetEmptyMass(350.0);
    SetEnableFocus(true);
    SetTouchdownPoints({0.0, -0.8, 1.0}, {-1.0, -0.8, -1.0}, {1.0, -0.8, -1.0});

    VECTOR3 colour{1.0, 1.0, 1.0};
    if (zapiReadItem_vec(cfg, "LanternColour", colour))
      colour = {ColourComponent(colour.x), ColourComponent(colour.y), ColourComponent(colour.z)};
    colour_ = colour;
    char name[16];
    if (zapiReadItem_string(cfg, "Character", name, static_cast<int>(sizeof name))) {
      const int found = FindCharacteristic(name);
      if (found >= 0) character_ = found;
    }

    // The host keeps the beacon record's address and reads it on every frame.
    beacon_.shape = 0;
    beacon_.size = 0.4;
    beacon_.falloff = 0.5;
    beacon_.tofs = 0.0;
    beacon_.active = true;
    AddBeacon(&beacon_);

    const COLOUR4 light = {static_cast<float>(colour.x), static_cast<float>(colour.y),
                           static_cast<float>(colour.z), 0.0f};
    const COLOUR4 black = {0.0f, 0.0f, 0.0f, 0.0f};
    glow_ = AddPointLight(lanternPos_, 25.0, 1.0, 0.1, 0.02, light, light, black);

    AddMesh(zapiLoadMesh("buoy"));
    ShowLight(zapiGetSimTime());
  }

  void clbkLoadScenario(FILEHANDLE scn, void* status) override {
    char* line = nullptr;
    while (zapiReadScenario_nextline(scn, line)) {
      if (std::strncmp(line, "LIGHT ", 6) == 0) {
        // An unknown characteristic leaves the class's own.
        const int found = FindCharacteristic(line + 6);
        if (found >= 0) character_ = found;
      } else {
        ParseScenarioLineEx(line, status);
      }
    }
    ShowLight(zapiGetSimTime());
  }

  void clbkSaveState(FILEHANDLE scn) override {
    VESSEL2::clbkSaveState(scn);
    zapiWriteScenario_string(scn, "LIGHT", kCharacteristics[character_].name);
  }

  // The light as it shows at the end of the step, when the frame is drawn.
  void clbkAfterStep(double simt, double simdt, double /*mjd*/) override {
    ShowLight(simt + simdt);
  }

  int clbkDirectKeys(char* kstate) override {
    testing_ = zapiKeyDown(kstate, ZKEY_L) && zapiKeyModifiers(kstate) == 0;
    return 0;
  }

  // The keys count pressed alone: with Shift, Ctrl or Alt they are left to the host.
  int clbkBufferedKey(std::uint32_t key, bool down, char* kstate) override {
    if (!down || zapiKeyModifiers(kstate) != 0) return 0;
    if (key == ZKEY_C) {
      SetCharacteristic((character_ + 1) % kCharacteristicCount);
      return 1;
    }
    if (key == ZKEY_T) {
      // The host keeps the callback and `this`, and calls back when the user answers. The
      // longest name has four characters; the box takes a few more.
      zapiOpenInputBox("Characteristic (F, Fl4, Q or Iso2)", CharacteristicTyped, nullptr, 8, this);
      return 1;
    }
    return 0;
  }

  // The HUD: two lines near the top left, in pixels of the W x H area whose (0, 0) is its top
  // left corner. The host's own HUD elements come first (the base draws them); the result
  // says whether anything was drawn. Texts must start inside the area: one too small for
  // both lines to start there gets none. This runs every frame, so it allocates nothing: the text
  // is composed on the stack.
  using VESSEL3::clbkDrawHUD;  // keeps the older overload visible beside this one
  bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) override {
    const bool hostDrew = VESSEL3::clbkDrawHUD(mode, hps, skp);
    if (hps == nullptr || skp == nullptr) return hostDrew;
    const int x = 10;
    const int y = hps->H / 8;
    const int lineHeight = skp->GetCharHeight();
    if (hps->W <= x || y + 2 * lineHeight > hps->H) return hostDrew;

    skp->SetTextColor(PackColour(colour_));
    const Characteristic& c = kCharacteristics[character_];
    char text[96];
    const int written = std::snprintf(text, sizeof text, "Lantern %s: %s", c.name,
                                      testing_ ? "under test, steady" : c.shown);
    const int room = static_cast<int>(sizeof text) - 1;  // snprintf cuts a longer text there
    if (written > 0) skp->Text(x, y, text, written < room ? written : room);
    const char keys[] = "[C] next  [T] type one  [L] test";
    skp->Text(x, y + lineHeight, keys, static_cast<int>(sizeof keys) - 1);
    return true;
  }

 private:
  // The answer typed into the box [T] opens: the name of a characteristic is taken; anything
  // else is refused (false), and the lantern keeps the one it shows.
  static bool CharacteristicTyped(void* /*id*/, char* str, void* usrdata) {
    if (str == nullptr || usrdata == nullptr) return false;
    const int found = FindCharacteristic(str);
    if (found < 0) return false;
    static_cast<Buoy*>(usrdata)->SetCharacteristic(found);
    return true;
  }

  void SetCharacteristic(int index) {
    character_ = index;
    ShowLight(zapiGetSimTime());
  }

  // Sets the beacon's pattern, and switches the point light on when the beacon is lit at
  // simulation time `t`; under test both burn steadily.
  void ShowLight(double t) {
    const Characteristic& c = kCharacteristics[character_];
    beacon_.period = testing_ ? 0.0 : c.period;
    beacon_.duration = testing_ ? 0.0 : c.duration;
    if (glow_ != nullptr) glow_->Activate(BeaconLit(t));
  }

  // Whether the host shows the beacon at time `t`: always without a period, else during the
  // first `duration` seconds of each period (counted from the time offset).
  bool BeaconLit(double t) const {
    if (!(beacon_.period > 0.0)) return true;
    double phase = std::fmod(t + beacon_.tofs, beacon_.period);
    if (phase < 0.0) phase += beacon_.period;
    return phase < beacon_.duration;
  }

  int character_ = 1;     // index into kCharacteristics
  bool testing_ = false;  // [L] is held
  VECTOR3 lanternPos_{0.0, 1.55, 0.0};
  VECTOR3 colour_{1.0, 1.0, 1.0};
  BEACONLIGHTSPEC beacon_{};
  LightEmitter* glow_ = nullptr;  // owned by the host
};

}  // namespace

// The library's load and unload hook (InitLib at load) is the package's: hostsim_add_module
// compiles it in. The module itself exports only its entry points.
extern "C" {

VESSEL* zvcInit(OBJHANDLE hvessel, int flightmodel) {
  return new (std::nothrow) Buoy(hvessel, flightmodel);
}

void zvcExit(VESSEL* vessel) {
  // zvcInit handed out the VESSEL base of a Buoy; VESSEL has no virtual destructor.
  delete static_cast<Buoy*>(vessel);
}

const char* ModuleDate() { return "Dec 07 2026"; }

// The version of the host interface this module is written against.
int GetModuleVersion() { return Date2Int(kHostInterfaceDate); }

}  // extern "C"
