// The lamp's output: the light parameters, switching, the intensity ramp, range and spread
// typed into the input boxes, and the glass of the template mesh and of the visual.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

const MATERIAL& TemplateGlass(LampWorld& w, lumipod* lamp) {
  return w.world().MeshFromHandle(lamp->hMesh)->materials.at(1);
}

const MATERIAL& VisualGlass(hostsim::Vessel& v) { return v.visual->meshes.at(0)->materials.at(1); }

TEST(LampOutput, LightParametersWorkedValues) {
  LampWorld w;
  auto& v = w.AddLamp();
  auto* lamp = AsLamp(v);
  // After creation: range 300, spread 20 degrees, intensity 1.
  const hostsim::LightState spot = Light(v);
  EXPECT_DOUBLE_EQ(spot.range, 300.0);
  EXPECT_DOUBLE_EQ(spot.umbra, 0.2617993877991494);
  EXPECT_DOUBLE_EQ(spot.penumbra, 0.3490658503988659);
  EXPECT_DOUBLE_EQ(spot.attenuation[0], 1.0);
  EXPECT_DOUBLE_EQ(spot.attenuation[1], 0.0);
  EXPECT_DOUBLE_EQ(spot.attenuation[2], 2.2222222222222223e-5);
  EXPECT_DOUBLE_EQ(Beacon(v).size, 0.34641016151377546);
  EXPECT_TRUE(VecNear(spot.direction, {0, 0, 1}, 0));

  // A new range changes the attenuation and the beacon's size with it; the spread stays.
  lamp->intensity = 0.5;
  ASSERT_TRUE(w.Answer(ZKEY_N, "100"));
  EXPECT_DOUBLE_EQ(Light(v).range, 100.0);
  EXPECT_DOUBLE_EQ(Light(v).attenuation[2], 0.0002);
  EXPECT_DOUBLE_EQ(Light(v).penumbra, 0.3490658503988659);
  EXPECT_DOUBLE_EQ(Beacon(v).size, 0.1);

  lamp->intensity = 1.0;
  ASSERT_TRUE(w.Answer(ZKEY_N, "1"));
  EXPECT_DOUBLE_EQ(Light(v).attenuation[2], 2.0);
  EXPECT_DOUBLE_EQ(Beacon(v).size, 0.02);
}

struct GlassRow {
  const char* colour;
  double intensity;
  COLOUR4 glow;
  float grey;
};

