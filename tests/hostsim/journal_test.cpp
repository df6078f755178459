// The journal: what is recorded, and how arguments are written.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "hostsim/runtime_fixture.h"

using hostsim::Journal;
using hostsim::Vessel;
using hostsim_test::RuntimeWorld;

namespace {

const Journal::Entry& Last(const Journal& j) { return j.Entries().back(); }

TEST(Journal, ArgumentFormats) {
  RuntimeWorld rw;
  Vessel& a = rw.world->CreateVessel("Alpha", "block");
  Vessel& b = rw.world->CreateVessel("Beta", "block");
  Journal& j = rw.world->journal();
  VESSEL* api = a.iface();

  struct Case {
    std::function<void()> call;
    const char* self;
    const char* name;
    const char* args;
  };
  const Case cases[] = {
      {[&] { api->SetSize(0.1); }, "Alpha", "SetSize", "0.10000000000000001"},
      {[&] { api->SetSize(std::numeric_limits<double>::quiet_NaN()); }, "Alpha", "SetSize", "nan"},
      {[&] {
         api->SetPMI({1, -2.5, 1e300});
       },
       "Alpha", "SetPMI", "(1, -2.5, 1.0000000000000001e+300)"},
      {[&] { api->SetEnableFocus(true); }, "Alpha", "SetEnableFocus", "true"},
      {[&] { zapiGetObjectByName("A\"b\\c\n\xB0"); }, "", "zapiGetObjectByName",
       "\"A\\x22b\\x5Cc\\x0A\\xB0\""},
      {[&] { zapiGetObjectByName(nullptr); }, "", "zapiGetObjectByName", "null"},
      {[&] { zapiGetVesselInterface(b.handle()); }, "", "zapiGetVesselInterface", "Beta"},
      {[&] { api->GetAttachmentStatus(api->GetAttachmentHandle(false, 0)); }, "Alpha",
       "GetAttachmentStatus", "Alpha:SLOT#0"},
      {[&] { api->DetachChild(b.iface()->GetAttachmentHandle(true, 0), 0.0); }, "Alpha",
       "DetachChild", "Beta:TOP#0, 0"},
      {[&] { api->SetMeshVisibilityMode(3, 1); }, "Alpha", "SetMeshVisibilityMode", "3, 1"},
      {[&] { zapiSetMaterial(nullptr, 1, nullptr); }, "", "zapiSetMaterial", "null, 1, null"},
      {[&] { Date2Int("Aug 30 2010"); }, "", "Date2Int", "\"Aug 30 2010\""},
  };
  for (const auto& c : cases) {
    c.call();
    const auto& e = Last(j);
    EXPECT_EQ(e.kind, Journal::Kind::Call);
    EXPECT_EQ(e.self, c.self);
    EXPECT_EQ(e.call, c.name);
    EXPECT_EQ(e.args, c.args);
    // The ring of the latest calls, made text only when asked, says the same.
    std::string line;
    Journal::WriteLine(e, [&line](std::string_view piece) { line += piece; });
    EXPECT_EQ(rw.world->LastCalls(1), std::vector<std::string>{line});
  }
}

// With the journal off, as the commands run, the ring still keeps the latest calls: a long text
// as its start, a vessel that has ended since as ended.
TEST(Journal, TheRingKeepsTheLatestCallsWithTheJournalOff) {
  RuntimeWorld rw;
  rw.world->journal().SetEnabled(false);
  Vessel& a = rw.world->CreateVessel("Alpha", "lumipod");
  a.iface()->SetSize(2.5);
  zapiGetObjectByName(std::string(1000, 'x').c_str());
  const std::vector<std::string> calls = rw.world->LastCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "Alpha: SetSize(2.5)");
  EXPECT_TRUE(calls[1].starts_with("zapiGetObjectByName(\"xxxx")) << calls[1];
  EXPECT_TRUE(calls[1].ends_with("x\"...)")) << calls[1];
  EXPECT_LT(calls[1].size(), 1000u);
  rw.world->DestroyVessel(a);
  ASSERT_EQ(rw.world->LastCalls(1).size(), 1u);
  EXPECT_TRUE(rw.world->LastCalls(1)[0].starts_with("<ended vessel>: -> zvcExit("));

