// The X11 side of the desktop window service, where SDL does not reach: our X error handlers (no X
// error ends the process; a window or a display that is gone is noted), windows kept from taking
// the focus, our colour map on a DirectColor visual, and our own image for windows SDL has no
// surface for. The only file that includes Xlib.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

#include "platform/win_internal.h"

namespace platform {
namespace win {
namespace {

// The X11 side of an SDL window, or none.
bool X11Info(SDL_Window* window, SDL_SysWMinfo& info) {
  SDL_VERSION(&info.version);
  return window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11;
}

// The display's pixel value for the colour 0x00RRGGBB.
uint32_t Pack(const Slot& t, uint32_t c) {
  uint32_t v = 0;
  for (int k = 0; k < 3; ++k) {
    const uint32_t channel = (c >> (16 - 8 * k)) & 0xFF;
    const uint32_t value = t.bits[k] <= 8 ? channel >> (8 - t.bits[k]) : channel << (t.bits[k] - 8);
    v |= value << t.shift[k];
  }
  return v;
}

// The colour 0x00RRGGBB of the display's pixel value `v`.
uint32_t Unpack(const Slot& t, uint32_t v) {
  uint32_t c = 0;
  for (int k = 0; k < 3; ++k) {
    const uint32_t max = (1u << t.bits[k]) - 1;
    const uint32_t value = (v >> t.shift[k]) & max;
    c |= (max ? value * 255 / max : 0) << (16 - 8 * k);
  }
  return c;
}

// Stores and loads one pixel value of `bpp` bytes in the image's byte order.
void Store(const XImage& image, uint8_t* at, uint32_t v) {
  const int n = image.bits_per_pixel / 8;
  for (int i = 0; i < n; ++i) {
    at[image.byte_order == LSBFirst ? i : n - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

uint32_t Load(const XImage& image, const uint8_t* at) {
  const int n = image.bits_per_pixel / 8;
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    v |= uint32_t{at[image.byte_order == LSBFirst ? i : n - 1 - i]} << (8 * i);
  }
  return v;
}

// Packed channels from the visual's masks.
void TakeMasks(Slot& t, const Visual& visual) {
  const unsigned long masks[3] = {visual.red_mask, visual.green_mask, visual.blue_mask};
  for (int k = 0; k < 3; ++k) {
    unsigned long m = masks[k];
    uint8_t shift = 0, bits = 0;
    while (m && !(m & 1)) {
      m >>= 1;
      ++shift;
    }
    while (m & 1) {
      m >>= 1;
      ++bits;
    }
    t.shift[k] = shift;
    t.bits[k] = bits;
  }
}

// A DirectColor visual shows each channel of a pixel through a colour map of its own: the map
// that SDL leaves on the window does not ramp every channel from 0 (black showed as dark blue
// on an 8-bit display), so the window gets a map of ours in which each channel's value v of
// `max` shows as v / max of full intensity, as Pack and Unpack read the pixels.
void SetLinearColormap(Slot& t, Display* display, Window window) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, window, &a) || a.visual->c_class != DirectColor) return;
  TakeMasks(t, *a.visual);
  const int entries = a.visual->map_entries;
  t.colormap = XCreateColormap(display, window, a.visual, AllocAll);
  XColor colours[256];
  const int n = entries < 256 ? entries : 256;
  for (int i = 0; i < n; ++i) {
    XColor& c = colours[i];
    c = XColor{};
    unsigned short* level[3] = {&c.red, &c.green, &c.blue};
    const char flag[3] = {DoRed, DoGreen, DoBlue};
    for (int k = 0; k < 3; ++k) {
      const unsigned max = (1u << t.bits[k]) - 1;
      if (static_cast<unsigned>(i) > max) continue;
      c.pixel |= static_cast<unsigned long>(i) << t.shift[k];
      *level[k] = static_cast<unsigned short>(max ? i * 65535u / max : 0);
      c.flags |= flag[k];
    }
  }
  XStoreColors(display, t.colormap, colours, n);
  XSetWindowColormap(display, window, t.colormap);
  // A colour map is shown once installed, which a window manager does when the window takes the
  // focus; without one, the screen would show our pixels through the default map.
  XInstallColormap(display, t.colormap);
}

// Tells the window manager that the window was not opened by a user action, so it does not take
// the keyboard focus when shown (_NET_WM_USER_TIME = 0).
void SetNoActivate(Display* display, Window window) {
  Atom userTime = XInternAtom(display, "_NET_WM_USER_TIME", False);
  unsigned long zero = 0;
  XChangeProperty(display, window, userTime, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&zero), 1);
  XFlush(display);
}

bool IsOldWindow(unsigned long id) {
  for (const auto& old : gWin.oldXWindows) {
    if (id != 0 && old.load(std::memory_order_relaxed) == id) return true;
  }
  return false;
}

// Our X error handler, in place of Xlib's, which prints the error and ends the process. An error
// naming our open window as gone (BadWindow, BadDrawable) means it was destroyed under us: the
// window is lost. Late errors about windows we destroyed are expected. Anything else is recorded
// for one report line, and the program runs on.
int OnXError(Display*, XErrorEvent* e) {
  gWin.xErrors.fetch_add(1, std::memory_order_relaxed);
  const bool aboutWindow = e->error_code == BadWindow || e->error_code == BadDrawable;
  if (aboutWindow && e->resourceid != 0 && e->resourceid == gWin.xWindow.load()) {
    gWin.xWindowGone.store(true);
    return 0;
  }
  if (aboutWindow && IsOldWindow(e->resourceid)) return 0;
  int none = 0;
  if (gWin.strayState.load(std::memory_order_acquire) == 0) {
    gWin.stray = XErrorText{e->error_code, e->request_code, e->minor_code, e->resourceid};
    gWin.strayState.compare_exchange_strong(none, 1, std::memory_order_release);
  }
  return 0;
}

// Xlib's IO error handler runs when the connection breaks; with the exit handler below returning,
// Xlib's calls fail from then on instead of ending the process. The window thread sees the flag
// after its current call and stops using the display.
int OnXIOError(Display* display) {
  if (display == gWin.display.load()) gWin.displayLost.store(true);
  return 0;
}

void OnXIOExit(Display*, void*) {}

}  // namespace

