// Modules and vessel creation: entry points, refused objects, interface versions, dates.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "hostsim/runtime_fixture.h"

using hostsim::Error;
using hostsim::Vessel;
using hostsim::World;
using hostsim_test::RuntimeWorld;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Modules, RefusedCreationsNameTheCauseAndLeaveNoVessel) {
  RuntimeWorld rw;
  World& w = *rw.world;
  struct Case {
    const char* cls;
    const char* message;
  };
  const Case cases[] = {
      {"nullmod", "zvcInit returned no object"},
      {"probe_unbound", "not bound to vessel"},
      {"nomod", "no_such_module" LUMIPOD_MODULE_SUFFIX ": cannot load module"},
      {"warpdrive", "warpdrive.cfg: unknown vessel class"},
  };
  for (const auto& c : cases) {
    std::string what = ErrorOf([&] { w.CreateVessel("X", c.cls); });
    EXPECT_NE(what.find(c.message), std::string::npos) << c.cls << ": " << what;
    EXPECT_TRUE(w.Vessels().empty()) << c.cls;
  }
  // The refused object was handed back to the module.
  EXPECT_GE(w.journal().Count("GetClassName"), 1u);
  bool exited = false;
  for (const auto& e : w.journal().Entries()) exited |= e.call == "zvcExit";
  EXPECT_FALSE(exited) << "zvcExit is the host's callback only for accepted objects";

  EXPECT_THROW(w.CreateVessel("", "block"), Error);
  EXPECT_THROW(w.CreateVessel("two words", "block"), Error);
  EXPECT_THROW(w.CreateVessel("X", "../config/block"), Error);
  w.CreateVessel("Same", "block");
  EXPECT_NE(ErrorOf([&] { w.CreateVessel("SAME", "block"); }).find("exists already"),
            std::string::npos);
}

TEST(Modules, LoadedOnceSharedAndUnloadedWhenUnused) {
  RuntimeWorld rw;
  World& w = *rw.world;
  Vessel& a = w.CreateVessel("A", "probe");
  w.CreateVessel("B", "probe");
  ASSERT_EQ(w.Modules().size(), 1u);
  const hostsim::Module* m = w.Modules()[0];
  EXPECT_EQ(m->refCount, 2);
  EXPECT_FALSE(w.UnloadModule("testmod_probe"));
  EXPECT_FALSE(w.UnloadModule("never_loaded"));
  w.DestroyVessel(a);
  w.DestroyVessel(*w.FindVessel("b"));
  EXPECT_TRUE(w.UnloadModule("testmod_probe"));
  EXPECT_TRUE(w.Modules().empty());
}

TEST(Modules, LibraryInitialisationIsRecorded) {
  RuntimeWorld rw;
  const hostsim::Module& m = rw.world->LoadModule("lumipod");
  EXPECT_NE(m.initHandle, nullptr);
  EXPECT_EQ(rw.world->journal().Count("InitLib"), 1u);
  for (const auto& e : rw.world->journal().Entries()) {
    if (e.call == "InitLib") {
      EXPECT_EQ(e.args, "module:lumipod");
    }
  }
  EXPECT_STREQ(m.date(), m.date());
  EXPECT_TRUE(rw.world->TakeWarnings().empty());
  // A module without the load hook runs, with a warning that says why it should not.
  EXPECT_EQ(rw.world->LoadModule("testmod_nohook").initHandle, nullptr);
  const std::vector<std::string> warnings = rw.world->TakeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("never called InitLib"), std::string::npos) << warnings[0];
}

