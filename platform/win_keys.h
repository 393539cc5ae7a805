// Key codes of the window stand-in: the table from the window system's key positions (USB HID
// usage numbers, which are SDL's scancodes) to PC set-1 scan codes with their extended (E0)
// flag, as a PC keyboard reports them. Pure data, usable from any thread and at compile time.
#pragma once

#include <array>
#include <cstdint>

namespace platform {

// A set-1 scan code; `extended` marks the keys that a PC keyboard prefixes with E0.
struct Set1Key {
  uint8_t code;
  bool extended;
};

inline constexpr uint32_t kWinScancodeCount = 512;

namespace detail {

constexpr std::array<Set1Key, kWinScancodeCount> MakeSet1Table() {
  std::array<Set1Key, kWinScancodeCount> t{};
  auto key = [&t](uint32_t usage, uint8_t code, bool extended = false) {
    t[usage] = Set1Key{code, extended};
  };
  // Letters a..z (usages 4..29).
  constexpr uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                   0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                   0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  for (uint32_t i = 0; i < 26; ++i) key(4 + i, letters[i]);
  // Digits 1..9, 0 (usages 30..39).
  for (uint32_t i = 0; i < 10; ++i) key(30 + i, static_cast<uint8_t>(0x02 + i));
  key(40, 0x1C);  // Return
  key(41, 0x01);  // Escape
  key(42, 0x0E);  // Backspace
  key(43, 0x0F);  // Tab
  key(44, 0x39);  // Space
  key(45, 0x0C);  // - _
  key(46, 0x0D);  // = +
  key(47, 0x1A);  // [ {
  key(48, 0x1B);  // ] }
  key(49, 0x2B);  // backslash
  key(50, 0x2B);  // non-US # (same position as backslash)
  key(51, 0x27);  // ; :
  key(52, 0x28);  // ' "
  key(53, 0x29);  // ` ~
  key(54, 0x33);  // ,
  key(55, 0x34);  // .
  key(56, 0x35);  // /
  key(57, 0x3A);  // Caps Lock
  for (uint32_t i = 0; i < 10; ++i) key(58 + i, static_cast<uint8_t>(0x3B + i));  // F1..F10
  key(68, 0x57);                                                                  // F11
  key(69, 0x58);                                                                  // F12
  key(70, 0x37, true);                                                            // Print Screen
  key(71, 0x46);                                                                  // Scroll Lock
  key(72, 0x45);        // Pause (the window system reports it as 45 without E0)
  key(73, 0x52, true);  // Insert
  key(74, 0x47, true);  // Home
  key(75, 0x49, true);  // Page Up
  key(76, 0x53, true);  // Delete
  key(77, 0x4F, true);  // End
  key(78, 0x51, true);  // Page Down
  key(79, 0x4D, true);  // Right
  key(80, 0x4B, true);  // Left
  key(81, 0x50, true);  // Down
  key(82, 0x48, true);  // Up
  key(83, 0x45, true);  // Num Lock
  key(84, 0x35, true);  // keypad /
  key(85, 0x37);        // keypad *
  key(86, 0x4A);        // keypad -
  key(87, 0x4E);        // keypad +
  key(88, 0x1C, true);  // keypad Enter
  constexpr uint8_t keypad[10] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52};
  for (uint32_t i = 0; i < 10; ++i) key(89 + i, keypad[i]);  // keypad 1..9, 0
  key(99, 0x53);                                             // keypad .
  key(100, 0x56);                                            // non-US backslash
  key(101, 0x5D, true);                                      // Application (menu)
  key(102, 0x5E, true);                                      // Power
  key(103, 0x59);                                            // keypad =
  for (uint32_t i = 0; i < 11; ++i) key(104 + i, static_cast<uint8_t>(0x64 + i));  // F13..F23
  key(115, 0x76);                                                                  // F24
  key(127, 0x20, true);                                                            // Mute
  key(128, 0x30, true);                                                            // Volume Up
  key(129, 0x2E, true);                                                            // Volume Down
  key(133, 0x7E);        // keypad , (Brazilian)
  key(135, 0x73);        // International 1 (Ro)
  key(136, 0x70);        // International 2 (Katakana/Hiragana)
  key(137, 0x7D);        // International 3 (Yen)
  key(138, 0x79);        // International 4 (Henkan)
  key(139, 0x7B);        // International 5 (Muhenkan)
  key(224, 0x1D);        // Left Ctrl
  key(225, 0x2A);        // Left Shift
  key(226, 0x38);        // Left Alt
  key(227, 0x5B, true);  // Left GUI
  key(228, 0x1D, true);  // Right Ctrl
  key(229, 0x36);        // Right Shift
  key(230, 0x38, true);  // Right Alt
  key(231, 0x5C, true);  // Right GUI
  key(258, 0x19, true);  // Next track
  key(259, 0x10, true);  // Previous track
  key(260, 0x24, true);  // Stop
  key(261, 0x22, true);  // Play/Pause
  key(262, 0x20, true);  // Mute (media)
  return t;
}

}  // namespace detail

// The table itself; keys without a set-1 code map to {0, false}.
inline constexpr std::array<Set1Key, kWinScancodeCount> kSet1Keys = detail::MakeSet1Table();

// The set-1 code of the key at USB usage `scancode`; {0, false} for unknown keys and out-of-range
// numbers.
constexpr Set1Key WinSet1FromScancode(uint32_t scancode) {
  return scancode < kWinScancodeCount ? kSet1Keys[scancode] : Set1Key{0, false};
}

}  // namespace platform
