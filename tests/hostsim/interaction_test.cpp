// Input boxes, key events, HUD drawing, visuals and device-mesh materials.
#include <gtest/gtest.h>

#include "hostsim/runtime/mesh_file.h"
#include "hostsim/runtime_fixture.h"

using hostsim::Error;
using hostsim::HudOp;
using hostsim::Vessel;
using hostsim_test::RuntimeWorld;

namespace {

int calls = 0;
std::string seen;
void* seenData = nullptr;

bool Accept(void*, char* str, void* usrdata) {
  ++calls;
  seen = str;
  seenData = usrdata;
  str[0] = 'X';  // the text is the callback's own copy
  return seen == "yes";
}

TEST(InputBox, OneAtATimeAndAnswerClosesIt) {
  RuntimeWorld rw;
  calls = 0;
  int data = 0;
  EXPECT_EQ(rw.world->OpenBox(), nullptr);
  EXPECT_THROW(rw.world->AnswerBox("x"), Error);
  ASSERT_TRUE(zapiOpenInputBox("First", &Accept, nullptr, 30, &data));
  EXPECT_FALSE(zapiOpenInputBox("Second", &Accept, "shown", 30, nullptr));
  ASSERT_NE(rw.world->OpenBox(), nullptr);
  EXPECT_EQ(rw.world->OpenBox()->title, "First");
  EXPECT_EQ(rw.world->OpenBox()->initial, "");
  EXPECT_EQ(rw.world->OpenBox()->length, 30);

  EXPECT_TRUE(rw.world->AnswerBox("yes"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seenData, &data);
  EXPECT_EQ(rw.world->OpenBox(), nullptr);

  ASSERT_TRUE(zapiOpenInputBox("Third", &Accept, "shown", 5, nullptr));
  EXPECT_EQ(rw.world->OpenBox()->initial, "shown");
  EXPECT_FALSE(rw.world->AnswerBox("no"));
  EXPECT_EQ(rw.world->OpenBox(), nullptr);  // closed even when the text was refused

  ASSERT_TRUE(zapiOpenInputBox("Fourth", &Accept));
  rw.world->CancelBox();
  EXPECT_EQ(rw.world->OpenBox(), nullptr);
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(zapiOpenInputBox("No callback", nullptr));
}

TEST(InputBox, BoxOfADestroyedVesselIsClosed) {
  RuntimeWorld rw;
  Vessel& p = rw.world->CreateVessel("P", "probe");
  rw.world->SetFocus(&p);
  ASSERT_EQ(rw.world->KeyEvent(0x31, true), 1);
  ASSERT_NE(rw.world->OpenBox(), nullptr);
  EXPECT_EQ(rw.world->OpenBox()->opener, "P");
  rw.world->DestroyVessel(p);
  // Its callback would reach a freed object.
  EXPECT_EQ(rw.world->OpenBox(), nullptr);
}

TEST(Keys, StateBitsAndEventsGoToTheFocusedModuleVessel) {
  RuntimeWorld rw;
  Vessel& block = rw.world->CreateVessel("B", "block");
  Vessel& p = rw.world->CreateVessel("P", "probe");
  rw.world->SetKey(0x2A, true);
  EXPECT_EQ(static_cast<unsigned char>(rw.world->KeyState()[0x2A]), 0x80u);
  rw.world->KeyState()[0x2A] |= 0x01;
  rw.world->SetKey(0x2A, false);
  EXPECT_EQ(rw.world->KeyState()[0x2A], 0x01);  // only bit 7 is the key
  rw.world->ReleaseAllKeys();
  EXPECT_EQ(rw.world->KeyState()[0x2A], 0);

  EXPECT_EQ(rw.world->KeyEvent(0x31, true), 0);  // no focus
  rw.world->SetFocus(&block);
  EXPECT_EQ(rw.world->KeyEvent(0x31, true), 0);  // config-only vessel
  rw.world->SetFocus(&p);
  EXPECT_EQ(rw.world->KeyEvent(0x31, false), 0);
  EXPECT_EQ(rw.world->KeyEvent(0x31, true), 1);
}

TEST(Hud, RecordsExactTextBytesAndPassesTheArea) {
  RuntimeWorld rw;
  Vessel& p = rw.world->CreateVessel("P", "probe");
  auto ops = rw.world->DrawHUD(p, 1024, 768);
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].kind, HudOp::Kind::TextColour);
  EXPECT_EQ(ops[0].colour, 0x66FF66u);
  EXPECT_EQ(ops[1].kind, HudOp::Kind::Text);
  EXPECT_EQ(ops[1].text, std::string("W \xB0 H"));
  EXPECT_EQ(ops[1].x, 10);
  EXPECT_EQ(ops[1].y, 384);
  EXPECT_EQ(ops[2].kind, HudOp::Kind::Line);
  EXPECT_EQ(ops[2].x1, 1024);
  EXPECT_EQ(ops[2].y1, 768);
  const auto& j = rw.world->journal();
  EXPECT_EQ(j.Count("VESSEL3::clbkDrawHUD"), 1u);
  bool found = false;
  for (const auto& e : j.Entries())
    if (e.call == "Sketchpad::Text") {
      EXPECT_EQ(e.args, "10, 384, \"W \\xB0 H\", 5");
      found = true;
    }
  EXPECT_TRUE(found);

