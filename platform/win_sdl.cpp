// Window stand-in on SDL2: one software surface per window, events turned into window messages.
#include "platform/win_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win_keys.h"
#include "rts/Sync.h"

namespace platform {
namespace {

rts::Mutex gVideoLock;  // guards the once-only start below
bool gVideoTried = false;
bool gVideoOk = false;
char gVideoWhy[256];

// The X side, kept by the window thread and the X error handlers (which run on the thread that
// made the failing X call: the window thread, the only one using SDL's display connection).
std::atomic<Display*> gDisplay;       // SDL's connection (X11 driver only)
std::atomic<bool> gDisplayLost;       // the connection broke (server gone, or killed by a client)
std::atomic<unsigned long> gXWindow;  // the X window of the open window, 0 when none
std::atomic<bool> gXWindowGone;       // ... was destroyed by another client, or an error named it
constexpr unsigned kOldWindows = 8;   // earlier windows, whose late errors are expected
std::atomic<unsigned long> gOldXWindows[kOldWindows];
std::atomic<unsigned> gOldNext;
std::atomic<uint64_t> gXErrors;  // every X error taken by our handler

// The first X error that named none of our windows: recorded by the handler (state 1), then
// reported once (state 2).
std::atomic<int> gStrayState;
XErrorEvent gStray;

SDL_Window* Find(WinHandle window) {
  return window ? SDL_GetWindowFromID(window) : nullptr;
}

char gCreateWhy[256];  // why the last WinCreate failed (window thread)

// What a window's pixels are written into, in screen pixels.
struct View {
  uint8_t* pixels;
  int32_t pitch;  // bytes from one row to the next
  int32_t bpp;    // bytes per pixel
  int32_t w, h;
};

// How a window is drawn: its scale, and, where SDL has no surface for the display's pixel format,
// our own image of it in that format, put on the X window with Xlib.
struct Target {
  WinHandle id;   // 0: the slot is free
  int32_t scale;  // screen pixels per client-area pixel on each axis
  XImage* image;  // our image, or none: SDL's window surface is drawn on
  GC gc;
  Window xwindow;
  uint8_t shift[3];   // lowest bit of red, green and blue in a pixel of the image
  uint8_t bits[3];    // their widths
  Colormap colormap;  // our linear colour map on a DirectColor visual, or none
};
constexpr int kTargets = 4;
Target gTargets[kTargets];

Target* FindTarget(WinHandle window) {
  for (Target& t : gTargets) {
    if (window != 0 && t.id == window) return &t;
  }
  return nullptr;
}

// Answers whether `bytes` of address space are still to be had (a reservation made and given
// back): the display's libraries crash rather than fail when their allocations do.
bool AddressSpaceLeft(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return false;
  munmap(p, bytes);
  return true;
}

// The display's pixel value for the colour 0x00RRGGBB.
uint32_t Pack(const Target& t, uint32_t c) {
  uint32_t v = 0;
  for (int k = 0; k < 3; ++k) {
    const uint32_t channel = (c >> (16 - 8 * k)) & 0xFF;
    const uint32_t value = t.bits[k] <= 8 ? channel >> (8 - t.bits[k]) : channel << (t.bits[k] - 8);
    v |= value << t.shift[k];
  }
  return v;
}

// The colour 0x00RRGGBB of the display's pixel value `v`.
uint32_t Unpack(const Target& t, uint32_t v) {
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
void TakeMasks(Target& t, const Visual& visual) {
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
void SetLinearColormap(Target& t, Display* display, Window window) {
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

void DropImage(Target& t, Display* display) {
  if (display && t.colormap && !gDisplayLost.load()) XFreeColormap(display, t.colormap);
  if (t.image) {
    if (display && t.gc && !gDisplayLost.load()) XFreeGC(display, t.gc);
    XDestroyImage(t.image);  // frees its pixels too
  }
  t = Target{};
}

// Our own image for a window SDL has no surface for (SDL 2.26 knows of 8-bit pixels only the
// 3-3-2 layout, and X servers give others): the window's visual and depth, each pixel's
// channels packed by the visual's masks. Answers false, with the reason in gCreateWhy when it is
// ours, for a layout we do not write.
bool MakeImage(Target& t, Display* display, Window window, int32_t w, int32_t h) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, window, &a)) return false;
  XImage* image = XCreateImage(display, a.visual, static_cast<unsigned>(a.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  if (!image) return false;
  t.image = image;
  const int bpp = image->bits_per_pixel;
  if (bpp != 8 && bpp != 16 && bpp != 32) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "%d bits per pixel are not drawn", bpp);
    return false;
  }
  image->data = static_cast<char*>(
      std::calloc(static_cast<std::size_t>(image->bytes_per_line), static_cast<std::size_t>(h)));
  if (!image->data) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "no memory for the window's image");
    return false;
  }
  // SDL's X11 driver takes no colour-map visual (it answers "No available displays" at start).
  if (a.visual->c_class != TrueColor && a.visual->c_class != DirectColor) return false;
  TakeMasks(t, *a.visual);
  // The window's colour map is shown once installed (see SetLinearColormap).
  if (!a.map_installed) XInstallColormap(display, a.colormap);
  t.gc = XCreateGC(display, window, 0, nullptr);
  t.xwindow = window;
  return true;
}

