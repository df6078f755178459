// hostsim's one table of keys: the host's codes (host/keys.h) with the names the tools read and
// show them by, and the window's scan codes on each system.
#include "hostsim/keys/keys.h"

#include <array>
#include <cctype>

#include "host/keys.h"

namespace hostsim {
namespace {

struct Key {
  std::uint8_t code;       // the host's set-1 code
  int usage;               // the USB keyboard usage (the SDL scan code), named in the comment
  std::string_view name;   // how the tools name it; "" for a key they show as a code
  std::string_view alias;  // another name they read it by; "" for none
  bool modifier;           // held with another key in a chord
};

// Every key the window passes on; keys not listed here reach no vessel on either system.
constexpr Key kKeys[] = {
    {ZKEY_ESCAPE, 41, "Escape", "", false},        // ESCAPE
    {ZKEY_1, 30, "1", "", false},                  // 1
    {ZKEY_2, 31, "2", "", false},                  // 2
    {ZKEY_3, 32, "3", "", false},                  // 3
    {ZKEY_4, 33, "4", "", false},                  // 4
    {ZKEY_5, 34, "5", "", false},                  // 5
    {ZKEY_6, 35, "6", "", false},                  // 6
    {ZKEY_7, 36, "7", "", false},                  // 7
    {ZKEY_8, 37, "8", "", false},                  // 8
    {ZKEY_9, 38, "9", "", false},                  // 9
    {ZKEY_0, 39, "0", "", false},                  // 0
    {ZKEY_MINUS, 45, "", "", false},               // MINUS
    {ZKEY_EQUALS, 46, "", "", false},              // EQUALS
    {ZKEY_BACKSPACE, 42, "Backspace", "", false},  // BACKSPACE
    {ZKEY_TAB, 43, "Tab", "", false},              // TAB
    {ZKEY_Q, 20, "Q", "", false},                  // Q
    {ZKEY_W, 26, "W", "", false},                  // W
    {ZKEY_E, 8, "E", "", false},                   // E
    {ZKEY_R, 21, "R", "", false},                  // R
    {ZKEY_T, 23, "T", "", false},                  // T
    {ZKEY_Y, 28, "Y", "", false},                  // Y
    {ZKEY_U, 24, "U", "", false},                  // U
    {ZKEY_I, 12, "I", "", false},                  // I
    {ZKEY_O, 18, "O", "", false},                  // O
    {ZKEY_P, 19, "P", "", false},                  // P
    {ZKEY_LBRACKET, 47, "", "", false},            // LEFTBRACKET
    {ZKEY_RBRACKET, 48, "", "", false},            // RIGHTBRACKET
    {ZKEY_RETURN, 40, "Return", "Enter", false},   // RETURN
    {ZKEY_LCTRL, 224, "Ctrl", "LCtrl", true},      // LCTRL
    {ZKEY_A, 4, "A", "", false},                   // A
    {ZKEY_S, 22, "S", "", false},                  // S
    {ZKEY_D, 7, "D", "", false},                   // D
    {ZKEY_F, 9, "F", "", false},                   // F
    {ZKEY_G, 10, "G", "", false},                  // G
    {ZKEY_H, 11, "H", "", false},                  // H
    {ZKEY_J, 13, "J", "", false},                  // J
    {ZKEY_K, 14, "K", "", false},                  // K
    {ZKEY_L, 15, "L", "", false},                  // L
    {ZKEY_SEMICOLON, 51, "", "", false},           // SEMICOLON
    {ZKEY_APOSTROPHE, 52, "", "", false},          // APOSTROPHE
    {ZKEY_GRAVE, 53, "", "", false},               // GRAVE
    {ZKEY_LSHIFT, 225, "Shift", "LShift", true},   // LSHIFT
    {ZKEY_BACKSLASH, 49, "", "", false},           // BACKSLASH
    {ZKEY_Z, 29, "Z", "", false},                  // Z
    {ZKEY_X, 27, "X", "", false},                  // X
    {ZKEY_C, 6, "C", "", false},                   // C
    {ZKEY_V, 25, "V", "", false},                  // V
    {ZKEY_B, 5, "B", "", false},                   // B
    {ZKEY_N, 17, "N", "", false},                  // N
    {ZKEY_M, 16, "M", "", false},                  // M
    {ZKEY_COMMA, 54, "", "", false},               // COMMA
    {ZKEY_PERIOD, 55, "", "", false},              // PERIOD
    {ZKEY_SLASH, 56, "", "", false},               // SLASH
    {ZKEY_RSHIFT, 229, "RShift", "", true},        // RSHIFT
    {ZKEY_NUMPAD_MULTIPLY, 85, "", "", false},     // KP_MULTIPLY
    {ZKEY_LALT, 226, "Alt", "LAlt", true},         // LALT
    {ZKEY_SPACE, 44, "Space", "", false},          // SPACE
    {ZKEY_CAPSLOCK, 57, "", "", false},            // CAPSLOCK
    {ZKEY_F1, 58, "F1", "", false},                // F1
    {ZKEY_F2, 59, "F2", "", false},                // F2
    {ZKEY_F3, 60, "F3", "", false},                // F3
    {ZKEY_F4, 61, "F4", "", false},                // F4
    {ZKEY_F5, 62, "F5", "", false},                // F5
    {ZKEY_F6, 63, "F6", "", false},                // F6
    {ZKEY_F7, 64, "F7", "", false},                // F7
    {ZKEY_F8, 65, "F8", "", false},                // F8
    {ZKEY_F9, 66, "F9", "", false},                // F9
    {ZKEY_F10, 67, "F10", "", false},              // F10
    {ZKEY_NUMLOCK, 83, "", "", false},             // NUMLOCKCLEAR
    {ZKEY_SCROLLLOCK, 71, "", "", false},          // SCROLLLOCK
    {ZKEY_NUMPAD7, 95, "NumPad7", "", false},      // KP_7
    {ZKEY_NUMPAD8, 96, "NumPad8", "", false},      // KP_8
    {ZKEY_NUMPAD9, 97, "NumPad9", "", false},      // KP_9
    {ZKEY_NUMPAD_MINUS, 86, "", "", false},        // KP_MINUS
    {ZKEY_NUMPAD4, 92, "NumPad4", "", false},      // KP_4
    {ZKEY_NUMPAD5, 93, "NumPad5", "", false},      // KP_5
    {ZKEY_NUMPAD6, 94, "NumPad6", "", false},      // KP_6
    {ZKEY_NUMPAD_PLUS, 87, "", "", false},         // KP_PLUS
    {ZKEY_NUMPAD1, 89, "NumPad1", "", false},      // KP_1
    {ZKEY_NUMPAD2, 90, "NumPad2", "", false},      // KP_2
    {ZKEY_NUMPAD3, 91, "NumPad3", "", false},      // KP_3
    {ZKEY_NUMPAD0, 98, "NumPad0", "", false},      // KP_0
    {ZKEY_NUMPAD_PERIOD, 99, "", "", false},       // KP_PERIOD
    {ZKEY_EXTRA_BACKSLASH, 100, "", "", false},    // NONUSBACKSLASH
    {ZKEY_F11, 68, "F11", "", false},              // F11
    {ZKEY_F12, 69, "F12", "", false},              // F12
    {ZKEY_NUMPAD_ENTER, 88, "", "", false},        // KP_ENTER
    {ZKEY_RCTRL, 228, "", "", false},              // RCTRL
    {ZKEY_NUMPAD_DIVIDE, 84, "", "", false},       // KP_DIVIDE
    {ZKEY_PRINTSCREEN, 70, "", "", false},         // PRINTSCREEN
    {ZKEY_RALT, 230, "RAlt", "", true},            // RALT
    {ZKEY_PAUSE, 72, "", "", false},               // PAUSE
    {ZKEY_HOME, 74, "Home", "", false},            // HOME
    {ZKEY_UP, 82, "Up", "", false},                // UP
    {ZKEY_PAGEUP, 75, "", "", false},              // PAGEUP
    {ZKEY_LEFT, 80, "Left", "", false},            // LEFT
    {ZKEY_RIGHT, 79, "Right", "", false},          // RIGHT
    {ZKEY_END, 77, "End", "", false},              // END
    {ZKEY_DOWN, 81, "Down", "", false},            // DOWN
    {ZKEY_PAGEDOWN, 78, "", "", false},            // PAGEDOWN
    {ZKEY_INSERT, 73, "Insert", "", false},        // INSERT
    {ZKEY_DELETE, 76, "Delete", "", false},        // DELETE
    {ZKEY_LSUPER, 227, "", "", false},             // LGUI
    {ZKEY_RSUPER, 231, "", "", false},             // RGUI
    {ZKEY_MENU, 101, "", "", false},               // APPLICATION
};

// Which set-1 codes the table has, for the Windows window, whose keys come as set-1 codes.
constexpr std::array<bool, 256> KnownCodes() {
  std::array<bool, 256> known{};
  for (const Key& k : kKeys) known[k.code] = true;
  return known;
}
constexpr std::array<bool, 256> kKnown = KnownCodes();

// Windows' virtual keys that need more than their scan code.
constexpr unsigned kVkPause = 0x13;
constexpr unsigned kVkNumLock = 0x90;

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

const Key* Named(std::uint8_t code) {
  for (const Key& k : kKeys)
    if (k.code == code && !k.name.empty()) return &k;
  return nullptr;
}

std::string Hex(std::uint8_t code) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += kDigits[code >> 4];
  s += kDigits[code & 0x0F];
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "0xN" or "0xNN"; the prefix may be upper or lower case.
std::optional<std::uint8_t> RawCode(std::string_view s) {
  if (s.size() < 3 || s.size() > 4 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
    return std::nullopt;
  int v = 0;
  for (char c : s.substr(2)) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + d;
  }
  return static_cast<std::uint8_t>(v);
}

}  // namespace

std::optional<KeyEntry> FindKey(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const Key& k : kKeys) {
    if (EqualNoCase(k.name, name)) return KeyEntry{k.name, k.code, k.modifier};
    if (EqualNoCase(k.alias, name)) return KeyEntry{k.alias, k.code, k.modifier};
  }
  return std::nullopt;
}

std::optional<std::uint8_t> KeyCode(std::string_view name) {
  if (const std::optional<KeyEntry> k = FindKey(name)) return k->code;
  return RawCode(name);
}

std::string KeyName(std::uint8_t code) {
  if (const Key* k = Named(code)) return std::string(k->name);
  return Hex(code);
}

std::string KeyText(std::uint8_t code) {
  if (const Key* k = Named(code)) return std::string(k->name) + " (" + Hex(code) + ")";
  return Hex(code);
}

std::uint8_t Set1Code(int sdlScancode) {
  for (const Key& k : kKeys)
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

}  // namespace hostsim
