// VESSEL2 and VESSEL3: the host's default callbacks, run when a module does not override one
// or calls the base itself.
#include "hostsim/runtime/call.h"
#include "hostsim/runtime/file_objects.h"
#include "hostsim/runtime/vessel_state.h"

using namespace hostsim;

VESSEL2::VESSEL2(OBJHANDLE hVessel, int fmodel) : VESSEL(hVessel, fmodel) { version_ = 2; }

void VESSEL2::clbkSetupClass(FILEHANDLE cfg) { CallOn(hVessel_, "VESSEL2::clbkSetupClass", cfg); }

void VESSEL2::clbkSaveState(FILEHANDLE scn) {
  auto [w, v] = CallOn(hVessel_, "VESSEL2::clbkSaveState", scn);
  auto* out = OpenFileOf<ScenarioWriteObject>(w, scn);
  if (v == nullptr || out == nullptr || &out->vessel != v) return;
  HostLines(*v, out->pose, out->lines);
}

void VESSEL2::clbkLoadScenario(FILEHANDLE scn, void* status) {
  auto [w, v] = CallOn(hVessel_, "VESSEL2::clbkLoadScenario", scn, status);
  auto* in = OpenFileOf<ScenarioReadObject>(w, scn);
  if (v == nullptr || in == nullptr || &in->vessel != v) return;
  std::string_view line;
  int number = 0;
  while (in->lines.Next(line, number)) {
    in->currentLine = number;
    ApplyHostLine(*w, *v, line, in->name, number, &in->warned);
  }
}

void VESSEL2::clbkSetStateEx(const void* status) {
  CallOn(hVessel_, "VESSEL2::clbkSetStateEx", status);
}

void VESSEL2::clbkAfterCreation() { CallOn(hVessel_, "VESSEL2::clbkAfterCreation"); }

void VESSEL2::clbkFocusChanged(bool getfocus, OBJHANDLE hNewVessel, OBJHANDLE hOldVessel) {
  CallOn(hVessel_, "VESSEL2::clbkFocusChanged", getfocus, hNewVessel, hOldVessel);
}

void VESSEL2::clbkBeforeStep(double simt, double simdt, double mjd) {
  CallOn(hVessel_, "VESSEL2::clbkBeforeStep", simt, simdt, mjd);
}

void VESSEL2::clbkAfterStep(double simt, double simdt, double mjd) {
  CallOn(hVessel_, "VESSEL2::clbkAfterStep", simt, simdt, mjd);
}

bool VESSEL2::clbkPlaybackEvent(double simt, double event_t, const char* event_type,
                                const char* event) {
  CallOn(hVessel_, "VESSEL2::clbkPlaybackEvent", simt, event_t, event_type, event);
  return false;
}

void VESSEL2::clbkVisualBuilt(VISHANDLE vis, int refcount) {
  CallOn(hVessel_, "VESSEL2::clbkVisualBuilt", vis, refcount);
}

void VESSEL2::clbkVisualDestroyed(VISHANDLE vis, int refcount) {
  CallOn(hVessel_, "VESSEL2::clbkVisualDestroyed", vis, refcount);
}

void VESSEL2::clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, DEVCONTEXT hDC) {
  CallOn(hVessel_, "VESSEL2::clbkDrawHUD", mode, hps, hDC);
}

void VESSEL2::clbkRCSMode(int mode) { CallOn(hVessel_, "VESSEL2::clbkRCSMode", mode); }

void VESSEL2::clbkADCtrlMode(std::uint32_t mode) {
  CallOn(hVessel_, "VESSEL2::clbkADCtrlMode", mode);
}

void VESSEL2::clbkHUDMode(int mode) { CallOn(hVessel_, "VESSEL2::clbkHUDMode", mode); }

void VESSEL2::clbkMFDMode(int mfd, int mode) {
  CallOn(hVessel_, "VESSEL2::clbkMFDMode", mfd, mode);
}

