// The window's keyboard gives the host's key codes: the keys the lamp uses by their CLI names,
// keys beyond the CLI's names, and 0 for keys without a code.
#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include "host/keys.h"
#include "hostsim/cli/chord.h"
#include "hostsim/keys/keys.h"

namespace {

TEST(WindowKeys, SameSet1CodesAsTheCliKeyNames) {
  const struct {
    SDL_Scancode sdl;
    const char* name;
  } keys[] = {
      {SDL_SCANCODE_B, "B"},          {SDL_SCANCODE_N, "N"},
      {SDL_SCANCODE_M, "M"},          {SDL_SCANCODE_V, "V"},
      {SDL_SCANCODE_J, "J"},          {SDL_SCANCODE_K, "K"},
      {SDL_SCANCODE_LSHIFT, "Shift"}, {SDL_SCANCODE_RSHIFT, "RShift"},
      {SDL_SCANCODE_LALT, "Alt"},     {SDL_SCANCODE_RALT, "RAlt"},
      {SDL_SCANCODE_LCTRL, "Ctrl"},   {SDL_SCANCODE_UP, "Up"},
      {SDL_SCANCODE_DOWN, "Down"},    {SDL_SCANCODE_LEFT, "Left"},
      {SDL_SCANCODE_RIGHT, "Right"},  {SDL_SCANCODE_KP_1, "NumPad1"},
      {SDL_SCANCODE_KP_2, "NumPad2"}, {SDL_SCANCODE_KP_3, "NumPad3"},
      {SDL_SCANCODE_KP_4, "NumPad4"}, {SDL_SCANCODE_KP_5, "NumPad5"},
      {SDL_SCANCODE_KP_6, "NumPad6"}, {SDL_SCANCODE_1, "1"},
      {SDL_SCANCODE_0, "0"},          {SDL_SCANCODE_A, "A"},
      {SDL_SCANCODE_Z, "Z"},
  };
  for (const auto& k : keys) {
    const auto cli = hostsim::KeyCode(k.name);
    ASSERT_TRUE(cli) << k.name;
    EXPECT_EQ(hostsim::Set1Code(k.sdl), *cli) << k.name;
  }
}

TEST(WindowKeys, ExtendedKeysAndKeysWithoutACode) {
  EXPECT_EQ(hostsim::Set1Code(SDL_SCANCODE_KP_ENTER), ZKEY_NUMPAD_ENTER);
  EXPECT_EQ(hostsim::Set1Code(SDL_SCANCODE_DELETE), ZKEY_DELETE);
  EXPECT_EQ(hostsim::Set1Code(SDL_SCANCODE_F13), 0);
}

}  // namespace