TEST(LampOutput, ToggleSwitchesLightBeaconAndGlass) {
  const GlassRow rows[] = {
      {"1 1 1", 1.0, {1, 1, 1, 1}, 0.0f},
      {"1 0.5 0", 0.25, {0.25f, 0.125f, 0, 1}, 0.375f},
      {"1 1 1", 0.0, {0, 0, 0, 1}, 0.5f},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.colour) + " at " + std::to_string(r.intensity));
    ConfigFolder cfg(std::string(r.colour));
    LampWorld w(cfg.paths());
    auto& v = w.AddLamp();
    auto* lamp = AsLamp(v);
    w.world().BuildVisual(v);
    const MATERIAL before = TemplateGlass(w, lamp);
    lamp->intensity = r.intensity;

    w.journal().Clear();
    EXPECT_EQ(w.Press(ZKEY_B), 1);
    EXPECT_EQ(CountCalls(w.journal(), "Activate"), 1u);
    EXPECT_EQ(CountCalls(w.journal(), "zapiSetMaterial"), 1u);
    EXPECT_EQ(CountCalls(w.journal(), "SetIntensity"), 0u);
    EXPECT_EQ(CountCalls(w.journal(), "SetRange"), 0u);
    EXPECT_EQ(lamp->lampOn, 1);
    EXPECT_TRUE(Beacon(v).active);
    EXPECT_TRUE(Light(v).active);
    EXPECT_EQ(lamp->intensity, r.intensity);
    for (const MATERIAL* m : {&TemplateGlass(w, lamp), &VisualGlass(v)}) {
      for (const COLOUR4* c : {&m->diffuse, &m->ambient, &m->specular}) {
        EXPECT_EQ(c->r, r.grey);
        EXPECT_EQ(c->g, r.grey);
        EXPECT_EQ(c->b, r.grey);
      }
      EXPECT_EQ(m->diffuse.a, before.diffuse.a);
      EXPECT_EQ(m->ambient.a, before.ambient.a);
      EXPECT_EQ(m->specular.a, before.specular.a);
      EXPECT_EQ(m->emissive.r, r.glow.r);
      EXPECT_EQ(m->emissive.g, r.glow.g);
      EXPECT_EQ(m->emissive.b, r.glow.b);
      EXPECT_EQ(m->emissive.a, r.glow.a);
      EXPECT_EQ(m->power, before.power);
    }

    EXPECT_EQ(w.Press(ZKEY_B), 1);
    EXPECT_EQ(lamp->lampOn, 0);
    EXPECT_FALSE(Beacon(v).active);
    EXPECT_FALSE(Light(v).active);
    for (const MATERIAL* m : {&TemplateGlass(w, lamp), &VisualGlass(v)}) {
      for (const COLOUR4* c : {&m->diffuse, &m->ambient, &m->specular}) {
        EXPECT_EQ(c->r, 0.5f);
        EXPECT_EQ(c->g, 0.5f);
        EXPECT_EQ(c->b, 0.5f);
      }
      EXPECT_EQ(m->diffuse.a, before.diffuse.a);
      EXPECT_EQ(m->emissive.r, 0.0f);
      EXPECT_EQ(m->emissive.g, 0.0f);
      EXPECT_EQ(m->emissive.b, 0.0f);
      EXPECT_EQ(m->emissive.a, 0.0f);
      EXPECT_EQ(m->power, before.power);
    }
    EXPECT_EQ(lamp->intensity, r.intensity);
  }
}

TEST(LampOutput, LampOnOtherThanZeroOrOneIsInert) {
  LampWorld w;
  auto& v = w.AddLamp("L1", {"SPT 2 300 0.3491"});
  auto* lamp = AsLamp(v);
  EXPECT_FALSE(Beacon(v).active);
  EXPECT_FALSE(Light(v).active) << "not switched on after creation";
  w.world().BuildVisual(v);
  w.journal().Clear();
  EXPECT_EQ(w.Press(ZKEY_B), 1);
  w.Frame(0.5, {ZKEY_J});
  w.Frame(0.5, {ZKEY_K});
  EXPECT_EQ(lamp->lampOn, 2);
  EXPECT_EQ(lamp->intensity, 1.0);
  EXPECT_EQ(CountCalls(w.journal(), "Activate"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "SetIntensity"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "zapiMeshMaterial"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "zapiSetMaterial"), 0u);
  EXPECT_EQ(LampLine(w.world().ScenarioText(), "L1", "SPT").value_or(""), "2 300.0000 0.3491");
}

struct RampRow {
  const char* name;
  double start;
  std::uint8_t key;
  double dt;  // intensity step = 0.2 * dt
  double want;
};

TEST(LampOutput, IntensityRampClampsAndKeepsPushing) {
  const RampRow rows[] = {
      {"J to exactly 0", 0.05, ZKEY_J, 0.5, 0.0},
      {"K to exactly 1", 0.95, ZKEY_K, 0.5, 1.0},
      {"J from 1 by 0.5", 1.0, ZKEY_J, 2.5, 0.5},
      {"K from 0 by 0.25", 0.0, ZKEY_K, 1.25, 0.25},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& v = w.AddLamp("L1", {"SPT 1 300 0.3491"});
    auto* lamp = AsLamp(v);
    w.world().BuildVisual(v);
    lamp->intensity = r.start;
    for (int frame = 0; frame < 3; ++frame) {
      SCOPED_TRACE(frame);
      w.journal().Clear();
      w.Frame(r.dt, {r.key});
      const double want = frame == 0        ? r.want
                          : r.key == ZKEY_J ? std::max(0.0, r.want - 0.2 * r.dt * frame)
                                            : std::min(1.0, r.want + 0.2 * r.dt * frame);
      EXPECT_NEAR(lamp->intensity, want, 1e-15);
      // Pushed every frame, also when clamped to a bound it already had.
      EXPECT_EQ(CountCalls(w.journal(), "SetIntensity"), 1u);
      EXPECT_EQ(CountCalls(w.journal(), "zapiSetMaterial"), 1u);
      EXPECT_EQ(Light(v).intensity, lamp->intensity);
      EXPECT_DOUBLE_EQ(Beacon(v).size, std::sqrt(300.0) * 0.02 * lamp->intensity);
      EXPECT_EQ(VisualGlass(v).emissive.r, static_cast<float>(lamp->intensity));
    }
    if (r.want == 0.0 || r.want == 1.0) {
      EXPECT_EQ(lamp->intensity, r.want) << "exact bound";
    }
  }
}

