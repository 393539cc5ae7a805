// Key forwarding of the graphics window (revision 2): one console key record per key message.
#pragma once

#include <cstdint>

#include "platform/Console.h"
#include "platform/Window.h"

namespace graphcore {

// Builds the console record for a key message with second parameter `lParam` (scan code in bits
// 16..23), pressed or released, and updates the tracked Shift/Ctrl/Alt state: the record carries
// the state from before this key. The window's thread.
platform::InputRecord KeyRecord(uint32_t& modifierState, intptr_t lParam, bool down);

// Writes a key message (WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP, WM_SYSKEYUP) of the window to the
// console input as one key record and answers true; answers false for any other message. The
// window's thread.
bool ForwardKey(const platform::WinMessage& m);

// Forgets the tracked Shift, Ctrl and Alt state (a new window, or the window activated). The
// window's thread.
void ResetKeyState();

}  // namespace graphcore
