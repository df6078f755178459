// Free functions of the host: simulation queries, library initialisation, dates.
#include <cctype>

#include "hostsim/runtime/call.h"
#include "hostsim/runtime/text.h"

using namespace hostsim;

double zapiGetSimStep() {
  World::Impl* w = HostCall("zapiGetSimStep");
  return w != nullptr ? w->clock.simdt : 0.0;
}

double zapiGetSimTime() {
  World::Impl* w = HostCall("zapiGetSimTime");
  return w != nullptr ? w->clock.simt : 0.0;
}

OBJHANDLE zapiGetObjectByName(const char* name) {
  World::Impl* w = HostCall("zapiGetObjectByName", name);
  if (w == nullptr || name == nullptr) return nullptr;
  Vessel* v = w->self->FindVessel(name);
  return v != nullptr ? v->handle() : nullptr;
}

VESSEL* zapiGetVesselInterface(OBJHANDLE hVessel) {
  World::Impl* w = HostCall("zapiGetVesselInterface", hVessel);
  Vessel* v = w != nullptr ? w->Find(hVessel) : nullptr;
  return v != nullptr ? v->iface() : nullptr;
}

OBJHANDLE zapiGetFocusObject() {
  World::Impl* w = HostCall("zapiGetFocusObject");
  return w != nullptr && w->focus != nullptr ? w->focus->handle() : nullptr;
}

void InitLib(MODULEHANDLE hModule) {
  World::Impl* w = HostCall("InitLib", hModule);
  if (w != nullptr && w->initialising != nullptr) w->initialising->initHandle = hModule;
}

int Date2Int(const char* date) {
  HostCall("Date2Int", date);
  if (date == nullptr) return 0;
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string_view s(date);
  // "Mmm dd yyyy": the day may be padded with a blank or a zero, or have one digit.
  if (s.size() < 10 || s.size() > 11) return 0;
  int month = 0;
  for (int i = 0; i < 12; ++i)
    if (EqualsNoCase(s.substr(0, 3), kMonths[i])) month = i + 1;
  if (month == 0 || s[3] != ' ') return 0;
  std::string_view rest = s.substr(4);
  std::string_view day, year;
  if (rest.size() == 6) {  // "d yyyy"
    day = rest.substr(0, 1);
    if (rest[1] != ' ') return 0;
    year = rest.substr(2);
  } else {  // "dd yyyy" or " d yyyy"
    day = rest.substr(0, 2);
    if (rest[2] != ' ') return 0;
    year = rest.substr(3);
    if (day[0] == ' ') day = day.substr(1);
  }
  auto digits = [](std::string_view t) {
    if (t.empty()) return false;
    for (char c : t)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  if (!digits(day) || !digits(year) || year.size() != 4) return 0;
  int d = 0, y = 0;
  for (char c : day) d = d * 10 + (c - '0');
  for (char c : year) y = y * 10 + (c - '0');
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int maxDay = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (d < 1 || d > maxDay) return 0;
  return y * 10000 + month * 100 + d;
}
