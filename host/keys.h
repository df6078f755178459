// Key codes: one-byte keyboard scan codes of set 1, as clbkBufferedKey receives them and as
// they index the 256-byte keyboard state of clbkDirectKeys (a key is down when bit 7 of its
// byte is set). A key that set 1 sends with the E0 prefix has its code with the top bit set.
#pragma once

#include <cstdint>

// The main block's top row: Escape, the digits, and the keys after them up to Backspace.
inline constexpr std::uint8_t ZKEY_ESCAPE = 0x01;
inline constexpr std::uint8_t ZKEY_1 = 0x02;
inline constexpr std::uint8_t ZKEY_2 = 0x03;
inline constexpr std::uint8_t ZKEY_3 = 0x04;
inline constexpr std::uint8_t ZKEY_4 = 0x05;
inline constexpr std::uint8_t ZKEY_5 = 0x06;
inline constexpr std::uint8_t ZKEY_6 = 0x07;
inline constexpr std::uint8_t ZKEY_7 = 0x08;
inline constexpr std::uint8_t ZKEY_8 = 0x09;
inline constexpr std::uint8_t ZKEY_9 = 0x0A;
inline constexpr std::uint8_t ZKEY_0 = 0x0B;
inline constexpr std::uint8_t ZKEY_MINUS = 0x0C;   // - on the main block
inline constexpr std::uint8_t ZKEY_EQUALS = 0x0D;  // = on the main block
inline constexpr std::uint8_t ZKEY_BACKSPACE = 0x0E;

// The letter rows, each from its left, with the punctuation keys between the letters.
inline constexpr std::uint8_t ZKEY_TAB = 0x0F;
inline constexpr std::uint8_t ZKEY_Q = 0x10;
inline constexpr std::uint8_t ZKEY_W = 0x11;
inline constexpr std::uint8_t ZKEY_E = 0x12;
inline constexpr std::uint8_t ZKEY_R = 0x13;
inline constexpr std::uint8_t ZKEY_T = 0x14;
inline constexpr std::uint8_t ZKEY_Y = 0x15;
inline constexpr std::uint8_t ZKEY_U = 0x16;
inline constexpr std::uint8_t ZKEY_I = 0x17;
inline constexpr std::uint8_t ZKEY_O = 0x18;
inline constexpr std::uint8_t ZKEY_P = 0x19;
inline constexpr std::uint8_t ZKEY_LBRACKET = 0x1A;  // [
inline constexpr std::uint8_t ZKEY_RBRACKET = 0x1B;  // ]
inline constexpr std::uint8_t ZKEY_RETURN = 0x1C;    // Enter on the main block
inline constexpr std::uint8_t ZKEY_LCTRL = 0x1D;
inline constexpr std::uint8_t ZKEY_A = 0x1E;
inline constexpr std::uint8_t ZKEY_S = 0x1F;
inline constexpr std::uint8_t ZKEY_D = 0x20;
inline constexpr std::uint8_t ZKEY_F = 0x21;
inline constexpr std::uint8_t ZKEY_G = 0x22;
inline constexpr std::uint8_t ZKEY_H = 0x23;
inline constexpr std::uint8_t ZKEY_J = 0x24;
inline constexpr std::uint8_t ZKEY_K = 0x25;
inline constexpr std::uint8_t ZKEY_L = 0x26;
inline constexpr std::uint8_t ZKEY_SEMICOLON = 0x27;   // ;
inline constexpr std::uint8_t ZKEY_APOSTROPHE = 0x28;  // '
inline constexpr std::uint8_t ZKEY_GRAVE = 0x29;       // ` (left of 1)
inline constexpr std::uint8_t ZKEY_LSHIFT = 0x2A;
inline constexpr std::uint8_t ZKEY_BACKSLASH = 0x2B;  // backslash
inline constexpr std::uint8_t ZKEY_Z = 0x2C;
inline constexpr std::uint8_t ZKEY_X = 0x2D;
inline constexpr std::uint8_t ZKEY_C = 0x2E;
inline constexpr std::uint8_t ZKEY_V = 0x2F;
inline constexpr std::uint8_t ZKEY_B = 0x30;
inline constexpr std::uint8_t ZKEY_N = 0x31;
inline constexpr std::uint8_t ZKEY_M = 0x32;
inline constexpr std::uint8_t ZKEY_COMMA = 0x33;   // ,
inline constexpr std::uint8_t ZKEY_PERIOD = 0x34;  // . on the main block
inline constexpr std::uint8_t ZKEY_SLASH = 0x35;   // / on the main block
inline constexpr std::uint8_t ZKEY_RSHIFT = 0x36;
inline constexpr std::uint8_t ZKEY_NUMPAD_MULTIPLY = 0x37;  // * on the numeric keypad
inline constexpr std::uint8_t ZKEY_LALT = 0x38;
inline constexpr std::uint8_t ZKEY_SPACE = 0x39;
inline constexpr std::uint8_t ZKEY_CAPSLOCK = 0x3A;

// Function keys F1 to F10; F11 and F12 come after the keypad.
inline constexpr std::uint8_t ZKEY_F1 = 0x3B;
inline constexpr std::uint8_t ZKEY_F2 = 0x3C;
inline constexpr std::uint8_t ZKEY_F3 = 0x3D;
inline constexpr std::uint8_t ZKEY_F4 = 0x3E;
inline constexpr std::uint8_t ZKEY_F5 = 0x3F;
inline constexpr std::uint8_t ZKEY_F6 = 0x40;
inline constexpr std::uint8_t ZKEY_F7 = 0x41;
inline constexpr std::uint8_t ZKEY_F8 = 0x42;
inline constexpr std::uint8_t ZKEY_F9 = 0x43;
inline constexpr std::uint8_t ZKEY_F10 = 0x44;