// A hidden window of one pixel lends SDL's connection through SDL's window information.
void InstallXHandlers() {
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
  if (!probe) return;
  SDL_SysWMinfo info;
  if (X11Info(probe, info)) {
    gWin.display.store(info.info.x11.display);
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    XSetIOErrorExitHandler(info.info.x11.display, OnXIOExit, nullptr);
  }
  SDL_DestroyWindow(probe);
}

bool AttachX11(Slot& slot, SDL_Window* window, bool noActivate) {
  SDL_SysWMinfo info;
  if (!X11Info(window, info)) return false;
  gWin.xWindowGone.store(false);
  gWin.xWindow.store(info.info.x11.window);
  if (noActivate) SetNoActivate(info.info.x11.display, info.info.x11.window);
  SetLinearColormap(slot, info.info.x11.display, info.info.x11.window);
  return true;
}

// SDL 2.26 knows of 8-bit pixels only the 3-3-2 layout, and X servers give others: the image has
// the window's visual and depth, each pixel's channels packed by the visual's masks.
bool MakeImage(Slot& t, SDL_Window* window, int32_t w, int32_t h) {
  SDL_SysWMinfo info;
  if (!X11Info(window, info)) return false;
  Display* display = info.info.x11.display;
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, info.info.x11.window, &a)) return false;
  XImage* image = XCreateImage(display, a.visual, static_cast<unsigned>(a.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  if (!image) return false;
  t.image = image;
  const int bpp = image->bits_per_pixel;
  if (bpp != 8 && bpp != 16 && bpp != 32) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "%d bits per pixel are not drawn", bpp);
    return false;
  }
  image->data = static_cast<char*>(
      std::calloc(static_cast<std::size_t>(image->bytes_per_line), static_cast<std::size_t>(h)));
  if (!image->data) {
    std::snprintf(gWin.createWhy, sizeof gWin.createWhy, "no memory for the window's image");
    return false;
  }
  // SDL's X11 driver takes no colour-map visual (it answers "No available displays" at start).
  if (a.visual->c_class != TrueColor && a.visual->c_class != DirectColor) return false;
  TakeMasks(t, *a.visual);
  // The window's colour map is shown once installed (see SetLinearColormap).
  if (!a.map_installed) XInstallColormap(display, a.colormap);
  t.gc = XCreateGC(display, info.info.x11.window, 0, nullptr);
  t.xwindow = info.info.x11.window;
  const uint32_t black = Pack(t, 0);
  for (int32_t row = 0; row < image->height; ++row) {
    uint8_t* at = reinterpret_cast<uint8_t*>(image->data) +
                  static_cast<std::ptrdiff_t>(row) * image->bytes_per_line;
    for (int32_t col = 0; col < image->width; ++col, at += image->bits_per_pixel / 8) {
      Store(*image, at, black);
    }
  }
  return true;
}