void VESSEL2::clbkNavMode(int mode, bool active) {
  CallOn(hVessel_, "VESSEL2::clbkNavMode", mode, active);
}

void VESSEL2::clbkDockEvent(int dock, OBJHANDLE mate) {
  CallOn(hVessel_, "VESSEL2::clbkDockEvent", dock, mate);
}

void VESSEL2::clbkAnimate(double simt) { CallOn(hVessel_, "VESSEL2::clbkAnimate", simt); }

int VESSEL2::clbkDirectKeys(char*) {
  CallOn(hVessel_, "VESSEL2::clbkDirectKeys");
  return 0;
}

int VESSEL2::clbkBufferedKey(std::uint32_t key, bool down, char*) {
  CallOn(hVessel_, "VESSEL2::clbkBufferedKey", key, down);
  return 0;
}

bool VESSEL2::clbkLoadGenericCockpit() {
  CallOn(hVessel_, "VESSEL2::clbkLoadGenericCockpit");
  return false;
}

bool VESSEL2::clbkLoadPanel(int id) {
  CallOn(hVessel_, "VESSEL2::clbkLoadPanel", id);
  return false;
}

bool VESSEL2::clbkPanelMouseEvent(int id, int event, int mx, int my) {
  CallOn(hVessel_, "VESSEL2::clbkPanelMouseEvent", id, event, mx, my);
  return false;
}

bool VESSEL2::clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf) {
  CallOn(hVessel_, "VESSEL2::clbkPanelRedrawEvent", id, event, surf);
  return false;
}

bool VESSEL2::clbkLoadVC(int id) {
  CallOn(hVessel_, "VESSEL2::clbkLoadVC", id);
  return false;
}

bool VESSEL2::clbkVCMouseEvent(int id, int event, VECTOR3& p) {
  CallOn(hVessel_, "VESSEL2::clbkVCMouseEvent", id, event, p);
  return false;
}

bool VESSEL2::clbkVCRedrawEvent(int id, int event, SURFHANDLE surf) {
  CallOn(hVessel_, "VESSEL2::clbkVCRedrawEvent", id, event, surf);
  return false;
}

VESSEL3::VESSEL3(OBJHANDLE hVessel, int fmodel) : VESSEL2(hVessel, fmodel) { version_ = 3; }

bool VESSEL3::clbkPanelMouseEvent(int id, int event, int mx, int my, void* context) {
  CallOn(hVessel_, "VESSEL3::clbkPanelMouseEvent", id, event, mx, my, context);
  return false;
}

bool VESSEL3::clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf, void* context) {
  CallOn(hVessel_, "VESSEL3::clbkPanelRedrawEvent", id, event, surf, context);
  return false;
}

int VESSEL3::clbkGeneric(int msgid, int prm, void* context) {
  CallOn(hVessel_, "VESSEL3::clbkGeneric", msgid, prm, context);
  return 0;
}

bool VESSEL3::clbkLoadPanel2D(int id, PANELHANDLE hPanel, std::uint32_t viewW,
                              std::uint32_t viewH) {
  CallOn(hVessel_, "VESSEL3::clbkLoadPanel2D", id, hPanel, viewW, viewH);
  return false;
}

bool VESSEL3::clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, zapi::Sketchpad* skp) {
  CallOn(hVessel_, "VESSEL3::clbkDrawHUD", mode, hps, skp);
  // The host draws no default HUD elements of its own in this simulator.
  return false;
}

void VESSEL3::clbkRenderHUD(int mode, const HUDPAINTSPEC* hps, SURFHANDLE hDefaultTex) {
  CallOn(hVessel_, "VESSEL3::clbkRenderHUD", mode, hps, hDefaultTex);
}

void VESSEL3::clbkGetRadiationForce(const VECTOR3& mflux, VECTOR3& F, VECTOR3& pos) {
  CallOn(hVessel_, "VESSEL3::clbkGetRadiationForce", mflux, F, pos);
}
