// Seams between the files of the desktop window service (SDL2, and Xlib where SDL does not
// reach); not for the libraries above platform/. The service's state is one static, zero-filled
// record, `gWin`. Only platform/win_x11.cpp includes Xlib: the X types here are declared, not
// defined.
#pragma once

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "platform/Window.h"
#include "rts/Sync.h"

struct _XDisplay;
struct _XImage;
struct _XGC;

namespace platform::win {

// How a window is drawn: its scale, and, where SDL has no surface for the display's pixel format,
// our own image of it in that format, put on the X window with Xlib.
struct Slot {
  WinHandle id;    // 0: the slot is free
  int32_t scale;   // screen pixels per client-area pixel on each axis
  _XImage* image;  // our image, or none: SDL's window surface is drawn on
  _XGC* gc;
  unsigned long xwindow;
  uint8_t shift[3];        // lowest bit of red, green and blue in a pixel of the image
  uint8_t bits[3];         // their widths
  unsigned long colormap;  // our linear colour map on a DirectColor visual, or none
};
inline constexpr int kSlots = 4;

// Earlier X windows, whose late errors are expected.
inline constexpr unsigned kOldWindows = 8;

// An X error as reported: its codes and the resource it named.
struct XErrorText {
  uint8_t errorCode;
  uint8_t requestCode;
  uint8_t minorCode;
  unsigned long resourceId;
};

// The window service's state.
struct Service {
  rts::Mutex videoLock;  // guards the once-only start of video (the three below)
  bool videoTried = false;
  bool videoOk = false;
  char videoWhy[256] = {};
  char createWhy[256] = {};  // why the last WinCreate failed (window thread)

  // The X side, kept by the window thread and the X error handlers (which run on the thread that
  // made the failing X call: the window thread, the only one using SDL's display connection).
  std::atomic<_XDisplay*> display;     // SDL's connection (X11 driver only)
  std::atomic<bool> displayLost;       // the connection broke (server gone, or killed by a client)
  std::atomic<unsigned long> xWindow;  // the X window of the open window, 0 when none
  std::atomic<bool> xWindowGone;       // ... was destroyed by another client, or an error named it
  std::atomic<unsigned long> oldXWindows[kOldWindows];
  std::atomic<unsigned> oldNext;
  std::atomic<uint64_t> xErrors;  // every X error taken by our handler
  // The first X error that named none of our windows: recorded by the handler (state 1), then
  // reported once (state 2).
  std::atomic<int> strayState;
  XErrorText stray = {};

  Slot slots[kSlots] = {};
};
extern constinit Service gWin;

// What a window's pixels are written into, in screen pixels.
struct View {
  uint8_t* pixels;
  int32_t pitch;  // bytes from one row to the next
  int32_t bpp;    // bytes per pixel
  int32_t w, h;
};

// Answers whether `bytes` of address space are still to be had (a reservation made and given
// back): the display's libraries crash rather than fail when their allocations do.
bool AddressSpaceLeft(std::size_t bytes);

// The SDL window of `window`, or none.
inline SDL_Window* SdlWindow(WinHandle window) {
  return window ? SDL_GetWindowFromID(window) : nullptr;
}

// The slot of `window`, or none.
Slot* FindSlot(WinHandle window);

// The display the environment names: a video driver asked for by SDL_VIDEODRIVER, an X display
// (DISPLAY), a Wayland display (WAYLAND_DISPLAY); empty values name nothing.
struct NamedDisplay {
  const char* asked;
  const char* x11;
  bool askedDriver;
  bool x11Named;
  bool waylandNamed;
};
NamedDisplay EnvironmentDisplay();

// Answers whether SDL video driver `name` shows nothing on a screen.
bool HeadlessDriver(const char* name);

// Answers whether a display is there to show message boxes on (an X11 or Wayland display and a
// video driver other than offscreen or dummy). Any thread.
bool DisplayAvailable();

// Answers whether video was started and failed: the display the environment names cannot be
// reached, so it takes no box either. Any thread.
bool VideoFailed();

// The X11 side (platform/win_x11.cpp).

// Installs our X error handlers, once, on SDL's connection (SDL's X11 driver running).
void InstallXHandlers();

// Takes note of a new window: when it is an X11 window, it becomes the open window whose loss is
// watched, is kept from taking the focus when `noActivate`, and gets our colour map on a
// DirectColor visual. Answers whether it is an X11 window.
bool AttachX11(Slot& slot, SDL_Window* window, bool noActivate);

// Gives `slot` our own image of `w` x `h` screen pixels, cleared to black, for an X11 window SDL
// made no surface for. Answers false (the reason in gWin.createWhy when it is ours) when the
// window is not an X11 window or the layout is one we do not write.
bool MakeImage(Slot& slot, SDL_Window* window, int32_t w, int32_t h);

// Frees what `slot` holds of the X side and empties it (`window`: its SDL window, or none).
void DropSlot(Slot& slot, SDL_Window* window);

// Takes leave of the open X window before `window` is destroyed: errors about it are expected
// from now on. Answers whether it was destroyed by another client.
bool DetachX11(SDL_Window* window);

// The pixels of the slot's own image.
View ImageView(const Slot& slot);

// Writes `n` pixels of `src` at `dst` in the image's format.
void ImageRow(const Slot& slot, const uint32_t* src, int32_t n, uint8_t* dst);

// The colour 0x00RRGGBB of the image's pixel at `at`.
uint32_t ImagePixel(const Slot& slot, const uint8_t* at);

// Shows the screen-pixel rectangle of the image on its X window.
void PutImage(const Slot& slot, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Looks at an event of the window system that SDL does not act on: our window destroyed by
// another client.
void NoteSystemEvent(const SDL_Event& event);

}  // namespace platform::win
