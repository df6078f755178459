// Hanging the lamp on a named vessel's child point from typed text, and releasing it: the
// result, where the lamp ends up, and exactly which host calls each text leads to.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

// Host calls made while answering the attach box, without the lamp asking for its own handle.
std::vector<std::string> AttachCalls(const hostsim::Journal& j) {
  auto names = CallMethods(j);
  names.erase(std::remove(names.begin(), names.end(), "GetHandle"), names.end());
  return names;
}

// A world with a lamp L1, the four-point Tug, the two-point Twin and a two-point vessel
// named Tug2.
struct AttachScene {
  ConfigFolder cfg;
  LampWorld w{cfg.paths()};
  hostsim::Vessel& tug = w.AddParent("Tug", "tug");
  hostsim::Vessel& twin = w.AddParent("Twin", "twin");
  hostsim::Vessel& tug2 = w.AddParent("Tug2", "twin");
  hostsim::Vessel& lamp = w.AddLamp("L1");

  // Opens the attach box with V and answers it; the journal then holds only the answer's calls.
  bool Attach(const std::string& text) {
    EXPECT_EQ(w.Press(ZKEY_V), 1);
    const hostsim::InputBox* box = w.world().OpenBox();
    EXPECT_NE(box, nullptr);
    if (!box) return false;
    w.journal().Clear();
    return w.world().AnswerBox(text);
  }
};

using Calls = std::vector<std::string>;

struct AttachRow {
  std::string text;
  bool result;
  const char* parent;  // where the lamp hangs afterwards, null for nowhere
  int point;
  Calls calls;  // exact host calls, empty for none
};

TEST(LampAttach, AttachFromText) {
  const Calls success = {"zapiGetObjectByName", "zapiGetVesselInterface", "AttachmentCount",
                         "GetAttachmentHandle", "GetAttachmentStatus",    "AttachChild"};
  const Calls countOnly = {"zapiGetObjectByName", "zapiGetVesselInterface", "AttachmentCount"};
  const Calls lookupOnly = {"zapiGetObjectByName"};
  const AttachRow rows[] = {
      {"Tug 1", true, "Tug", 1, success},
      {"Tug", true, "Tug", 0, success},
      {"Tug abc", true, "Tug", 0, success},
      {"Tug 0", true, "Tug", 0, success},
      {"  Tug   3  ", true, "Tug", 3, success},
      {"Tug2", true, "Tug2", 0, success},
      {"Twin 1", true, "Twin", 1, success},
      {"Twin 2", false, nullptr, 0, countOnly},
      {"Tug -1", false, nullptr, 0, countOnly},
      {"Tug 4", false, nullptr, 0, countOnly},
      {"Nobody 1", false, nullptr, 0, lookupOnly},
      {"L1 0", false, nullptr, 0, countOnly},
      {"Tug 3.5", false, nullptr, 0, {}},
      {"Tug 1 extra", false, nullptr, 0, {}},
      {"Tug 1abc", false, nullptr, 0, {}},
      {"Tug 1 2", false, nullptr, 0, {}},
      {"", false, nullptr, 0, {}},
      {"   ", false, nullptr, 0, {}},
      {"\t \t", false, nullptr, 0, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE("\"" + r.text + "\"");
    AttachScene s;
    EXPECT_EQ(s.Attach(r.text), r.result);
    EXPECT_EQ(AttachCalls(s.w.journal()), r.calls) << s.w.journal().Dump();
    hostsim::Vessel* parent = s.lamp.Parent();
    if (r.parent == nullptr) {
      EXPECT_EQ(parent, nullptr);
    } else {
      ASSERT_NE(parent, nullptr);
      EXPECT_EQ(parent->name(), r.parent);
      EXPECT_EQ(LampWorld::HeldAt(*parent, s.lamp), r.point);
    }
  }
}

TEST(LampAttach, LookupUsesTheFirstWordAsName) {
  AttachScene s;
  ASSERT_TRUE(s.Attach("Tug2"));
  auto lookups = HostCalls(s.w.journal(), "zapiGetObjectByName");
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(lookups[0].args, "\"Tug2\"");
  auto handles = HostCalls(s.w.journal(), "GetAttachmentHandle");
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_EQ(Numbers(handles[0].args), (std::vector<double>{0}));  // (false, 0)
}

TEST(LampAttach, OccupiedPointIsRefused) {
  AttachScene s;
  auto& other = s.w.AddLamp("L2");
  s.w.Hang(other, s.tug, 0);
  s.w.world().SetFocus(&s.lamp);
  EXPECT_FALSE(s.Attach("Tug 0"));
  EXPECT_EQ(CountCalls(s.w.journal(), "AttachChild"), 0u);
  EXPECT_EQ(CountCalls(s.w.journal(), "GetAttachmentStatus"), 1u);
  EXPECT_EQ(s.lamp.Parent(), nullptr);
  EXPECT_EQ(LampWorld::HeldAt(s.tug, other), 0);
}

TEST(LampAttach, OverlongNameIsRefusedWithoutOverrun) {
  AttachScene s;
  EXPECT_FALSE(s.Attach(std::string(300, 'A') + " 0"));
  EXPECT_FALSE(s.Attach(std::string(1000, 'T') + "ug 1"));
  EXPECT_EQ(s.lamp.Parent(), nullptr);
  for (const auto& e : HostCalls(s.w.journal(), "zapiGetObjectByName"))
    EXPECT_LE(e.args.size(), 255u + 2u) << "name longer than its field";
}

TEST(LampAttach, AttachBoxOpensWithTitleLengthAndLamp) {
  AttachScene s;
  s.w.journal().Clear();
  ASSERT_EQ(s.w.Press(ZKEY_V), 1);
  const hostsim::InputBox* box = s.w.world().OpenBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->title, "Enter Parent Name & Att.Point Index");
  EXPECT_EQ(box->length, 40);
  EXPECT_EQ(box->initial, "");
  EXPECT_EQ(box->userData, static_cast<void*>(AsLamp(s.lamp)));
  EXPECT_NE(box->callback, nullptr);
  auto opened = HostCalls(s.w.journal(), "zapiOpenInputBox");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_NE(opened[0].args.find("null, 40"), std::string::npos) << opened[0].args;
}