// The pixels a window is drawn into, and its SDL surface when it has one (then `s` is set).
bool ViewOf(const Target& t, SDL_Window* w, SDL_Surface*& s, View& v) {
  s = nullptr;
  if (t.image) {
    v = View{reinterpret_cast<uint8_t*>(t.image->data), t.image->bytes_per_line,
             t.image->bits_per_pixel / 8, t.image->width, t.image->height};
    return true;
  }
  s = SDL_GetWindowSurface(w);
  if (!s) return false;
  v = View{static_cast<uint8_t*>(s->pixels), s->pitch, s->format->BytesPerPixel, s->w, s->h};
  return true;
}

// Writes `n` pixels of `src` at `dst` in the window's format.
void ConvertRow(const Target& t, const SDL_Surface* s, const uint32_t* src, int32_t n,
                uint8_t* dst) {
  if (t.image) {
    const int bpp = t.image->bits_per_pixel / 8;
    for (int32_t i = 0; i < n; ++i) Store(*t.image, dst + i * bpp, Pack(t, src[i]));
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

// Tells the window manager that the window was not opened by a user action, so it does not take
// the keyboard focus when shown (_NET_WM_USER_TIME = 0).
void SetNoActivate(Display* display, Window window) {
  Atom userTime = XInternAtom(display, "_NET_WM_USER_TIME", False);
  unsigned long zero = 0;
  XChangeProperty(display, window, userTime, XA_CARDINAL, 32, PropModeReplace,
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

// A mouse position in client-area pixels, x in bits 0..15 and y in bits 16..31.
intptr_t MouseParam(WinHandle window, int32_t x, int32_t y) {
  const Target* t = FindTarget(window);
  const int32_t n = t ? t->scale : 1;
  return static_cast<intptr_t>(((x / n) & 0xFFFF) | (((y / n) & 0xFFFF) << 16));
}

bool Translate(const SDL_Event& e, WinHandle window, WinMessage& m) {
  m = WinMessage{0, 0, 0};
  switch (e.type) {
    case SDL_SYSWMEVENT: {
      // The one X event SDL does not act on: our window destroyed by another client.
      const SDL_SysWMmsg* msg = e.syswm.msg;
      if (msg && msg->subsystem == SDL_SYSWM_X11 && msg->msg.x11.event.type == DestroyNotify &&
          msg->msg.x11.event.xdestroywindow.window == gXWindow.load()) {
        gXWindowGone.store(true);
      }
      return false;
    }
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

bool IsOldWindow(unsigned long id) {
  for (const auto& old : gOldXWindows) {
    if (id != 0 && old.load(std::memory_order_relaxed) == id) return true;
  }
  return false;
}

// Our X error handler, in place of Xlib's, which prints the error and ends the process. An error
// naming our open window as gone (BadWindow, BadDrawable) means it was destroyed under us: the
// window is lost. Late errors about windows we destroyed are expected. Anything else is recorded
// for one report line, and the program runs on.
int OnXError(Display*, XErrorEvent* e) {
  gXErrors.fetch_add(1, std::memory_order_relaxed);
  const bool aboutWindow = e->error_code == BadWindow || e->error_code == BadDrawable;
  if (aboutWindow && e->resourceid != 0 && e->resourceid == gXWindow.load()) {
    gXWindowGone.store(true);
    return 0;
  }
  if (aboutWindow && IsOldWindow(e->resourceid)) return 0;
  int none = 0;
  if (gStrayState.load(std::memory_order_acquire) == 0) {
    gStray = *e;
    gStrayState.compare_exchange_strong(none, 1, std::memory_order_release);
  }
  return 0;
}

// Xlib's IO error handler runs when the connection breaks; with the exit handler below returning,
// Xlib's calls fail from then on instead of ending the process. The window thread sees the flag
// after its current call and stops using the display.
int OnXIOError(Display* display) {
  if (display == gDisplay.load()) gDisplayLost.store(true);
  return 0;
}

void OnXIOExit(Display*, void*) {}

// Installs the handlers above, once, on SDL's connection: a hidden window of one pixel lends the
// connection through SDL's window information.
void InstallXHandlers() {
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
  if (!probe) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(probe, &info) && info.subsystem == SDL_SYSWM_X11) {
    gDisplay.store(info.info.x11.display);
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    XSetIOErrorExitHandler(info.info.x11.display, OnXIOExit, nullptr);
  }
  SDL_DestroyWindow(probe);
}

void Push(SDL_Event& e) {
  // SDL_PushEvent is safe from any thread.
  SDL_PushEvent(&e);
}

// The display the environment names: a video driver asked for by SDL_VIDEODRIVER, an X display
// (DISPLAY), a Wayland display (WAYLAND_DISPLAY); empty values name nothing.
struct NamedDisplay {
  const char* asked;
  const char* x11;
  bool askedDriver;
  bool x11Named;
  bool waylandNamed;
};

NamedDisplay EnvironmentDisplay() {
  NamedDisplay d;
  d.asked = std::getenv("SDL_VIDEODRIVER");
  d.x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  d.askedDriver = d.asked && *d.asked;
  d.x11Named = d.x11 && *d.x11;
  d.waylandNamed = wayland && *wayland;
  return d;
}

// Answers whether SDL video driver `name` shows nothing on a screen.
bool HeadlessDriver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
                  std::strcmp(name, "evdev") == 0);
}

// Standard error diverted into a memory file while SDL connects: when the X server refuses the
// connection, the X connection library writes the server's reason there itself, on every try.
struct Diverted {
  int saved = -1;  // standard error as it was
  int file = -1;   // where it goes meanwhile
};

Diverted DivertStderr() {
  Diverted d;
  d.file = memfd_create("x-connection", MFD_CLOEXEC);
  if (d.file < 0) return d;  // no descriptor left: nothing is diverted
  d.saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (d.saved < 0 || dup2(d.file, 2) < 0) {
    if (d.saved >= 0) close(d.saved);
    close(d.file);
    return Diverted{};
  }
  return d;
}

// Puts standard error back and answers what was written meanwhile in `said` (one line at most,
// without its line end; empty when nothing was diverted). With `pass`, the text goes on to
// standard error as it would have.
void RestoreStderr(Diverted& d, char* said, std::size_t size, bool pass) {
  said[0] = 0;
  if (d.file < 0) return;
  dup2(d.saved, 2);
  close(d.saved);
  char text[512];
  const ssize_t n = pread(d.file, text, sizeof text - 1, 0);
  close(d.file);
  d = Diverted{};
  if (n <= 0) return;
  if (pass) {
    ssize_t ignored = write(2, text, static_cast<std::size_t>(n));
    (void)ignored;
  }
  text[n] = 0;
  std::snprintf(said, size, "%.*s", static_cast<int>(std::strcspn(text, "\r\n")), text);
}

// Answers how many more file descriptors the process can open, counting up to `most`.
int DescriptorsLeft(int most) {
  int fds[16];
  int n = 0;
  while (n < most && n < 16) {
    fds[n] = fcntl(0, F_DUPFD_CLOEXEC, 0);
    if (fds[n] < 0) {
      if (errno != EMFILE && errno != ENFILE) return most;  // no standard input: not counted
      break;
    }
    ++n;
  }
  for (int i = 0; i < n; ++i) close(fds[i]);
  return n;
}

// Answers whether an X server listens for the local display `name` (":N", ":N.S", "unix:N");
// true for a display on another host, which is not tried here.
bool ServerListens(const char* name) {
  const char* colon = std::strrchr(name, ':');
  if (!colon || !(colon == name || std::strncmp(name, "unix:", 5) == 0)) return true;
  const long number = std::strtol(colon + 1, nullptr, 10);
  for (bool abstract : {true, false}) {
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::snprintf(at.sun_path + (abstract ? 1 : 0), sizeof at.sun_path - 1, "/tmp/.X11-unix/X%ld",
                  number);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
                               std::strlen(at.sun_path + 1) + (abstract ? 0 : 1));
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&at), length) == 0;
    close(fd);
    if (up) return true;
  }
  return false;
}

