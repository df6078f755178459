// The module's exported entry points, called as the host calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "support/world_fixture.h"

namespace {

class EntryTest : public ::testing::Test {
 protected:
  hostsim::World world{testsupport::ExamplePaths()};
};

TEST_F(EntryTest, ExitWithNullDoesNothing) {
  hostsim::Module& module = world.LoadModule("lumipod");
  world.journal().Clear();
  module.exit(nullptr);
  EXPECT_TRUE(world.journal().Entries().empty()) << world.journal().Dump();
}

TEST_F(EntryTest, VersionIsTheInterfaceDateConvertedOnce) {
  world.journal().Clear();
  hostsim::Module& module = world.LoadModule("lumipod");
  // A fresh copy of the library (its load hook ran), so nothing is cached yet.
  ASSERT_EQ(world.journal().Count("InitLib"), 1u);
  const int first = module.version();
  const int second = module.version();
  EXPECT_EQ(first, 20100830);
  EXPECT_EQ(second, first);
  EXPECT_EQ(world.journal().Count("Date2Int"), 1u) << world.journal().Dump();
}

TEST_F(EntryTest, ModuleDateIsTheSameConstantText) {
  hostsim::Module& module = world.LoadModule("lumipod");
  const char* first = module.date();
  const char* second = module.date();
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "Apr 21 2011");
}

TEST_F(EntryTest, InitHandsOutTheLampAndExitFreesIt) {
  hostsim::Vessel& lamp = world.CreateVessel("Lamp1", "lumipod");
  ASSERT_NE(lamp.callbacks(), nullptr);
  // The object the host holds is the module's VESSEL base of the lamp.
  EXPECT_EQ(static_cast<VESSEL*>(lamp.callbacks()), lamp.iface());
  EXPECT_EQ(lamp.iface()->GetHandle(), lamp.handle());
  world.DestroyVessel(lamp);  // frees the lamp and its two animation transforms
  EXPECT_EQ(world.FindVessel("Lamp1"), nullptr);
}

}  // namespace