  // A mesh handle is an address, which the next template may take: the ring never names the
  // template made after a call (here of the same file, read once) for that call.
  Vessel& b = rw.world->CreateVessel("Beta", "lumipod");
  rw.world->DestroyVessel(b);
  rw.world->MakeCurrent();
  ASSERT_NE(zapiLoadMesh("lumipod"), nullptr);
  bool namedItsMesh = false;
  for (const std::string& call : rw.world->LastCalls(32)) {
    if (!call.starts_with("<ended vessel>: AddMesh(")) continue;
    namedItsMesh = true;
    EXPECT_EQ(call.find("mesh:lumipod"), std::string::npos) << call;
  }
  EXPECT_TRUE(namedItsMesh);
  EXPECT_TRUE(rw.world->journal().Entries().empty());
}

TEST(Journal, LightCallsNameTheirClassAndOwner) {
  RuntimeWorld rw;
  Vessel& a = rw.world->CreateVessel("Alpha", "block");
  LightEmitter* l = a.iface()->AddSpotLight({0, 0, 0}, {0, 0, 1}, 200, 1, 0, 5e-5, 0.25, 0.5,
                                            {1, 0.5f, 0, 0}, {1, 0.5f, 0, 0}, {0, 0, 0, 0});
  EXPECT_EQ(Last(rw.world->journal()).args,
            "(0, 0, 0), (0, 0, 1), 200, 1, 0, 5.0000000000000002e-05, 0.25, 0.5, (1, 0.5, 0, 0), "
            "(1, 0.5, 0, 0), (0, 0, 0, 0)");
  EXPECT_TRUE(l->IsActive());  // lights start switched on
  static_cast<SpotLight*>(l)->SetAperture(0.1, 0.2);
  EXPECT_EQ(Last(rw.world->journal()).call, "SpotLight::SetAperture");
  EXPECT_EQ(Last(rw.world->journal()).self, "Alpha");
  l->Activate(false);
  EXPECT_EQ(Last(rw.world->journal()).call, "LightEmitter::Activate");
  static_cast<PointLight*>(l)->SetRange(3);
  EXPECT_EQ(Last(rw.world->journal()).call, "PointLight::SetRange");
  EXPECT_EQ(rw.world->journal().Count("LightEmitter::Activate"), 1u);
  // A light changes colour after its creation; what the host draws follows.
  l->SetDiffuseColour({0, 1, 0, 0});
  EXPECT_EQ(Last(rw.world->journal()).call, "LightEmitter::SetDiffuseColour");
  EXPECT_EQ(Last(rw.world->journal()).args, "(0, 1, 0, 0)");
  l->SetSpecularColour({0, 0, 1, 0});
  const hostsim::LightState seen = hostsim::ViewLight(*l);
  EXPECT_EQ(seen.diffuse.r, 0.0f);
  EXPECT_EQ(seen.diffuse.g, 1.0f);
  EXPECT_EQ(seen.specular.b, 1.0f);
  EXPECT_EQ(seen.ambient.r, 0.0f);
}

TEST(Journal, DisabledJournalRecordsNothingAndDumpShowsCallbacks) {
  RuntimeWorld rw;
  Journal& j = rw.world->journal();
  j.SetEnabled(false);
  Vessel& p = rw.world->CreateVessel("P", "probe");
  rw.world->Step(0.5);
  EXPECT_TRUE(j.Entries().empty());

  j.SetEnabled(true);
  rw.world->SetFocus(&p);
  j.Clear();
  rw.world->SetKey(0x2A, true);
  rw.world->Step(0.25);
  EXPECT_EQ(j.Dump(),
            "P: -> clbkBeforeStep(0.5, 0.25, 51544.500005787035)\n"
            "P: VESSEL2::clbkBeforeStep(0.5, 0.25, 51544.500005787035)\n"
            "P: -> clbkDirectKeys([0x2A])\n"
            "P: VESSEL2::clbkDirectKeys()\n"
            "P: -> clbkAfterStep(0.5, 0.25, 51544.500005787035)\n"
            "P: VESSEL2::clbkAfterStep(0.5, 0.25, 51544.500005787035)\n");
  EXPECT_EQ(j.Calls(),
            (std::vector<std::string>{"VESSEL2::clbkBeforeStep", "VESSEL2::clbkDirectKeys",
                                      "VESSEL2::clbkAfterStep"}));
  EXPECT_EQ(rw.world->SimTime(), 0.75);
}

}  // namespace
