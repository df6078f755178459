// A test-only module for the host runtime's own tests. The class name picks what zvcInit
// makes:
//   probe_v2         a VESSEL2 object (no VESSEL3 callbacks)
//   probe_unbound    a VESSEL3 object bound to no vessel (the host must refuse it)
//   anything else    a VESSEL3 object with a to-parent point "TOP" and a child point "SLOT",
//                    a "PROBE <text>" scenario line of its own, an input box on key N (0x31)
//                    that stores the typed text, and a HUD of one text and one line; with
//                    "Tag = raw" in its class it also saves the text as a line of its own.
#include <cstring>
#include <map>
#include <string>

#include "host/host.h"

namespace {

class ProbeV2 final : public VESSEL2 {
 public:
  ProbeV2(OBJHANDLE h, int fm) : VESSEL2(h, fm) {}
};

class Probe final : public VESSEL3 {
 public:
  Probe(OBJHANDLE h, int fm) : VESSEL3(h, fm) {}

  void clbkSetupClass(FILEHANDLE cfg) override {
    char tag[32] = "none";
    zapiReadItem_string(cfg, "Tag", tag, static_cast<int>(sizeof tag));
    tag_ = tag;
    CreateAttachment(true, {0, -1, 0}, {0, -1, 0}, {0, 0, 1}, "TOP");
    CreateAttachment(false, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}, "SLOT");
  }

  void clbkLoadScenario(FILEHANDLE scn, void* status) override {
    char* line = nullptr;
    while (zapiReadScenario_nextline(scn, line)) {
      if (std::strncmp(line, "PROBE ", 6) == 0)
        value_ = line + 6;
      else
        ParseScenarioLineEx(line, status);
    }
  }

  void clbkSaveState(FILEHANDLE scn) override {
    VESSEL2::clbkSaveState(scn);
    zapiWriteScenario_string(scn, "PROBE", value_.c_str());
    // Tag "raw": the value again, as a line of its own (a module may write any line).
    if (tag_ == "raw") zapiWriteScenario_string(scn, value_.c_str(), "");
  }

  int clbkBufferedKey(std::uint32_t key, bool down, char*) override {
    if (!down || key != 0x31) return 0;
    zapiOpenInputBox("Probe value", &Probe::Answer, nullptr, 20, this);
    return 1;
  }

  bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) override {
    VESSEL3::clbkDrawHUD(mode, hps, skp);
    skp->SetTextColor(0x66FF66);
    const char text[] = "W \xB0 H";
    skp->Text(10, hps->H / 2, text, 5);
    skp->Line(0, 0, hps->W, hps->H);
    return true;
  }

  static bool Answer(void*, char* str, void* usrdata) {
    auto* self = static_cast<Probe*>(usrdata);
    if (str == nullptr || *str == '\0') return false;
    self->value_ = str;
    return true;
  }

 private:
  std::string tag_;
  std::string value_ = "none";
};

// What each object is, so zvcExit frees it as what it is.
std::map<VESSEL*, int>& Kinds() {
  static std::map<VESSEL*, int> kinds;
  return kinds;
}

}  // namespace

extern "C" {

ZVC_EXPORT VESSEL* zvcInit(OBJHANDLE hvessel, int flightmodel) {
  std::string cls = VESSEL(hvessel, flightmodel).GetClassName();
  VESSEL* obj = nullptr;
  int kind = 3;
  if (cls == "probe_v2") {
    obj = new ProbeV2(hvessel, flightmodel);
    kind = 2;
  } else if (cls == "probe_unbound") {
    obj = new Probe(nullptr, flightmodel);
  } else {
    obj = new Probe(hvessel, flightmodel);
  }
  Kinds()[obj] = kind;
  return obj;
}

ZVC_EXPORT void zvcExit(VESSEL* vessel) {
  auto it = Kinds().find(vessel);
  if (it == Kinds().end()) return;
  if (it->second == 2)
    delete static_cast<ProbeV2*>(vessel);
  else
    delete static_cast<Probe*>(vessel);
  Kinds().erase(it);
}

ZVC_EXPORT const char* ModuleDate() { return "Jan 02 2020"; }
ZVC_EXPORT int GetModuleVersion() { return Date2Int("Aug 30 2010"); }
}
