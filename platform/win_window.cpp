// Windows of the desktop window service: one SDL window with a software surface each (or, where
// SDL has none for the display's pixel format, our own image of it on the X side), the damaged
// rectangles of a pixel array copied into it and shown, scaled N x N where asked.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/win_internal.h"

namespace platform {
namespace win {

constinit Service gWin;

Slot* FindSlot(WinHandle window) {
  for (Slot& t : gWin.slots) {
    if (window != 0 && t.id == window) return &t;
  }
  return nullptr;
}

}  // namespace win

namespace {

using win::gWin;
using win::Slot;
using win::View;

// The pixels a window is drawn into, and its SDL surface when it has one (then `s` is set).
bool ViewOf(const Slot& t, SDL_Window* w, SDL_Surface*& s, View& v) {
  s = nullptr;
  if (t.image) {
    v = win::ImageView(t);
    return true;
  }
  s = SDL_GetWindowSurface(w);
  if (!s) return false;
  v = View{static_cast<uint8_t*>(s->pixels), s->pitch, s->format->BytesPerPixel, s->w, s->h};
  return true;
}

// Writes `n` pixels of `src` at `dst` in the window's format.
void ConvertRow(const Slot& t, const SDL_Surface* s, const uint32_t* src, int32_t n, uint8_t* dst) {
  if (t.image) {
    win::ImageRow(t, src, n, dst);
  } else if (s->format->format == SDL_PIXELFORMAT_RGB888 ||
             s->format->format == SDL_PIXELFORMAT_ARGB8888) {
    std::memcpy(dst, src, static_cast<std::size_t>(n) * 4);
  } else {
    SDL_ConvertPixels(n, 1, SDL_PIXELFORMAT_RGB888, src, n * 4, s->format->format, dst, s->pitch);
  }
}

// Widens the `n` pixels of `bpp` bytes at `row` in place, each to `scale` copies of itself (from
// the right, so no pixel is overwritten before it is read).
void Widen(uint8_t* row, int32_t n, int32_t scale, int32_t bpp) {
  for (int32_t i = n - 1; i >= 0; --i) {
    uint8_t pixel[4];
    std::memcpy(pixel, row + i * bpp, static_cast<std::size_t>(bpp));
    for (int32_t k = scale - 1; k >= 0; --k) {
      std::memcpy(row + (i * scale + k) * bpp, pixel, static_cast<std::size_t>(bpp));
    }
  }
}

}  // namespace

WinHandle WinCreate(const char* title, int32_t x, int32_t y, uint32_t width, uint32_t height,
                    WinStyle style) {
  const uint32_t scale = std::clamp<uint32_t>(style.scale, 1, 4);
  gWin.createWhy[0] = 0;
  if (gWin.displayLost.load()) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "display connection lost");
    return 0;
  }
  if (width == 0 || height == 0 || width * scale > 16384 || height * scale > 16384) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "no window of %u x %u pixels",
                  width * scale, height * scale);
    return 0;
  }
  // The window's pixels and SDL's copy for the X server, with room to spare.
  const std::size_t bytes = std::size_t{width} * height * scale * scale * 4;
  if (!win::AddressSpaceLeft(2 * bytes + (std::size_t{8} << 20))) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy,
                  "not enough memory for a window of %u x %u", width * scale, height * scale);
    return 0;
  }
  Slot* t = nullptr;
  for (Slot& slot : gWin.slots) {
    if (!t && slot.id == 0) t = &slot;
  }
  if (!t) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "too many windows");
    return 0;
  }
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (style.alwaysOnTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  SDL_Window* w = SDL_CreateWindow(title, x, y, static_cast<int>(width * scale),
                                   static_cast<int>(height * scale), flags);
  if (!w) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "%s", SDL_GetError());
    return 0;
  }
  const WinHandle id = SDL_GetWindowID(w);
  const bool x11 = win::AttachX11(*t, w, style.noActivate);
  SDL_ShowWindow(w);
  t->id = id;
  t->scale = static_cast<int32_t>(scale);
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s) {
    // SDL makes no surface for some pixel formats (those of 8-bit displays among them): an X11
    // window is then drawn through our own image.
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "%s", SDL_GetError());
    if (!x11 || !win::MakeImage(*t, w, static_cast<int32_t>(width * scale),
                                static_cast<int32_t>(height * scale))) {
      WinDestroy(id);
      return 0;
    }
    WinUpdateWindow(id, 0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height));
  } else {
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
    SDL_UpdateWindowSurface(w);
  }
  return id;
}

const char* WinCreateFailure() {
  return gWin.createWhy;
}