  // A VESSEL2 object has no Sketchpad HUD callback; a config-only vessel none at all.
  EXPECT_TRUE(rw.world->DrawHUD(rw.world->CreateVessel("V2", "probe_v2"), 800, 600).empty());
  EXPECT_TRUE(rw.world->DrawHUD(rw.world->CreateVessel("B", "block"), 800, 600).empty());

  EXPECT_TRUE(rw.world->DefNavDisplay());
  zapiSetDefNavDisplay(0);
  zapiSetDefRCSDisplay(0);
  EXPECT_FALSE(rw.world->DefNavDisplay());
  EXPECT_FALSE(rw.world->DefRCSDisplay());
}

TEST(Visuals, DeviceMeshesCopyTheTemplateAndDieWithTheVisual) {
  RuntimeWorld rw;
  Vessel& tug = rw.world->CreateVessel("Tug", "tug");
  ASSERT_EQ(tug.meshes.size(), 1u);
  const hostsim::Mesh* mesh = tug.meshes[0].mesh;
  ASSERT_NE(mesh, nullptr);
  auto hMesh = reinterpret_cast<MESHHANDLE>(const_cast<hostsim::Mesh*>(mesh));
  // Every load hands out a template of its own.
  const MESHHANDLE other = zapiLoadMesh("tug");
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, hMesh);
  ASSERT_GE(zapiMeshMaterialCount(hMesh), 1u);

  rw.world->BuildVisual(tug);
  ASSERT_TRUE(tug.visual);
  VISHANDLE vis = tug.visual->handle;
  DEVMESHHANDLE dev = tug.iface()->GetDevMesh(vis, 0);
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(tug.iface()->GetDevMesh(vis, 1), nullptr);

  // The template's own record changes in place; the visual's copy only through SetMaterial.
  MATERIAL* tmpl = zapiMeshMaterial(hMesh, 0);
  ASSERT_NE(tmpl, nullptr);
  tmpl->emissive = {1, 0, 0, 1};
  EXPECT_EQ(rw.world->MeshFromHandle(hMesh)->materials[0].emissive.r, 1.0f);
  EXPECT_NE(zapiMeshMaterial(other, 0)->emissive.r, 1.0f);
  EXPECT_NE(rw.world->DeviceMeshFromHandle(dev)->materials[0].emissive.r, 1.0f);
  EXPECT_EQ(zapiSetMaterial(dev, 0, tmpl), 0);
  EXPECT_EQ(rw.world->DeviceMeshFromHandle(dev)->materials[0].emissive.r, 1.0f);
  EXPECT_EQ(zapiSetMaterial(dev, 99, tmpl), 2);
  EXPECT_EQ(zapiSetMaterial(dev, 0, nullptr), 3);

  // After the visual is dropped its handles are dead, also when a new visual is built.
  rw.world->DropVisual(tug);
  EXPECT_EQ(tug.iface()->GetDevMesh(vis, 0), nullptr);
  EXPECT_EQ(zapiSetMaterial(dev, 0, tmpl), 1);
  rw.world->BuildVisual(tug);
  EXPECT_EQ(tug.iface()->GetDevMesh(vis, 0), nullptr);
  EXPECT_EQ(zapiSetMaterial(dev, 0, tmpl), 1);
  int junk = 0;
  EXPECT_EQ(zapiSetMaterial(reinterpret_cast<DEVMESHHANDLE>(&junk), 0, tmpl), 1);
  EXPECT_EQ(zapiMeshMaterial(reinterpret_cast<MESHHANDLE>(&junk), 0), nullptr);
}