TEST(Modules, LibraryWithoutEntryPointsIsRefused) {
  RuntimeWorld rw;
  // A plain shared library of the build (in lib/ on POSIX, next to the programs on Windows).
  std::filesystem::path dep;
  for (const char* sub : {"lib", "bin"}) {
    std::error_code ec;
    for (const auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(LUMIPOD_BINARY_DIR) / sub, ec)) {
      std::string f = e.path().filename().string();
      if (f.find("testmod_dep") != std::string::npos &&
          e.path().extension() == LUMIPOD_MODULE_SUFFIX)
        dep = e.path();
    }
  }
  ASSERT_FALSE(dep.empty());
  hostsim::Paths p = rw.world->paths();
  p.modules = rw.dir() / "modules";
  std::filesystem::create_directories(p.modules);
  std::filesystem::copy_file(dep, p.modules / ("plain" LUMIPOD_MODULE_SUFFIX));
  rw.Write("modules/junk" LUMIPOD_MODULE_SUFFIX, "not a library");
  // A library cut short (a copy broken off, a build still being linked) is refused, where the
  // system's loader would map the missing end and fault.
  std::string head(2048, '\0');
  std::ifstream(dep, std::ios::binary).read(head.data(), 2048);
  rw.Write("modules/cut" LUMIPOD_MODULE_SUFFIX, head);
  World w(p);
  EXPECT_NE(ErrorOf([&] { w.LoadModule("plain"); }).find("lacks the entry point zvcInit"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { w.LoadModule("junk"); }).find("cannot load module"), std::string::npos);
  const std::string cut = ErrorOf([&] { w.LoadModule("cut"); });
  EXPECT_NE(cut.find("cannot load module"), std::string::npos) << cut;
#if !defined(_WIN32)
  EXPECT_NE(cut.find("the file is damaged: it ends after 2048 bytes"), std::string::npos) << cut;
#endif
  EXPECT_THROW(w.LoadModule("../modules/junk"), Error);
  EXPECT_TRUE(w.Modules().empty());
}

TEST(Modules, Version2ObjectsGetOnlyVersion2Callbacks) {
  RuntimeWorld rw;
  Vessel& v = rw.world->CreateVessel("Old", "probe_v2");
  EXPECT_EQ(v.callbacks(), nullptr);
  ASSERT_NE(v.callbacks2(), nullptr);
  EXPECT_EQ(v.iface()->Version(), 2);
  rw.world->Step(0.1);
  EXPECT_EQ(rw.world->journal().Count("VESSEL2::clbkBeforeStep"), 1u);
  Vessel& n = rw.world->CreateVessel("New", "probe");
  EXPECT_EQ(n.iface()->Version(), 3);
  EXPECT_NE(n.callbacks(), nullptr);
}

TEST(Modules, ObjectsAndInterfacesByName) {
  RuntimeWorld rw;
  Vessel& p = rw.world->CreateVessel("Probe", "probe");
  Vessel& b = rw.world->CreateVessel("Block", "block");
  EXPECT_EQ(zapiGetObjectByName("pRoBe"), p.handle());
  EXPECT_EQ(zapiGetObjectByName("Prob"), nullptr);
  EXPECT_EQ(zapiGetVesselInterface(p.handle()), p.iface());
  EXPECT_EQ(zapiGetVesselInterface(b.handle()), b.iface());
  EXPECT_STREQ(b.iface()->GetName(), "Block");
  EXPECT_STREQ(b.iface()->GetClassName(), "block");
  int junk = 0;
  EXPECT_EQ(zapiGetVesselInterface(reinterpret_cast<OBJHANDLE>(&junk)), nullptr);
  OBJHANDLE gone = p.handle();
  rw.world->DestroyVessel(p);
  EXPECT_EQ(zapiGetVesselInterface(gone), nullptr);
}

TEST(Dates, Date2Int) {
  const std::pair<const char*, int> cases[] = {
      {"Aug 30 2010", 20100830},
      {"Apr 21 2011", 20110421},
      {"Jan  1 2000", 20000101},
      {"Jan 1 2000", 20000101},
      {"Feb 29 2012", 20120229},
      {"Feb 29 2011", 0},
      {"Feb 30 2012", 0},
      {"Aug 32 2010", 0},
      {"Aug 00 2010", 0},
      {"Foo 12 2010", 0},
      {"Aug 30 10", 0},
      {"Aug-30-2010", 0},
      {"Aug 30 2010x", 0},
      {"", 0},
      {nullptr, 0},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(Date2Int(text), expected) << (text ? text : "(null)");
}

}  // namespace
