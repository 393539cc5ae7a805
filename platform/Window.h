// The window service: the contract every platform implements (the desktop in platform/win_*.cpp,
// on SDL2 and X11). Top-level windows with a software surface, their events as window messages,
// presentation of a damaged rectangle from a 0x00RRGGBB pixel array, the display's refresh
// period, what became of a window, and failure messages. graph/ is its only user and sees nothing
// of the platform beneath. Unless a comment says otherwise, a call must come from the window
// thread: the one thread that started video with WinVideoStart and owns every window (no other
// thread makes a call into the platform's window system).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace platform {

// Window messages as the window layer delivers them (the window system's numbering).
inline constexpr uint32_t WM_CREATE = 0x0001;
inline constexpr uint32_t WM_ACTIVATE = 0x0006;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_KEYDOWN = 0x0100;
inline constexpr uint32_t WM_KEYUP = 0x0101;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
inline constexpr uint32_t WM_SYSKEYUP = 0x0105;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_QUERYNEWPALETTE = 0x030F;
inline constexpr uint32_t WM_USER = 0x0400;

// WM_ACTIVATE's first parameter.
inline constexpr uintptr_t WA_INACTIVE = 0;
inline constexpr uintptr_t WA_ACTIVE = 1;

// A window, by its identifier in the window layer; 0 is none.
using WinHandle = uint32_t;

// One message. Key messages carry, as the window system does, the repeat count in bits 0..15 of
// `lParam`, the set-1 scan code in bits 16..23, the extended flag in bit 24, Alt held in bit 29,
// the previous key state in bit 30 and the transition (1 = released) in bit 31; `wParam` (the
// virtual-key code) is 0. Mouse messages carry x in bits 0..15 and y in bits 16..31 of `lParam`.
// WM_ACTIVATE carries WA_ACTIVE or WA_INACTIVE in `wParam` and 0 (no previous window known) in
// `lParam`.
struct WinMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// What a window looks like.
struct WinStyle {
  bool alwaysOnTop;  // kept above other windows
  bool noActivate;   // shown without taking the keyboard focus, where the window system allows
  uint32_t scale;    // screen pixels per client-area pixel on each axis, 1 to 4 (0 counts as 1)
};

// Starts the window system for the process, once. Later calls answer the first call's result, or
// false once the display connection is lost. On failure writes the reason (with the display's
// name where there is one) into `why` (capacity `size`) and answers false. Any thread; the first
// caller's thread becomes the window thread.
// The desktop starts SDL video: no SDL signal handlers, no accelerated framebuffer, the X11 class
// name "GraphWnd", only the driver of the display the environment names, and a failed connection
// tried again a few times within about a second. With SDL's X11 driver it installs our X error
// handlers (see WinLost). Its reasons: the X server's refusal told as authorisation refused,
// server full, no file descriptors left or no X server, once, without the lines Xlib writes for
// each try; else SDL's words. Too little address space left for the display's libraries is a
// failure too, rather than a crash inside them.
bool WinVideoStart(char* why, std::size_t size);

// Creates a visible, fixed-size window titled `title` whose client area is width x height pixels
// at screen position (x, y), cleared to black, with a surface of its own. With a scale of N the
// window is N times as wide and high on the screen, each client-area pixel an N x N block; the
// other calls take client-area coordinates all the same (WinSurfacePixel excepted). Where SDL has
// (on the desktop) no surface for the display's pixel format (8-bit displays, for one), an X11
// window is drawn with Xlib through an image of our own, converted to the display's format (its
// colours are then the nearest the display has). Answers 0 on failure (also once the display
// connection is lost), with the reason for WinCreateFailure.
WinHandle WinCreate(const char* title, int32_t x, int32_t y, uint32_t width, uint32_t height,
                    WinStyle style);

// Why the last WinCreate answered 0, as a phrase (SDL's words or ours).
const char* WinCreateFailure();

// Destroys the window (nothing for 0).
void WinDestroy(WinHandle window);

// Takes the next message for `window` from the window system's queue without waiting; messages
// for other windows and for the application are dropped. Answers false when none is waiting.
bool WinPeekMessage(WinHandle window, WinMessage& message);

// Copies the rectangle [left, right) x [top, bottom) of a 0x00RRGGBB pixel array of width x height
// (rows `stride` pixels apart) into the window's surface, clipped to both. Does not show it yet.
// Answers false when nothing of the rectangle lies inside both.
bool WinCopyToWindow(WinHandle window, const uint32_t* pixels, int32_t stride, int32_t width,
                     int32_t height, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Shows the copied rectangle, clipped to the window's client area, on the screen.
void WinUpdateWindow(WinHandle window, int32_t left, int32_t top, int32_t right, int32_t bottom);

// The window's pixel (x, y) as 0x00RRGGBB, read from the window's surface in screen pixels (so
// with a scale of N, client-area pixel (x, y) is the block from (N x, N y)); 0 outside.
uint32_t WinSurfacePixel(WinHandle window, int32_t x, int32_t y);

// The refresh period assumed when the display does not tell its own: 60 Hz.
inline constexpr std::chrono::microseconds kDefaultRefreshPeriod{16667};

// The display's refresh period (kDefaultRefreshPeriod when unknown).
std::chrono::microseconds WinRefreshPeriod(WinHandle window);

// What became of a window.
enum class WinLoss : uint8_t {
  kNone,     // it is there
  kWindow,   // it was destroyed by another client, or an X error named it as gone
  kDisplay,  // the display connection is lost, and the window with it
};

// Answers what became of `window`, as far as the events and X errors taken so far tell. X errors
// never end the process: our handler records them, and an error about one of our windows is
// expected once it is lost or destroyed. After kDisplay the caller stops using SDL video.
WinLoss WinLost(WinHandle window);

// The first X error that named none of our windows, once, as a line of text (without a line
// end) into `text`; answers false when there is none to tell.
bool WinTakeStrayError(char* text, std::size_t size);

// Shows a failure message: a system-modal error box with `caption` (none: the system's default,
// "Error") when a display exists, else the line "<caption>: <text>" (or "<text>") on standard
// error. Waits until the box is dismissed. The window thread, or any thread while no other thread
// makes SDL calls (a box touches SDL's keyboard and cursor state).
void WinMessageBox(const char* text, const char* caption);

// The message as one line on standard error only: "<caption>: <text>", or "<text>". Any thread.
void WinMessageLine(const char* text, const char* caption);

// As WinMessageBox, with the line on standard error in any case, before the box.
void WinMessageBoxAndLine(const char* text, const char* caption);

// As WinMessageBox, for a box that belongs to `window`: it opens over the window and stays above
// it, also when the window is kept above all others.
void WinMessageBoxOver(WinHandle window, const char* text, const char* caption);

// Test hooks. Put a key event (USB usage `scancode`, pressed or released, with Shift held when
// `shift`), or a window event (close request or expose), for `window` into the window system's
// queue, as the window system itself would. Any thread.
void WinPushKey(WinHandle window, uint32_t scancode, bool down, bool shift);
void WinPushClose(WinHandle window);
void WinPushExpose(WinHandle window);

}  // namespace platform