TEST(LampOutput, HalfIntensityBeaconSize) {
  LampWorld w;
  auto& v = w.AddLamp("L1", {"SPT 1 300 0.3491"});
  w.Frame(2.5, {ZKEY_J});
  EXPECT_EQ(AsLamp(v)->intensity, 0.5);
  EXPECT_DOUBLE_EQ(Beacon(v).size, 0.17320508075688776);
  EXPECT_EQ(Light(v).intensity, 0.5);
}

TEST(LampOutput, RampDoesNothingWhileOff) {
  LampWorld w;
  auto& v = w.AddLamp();
  w.journal().Clear();
  w.Frame(0.5, {ZKEY_J});
  w.Frame(0.5, {ZKEY_K});
  w.Frame(0.5, {ZKEY_J, ZKEY_K});
  EXPECT_EQ(AsLamp(v)->intensity, 1.0);
  EXPECT_EQ(Light(v).intensity, 1.0);
  EXPECT_EQ(CountCalls(w.journal(), "SetIntensity"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "zapiMeshMaterial"), 0u);
  EXPECT_DOUBLE_EQ(Beacon(v).size, 0.34641016151377546);
}

struct TextRow {
  const char* text;
  bool accepted;
  double want;  // when accepted
};

TEST(LampOutput, RangeFromText) {
  const TextRow rows[] = {
      {"250", true, 250.0},   {"0.5", true, 1.0},       {"", true, 1.0},
      {"abc", true, 1.0},     {"1e6", true, 100000.0},  {"  75.5", true, 75.5},
      {"75.5 m", true, 75.5}, {"inf", true, 100000.0},  {"-inf", true, 1.0},
      {"nan", false, 0},      {"100000", true, 100000}, {"1", true, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string("\"") + r.text + "\"");
    LampWorld w;
    auto& v = w.AddLamp();
    auto* lamp = AsLamp(v);
    w.Press(ZKEY_N);
    ASSERT_NE(w.world().OpenBox(), nullptr);
    w.journal().Clear();
    EXPECT_EQ(w.world().AnswerBox(r.text), r.accepted);
    const double want = r.accepted ? r.want : 300.0;
    EXPECT_EQ(lamp->range, want);
    EXPECT_EQ(CountCalls(w.journal(), "SetRange"), r.accepted ? 1u : 0u);
    EXPECT_EQ(Light(v).range, want);
    EXPECT_EQ(lamp->aperture, kDefaultAperture);
  }
}

TEST(LampOutput, SpreadFromText) {
  const TextRow rows[] = {
      {"5", true, 0.17453292519943295},
      {"130", true, 2.0943951023931953},
      {"45", true, 0.7853981633974483},
      {"", true, 0.17453292519943295},
      {"inf", true, 2.0943951023931953},
      {"-inf", true, 0.17453292519943295},
      {"nan", false, 0},
      {"120", true, 2.0943951023931953},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string("\"") + r.text + "\"");
    LampWorld w;
    auto& v = w.AddLamp();
    auto* lamp = AsLamp(v);
    w.Press(ZKEY_M);
    ASSERT_NE(w.world().OpenBox(), nullptr);
    w.journal().Clear();
    EXPECT_EQ(w.world().AnswerBox(r.text), r.accepted);
    const double want = r.accepted ? r.want : kDefaultAperture;
    EXPECT_DOUBLE_EQ(lamp->aperture, want);
    EXPECT_EQ(CountCalls(w.journal(), "SetAperture"), r.accepted ? 1u : 0u);
    EXPECT_DOUBLE_EQ(Light(v).penumbra, want);
    EXPECT_DOUBLE_EQ(Light(v).umbra, want * 0.75);
    EXPECT_EQ(lamp->range, 300.0);
  }
}