// Why the X display `name` took no connection, in a few words: the server's reason as the X
// connection library wrote it (`said`), or what the process and the display's socket tell.
// Answers false when none of these explains it.
bool RefusalCause(const char* name, const char* said, char* why, std::size_t size) {
  const char* cause = nullptr;
  if (std::strstr(said, "uthoriz") || std::strstr(said, "MAGIC-COOKIE")) {
    cause = "authorisation refused";
  } else if (std::strstr(said, "aximum number of clients")) {
    cause = "server full";
  } else if (DescriptorsLeft(1) == 0) {
    cause = "no file descriptors left";
  } else if (!ServerListens(name)) {
    cause = "no X server";
  }
  if (cause && *said) {
    std::snprintf(why, size, "display %s: %s, the server says \"%s\"", name, cause, said);
  } else if (cause) {
    std::snprintf(why, size, "display %s: %s", name, cause);
  } else if (*said) {
    std::snprintf(why, size, "display %s: the server says \"%s\"", name, said);
  }
  return cause || *said;
}

// Address space the display's libraries take as they start (measured: about 10 MB with SDL's X11
// driver, its threads' arenas not counted), with room to spare.
constexpr std::size_t kVideoHeadroom = std::size_t{16} << 20;

// File descriptors the start of SDL's X11 driver takes: the connection, the authority file, one
// more, and the two that divert standard error meanwhile.
constexpr int kDescriptorsNeeded = 5;

