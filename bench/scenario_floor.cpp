#include "scenario_floor.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace bench {

std::string MakeScenarioText(int lamps) {
  const int tugs = lamps / 10 > 0 ? lamps / 10 : 1;
  std::string out = "TITLE Lamps on a field\nTIME 12.5\nFOCUS lamp0\n";
  char line[512];
  for (int t = 0; t < tugs; ++t) {
    std::snprintf(line, sizeof line, "VESSEL tug%d tug\n  POS %g %g %g\n  ORI %g 0 0\nEND\n", t,
                  t * 12.1, 0.0, -t * 0.7, (t % 36) * 10.0);
    out += line;
  }
  for (int i = 0; i < lamps; ++i) {
    const double x = i * 0.1, z = (i % 97) * 1.3;
    std::snprintf(line, sizeof line,
                  "VESSEL lamp%d lumipod\n  POS %.17g 0.37 %.17g\n  ORI %d 0 0\n", i, x, z,
                  (i * 7) % 360);
    out += line;
    if (i % 5 == 0) {
      const int k = i / 5;
      std::snprintf(line, sizeof line, "  ATTACHED tug%d %d GS\n", k % tugs, (k / tugs) % 4);
      out += line;
    }
    std::snprintf(line, sizeof line,
                  "  SPT %d %0.4f 0.3491\n  PAT %0.4f 0.5000 0.0000 0.0000 1.0000 0.0000 0.0000 "
                  "0.0000 1.0000\n  GBL %0.5f %0.5f\nEND\n",
                  i % 2, 100.0 + (i % 500), (i % 3) * 0.25, 0.5 + (i % 10) * 0.01,
                  (i % 100) * 0.01);
    out += line;
  }
  return out;
}

namespace {

bool Key(const char* p, const char* key, std::size_t n) {
  return std::strncmp(p, key, n) == 0 && (p[n] == ' ' || p[n] == '\0' || p[n] == '\n');
}

}  // namespace

std::size_t FloorLoad(const std::filesystem::path& file, std::string& bytes, FloorScenario& out) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot read " + file.string());
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  bytes.resize(static_cast<std::size_t>(size));
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);

  out.vessels.clear();
  out.title[0] = '\0';
  out.focus[0] = '\0';
  FloorVessel* v = nullptr;
  std::size_t lines = 0;
  char* p = bytes.data();
  char* const end = p + bytes.size();
  while (p < end) {
    char* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (nl == nullptr) nl = end;
    *nl = '\0';  // sscanf stops at the line's end
    ++lines;
    while (*p == ' ') ++p;
    if (Key(p, "VESSEL", 6)) {
      v = &out.vessels.emplace_back();
      v->attached = false;
      v->lamp = false;
      std::sscanf(p + 6, "%63s %63s", v->name, v->className);
    } else if (Key(p, "POS", 3)) {
      std::sscanf(p + 3, "%lf %lf %lf", &v->pos[0], &v->pos[1], &v->pos[2]);
    } else if (Key(p, "ORI", 3)) {
      std::sscanf(p + 3, "%lf %lf %lf", &v->ori[0], &v->ori[1], &v->ori[2]);
    } else if (Key(p, "ATTACHED", 8)) {
      v->attached = true;
      std::sscanf(p + 8, "%63s %d %15s", v->parent, &v->index, v->point);
    } else if (Key(p, "SPT", 3)) {
      v->lamp = true;
      std::sscanf(p + 3, "%d %lf %lf", &v->lampOn, &v->spt[0], &v->spt[1]);
    } else if (Key(p, "PAT", 3)) {
      double* a = v->pat;
      std::sscanf(p + 3, "%lf %lf %lf %lf %lf %lf %lf %lf %lf", &a[0], &a[1], &a[2], &a[3], &a[4],
                  &a[5], &a[6], &a[7], &a[8]);
    } else if (Key(p, "GBL", 3)) {
      std::sscanf(p + 3, "%lf %lf", &v->gbl[0], &v->gbl[1]);
    } else if (Key(p, "TITLE", 5)) {
      std::sscanf(p + 5, " %127[^\n]", out.title);
    } else if (Key(p, "TIME", 4)) {
      std::sscanf(p + 4, "%lf", &out.time);
    } else if (Key(p, "FOCUS", 5)) {
      std::sscanf(p + 5, "%63s", out.focus);
    }
    p = nl + 1;
  }
  return lines;
}

std::size_t FloorSave(const FloorScenario& s, std::string& buffer,
                      const std::filesystem::path& file) {
  // Room for every line at its longest; the buffer keeps its storage between calls.
  const std::size_t need = 512 + s.vessels.size() * 1024;
  if (buffer.size() < need) buffer.resize(need);
  char* const base = buffer.data();
  std::size_t at = 0;
  auto put = [&](const char* fmt, auto... args) {
    at += static_cast<std::size_t>(std::snprintf(base + at, buffer.size() - at, fmt, args...));
  };
  // A line of a key and numbers, each the shortest text that reads back as the same number.
  auto numbers = [&](const char* key, std::initializer_list<double> values) {
    put("%s", key);
    for (double x : values) {
      base[at++] = ' ';
      at = static_cast<std::size_t>(std::to_chars(base + at, base + buffer.size(), x).ptr - base);
    }
    base[at++] = '\n';
  };
  if (s.title[0] != '\0') put("TITLE %s\n", s.title);
  numbers("TIME", {s.time});
  if (s.focus[0] != '\0') put("FOCUS %s\n", s.focus);
  for (const FloorVessel& v : s.vessels) {
    put("\nVESSEL %s %s\n", v.name, v.className);
    numbers("  POS", {v.pos[0], v.pos[1], v.pos[2]});
    numbers("  ORI", {v.ori[0], v.ori[1], v.ori[2]});
    if (v.attached) put("  ATTACHED %s %d %s\n", v.parent, v.index, v.point);
    if (v.lamp) {
      put("  SPT %d %0.4f %0.4f\n", v.lampOn, v.spt[0], v.spt[1]);
      const double* a = v.pat;
      put("  PAT %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f %0.4f\n", a[0], a[1], a[2], a[3],
          a[4], a[5], a[6], a[7], a[8]);
      put("  GBL %0.5f %0.5f\n", v.gbl[0], v.gbl[1]);
    }
    put("%s", "END\n");
  }
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + file.string());
  const std::size_t written = std::fwrite(base, 1, at, f);
  std::fclose(f);
  return written;
}

}  // namespace bench