TEST(LampOutput, SwitchedOnAfterCreationWithoutTouchingTheGlass) {
  LampWorld w;
  auto& v = w.SetUpLamp();
  auto* lamp = AsLamp(v);
  w.world().LoadVesselState(v, {"SPT 1 150 0.4"});
  const MATERIAL glass = TemplateGlass(w, lamp);
  w.journal().Clear();
  w.world().FinishCreation(v);
  EXPECT_TRUE(Beacon(v).active);
  EXPECT_TRUE(Light(v).active);
  // The light has the lamp's own parameters, not those it was created with.
  EXPECT_EQ(Light(v).range, 150.0);
  EXPECT_EQ(Light(v).penumbra, 0.4);
  EXPECT_EQ(CountCalls(w.journal(), "zapiSetMaterial"), 0u);
  EXPECT_EQ(CountCalls(w.journal(), "zapiMeshMaterial"), 0u);
  EXPECT_EQ(TemplateGlass(w, lamp).emissive.a, glass.emissive.a);
  EXPECT_EQ(TemplateGlass(w, lamp).emissive.r, glass.emissive.r);
}

TEST(LampOutput, NewVisualGetsLitGlassOnlyWhileOn) {
  for (bool on : {true, false}) {
    SCOPED_TRACE(on ? "on" : "off");
    LampWorld w;
    auto& v = w.AddLamp("L1", {on ? "SPT 1 300 0.3491" : "SPT 0 300 0.3491"});
    auto* lamp = AsLamp(v);
    const MATERIAL original = TemplateGlass(w, lamp);
    w.journal().Clear();
    w.world().BuildVisual(v);
    ASSERT_NE(v.visual, nullptr);
    EXPECT_NE(lamp->hDevMesh, nullptr);
    EXPECT_EQ(CountCalls(w.journal(), "zapiSetMaterial"), on ? 1u : 0u);
    EXPECT_EQ(CountCalls(w.journal(), "zapiMeshMaterial"), on ? 1u : 0u);
    const MATERIAL& glass = VisualGlass(v);
    EXPECT_EQ(glass.emissive.a, on ? 1.0f : original.emissive.a);
    EXPECT_EQ(glass.emissive.r, on ? 1.0f : original.emissive.r);
    EXPECT_EQ(glass.diffuse.r, on ? 0.0f : original.diffuse.r);
  }
}

TEST(LampOutput, DroppedVisualIsNotWrittenTo) {
  LampWorld w;
  auto& v = w.AddLamp();
  auto* lamp = AsLamp(v);
  w.world().BuildVisual(v);
  w.world().DropVisual(v);
  w.journal().Clear();
  EXPECT_EQ(w.Press(ZKEY_B), 1);
  EXPECT_EQ(w.Press(ZKEY_B), 1);
  w.Press(ZKEY_B);
  w.Frame(0.5, {ZKEY_J});
  for (const auto& e : HostCalls(w.journal(), "zapiSetMaterial"))
    EXPECT_EQ(e.args.find("<dead device mesh>"), std::string::npos) << e.args;
  // The template keeps the look, so the next visual is built lit.
  EXPECT_EQ(TemplateGlass(w, lamp).emissive.a, 1.0f);
  w.world().BuildVisual(v);
  EXPECT_EQ(VisualGlass(v).emissive.a, 1.0f);
  EXPECT_EQ(VisualGlass(v).emissive.r, static_cast<float>(lamp->lampColour.r * lamp->intensity));
}

}  // namespace