// WinVideoStart's answer, its reason in `why` (gVideoLock held).
bool Answer(char* why, std::size_t size) {
  const bool ok = gVideoOk && !gDisplayLost.load();
  if (!ok && why && size) {
    std::snprintf(why, size, "%s", gVideoOk ? "display connection lost" : gVideoWhy);
  }
  return ok;
}

}  // namespace

bool WinVideoStart(char* why, std::size_t size) {
  rts::Hold hold(gVideoLock);
  if (!gVideoTried) {
    gVideoTried = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    setenv("SDL_VIDEO_X11_WMCLASS", "GraphWnd", 0);
    // Without a display SDL falls back to its offscreen driver; that counts as a display only
    // when asked for by name (as the tests do).
    const NamedDisplay env = EnvironmentDisplay();
    const char* asked = env.asked;
    const char* x11 = env.x11;
    const bool askedDriver = env.askedDriver;
    const bool x11Named = env.x11Named;
    const bool waylandNamed = env.waylandNamed;
    if (!askedDriver && !x11Named && !waylandNamed) {
      std::snprintf(gVideoWhy, sizeof gVideoWhy, "no display: DISPLAY and WAYLAND_DISPLAY unset");
    } else {
      // Only the display the environment names is tried: with DISPLAY alone, SDL would go on to
      // Wayland after a failed X connection, whose library complains on standard error about a
      // runtime directory that has nothing to do with the X display.
      if (!askedDriver && x11Named && !waylandNamed) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
      // The display's libraries crash rather than fail when memory runs out as they start.
      if (!AddressSpaceLeft(kVideoHeadroom)) {
        std::snprintf(gVideoWhy, sizeof gVideoWhy,
                      "not enough memory left to start the display's libraries");
        return Answer(why, size);
      }
      // A loaded X server refuses a connection now and then: try again a few times within about
      // a second before giving up.
      // The X server's own reason for a refusal is written by the X connection library on each
      // try; it is kept from the terminal and told once, in our line. A refused authorisation
      // or a process without descriptors stays as it is: no more tries then.
      static constexpr int kRetryDelaysMs[] = {0, 50, 100, 150, 250, 400};
      const bool x11Only = x11Named && !askedDriver;
      bool up = false;
      for (int delay : kRetryDelaysMs) {
        if (delay) usleep(static_cast<useconds_t>(delay) * 1000);
        if (x11Only && DescriptorsLeft(kDescriptorsNeeded) < kDescriptorsNeeded) {
          // Without them the connection fails in a way that tells nothing true (the authority
          // file cannot be read, so the server asks for an authorisation).
          std::snprintf(gVideoWhy, sizeof gVideoWhy, "display %s: no file descriptors left", x11);
          break;
        }
        Diverted diverted = x11Only ? DivertStderr() : Diverted{};
        up = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
        char said[256];
        RestoreStderr(diverted, said, sizeof said, up);
        if (up) break;
        if (!x11Only) {
          std::snprintf(gVideoWhy, sizeof gVideoWhy, "%s", SDL_GetError());
        } else if (!RefusalCause(x11, said, gVideoWhy, sizeof gVideoWhy)) {
          std::snprintf(gVideoWhy, sizeof gVideoWhy, "display %s: %s", x11, SDL_GetError());
        } else if (std::strstr(gVideoWhy, "authorisation") ||
                   std::strstr(gVideoWhy, "descriptors")) {
          break;
        }
      }
      const char* driver = up ? SDL_GetCurrentVideoDriver() : nullptr;
      const bool headless = HeadlessDriver(driver);
      if (!up) {
        // gVideoWhy holds SDL's reason.
      } else if (headless && !(asked && std::strcmp(asked, driver) == 0)) {
        std::snprintf(gVideoWhy, sizeof gVideoWhy, "no display: SDL chose its %s driver", driver);
      } else {
        gVideoOk = true;
        SDL_StopTextInput();
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        if (std::strcmp(driver, "x11") == 0) InstallXHandlers();
      }
    }
  }
  return Answer(why, size);
}

