// Events of the desktop window service: SDL's events for a window as window messages, and the
// test hooks that queue events as the window system would.
#include <SDL.h>

#include "platform/win_internal.h"
#include "platform/win_keys.h"

namespace platform {
namespace {

intptr_t KeyParam(const SDL_KeyboardEvent& key, bool alt) {
  Set1Key k = WinSet1FromScancode(static_cast<uint32_t>(key.keysym.scancode));
  uint32_t p = 1u | (uint32_t{k.code} << 16);
  if (k.extended) p |= 1u << 24;
  if (alt) p |= 1u << 29;
  if (key.type == SDL_KEYUP) {
    p |= (1u << 30) | (1u << 31);
  } else if (key.repeat) {
    p |= 1u << 30;
  }
  return static_cast<intptr_t>(p);
}

// A mouse position in client-area pixels, x in bits 0..15 and y in bits 16..31.
intptr_t MouseParam(WinHandle window, int32_t x, int32_t y) {
  const win::Slot* t = win::FindSlot(window);
  const int32_t n = t ? t->scale : 1;
  return static_cast<intptr_t>(((x / n) & 0xFFFF) | (((y / n) & 0xFFFF) << 16));
}

bool Translate(const SDL_Event& e, WinHandle window, WinMessage& m) {
  m = WinMessage{0, 0, 0};
  switch (e.type) {
    case SDL_SYSWMEVENT:
      win::NoteSystemEvent(e);
      return false;
    case SDL_WINDOWEVENT:
      if (e.window.windowID != window) return false;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
          m.message = WM_PAINT;
          return true;
        case SDL_WINDOWEVENT_CLOSE:
          m.message = WM_CLOSE;
          return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          m.message = WM_ACTIVATE;
          m.wParam = WA_ACTIVE;
          return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          m.message = WM_ACTIVATE;
          m.wParam = WA_INACTIVE;
          return true;
        default:
          return false;
      }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      if (e.key.windowID != window) return false;
      // Keys typed with Alt held, and F10, are system keys.
      bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
      bool sys = alt || e.key.keysym.scancode == SDL_SCANCODE_F10;
      bool down = e.type == SDL_KEYDOWN;
      m.message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
      m.lParam = KeyParam(e.key, alt);
      return true;
    }
    case SDL_MOUSEMOTION:
      if (e.motion.windowID != window) return false;
      m.message = WM_MOUSEMOVE;
      m.lParam = MouseParam(window, e.motion.x, e.motion.y);
      return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (e.button.windowID != window) return false;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      if (e.button.button == SDL_BUTTON_LEFT) {
        m.message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      } else if (e.button.button == SDL_BUTTON_RIGHT) {
        m.message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      } else {
        return false;
      }
      m.lParam = MouseParam(window, e.button.x, e.button.y);
      return true;
    }
    default:
      return false;
  }
}

void Push(SDL_Event& e) {
  // SDL_PushEvent is safe from any thread.
  SDL_PushEvent(&e);
}

}  // namespace

bool WinPeekMessage(WinHandle window, WinMessage& message) {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (Translate(e, window, message)) return true;
  }
  return false;
}

void WinPushKey(WinHandle window, uint32_t scancode, bool down, bool shift) {
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = window;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
  e.key.keysym.mod = shift ? KMOD_LSHIFT : KMOD_NONE;
  Push(e);
}

namespace {

// Queues a window event of kind `event` for `window`.
void PushWindowEvent(WinHandle window, uint8_t event) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = event;
  Push(e);
}

}  // namespace

void WinPushClose(WinHandle window) {
  PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
}

void WinPushExpose(WinHandle window) {
  PushWindowEvent(window, SDL_WINDOWEVENT_EXPOSED);
}

}  // namespace platform