void DropSlot(Slot& t, SDL_Window* window) {
  SDL_SysWMinfo info;
  Display* display = X11Info(window, info) ? info.info.x11.display : nullptr;
  if (display && t.colormap && !gWin.displayLost.load()) XFreeColormap(display, t.colormap);
  if (t.image) {
    if (display && t.gc && !gWin.displayLost.load()) XFreeGC(display, t.gc);
    XDestroyImage(t.image);  // frees its pixels too
  }
  t = Slot{};
}

bool DetachX11(SDL_Window* window) {
  SDL_SysWMinfo info;
  if (!X11Info(window, info) || info.info.x11.window != gWin.xWindow.load()) return false;
  const bool gone = gWin.xWindowGone.load();
  // Errors about it may still come (it may be gone already): they are expected from now on.
  gWin.oldXWindows[gWin.oldNext.fetch_add(1) % kOldWindows].store(info.info.x11.window);
  gWin.xWindow.store(0);
  return gone;
}

View ImageView(const Slot& t) {
  return View{reinterpret_cast<uint8_t*>(t.image->data), t.image->bytes_per_line,
              t.image->bits_per_pixel / 8, t.image->width, t.image->height};
}

void ImageRow(const Slot& t, const uint32_t* src, int32_t n, uint8_t* dst) {
  const int bpp = t.image->bits_per_pixel / 8;
  for (int32_t i = 0; i < n; ++i) Store(*t.image, dst + i * bpp, Pack(t, src[i]));
}

uint32_t ImagePixel(const Slot& t, const uint8_t* at) {
  return Unpack(t, Load(*t.image, at));
}

void PutImage(const Slot& t, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Display* display = gWin.display.load();
  if (!display || gWin.displayLost.load()) return;
  XPutImage(display, t.xwindow, t.gc, t.image, left, top, left, top,
            static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
  XFlush(display);
}

void NoteSystemEvent(const SDL_Event& e) {
  // The one X event SDL does not act on: our window destroyed by another client.
  const SDL_SysWMmsg* msg = e.syswm.msg;
  if (msg && msg->subsystem == SDL_SYSWM_X11 && msg->msg.x11.event.type == DestroyNotify &&
      msg->msg.x11.event.xdestroywindow.window == gWin.xWindow.load()) {
    gWin.xWindowGone.store(true);
  }
}

}  // namespace win

bool WinTakeStrayError(char* text, std::size_t size) {
  using win::gWin;
  if (gWin.strayState.load(std::memory_order_acquire) != 1) return false;
  gWin.strayState.store(2, std::memory_order_relaxed);
  char name[128] = "";
  Display* display = gWin.display.load();
  if (display && !gWin.displayLost.load()) {
    XGetErrorText(display, gWin.stray.errorCode, name, sizeof name);
  }
  std::snprintf(text, size, "X error %u (%s) on request %u.%u, resource 0x%lx, ignored",
                gWin.stray.errorCode, name, gWin.stray.requestCode, gWin.stray.minorCode,
                gWin.stray.resourceId);
  return true;
}

}  // namespace platform