WinHandle WinCreate(const char* title, int32_t x, int32_t y, uint32_t width, uint32_t height,
                    WinStyle style) {
  const uint32_t scale = std::clamp<uint32_t>(style.scale, 1, 4);
  gCreateWhy[0] = 0;
  if (gDisplayLost.load()) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "display connection lost");
    return 0;
  }
  if (width == 0 || height == 0 || width * scale > 16384 || height * scale > 16384) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "no window of %u x %u pixels", width * scale,
                  height * scale);
    return 0;
  }
  // The window's pixels and SDL's copy for the X server, with room to spare.
  const std::size_t bytes = std::size_t{width} * height * scale * scale * 4;
  if (!AddressSpaceLeft(2 * bytes + (std::size_t{8} << 20))) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "not enough memory for a window of %u x %u",
                  width * scale, height * scale);
    return 0;
  }
  Target* t = nullptr;
  for (Target& slot : gTargets) {
    if (!t && slot.id == 0) t = &slot;
  }
  if (!t) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "too many windows");
    return 0;
  }
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (style.alwaysOnTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  SDL_Window* w = SDL_CreateWindow(title, x, y, static_cast<int>(width * scale),
                                   static_cast<int>(height * scale), flags);
  if (!w) {
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "%s", SDL_GetError());
    return 0;
  }
  const WinHandle id = SDL_GetWindowID(w);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  const bool x11 = SDL_GetWindowWMInfo(w, &info) && info.subsystem == SDL_SYSWM_X11;
  if (x11) {
    gXWindowGone.store(false);
    gXWindow.store(info.info.x11.window);
    if (style.noActivate) SetNoActivate(info.info.x11.display, info.info.x11.window);
    SetLinearColormap(*t, info.info.x11.display, info.info.x11.window);
  }
  SDL_ShowWindow(w);
  t->id = id;
  t->scale = static_cast<int32_t>(scale);
  SDL_Surface* s = SDL_GetWindowSurface(w);
  if (!s) {
    // SDL makes no surface for some pixel formats (those of 8-bit displays among them): an X11
    // window is then drawn through our own image.
    std::snprintf(gCreateWhy, sizeof gCreateWhy, "%s", SDL_GetError());
    if (!x11 ||
        !MakeImage(*t, info.info.x11.display, info.info.x11.window,
                   static_cast<int32_t>(width * scale), static_cast<int32_t>(height * scale))) {
      WinDestroy(id);
      return 0;
    }
    const uint32_t black = Pack(*t, 0);
    for (int32_t row = 0; row < t->image->height; ++row) {
      uint8_t* at = reinterpret_cast<uint8_t*>(t->image->data) +
                    static_cast<std::ptrdiff_t>(row) * t->image->bytes_per_line;
      for (int32_t col = 0; col < t->image->width; ++col, at += t->image->bits_per_pixel / 8) {
        Store(*t->image, at, black);
      }
    }
    WinUpdateWindow(id, 0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height));
  } else {
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
    SDL_UpdateWindowSurface(w);
  }
  return id;
}

