// Key forwarding of the graphics window (revision 2): each key message of the window becomes one
// key record in the console input, with the Shift, Ctrl and Alt state tracked from the window's
// own key messages.
#include "graph/forward.h"

#include "graph/core.h"

namespace graphcore {

platform::InputRecord KeyRecord(uint32_t& modifierState, intptr_t lParam, bool down) {
  const uint32_t s = (static_cast<uint32_t>(lParam) >> 16) & 0xFF;
  modifierState &= ~platform::ENHANCED_KEY;
  platform::InputRecord r{};
  r.EventType = platform::KEY_EVENT;
  r.Event.bKeyDown = down ? 1 : 0;
  r.Event.wRepeatCount = 1;
  r.Event.wVirtualKeyCode = 0;
  r.Event.wVirtualScanCode = static_cast<uint16_t>(s % 100);
  r.Event.uChar = 0;
  r.Event.dwControlKeyState = modifierState;
  uint32_t flag = 0;
  if (s == 42 || s == 54) {
    flag = platform::SHIFT_PRESSED;
  } else if (s == 29) {
    flag = platform::LEFT_CTRL_PRESSED;
  } else if (s == 56) {
    flag = platform::LEFT_ALT_PRESSED;
  }
  if (down) {
    modifierState |= flag;
  } else {
    modifierState &= ~flag;
  }
  return r;
}

void ResetKeyState() {
  Dev().modifierState = 0;
}

bool ForwardKey(const platform::WinMessage& m) {
  switch (m.message) {
    case platform::WM_KEYDOWN:
    case platform::WM_SYSKEYDOWN:
    case platform::WM_KEYUP:
    case platform::WM_SYSKEYUP: {
      const bool down = m.message == platform::WM_KEYDOWN || m.message == platform::WM_SYSKEYDOWN;
      platform::ConWriteInput(KeyRecord(Dev().modifierState, m.lParam, down));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace graphcore