TEST(LampAttach, DetachWhenFreeMakesOneHostCall) {
  AttachScene s;
  s.w.journal().Clear();
  EXPECT_EQ(s.w.Press(ZKEY_V, {ZKEY_LSHIFT}), 1);
  EXPECT_EQ(CallMethods(s.w.journal()), (Calls{"GetAttachmentStatus"}));
  EXPECT_EQ(s.w.world().OpenBox(), nullptr);
}

TEST(LampAttach, DetachReleasesTheSlotAndVisitsEveryPoint) {
  for (int point : {0, 1, 3}) {
    SCOPED_TRACE(point);
    AttachScene s;
    ASSERT_TRUE(s.Attach("Tug " + std::to_string(point)));
    s.w.journal().Clear();
    EXPECT_EQ(s.w.Press(ZKEY_V, {ZKEY_RSHIFT}), 1);
    const auto& j = s.w.journal();
    EXPECT_EQ(CountCalls(j, "GetAttachmentHandle"), 4u);
    EXPECT_EQ(CountCalls(j, "GetAttachmentStatus"), 5u);  // the lamp's own, then each point
    EXPECT_EQ(CountCalls(j, "AttachmentCount"), 1u);
    auto detach = HostCalls(j, "DetachChild");
    ASSERT_EQ(detach.size(), 1u);
    EXPECT_EQ(detach[0].self, "Tug");
    auto n = Numbers(detach[0].args);
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back(), 0.0);  // separation speed
    EXPECT_NE(detach[0].args.find("#" + std::to_string(point)), std::string::npos)
        << detach[0].args;
    EXPECT_EQ(s.lamp.Parent(), nullptr);
    // The stored placement is not touched by attaching or detaching.
    auto* lamp = AsLamp(s.lamp);
    EXPECT_TRUE(VecNear(lamp->storedPos, {0, 0, 0}, 0));
    EXPECT_TRUE(VecNear(lamp->storedDir, {0, 0, 0}, 0));
    EXPECT_TRUE(VecNear(lamp->storedRot, {0, 0, 0}, 0));
  }
}

TEST(LampAttach, AttachedLampSitsAtTheParentPoint) {
  AttachScene s;
  ASSERT_TRUE(s.Attach("Tug 2"));
  const Slot slot = LampWorld::GetSlot(s.tug, 2);
  EXPECT_TRUE(VecNear(slot.pos, {-1.5, 0.6, -1.0}, 0)) << "attaching keeps the parent's values";
  const VECTOR3 lampPoint = s.lamp.WorldPose().Apply({0, -0.37, 0});
  EXPECT_TRUE(VecNear(lampPoint, s.tug.WorldPose().Apply(slot.pos), 1e-9));
}

}  // namespace