const char* WinCreateFailure() {
  return gCreateWhy;
}

void WinDestroy(WinHandle window) {
  SDL_Window* w = Find(window);
  Target* t = FindTarget(window);
  if (!w) {
    if (t) DropImage(*t, nullptr);
    return;
  }
  bool gone = gDisplayLost.load();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  const bool x11 = SDL_GetWindowWMInfo(w, &info) && info.subsystem == SDL_SYSWM_X11;
  if (t) DropImage(*t, x11 ? info.info.x11.display : nullptr);
  if (x11 && info.info.x11.window == gXWindow.load()) {
    gone = gone || gXWindowGone.load();
    // Errors about it may still come (it may be gone already): they are expected from now on.
    gOldXWindows[gOldNext.fetch_add(1) % kOldWindows].store(info.info.x11.window);
    gXWindow.store(0);
  }
  // SDL's clean-up of a window destroyed by another client would wait for its unmapping, which
  // never comes, and without a connection it could only fail: such a window is left to SDL's
  // list (a few hundred bytes) and goes with the process.
  if (!gone) SDL_DestroyWindow(w);
}

bool WinPeekMessage(WinHandle window, WinMessage& message) {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (Translate(e, window, message)) return true;
  }
  return false;
}

bool WinCopyToWindow(WinHandle window, const uint32_t* pixels, int32_t stride, int32_t width,
                     int32_t height, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  SDL_Window* w = Find(window);
  const Target* t = FindTarget(window);
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
  SDL_Window* w = Find(window);
  const Target* t = FindTarget(window);
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
    Display* display = gDisplay.load();
    if (!display || gDisplayLost.load()) return;
    XPutImage(display, t->xwindow, t->gc, t->image, left, top, left, top,
              static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
    XFlush(display);
    return;
  }
  SDL_Rect r{left, top, right - left, bottom - top};
  SDL_UpdateWindowSurfaceRects(w, &r, 1);
}

