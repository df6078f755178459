// Keyboard bindings: which key events the lamp takes and what they do, and which held keys
// act in a frame when several are down.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/lamp_fixture.h"

using namespace testsupport;

namespace {

// Short names of the lamp's keys for the tables below.
constexpr std::uint8_t J = ZKEY_J, K = ZKEY_K, V = ZKEY_V, B = ZKEY_B, N = ZKEY_N, M = ZKEY_M;
constexpr std::uint8_t LShift = ZKEY_LSHIFT, RShift = ZKEY_RSHIFT, LAlt = ZKEY_LALT,
                       RAlt = ZKEY_RALT, LCtrl = ZKEY_LCTRL;
constexpr std::uint8_t NP1 = ZKEY_NUMPAD1, NP2 = ZKEY_NUMPAD2, NP3 = ZKEY_NUMPAD3,
                       NP4 = ZKEY_NUMPAD4, NP5 = ZKEY_NUMPAD5, NP6 = ZKEY_NUMPAD6;
constexpr std::uint8_t Up = ZKEY_UP, Down = ZKEY_DOWN, Left = ZKEY_LEFT, Right = ZKEY_RIGHT;

enum class Effect { None, Toggle, Detach, AttachBox, RangeBox, SpreadBox };

struct BufferedRow {
  const char* name;
  std::uint8_t code;
  bool down;
  std::initializer_list<std::uint8_t> held;
  int result;
  Effect effect;
};

TEST(LampKeys, BufferedKeys) {
  const BufferedRow rows[] = {
      {"V release", V, false, {}, 0, Effect::None},
      {"B release", B, false, {}, 0, Effect::None},
      {"N release", N, false, {}, 0, Effect::None},
      {"M release", M, false, {}, 0, Effect::None},
      {"Shift+V release", V, false, {LShift}, 0, Effect::None},
      {"V", V, true, {}, 1, Effect::AttachBox},
      {"B", B, true, {}, 1, Effect::Toggle},
      {"N", N, true, {}, 1, Effect::RangeBox},
      {"M", M, true, {}, 1, Effect::SpreadBox},
      {"J", J, true, {}, 0, Effect::None},
      {"NumPad1", NP1, true, {}, 0, Effect::None},
      {"left Shift+V", V, true, {LShift}, 1, Effect::Detach},
      {"right Shift+V", V, true, {RShift}, 1, Effect::Detach},
      {"Shift+Alt+V", V, true, {LShift, LAlt}, 1, Effect::Detach},
      {"Shift+B", B, true, {LShift}, 0, Effect::None},
      {"Shift+N", N, true, {RShift}, 0, Effect::None},
      {"Shift+M", M, true, {LShift}, 0, Effect::None},
      {"left Alt+B", B, true, {LAlt}, 1, Effect::Toggle},
      {"right Alt+B", B, true, {RAlt}, 1, Effect::Toggle},
      {"Ctrl+B", B, true, {LCtrl}, 1, Effect::Toggle},
      {"Alt+N", N, true, {LAlt}, 1, Effect::RangeBox},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& v = w.AddLamp();
    auto* lamp = AsLamp(v);
    w.journal().Clear();
    hostsim::World& world = w.world();
    world.ReleaseAllKeys();
    for (auto k : r.held) world.SetKey(k, true);
    world.SetKey(r.code, r.down);
    EXPECT_EQ(world.KeyEvent(r.code, r.down), r.result);
    world.ReleaseAllKeys();

    EXPECT_EQ(lamp->lampOn, r.effect == Effect::Toggle ? 1 : 0);
    const hostsim::InputBox* box = world.OpenBox();
    switch (r.effect) {
      case Effect::AttachBox:
      case Effect::RangeBox:
      case Effect::SpreadBox: {
        ASSERT_NE(box, nullptr);
        const char* title = r.effect == Effect::AttachBox  ? "Enter Parent Name & Att.Point Index"
                            : r.effect == Effect::RangeBox ? "Enter Range(m)"
                                                           : "Enter Spread Angle(deg)";
        EXPECT_EQ(box->title, title);
        EXPECT_EQ(box->length, r.effect == Effect::AttachBox ? 40 : 30);
        EXPECT_EQ(box->initial, "");
        EXPECT_EQ(box->userData, static_cast<void*>(lamp));
        EXPECT_NE(box->callback, nullptr);
        EXPECT_EQ(CallMethods(w.journal()), std::vector<std::string>{"zapiOpenInputBox"});
        break;
      }
      case Effect::Detach:
        EXPECT_EQ(box, nullptr);
        EXPECT_EQ(CallMethods(w.journal()), std::vector<std::string>{"GetAttachmentStatus"});
        break;
      case Effect::Toggle:
        EXPECT_EQ(box, nullptr);
        EXPECT_TRUE(Beacon(v).active);
        break;
      case Effect::None:
        EXPECT_EQ(box, nullptr);
        EXPECT_TRUE(CallMethods(w.journal()).empty()) << w.journal().Dump();
        break;
    }
  }
}

TEST(LampKeys, OnlyTheTopBitMarksAKeyDown) {
  LampWorld w;
  auto& v = w.AddLamp();
  auto* lamp = AsLamp(v);
  const double& az = v.animations[lamp->animAz].state;
  hostsim::World& world = w.world();
  world.ReleaseAllKeys();
  world.KeyState()[LShift] = 0x7F;  // every bit but the top one: Shift is up
  world.KeyState()[B] = static_cast<char>(0x80);
  EXPECT_EQ(world.KeyEvent(B, true), 1);
  EXPECT_EQ(lamp->lampOn, 1);

  // Held keys likewise: a state byte of 0x7F for Shift and Right does not aim.
  world.ReleaseAllKeys();
  world.KeyState()[LShift] = 0x7F;
  world.KeyState()[Right] = 0x7F;
  world.Step(1.25);
  EXPECT_EQ(az, 0.0);
  world.KeyState()[LShift] = static_cast<char>(0xFF);
  world.KeyState()[Right] = static_cast<char>(0x81);
  world.Step(1.25);
  world.ReleaseAllKeys();
  EXPECT_DOUBLE_EQ(az, 0.25);
}

TEST(LampKeys, BWithAnUnknownSwitchStateIsConsumedAndChangesNothing) {
  LampWorld w;
  auto& v = w.AddLamp("L1", {"SPT 2 300 0.3491"});
  EXPECT_EQ(w.Press(B), 1);
  EXPECT_EQ(AsLamp(v)->lampOn, 2);
  EXPECT_FALSE(Beacon(v).active);
  EXPECT_FALSE(Light(v).active);
}

// What one frame of held keys did, seen from the host and the lamp.
struct DirectRow {
  const char* name;
  std::initializer_list<std::uint8_t> keys;
  int dx, dy, dz;    // shifts, in shift steps
  const char* turn;  // quarter turn that ran, "" for none
  int dAlt, dAz, dIntensity;
  bool lampOn = true;
};

struct Turn {
  const char* name;
  VECTOR3 dir, rot;
};
const Turn kTurns[] = {
    {"", {0, 0, 1}, {0, 1, 0}},    {"X-", {0, -1, 0}, {0, 0, 1}}, {"X+", {0, 1, 0}, {0, 0, -1}},
    {"Y+", {0, 0, 1}, {-1, 0, 0}}, {"Y-", {0, 0, 1}, {1, 0, 0}},  {"Z+", {1, 0, 0}, {0, 1, 0}},
    {"Z-", {-1, 0, 0}, {0, 1, 0}},
};

TEST(LampKeys, DirectKeyPrecedence) {
  const DirectRow rows[] = {
      {"Shift+NumPad1", {LShift, NP1}, 1, 0, 0, "", 0, 0, 0},
      {"Alt+NumPad1", {LAlt, NP1}, -1, 0, 0, "", 0, 0, 0},
      {"right Shift+NumPad2", {RShift, NP2}, 0, 1, 0, "", 0, 0, 0},
      {"right Alt+NumPad3", {RAlt, NP3}, 0, 0, -1, "", 0, 0, 0},
      {"Alt wins over Shift", {LShift, LAlt, NP1}, -1, 0, 0, "", 0, 0, 0},
      {"Shift+NumPad1,2,3", {LShift, NP1, NP2, NP3}, 1, 1, 1, "", 0, 0, 0},
      {"Alt+NumPad1,2,3", {LAlt, NP1, NP2, NP3}, -1, -1, -1, "", 0, 0, 0},
      {"Shift+NumPad4+6: only 4", {LShift, NP4, NP6}, 0, 0, 0, "X-", 0, 0, 0},
      {"Shift+NumPad5+6: only 5", {LShift, NP5, NP6}, 0, 0, 0, "Y+", 0, 0, 0},
      {"Shift+NumPad6", {LShift, NP6}, 0, 0, 0, "Z+", 0, 0, 0},
      {"Alt+NumPad4+5: only 4", {LAlt, NP4, NP5}, 0, 0, 0, "X+", 0, 0, 0},
      {"Alt+NumPad5", {LAlt, NP5}, 0, 0, 0, "Y-", 0, 0, 0},
      {"Alt+NumPad6", {LAlt, NP6}, 0, 0, 0, "Z-", 0, 0, 0},
      {"Shift+NumPad1+4", {LShift, NP1, NP4}, 1, 0, 0, "X-", 0, 0, 0},
      {"Shift+Up+Down: Up", {LShift, Up, Down}, 0, 0, 0, "", 1, 0, 0},
      {"Shift+Down", {LShift, Down}, 0, 0, 0, "", -1, 0, 0},
      {"Shift+Right+Left: Right", {LShift, Right, Left}, 0, 0, 0, "", 0, 1, 0},
      {"Shift+Left", {LShift, Left}, 0, 0, 0, "", 0, -1, 0},
      {"Shift+Up+Left", {LShift, Up, Left}, 0, 0, 0, "", 1, -1, 0},
      {"Alt ignores arrows", {LAlt, Up, Right}, 0, 0, 0, "", 0, 0, 0},
      {"Shift+Alt+arrows: Alt group", {LShift, LAlt, Up, NP2}, 0, -1, 0, "", 0, 0, 0},
      {"J", {J}, 0, 0, 0, "", 0, 0, -1},
      {"K", {K}, 0, 0, 0, "", 0, 0, 1},
      {"J wins over K", {J, K}, 0, 0, 0, "", 0, 0, -1},
      {"Shift+J", {LShift, J}, 0, 0, 0, "", 0, 0, 0},
      {"Alt+K", {LAlt, K}, 0, 0, 0, "", 0, 0, 0},
      {"NumPad keys alone", {NP1, NP2, NP3, NP4}, 0, 0, 0, "", 0, 0, 0},
      {"arrows alone", {Up, Right}, 0, 0, 0, "", 0, 0, 0},
      {"J and K with the lamp off", {J, K}, 0, 0, 0, "", 0, 0, 0, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    LampWorld w;
    auto& tug = w.AddParent("Tug", "tug");
    auto& v = w.AddLamp("L1", {r.lampOn ? "SPT 1 300 0.3491" : "SPT 0 300 0.3491", "GBL 0.5 0.5"});
    auto* lamp = AsLamp(v);
    w.Hang(v, tug, 0);
    LampWorld::SetSlot(tug, 0, {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}});
    lamp->intensity = 0.5;

    // A step of 1.25 s: shifts of 0.625 m, quarter turns, aiming and intensity steps of 0.25.
    w.Frame(1.25, r.keys);
    const Slot s = LampWorld::GetSlot(tug, 0);
    EXPECT_TRUE(VecNear(s.pos, {0.625 * r.dx, 0.625 * r.dy, 0.625 * r.dz}, 1e-12));
    const Turn* turn = nullptr;
    for (const auto& t : kTurns)
      if (std::string(t.name) == r.turn) turn = &t;
    ASSERT_NE(turn, nullptr);
    EXPECT_TRUE(VecNear(s.dir, turn->dir, 1e-9));
    EXPECT_TRUE(VecNear(s.rot, turn->rot, 1e-9));
    EXPECT_DOUBLE_EQ(v.animations[lamp->animAlt].state, 0.5 + 0.25 * r.dAlt);
    EXPECT_DOUBLE_EQ(v.animations[lamp->animAz].state, 0.5 + 0.25 * r.dAz);
    EXPECT_DOUBLE_EQ(lamp->intensity, 0.5 + 0.25 * r.dIntensity);
  }
}

TEST(LampKeys, SeveralOperationsInOneFrameRunInOrder) {
  LampWorld w;
  auto& tug = w.AddParent("Tug", "tug");
  auto& v = w.AddLamp("L1", {"GBL 0.5 0.5"});
  auto* lamp = AsLamp(v);
  w.Hang(v, tug, 0);
  LampWorld::SetSlot(tug, 0, {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}});
  w.Frame(0.02);
  w.journal().Clear();
  w.Frame(1.25, {LShift, NP3, NP1, NP2, NP6, Right, Up});