TEST(Visuals, MeshMaterialsFollowTheMtlFile) {
  RuntimeWorld rw;
  MESHHANDLE h = zapiLoadMesh("lumipod");
  const hostsim::Mesh* m = rw.world->MeshFromHandle(h);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->groups().size(), 4u);
  EXPECT_EQ(m->groups()[0].name, "yoke");
  EXPECT_EQ(m->groups()[3].name, "lampbody");
  ASSERT_EQ(m->materials.size(), 3u);
  EXPECT_EQ(m->materialNames()[1], "glass");
  const MATERIAL& body = m->materials[0];
  EXPECT_FLOAT_EQ(body.diffuse.b, 0.40f);
  EXPECT_FLOAT_EQ(body.ambient.r, 0.20f);
  EXPECT_FLOAT_EQ(body.specular.g, 0.60f);
  EXPECT_FLOAT_EQ(body.emissive.r, 0.0f);
  EXPECT_FLOAT_EQ(body.diffuse.a, 1.0f);
  EXPECT_FLOAT_EQ(body.power, 40.0f);
  EXPECT_EQ(zapiLoadMesh("no_such_mesh"), nullptr);
  EXPECT_EQ(zapiLoadMesh("../config/tug"), nullptr);
}

// A template a vessel's module loaded is that vessel's: its handle ends with the vessel.
TEST(Visuals, AVesselsTemplateEndsWithIt) {
  RuntimeWorld rw;
  Vessel& lamp = rw.world->CreateVessel("L", "lumipod");
  ASSERT_EQ(lamp.meshes.size(), 1u);
  auto h = reinterpret_cast<MESHHANDLE>(const_cast<hostsim::Mesh*>(lamp.meshes[0].mesh));
  ASSERT_EQ(rw.world->MeshFromHandle(h), lamp.meshes[0].mesh);
  // Another vessel showing it keeps it, though its handle ends.
  Vessel& other = rw.world->CreateVessel("B", "block");
  other.iface()->AddMesh(h, nullptr);
  rw.world->DestroyVessel(lamp);
  EXPECT_EQ(rw.world->MeshFromHandle(h), nullptr);
  EXPECT_EQ(zapiMeshMaterial(h, 0), nullptr);
  ASSERT_EQ(other.meshes.size(), 1u);
  ASSERT_NE(other.meshes[0].mesh, nullptr);
  EXPECT_EQ(other.meshes[0].mesh->name, "lumipod");
  rw.world->BuildVisual(other);
  EXPECT_EQ(other.visual->meshes[0]->materials.size(), 3u);
}

// Corners without a normal in the file take their face's; given normals stay as given.
TEST(Visuals, MeshesWithoutNormalsGetFaceNormals) {
  testsupport::TempDir dir;
  const auto obj = dir.Write("m.obj",
                             "v 0 0 0\nv 2 0 0\nv 0 2 0\nv 0 0 3\nvn 1 0 0\n"
                             "g flat\nf 1 2 3\nf 1 4 2\n"
                             "g given\nf 1//1 2//1 3//1\n");
  std::vector<std::string> warnings;
  const auto mesh = hostsim::ReadObj(obj, warnings);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->groups.size(), 2u);
  const std::vector<float> flat = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0};
  EXPECT_EQ(mesh->groups[0].normals, flat);
  const std::vector<float> given = {1, 0, 0, 1, 0, 0, 1, 0, 0};
  EXPECT_EQ(mesh->groups[1].normals, given);
}

// Groups keep the index of their line in the file: a group with no face (an empty "g" or
// "o", a group of lone "usemtl" lines) stays there, empty, so the groups after it keep theirs.
TEST(Visuals, MeshGroupsWithoutFacesKeepTheirPlace) {
  testsupport::TempDir dir;
  dir.Write("m.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 1 0\n");
  const auto obj = dir.Write("m.obj",
                             "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                             "f 1 2 3\n"  // before any group: a group of its own
                             "g empty\n"  // no face
                             "g quad\nusemtl b\nf -4 -3 -2 -1\n"  // relative indices, a fan
                             "o nothing\nusemtl a\n"              // no face either
                             "g last\nf 1 2 3\n");
  std::vector<std::string> warnings;
  const auto mesh = hostsim::ReadObj(obj, warnings);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->groups.size(), 5u);
  const struct {
    const char* name;
    std::size_t triangles;
    int material;
  } expected[] = {
      {"", 1, -1}, {"empty", 0, -1}, {"quad", 2, 1}, {"nothing", 0, -1}, {"last", 1, 0}};
  for (std::size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const hostsim::MeshGroup& g = mesh->groups[i];
    EXPECT_EQ(g.name, expected[i].name);
    EXPECT_EQ(g.indices.size(), expected[i].triangles * 3);
    EXPECT_EQ(g.positions.size(), expected[i].triangles * 9);
    EXPECT_EQ(g.normals.size(), g.positions.size());
    EXPECT_EQ(g.material, expected[i].material);
  }
  // The quad's fan: corners 1 2 3 and 1 3 4 of the file.
  const std::vector<float> quad = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0};
  EXPECT_EQ(mesh->groups[2].positions, quad);
}

}  // namespace
