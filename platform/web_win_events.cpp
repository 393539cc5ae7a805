// Events of the browser's window service: the canvas's keys and focus, queued by the page's main
// thread as window messages for the window thread, and the test hooks that queue events as the
// page would. Keys come as the key positions of the keyboard (USB HID usages, which the page
// takes from KeyboardEvent.code) and become set-1 scan codes through the desktop's table.
#include <emscripten/emscripten.h>

#include "platform/Window.h"
#include "platform/web_win_state.h"
#include "platform/win_keys.h"

namespace platform {

namespace web {

bool PostMessage(const WinMessage& message) {
  Messages& q = gWeb.messages;
  rts::Hold hold(q.lock);
  if (q.count == kMessageCapacity) return false;
  q.ring[(q.head + q.count) % kMessageCapacity] = message;
  ++q.count;
  return true;
}

}  // namespace web

namespace {

using web::gWeb;

constexpr uint32_t kUsageF10 = 67;

// A key message as the window system makes it: repeat count 1, the scan code with its extended
// flag, Alt, the previous state and the transition.
WinMessage KeyMessage(uint32_t usage, bool down, bool repeat, bool alt) {
  const Set1Key k = WinSet1FromScancode(usage);
  uint32_t p = 1u | (uint32_t{k.code} << 16);
  if (k.extended) p |= 1u << 24;
  if (alt) p |= 1u << 29;
  if (!down) {
    p |= (1u << 30) | (1u << 31);
  } else if (repeat) {
    p |= 1u << 30;
  }
  // Keys typed with Alt held, and F10, are system keys.
  const bool sys = alt || usage == kUsageF10;
  const uint32_t message =
      down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  return WinMessage{message, 0, static_cast<intptr_t>(p)};
}

}  // namespace

bool WinPeekMessage(WinHandle window, WinMessage& message) {
  if (window == 0 || gWeb.window.handle != window) return false;
  web::Messages& q = gWeb.messages;
  rts::Hold hold(q.lock);
  if (q.count == 0) return false;
  message = q.ring[q.head];
  q.head = (q.head + 1) % web::kMessageCapacity;
  --q.count;
  return true;
}

void WinPushKey(WinHandle, uint32_t scancode, bool down, bool) {
  web::PostMessage(KeyMessage(scancode, down, false, false));
}

void WinPushClose(WinHandle) {
  web::PostMessage(WinMessage{WM_CLOSE, 0, 0});
}

void WinPushExpose(WinHandle) {
  web::PostMessage(WinMessage{WM_PAINT, 0, 0});
}

}  // namespace platform

// Calls from the page's main thread.
extern "C" {

// A key of the canvas: its USB HID usage (from KeyboardEvent.code), pressed or released, a
// repeat of a held key, Alt held. Answers 0 when the queue was full and the key is lost.
EMSCRIPTEN_KEEPALIVE int web_win_key(uint32_t usage, int down, int repeat, int alt) {
  return platform::web::PostMessage(platform::KeyMessage(usage, down != 0, repeat != 0, alt != 0));
}

// The canvas took (1) or lost (0) the keyboard focus.
EMSCRIPTEN_KEEPALIVE void web_win_focus(int active) {
  platform::web::PostMessage(platform::WinMessage{
      platform::WM_ACTIVATE, active != 0 ? platform::WA_ACTIVE : platform::WA_INACTIVE, 0});
}

}  // extern "C"