  // Shifts x, y, z, then the turn, each written back before the next reads.
  std::vector<VECTOR3> positions, directions;
  for (const auto& e : HostCalls(w.journal(), "SetAttachmentParams")) {
    auto n = Numbers(e.args);
    ASSERT_GE(n.size(), 9u);
    auto at = n.end() - 9;
    positions.push_back({at[0], at[1], at[2]});
    directions.push_back({at[3], at[4], at[5]});
  }
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_TRUE(VecNear(positions[0], {0.625, 0, 0}, 1e-12));
  EXPECT_TRUE(VecNear(positions[1], {0.625, 0.625, 0}, 1e-12));
  EXPECT_TRUE(VecNear(positions[2], {0.625, 0.625, 0.625}, 1e-12));
  EXPECT_TRUE(VecNear(positions[3], {0.625, 0.625, 0.625}, 1e-12));
  EXPECT_TRUE(VecNear(directions[2], {0, 0, 1}, 1e-12));
  EXPECT_TRUE(VecNear(directions[3], {1, 0, 0}, 1e-9));

  // Altitude before azimuth, after the attachment operations.
  auto calls = HostCalls(w.journal());
  std::vector<double> animIds;
  std::size_t lastSet = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (Method(calls[i].call) == "SetAttachmentParams") lastSet = i;
    if (Method(calls[i].call) == "SetAnimation") {
      EXPECT_GT(i, lastSet);
      animIds.push_back(Numbers(calls[i].args).at(0));
    }
  }
  EXPECT_EQ(animIds, (std::vector<double>{static_cast<double>(lamp->animAlt),
                                          static_cast<double>(lamp->animAz)}));
}

TEST(LampKeys, DirectKeysAlwaysReturnZero) {
  LampWorld w;
  auto& tug = w.AddParent("Tug", "tug");
  auto& v = w.AddLamp("L1", {"SPT 1 300 0.3491"});
  w.Hang(v, tug, 1);
  w.Frame(0.02);
  const std::initializer_list<std::uint8_t> combos[] = {{},
                                                        {J},
                                                        {K},
                                                        {LShift, NP1, NP4},
                                                        {LAlt, NP2, NP6},
                                                        {LShift, Up},
                                                        {LShift, Left},
                                                        {LShift, LAlt},
                                                        {NP1},
                                                        {B, V, N, M}};
  for (const auto& keys : combos) {
    char* ks = w.world().KeyState();
    w.world().ReleaseAllKeys();
    for (auto k : keys) ks[k] = static_cast<char>(0x80);
    EXPECT_EQ(v.callbacks()->clbkDirectKeys(ks), 0);
  }
  w.world().ReleaseAllKeys();
}

}  // namespace
