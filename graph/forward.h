// Key forwarding of the graphics window (revision 2): one console key record per key message.
#pragma once

#include <cstdint>

#include "platform/con_host.h"

namespace graphcore {

// Builds the console record for a key message with second parameter `lParam` (scan code in bits
// 16..23), pressed or released, and updates the tracked Shift/Ctrl/Alt state: the record carries
// the state from before this key. The window's thread.
platform::InputRecord KeyRecord(uint32_t& modifierState, intptr_t lParam, bool down);

}  // namespace graphcore
