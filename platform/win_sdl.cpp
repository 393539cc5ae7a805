// Window stand-in on SDL2: one software surface per window, events turned into window messages.
#include "platform/win_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/win_keys.h"

namespace platform {
namespace {

std::mutex gVideoLock;  // guards the once-only start below
bool gVideoTried = false;
bool gVideoOk = false;
char gVideoWhy[256];
std::atomic<bool> gDisplayLost;

SDL_Window* Find(WinHandle window) {
  return window ? SDL_GetWindowFromID(window) : nullptr;
}

// Tells the window manager that the window was not opened by a user action, so it does not take
// the keyboard focus when shown (_NET_WM_USER_TIME = 0).
void SetNoActivate(SDL_Window* w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  Atom userTime = XInternAtom(display, "_NET_WM_USER_TIME", False);
  unsigned long zero = 0;
  XChangeProperty(display, info.info.x11.window, userTime, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&zero), 1);
  XFlush(display);
}

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

bool Translate(const SDL_Event& e, WinHandle window, WinMessage& m) {
  m = WinMessage{0, 0, 0};
  switch (e.type) {
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
      m.lParam = static_cast<intptr_t>((e.motion.x & 0xFFFF) | ((e.motion.y & 0xFFFF) << 16));
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
      m.lParam = static_cast<intptr_t>((e.button.x & 0xFFFF) | ((e.button.y & 0xFFFF) << 16));
      return true;
    }
    default:
      return false;
  }
}

// Xlib ends the process when the display connection breaks and its handler returns. The window
// thread stops here instead, for good: the program goes on drawing into its back buffer and
// reading the console, as with a window that was closed.
int LostDisplay(Display*) {
  gDisplayLost.store(true);
  static const char kText[] = "Graph: display connection lost\n";
  ssize_t ignored = write(2, kText, sizeof kText - 1);
  (void)ignored;
  for (;;) pause();
}

void Push(SDL_Event& e) {
  // SDL_PushEvent is safe from any thread.
  SDL_PushEvent(&e);
}

}  // namespace

bool WinVideoStart(char* why, std::size_t size) {
  std::lock_guard<std::mutex> hold(gVideoLock);
  if (!gVideoTried) {
    gVideoTried = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    setenv("SDL_VIDEO_X11_WMCLASS", "GraphWnd", 0);
    // Without a display SDL falls back to its offscreen driver; that counts as a display only
    // when asked for by name (as the tests do).
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(asked && *asked) && !(x11 && *x11) && !(wayland && *wayland)) {
      std::snprintf(gVideoWhy, sizeof gVideoWhy, "no display");
    } else if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      std::snprintf(gVideoWhy, sizeof gVideoWhy, "%s", SDL_GetError());
    } else {
      const char* driver = SDL_GetCurrentVideoDriver();
      const bool headless =
          driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
      if (headless && !(asked && std::strcmp(asked, driver) == 0)) {
        std::snprintf(gVideoWhy, sizeof gVideoWhy, "no display");
      } else {
        gVideoOk = true;
        SDL_StopTextInput();
        if (std::strcmp(driver, "x11") == 0) XSetIOErrorHandler(LostDisplay);
      }
    }
  }
  if (!gVideoOk && why && size) std::snprintf(why, size, "%s", gVideoWhy);
  return gVideoOk;
}

WinHandle WinCreate(const char* title, int32_t x, int32_t y, uint32_t width, uint32_t height,
                    WinStyle style) {
  if (width == 0 || height == 0 || width > 16384 || height > 16384) return 0;
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (style.alwaysOnTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  SDL_Window* w =
      SDL_CreateWindow(title, x, y, static_cast<int>(width), static_cast<int>(height), flags);
  if (!w) return 0;
  if (style.noActivate) SetNoActivate(w);
  SDL_ShowWindow(w);
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s) {
    SDL_DestroyWindow(w);
    return 0;
  }
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
  SDL_UpdateWindowSurface(w);
  return SDL_GetWindowID(w);
}

void WinDestroy(WinHandle window) {
  if (SDL_Window* w = Find(window)) SDL_DestroyWindow(w);
}

bool WinPeekMessage(WinHandle window, WinMessage& message) {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (Translate(e, window, message)) return true;
  }
  return false;
}

void WinCopyToWindow(WinHandle window, const uint32_t* pixels, int32_t stride, int32_t width,
                     int32_t height, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SDL_Window* w = Find(window);
  if (!w) return;
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s) return;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min({right, width, s->w});
  bottom = std::min({bottom, height, s->h});
  if (left >= right || top >= bottom) return;
  if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const uint32_t* src = pixels + static_cast<std::ptrdiff_t>(top) * stride + left;
  uint8_t* dst = static_cast<uint8_t*>(s->pixels) + static_cast<std::ptrdiff_t>(top) * s->pitch +
                 static_cast<std::ptrdiff_t>(left) * s->format->BytesPerPixel;
  int32_t n = right - left;
  if (s->format->format == SDL_PIXELFORMAT_RGB888 ||
      s->format->format == SDL_PIXELFORMAT_ARGB8888) {
    for (int32_t y = top; y < bottom; ++y, src += stride, dst += s->pitch) {
      std::memcpy(dst, src, static_cast<std::size_t>(n) * 4);
    }
  } else {
    SDL_ConvertPixels(n, bottom - top, SDL_PIXELFORMAT_RGB888, src, stride * 4, s->format->format,
                      dst, s->pitch);
  }
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
}

void WinUpdateWindow(WinHandle window, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SDL_Window* w = Find(window);
  if (!w || left >= right || top >= bottom) return;
  SDL_Rect r{left, top, right - left, bottom - top};
  SDL_UpdateWindowSurfaceRects(w, &r, 1);
}

uint32_t WinSurfacePixel(WinHandle window, int32_t x, int32_t y) {
  SDL_Window* w = Find(window);
  if (!w) return 0;
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0;
  if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const uint8_t* p = static_cast<const uint8_t*>(s->pixels) +
                     static_cast<std::ptrdiff_t>(y) * s->pitch +
                     static_cast<std::ptrdiff_t>(x) * s->format->BytesPerPixel;
  uint32_t raw = 0;
  std::memcpy(&raw, p, std::min<std::size_t>(s->format->BytesPerPixel, 4));
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  Uint8 r, g, b;
  SDL_GetRGB(raw, s->format, &r, &g, &b);
  return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

uint32_t WinRefreshPeriodUs(WinHandle window) {
  SDL_Window* w = Find(window);
  SDL_DisplayMode mode;
  if (w && SDL_GetWindowDisplayMode(w, &mode) == 0 && mode.refresh_rate > 0) {
    return 1000000u / static_cast<uint32_t>(mode.refresh_rate);
  }
  return 16667;
}

bool WinDisplayLost() {
  return gDisplayLost.load();
}

bool WinDisplayAvailable() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
                 std::strcmp(driver, "evdev") == 0)) {
    return false;
  }
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

void WinMessageBox(const char* text, const char* caption) {
  if (WinDisplayAvailable() &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text, nullptr) ==
          0) {
    return;
  }
  char line[512];
  int n = caption ? std::snprintf(line, sizeof line, "%s: %s\n", caption, text)
                  : std::snprintf(line, sizeof line, "%s\n", text);
  if (n > 0) {
    ssize_t ignored =
        write(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
    (void)ignored;
  }
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

void WinPushClose(WinHandle window) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  Push(e);
}

void WinPushExpose(WinHandle window) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = SDL_WINDOWEVENT_EXPOSED;
  Push(e);
}

}  // namespace platform
