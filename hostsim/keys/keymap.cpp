#include "hostsim/keys/keymap.h"

#include <array>

#include "host/keys.h"

namespace hostsim::render {
namespace {

struct KeyPair {
  int usage;          // the USB keyboard usage (the SDL scan code), named in the comment
  std::uint8_t code;  // its set-1 code
};

// Every key the window passes on; keys not listed here reach no vessel on either system.
constexpr KeyPair kKeys[] = {
    {41, ZKEY_ESCAPE},            // ESCAPE
    {30, ZKEY_1},                 // 1
    {31, ZKEY_2},                 // 2
    {32, ZKEY_3},                 // 3
    {33, ZKEY_4},                 // 4
    {34, ZKEY_5},                 // 5
    {35, ZKEY_6},                 // 6
    {36, ZKEY_7},                 // 7
    {37, ZKEY_8},                 // 8
    {38, ZKEY_9},                 // 9
    {39, ZKEY_0},                 // 0
    {45, ZKEY_MINUS},             // MINUS
    {46, ZKEY_EQUALS},            // EQUALS
    {42, ZKEY_BACKSPACE},         // BACKSPACE
    {43, ZKEY_TAB},               // TAB
    {20, ZKEY_Q},                 // Q
    {26, ZKEY_W},                 // W
    {8, ZKEY_E},                  // E
    {21, ZKEY_R},                 // R
    {23, ZKEY_T},                 // T
    {28, ZKEY_Y},                 // Y
    {24, ZKEY_U},                 // U
    {12, ZKEY_I},                 // I
    {18, ZKEY_O},                 // O
    {19, ZKEY_P},                 // P
    {47, ZKEY_LBRACKET},          // LEFTBRACKET
    {48, ZKEY_RBRACKET},          // RIGHTBRACKET
    {40, ZKEY_RETURN},            // RETURN
    {224, ZKEY_LCTRL},            // LCTRL
    {4, ZKEY_A},                  // A
    {22, ZKEY_S},                 // S
    {7, ZKEY_D},                  // D
    {9, ZKEY_F},                  // F
    {10, ZKEY_G},                 // G
    {11, ZKEY_H},                 // H
    {13, ZKEY_J},                 // J
    {14, ZKEY_K},                 // K
    {15, ZKEY_L},                 // L
    {51, ZKEY_SEMICOLON},         // SEMICOLON
    {52, ZKEY_APOSTROPHE},        // APOSTROPHE
    {53, ZKEY_GRAVE},             // GRAVE
    {225, ZKEY_LSHIFT},           // LSHIFT
    {49, ZKEY_BACKSLASH},         // BACKSLASH
    {29, ZKEY_Z},                 // Z
    {27, ZKEY_X},                 // X
    {6, ZKEY_C},                  // C
    {25, ZKEY_V},                 // V
    {5, ZKEY_B},                  // B
    {17, ZKEY_N},                 // N
    {16, ZKEY_M},                 // M
    {54, ZKEY_COMMA},             // COMMA
    {55, ZKEY_PERIOD},            // PERIOD
    {56, ZKEY_SLASH},             // SLASH
    {229, ZKEY_RSHIFT},           // RSHIFT
    {85, ZKEY_NUMPAD_MULTIPLY},   // KP_MULTIPLY
    {226, ZKEY_LALT},             // LALT
    {44, ZKEY_SPACE},             // SPACE
    {57, ZKEY_CAPSLOCK},          // CAPSLOCK
    {58, ZKEY_F1},                // F1
    {59, ZKEY_F2},                // F2
    {60, ZKEY_F3},                // F3
    {61, ZKEY_F4},                // F4
    {62, ZKEY_F5},                // F5
    {63, ZKEY_F6},                // F6
    {64, ZKEY_F7},                // F7
    {65, ZKEY_F8},                // F8
    {66, ZKEY_F9},                // F9
    {67, ZKEY_F10},               // F10
    {83, ZKEY_NUMLOCK},           // NUMLOCKCLEAR
    {71, ZKEY_SCROLLLOCK},        // SCROLLLOCK
    {95, ZKEY_NUMPAD7},           // KP_7
    {96, ZKEY_NUMPAD8},           // KP_8
    {97, ZKEY_NUMPAD9},           // KP_9
    {86, ZKEY_NUMPAD_MINUS},      // KP_MINUS
    {92, ZKEY_NUMPAD4},           // KP_4
    {93, ZKEY_NUMPAD5},           // KP_5
    {94, ZKEY_NUMPAD6},           // KP_6
    {87, ZKEY_NUMPAD_PLUS},       // KP_PLUS
    {89, ZKEY_NUMPAD1},           // KP_1
    {90, ZKEY_NUMPAD2},           // KP_2
    {91, ZKEY_NUMPAD3},           // KP_3
    {98, ZKEY_NUMPAD0},           // KP_0
    {99, ZKEY_NUMPAD_PERIOD},     // KP_PERIOD
    {100, ZKEY_EXTRA_BACKSLASH},  // NONUSBACKSLASH
    {68, ZKEY_F11},               // F11
    {69, ZKEY_F12},               // F12
    {88, ZKEY_NUMPAD_ENTER},      // KP_ENTER
    {228, ZKEY_RCTRL},            // RCTRL
    {84, ZKEY_NUMPAD_DIVIDE},     // KP_DIVIDE
    {70, ZKEY_PRINTSCREEN},       // PRINTSCREEN
    {230, ZKEY_RALT},             // RALT
    {72, ZKEY_PAUSE},             // PAUSE
    {74, ZKEY_HOME},              // HOME
    {82, ZKEY_UP},                // UP
    {75, ZKEY_PAGEUP},            // PAGEUP
    {80, ZKEY_LEFT},              // LEFT
    {79, ZKEY_RIGHT},             // RIGHT
    {77, ZKEY_END},               // END
    {81, ZKEY_DOWN},              // DOWN
    {78, ZKEY_PAGEDOWN},          // PAGEDOWN
    {73, ZKEY_INSERT},            // INSERT
    {76, ZKEY_DELETE},            // DELETE
    {227, ZKEY_LSUPER},           // LGUI
    {231, ZKEY_RSUPER},           // RGUI
    {101, ZKEY_MENU},             // APPLICATION
};

// Which set-1 codes the table has, for the Windows window, whose keys come as set-1 codes.
constexpr std::array<bool, 256> KnownCodes() {
  std::array<bool, 256> known{};
  for (const KeyPair& k : kKeys) known[k.code] = true;
  return known;
}
constexpr std::array<bool, 256> kKnown = KnownCodes();

// Windows' virtual keys that need more than their scan code.
constexpr unsigned kVkPause = 0x13;
constexpr unsigned kVkNumLock = 0x90;

}  // namespace

std::uint8_t Set1Code(int sdlScancode) {
  for (const KeyPair& k : kKeys)
    if (k.usage == sdlScancode) return k.code;
  return 0;
}

std::uint8_t Set1CodeOfWindowsKey(std::uint32_t lParam, unsigned virtualKey) {
  // Windows reports Pause and Num Lock the other way round from set 1: Pause with the scan
  // code 0x45 (it sends E1 1D 45), Num Lock with 0x45 marked extended.
  if (virtualKey == kVkPause) return ZKEY_PAUSE;
  if (virtualKey == kVkNumLock) return ZKEY_NUMLOCK;
  const std::uint32_t scan = (lParam >> 16) & 0xFF;
  if (scan == 0 || scan >= 0x80) return 0;  // no scan code, or not a key of set 1's range
  const bool extended = ((lParam >> 24) & 1) != 0;
  const auto code = static_cast<std::uint8_t>(scan | (extended ? 0x80U : 0U));
  return kKnown[code] ? code : 0;
}

}  // namespace hostsim::render