uint32_t WinSurfacePixel(WinHandle window, int32_t x, int32_t y) {
  SDL_Window* w = Find(window);
  const Target* t = FindTarget(window);
  SDL_Surface* s;
  View v;
  if (!w || !t || !ViewOf(*t, w, s, v) || x < 0 || y < 0 || x >= v.w || y >= v.h) return 0;
  if (s && SDL_MUSTLOCK(s)) SDL_LockSurface(s);
  const uint8_t* p =
      v.pixels + static_cast<std::ptrdiff_t>(y) * v.pitch + static_cast<std::ptrdiff_t>(x) * v.bpp;
  if (t->image) return Unpack(*t, Load(*t->image, p));
  uint32_t raw = 0;
  std::memcpy(&raw, p, std::min<std::size_t>(static_cast<std::size_t>(v.bpp), 4));
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

WinLoss WinLost(WinHandle window) {
  if (gDisplayLost.load()) return WinLoss::kDisplay;
  if (!Find(window)) return WinLoss::kWindow;
  return gXWindowGone.load() ? WinLoss::kWindow : WinLoss::kNone;
}

bool WinTakeStrayError(char* text, std::size_t size) {
  if (gStrayState.load(std::memory_order_acquire) != 1) return false;
  gStrayState.store(2, std::memory_order_relaxed);
  char name[128] = "";
  Display* display = gDisplay.load();
  if (display && !gDisplayLost.load()) XGetErrorText(display, gStray.error_code, name, sizeof name);
  std::snprintf(text, size, "X error %u (%s) on request %u.%u, resource 0x%lx, ignored",
                gStray.error_code, name, gStray.request_code, gStray.minor_code, gStray.resourceid);
  return true;
}

uint64_t WinXErrorCount() {
  return gXErrors.load(std::memory_order_relaxed);
}

bool WinDisplayAvailable() {
  const NamedDisplay env = EnvironmentDisplay();
  return !HeadlessDriver(env.asked) && (env.x11Named || env.waylandNamed);
}

namespace {

// The message as one line on standard error: "<caption>: <text>", or "<text>".
void WriteMessageLine(const char* text, const char* caption) {
  char line[512];
  int n = caption ? std::snprintf(line, sizeof line, "%s: %s\n", caption, text)
                  : std::snprintf(line, sizeof line, "%s\n", text);
  if (n > 0) {
    ssize_t ignored =
        write(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
    (void)ignored;
  }
}

}  // namespace

namespace {

// Answers whether video was started and failed: the display the environment names cannot be
// reached, so it takes no box either.
bool VideoFailed() {
  rts::Hold hold(gVideoLock);
  return gVideoTried && !gVideoOk;
}

}  // namespace

namespace {

// Shows the box where a display takes it, else (or when told to anyway) writes the line first.
void ShowMessage(const char* text, const char* caption, bool line) {
  // After a lost connection SDL's box would still use it (to raise the focused window). Where
  // video could not start, SDL's X11 box would try the display again in a forked child; in a
  // process with other threads that child can hang (seen under the address sanitizer on a
  // loaded machine), and with no display it could only fail.
  const bool box = WinDisplayAvailable() && !gDisplayLost.load() && !VideoFailed();
  if (line || !box) WriteMessageLine(text, caption);
  if (box &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text, nullptr) !=
          0 &&
      !line) {
    WriteMessageLine(text, caption);
  }
}

}  // namespace

void WinMessageBox(const char* text, const char* caption) {
  ShowMessage(text, caption, false);
}

void WinMessageLine(const char* text, const char* caption) {
  WriteMessageLine(text, caption);
}

void WinMessageBoxAndLine(const char* text, const char* caption) {
  ShowMessage(text, caption, true);
}

void WinMessageBoxOver(WinHandle window, const char* text, const char* caption) {
  SDL_Window* w = Find(window);
  if (!w || !WinDisplayAvailable() || gDisplayLost.load() || gXWindowGone.load()) {
    WinMessageBox(text, caption);
    return;
  }
  // The box belongs to the window (it stays above it and opens over it); a window kept above
  // all others steps down while the box is open, so no window manager puts the box under it.
  const bool onTop = (SDL_GetWindowFlags(w) & SDL_WINDOW_ALWAYS_ON_TOP) != 0;
  if (onTop) SDL_SetWindowAlwaysOnTop(w, SDL_FALSE);
  const int shown =
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text, w);
  if (onTop) SDL_SetWindowAlwaysOnTop(w, SDL_TRUE);
  if (shown != 0) WriteMessageLine(text, caption);
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