// The numeric keypad (the digits whatever the state of Num Lock).
inline constexpr std::uint8_t ZKEY_NUMLOCK = 0x45;
inline constexpr std::uint8_t ZKEY_SCROLLLOCK = 0x46;
inline constexpr std::uint8_t ZKEY_NUMPAD7 = 0x47;
inline constexpr std::uint8_t ZKEY_NUMPAD8 = 0x48;
inline constexpr std::uint8_t ZKEY_NUMPAD9 = 0x49;
inline constexpr std::uint8_t ZKEY_NUMPAD_MINUS = 0x4A;
inline constexpr std::uint8_t ZKEY_NUMPAD4 = 0x4B;
inline constexpr std::uint8_t ZKEY_NUMPAD5 = 0x4C;
inline constexpr std::uint8_t ZKEY_NUMPAD6 = 0x4D;
inline constexpr std::uint8_t ZKEY_NUMPAD_PLUS = 0x4E;
inline constexpr std::uint8_t ZKEY_NUMPAD1 = 0x4F;
inline constexpr std::uint8_t ZKEY_NUMPAD2 = 0x50;
inline constexpr std::uint8_t ZKEY_NUMPAD3 = 0x51;
inline constexpr std::uint8_t ZKEY_NUMPAD0 = 0x52;
inline constexpr std::uint8_t ZKEY_NUMPAD_PERIOD = 0x53;
inline constexpr std::uint8_t ZKEY_EXTRA_BACKSLASH = 0x56;  // between left Shift and Z (ISO boards)
inline constexpr std::uint8_t ZKEY_F11 = 0x57;
inline constexpr std::uint8_t ZKEY_F12 = 0x58;

// Keys sent with the E0 prefix.
inline constexpr std::uint8_t ZKEY_NUMPAD_ENTER = 0x9C;
inline constexpr std::uint8_t ZKEY_RCTRL = 0x9D;
inline constexpr std::uint8_t ZKEY_NUMPAD_DIVIDE = 0xB5;
inline constexpr std::uint8_t ZKEY_PRINTSCREEN = 0xB7;
inline constexpr std::uint8_t ZKEY_RALT = 0xB8;
inline constexpr std::uint8_t ZKEY_PAUSE = 0xC5;
inline constexpr std::uint8_t ZKEY_HOME = 0xC7;
inline constexpr std::uint8_t ZKEY_UP = 0xC8;  // the arrow keys
inline constexpr std::uint8_t ZKEY_PAGEUP = 0xC9;
inline constexpr std::uint8_t ZKEY_LEFT = 0xCB;
inline constexpr std::uint8_t ZKEY_RIGHT = 0xCD;
inline constexpr std::uint8_t ZKEY_END = 0xCF;
inline constexpr std::uint8_t ZKEY_DOWN = 0xD0;
inline constexpr std::uint8_t ZKEY_PAGEDOWN = 0xD1;
inline constexpr std::uint8_t ZKEY_INSERT = 0xD2;
inline constexpr std::uint8_t ZKEY_DELETE = 0xD3;
inline constexpr std::uint8_t ZKEY_LSUPER = 0xDB;  // the left system key beside left Alt
inline constexpr std::uint8_t ZKEY_RSUPER = 0xDC;  // the right system key beside right Alt
inline constexpr std::uint8_t ZKEY_MENU = 0xDD;    // the context-menu key

// The modifier keys, as bits of what zapiKeyModifiers returns; ZKEYMOD_SHIFT, ZKEYMOD_CTRL and
// ZKEYMOD_ALT stand for either key of their pair.
inline constexpr unsigned ZKEYMOD_LSHIFT = 0x01;
inline constexpr unsigned ZKEYMOD_RSHIFT = 0x02;
inline constexpr unsigned ZKEYMOD_LCTRL = 0x04;
inline constexpr unsigned ZKEYMOD_RCTRL = 0x08;
inline constexpr unsigned ZKEYMOD_LALT = 0x10;
inline constexpr unsigned ZKEYMOD_RALT = 0x20;
inline constexpr unsigned ZKEYMOD_SHIFT = ZKEYMOD_LSHIFT | ZKEYMOD_RSHIFT;
inline constexpr unsigned ZKEYMOD_CTRL = ZKEYMOD_LCTRL | ZKEYMOD_RCTRL;
inline constexpr unsigned ZKEYMOD_ALT = ZKEYMOD_LALT | ZKEYMOD_RALT;

// Tells whether `key` is down in the 256-byte keyboard state `kstate` (bit 7 of its byte).
inline bool zapiKeyDown(const char* kstate, std::uint8_t key) {
  return (static_cast<unsigned char>(kstate[key]) & 0x80) != 0;
}

// Returns the modifier keys down in the keyboard state `kstate` as ZKEYMOD_ bits, 0 when none
// is: `zapiKeyModifiers(kstate) == 0` takes a key pressed alone, `& ZKEYMOD_CTRL` one with
// either Ctrl key.
inline unsigned zapiKeyModifiers(const char* kstate) {
  constexpr struct {
    std::uint8_t key;
    unsigned bit;
  } kModifiers[] = {{ZKEY_LSHIFT, ZKEYMOD_LSHIFT}, {ZKEY_RSHIFT, ZKEYMOD_RSHIFT},
                    {ZKEY_LCTRL, ZKEYMOD_LCTRL},   {ZKEY_RCTRL, ZKEYMOD_RCTRL},
                    {ZKEY_LALT, ZKEYMOD_LALT},     {ZKEY_RALT, ZKEYMOD_RALT}};
  unsigned down = 0;
  for (const auto& m : kModifiers)
    if (zapiKeyDown(kstate, m.key)) down |= m.bit;
  return down;
}