void WinDestroy(WinHandle window) {
  SDL_Window* w = win::SdlWindow(window);
  Slot* t = win::FindSlot(window);
  if (t) win::DropSlot(*t, w);
  if (!w) return;
  const bool lost = gWin.displayLost.load();
  const bool gone = win::DetachX11(w) || lost;
  // SDL's clean-up of a window destroyed by another client would wait for its unmapping, which
  // never comes, and without a connection it could only fail: such a window is left to SDL's
  // list (a few hundred bytes) and goes with the process.
  if (!gone) SDL_DestroyWindow(w);
}

bool WinCopyToWindow(WinHandle window, const uint32_t* pixels, int32_t stride, int32_t width,
                     int32_t height, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SDL_Window* w = win::SdlWindow(window);
  const Slot* t = win::FindSlot(window);
  SDL_Surface* s;
  View v;
  if (!w || !t || !ViewOf(*t, w, s, v)) return false;
  const int32_t n = t->scale;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min({right, width, v.w / n});
  bottom = std::min({bottom, height, v.h / n});
  if (left >= right || top >= bottom) return false;
  if (s && SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const uint32_t* src = pixels + static_cast<std::ptrdiff_t>(top) * stride + left;
  uint8_t* dst = v.pixels + static_cast<std::ptrdiff_t>(top) * n * v.pitch +
                 static_cast<std::ptrdiff_t>(left) * n * v.bpp;
  const int32_t count = right - left;
  if (n == 1 && s) {
    if (s->format->format == SDL_PIXELFORMAT_RGB888 ||
        s->format->format == SDL_PIXELFORMAT_ARGB8888) {
      for (int32_t y = top; y < bottom; ++y, src += stride, dst += v.pitch) {
        std::memcpy(dst, src, static_cast<std::size_t>(count) * 4);
      }
    } else {
      SDL_ConvertPixels(count, bottom - top, SDL_PIXELFORMAT_RGB888, src, stride * 4,
                        s->format->format, dst, v.pitch);
    }
  } else {
    // Each row converted, widened to n copies of each pixel, and repeated on n screen rows.
    const std::size_t rowBytes = static_cast<std::size_t>(count) * n * v.bpp;
    for (int32_t y = top; y < bottom; ++y, src += stride, dst += n * v.pitch) {
      ConvertRow(*t, s, src, count, dst);
      if (n == 1) continue;
      Widen(dst, count, n, v.bpp);
      for (int32_t k = 1; k < n; ++k) std::memcpy(dst + k * v.pitch, dst, rowBytes);
    }
  }
  if (s && SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  return true;
}

void WinUpdateWindow(WinHandle window, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SDL_Window* w = win::SdlWindow(window);
  const Slot* t = win::FindSlot(window);
  SDL_Surface* s;
  View v;
  if (!w || !t || !ViewOf(*t, w, s, v)) return;
  // In screen pixels. The X server refuses (BadValue) an update that reaches outside the window.
  const int32_t n = t->scale;
  left = std::max(left, 0) * n;
  top = std::max(top, 0) * n;
  right = std::min(right, v.w / n) * n;
  bottom = std::min(bottom, v.h / n) * n;
  if (left >= right || top >= bottom) return;
  if (t->image) {
    win::PutImage(*t, left, top, right, bottom);
    return;
  }
  SDL_Rect r{left, top, right - left, bottom - top};
  SDL_UpdateWindowSurfaceRects(w, &r, 1);
}

uint32_t WinSurfacePixel(WinHandle window, int32_t x, int32_t y) {
  SDL_Window* w = win::SdlWindow(window);
  const Slot* t = win::FindSlot(window);
  SDL_Surface* s;
  View v;
  if (!w || !t || !ViewOf(*t, w, s, v) || x < 0 || y < 0 || x >= v.w || y >= v.h) return 0;
  if (s && SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const uint8_t* p =
      v.pixels + static_cast<std::ptrdiff_t>(y) * v.pitch + static_cast<std::ptrdiff_t>(x) * v.bpp;
  if (t->image) return win::ImagePixel(*t, p);
  uint32_t raw = 0;
  std::memcpy(&raw, p, std::min<std::size_t>(static_cast<std::size_t>(v.bpp), 4));
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  Uint8 r, g, b;
  SDL_GetRGB(raw, s->format, &r, &g, &b);
  return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

std::chrono::microseconds WinRefreshPeriod(WinHandle window) {
  SDL_Window* w = win::SdlWindow(window);
  SDL_DisplayMode mode;
  if (w && SDL_GetWindowDisplayMode(w, &mode) == 0 && mode.refresh_rate > 0) {
    return std::chrono::microseconds{1000000 / mode.refresh_rate};
  }
  return kDefaultRefreshPeriod;
}

WinLoss WinLost(WinHandle window) {
  if (gWin.displayLost.load()) return WinLoss::kDisplay;
  if (!win::SdlWindow(window)) return WinLoss::kWindow;
  return gWin.xWindowGone.load() ? WinLoss::kWindow : WinLoss::kNone;
}

}  // namespace platform
