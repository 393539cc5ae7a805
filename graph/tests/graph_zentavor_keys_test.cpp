// The window's key table (SDL scancode to PC set-1) and the forwarded record built from a key
// message: scan code folding, the tracked Shift/Ctrl/Alt state and the enhanced flag.
#include <gtest/gtest.h>

#include <set>

#include "graph/forward.h"
#include "platform/Console.h"
#include "platform/win_keys.h"

namespace {

using platform::WinSet1FromScancode;

// The table is usable at compile time.
static_assert(WinSet1FromScancode(4).code == 0x1E);  // a
static_assert(WinSet1FromScancode(82).extended);     // up
static_assert(WinSet1FromScancode(9999).code == 0);  // out of range

TEST(GraphKeys, Set1Table) {
  // Letters, digits and the main block as a PC keyboard sends them.
  EXPECT_EQ(WinSet1FromScancode(21).code, 0x13);  // r
  EXPECT_EQ(WinSet1FromScancode(29).code, 0x2C);  // z
  EXPECT_EQ(WinSet1FromScancode(30).code, 0x02);  // 1
  EXPECT_EQ(WinSet1FromScancode(39).code, 0x0B);  // 0
  EXPECT_EQ(WinSet1FromScancode(44).code, 0x39);  // space
  EXPECT_EQ(WinSet1FromScancode(40).code, 0x1C);  // return
  EXPECT_EQ(WinSet1FromScancode(58).code, 0x3B);  // F1
  EXPECT_EQ(WinSet1FromScancode(67).code, 0x44);  // F10
  EXPECT_EQ(WinSet1FromScancode(69).code, 0x58);  // F12
  // The keypad: digits without E0, Enter and / with it; cursor keys share codes with keypad 8...
  EXPECT_EQ(WinSet1FromScancode(96).code, 0x48);  // keypad 8
  EXPECT_FALSE(WinSet1FromScancode(96).extended);
  EXPECT_EQ(WinSet1FromScancode(82).code, 0x48);  // up
  EXPECT_TRUE(WinSet1FromScancode(88).extended);  // keypad Enter
  EXPECT_EQ(WinSet1FromScancode(88).code, 0x1C);
  EXPECT_EQ(WinSet1FromScancode(85).code, 0x37);  // keypad *
  EXPECT_EQ(WinSet1FromScancode(84).code, 0x35);  // keypad /
  // Modifiers: right-hand Ctrl and Alt are the left codes with E0; the Shifts differ.
  EXPECT_EQ(WinSet1FromScancode(224).code, 29);
  EXPECT_EQ(WinSet1FromScancode(228).code, 29);
  EXPECT_TRUE(WinSet1FromScancode(228).extended);
  EXPECT_EQ(WinSet1FromScancode(226).code, 56);
  EXPECT_EQ(WinSet1FromScancode(230).code, 56);
  EXPECT_EQ(WinSet1FromScancode(225).code, 42);
  EXPECT_EQ(WinSet1FromScancode(229).code, 54);
  // Keys at 100 and above exist (F13..F24, international keys).
  EXPECT_EQ(WinSet1FromScancode(104).code, 0x64);
  EXPECT_EQ(WinSet1FromScancode(137).code, 0x7D);

  // Apart from the documented pairs, no two keys of the main set share a code and flag.
  std::set<std::pair<int, bool>> seen;
  for (uint32_t s = 4; s < 100; ++s) {
    const platform::Set1Key k = WinSet1FromScancode(s);
    if (s == 50) continue;  // non-US # sits where backslash is
    EXPECT_NE(k.code, 0) << s;
    EXPECT_TRUE(seen.insert({k.code, k.extended}).second) << "duplicate at " << s;
  }
}

intptr_t Param(uint32_t scan) {
  return static_cast<intptr_t>(1u | (scan << 16));
}

TEST(GraphKeys, RecordsAndModifierState) {
  uint32_t state = platform::ENHANCED_KEY;  // cleared by the first key
  platform::InputRecord r = graphcore::KeyRecord(state, Param(0x1D), true);  // Ctrl
  EXPECT_EQ(r.EventType, platform::KEY_EVENT);
  EXPECT_EQ(r.Event.bKeyDown, 1);
  EXPECT_EQ(r.Event.wRepeatCount, 1);
  EXPECT_EQ(r.Event.wVirtualKeyCode, 0);
  EXPECT_EQ(r.Event.uChar, 0);
  EXPECT_EQ(r.Event.wVirtualScanCode, 29);
  EXPECT_EQ(r.Event.dwControlKeyState, 0u) << "the state before the key";
  EXPECT_EQ(state, platform::LEFT_CTRL_PRESSED);

  r = graphcore::KeyRecord(state, Param(56), true);  // Alt
  r = graphcore::KeyRecord(state, Param(54), true);  // right Shift
  EXPECT_EQ(r.Event.dwControlKeyState, platform::LEFT_CTRL_PRESSED | platform::LEFT_ALT_PRESSED);
  r = graphcore::KeyRecord(state, Param(0x13), true);
  EXPECT_EQ(r.Event.dwControlKeyState,
            platform::LEFT_CTRL_PRESSED | platform::LEFT_ALT_PRESSED | platform::SHIFT_PRESSED);
  r = graphcore::KeyRecord(state, Param(42), false);  // either Shift releases the flag
  r = graphcore::KeyRecord(state, Param(29), false);
  r = graphcore::KeyRecord(state, Param(56), false);
  EXPECT_EQ(state, 0u);

  // Scan codes fold modulo 100; the extended bit and the other bits of the parameter are ignored.
  r = graphcore::KeyRecord(state, Param(0x64), true);
  EXPECT_EQ(r.Event.wVirtualScanCode, 0);
  r = graphcore::KeyRecord(state, Param(0xF2), true);
  EXPECT_EQ(r.Event.wVirtualScanCode, 42);
  EXPECT_EQ(state, 0u) << "a folded code is not a Shift key";
  r = graphcore::KeyRecord(state, static_cast<intptr_t>(0xE1000001u | (0x48u << 16)), false);
  EXPECT_EQ(r.Event.wVirtualScanCode, 0x48);
  EXPECT_EQ(r.Event.bKeyDown, 0);
}

}  // namespace
