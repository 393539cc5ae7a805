// The browser's window service: video start, the window, and presentation. The window thread
// owns the window's surface; presenting converts the damaged part into the picture handed to the
// page's main thread, which draws it into the canvas at its next animation frame (an ImageData
// cannot view the shared WebAssembly memory, so the page copies it) and tells the window thread,
// which waits for that before it goes on: one picture per animation frame.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Window.h"
#include "platform/web_win_state.h"
#include "rts/Sync.h"

namespace platform {

namespace web {
constinit WindowService gWeb;
}  // namespace web

namespace {

using web::gWeb;

// How long a presentation waits for the page to draw the previous one: a page whose animation
// frames stop (a hidden tab) must not stop the program; the newest picture is drawn when they
// come again.
constexpr int kHandOverPeriods = 2;

struct Rect {
  int32_t left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

Rect Clip(Rect r, int32_t width, int32_t height) {
  return Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
              std::min(r.bottom, height)};
}

web::Window* Find(WinHandle handle) {
  web::Window& w = gWeb.window;
  return handle != 0 && w.handle == handle ? &w : nullptr;
}

std::chrono::microseconds Refresh() {
  const uint32_t measured = gWeb.refreshUs.load(std::memory_order_relaxed);
  return measured != 0 ? std::chrono::microseconds{measured} : kDefaultRefreshPeriod;
}

}  // namespace

bool WinVideoStart(char* why, std::size_t size) {
  // The page is the display: there is always one. Threads were checked by the page before the
  // program was loaded.
  gWeb.started = true;
  if (size > 0) why[0] = '\0';
  return true;
}

WinHandle WinCreate(const char*, int32_t, int32_t, uint32_t width, uint32_t height,
                    WinStyle style) {
  web::Window& w = gWeb.window;
  if (w.handle != 0) {
    gWeb.failure = "the page has one canvas, and it holds a window";
    return 0;
  }
  if (width == 0 || height == 0 || width > 4096 || height > 4096) {
    gWeb.failure = "no canvas of that size";
    return 0;
  }
  const std::size_t pixels = std::size_t{width} * height;
  uint32_t* surface = new (std::nothrow) uint32_t[pixels]();
  uint8_t* rgba = new (std::nothrow) uint8_t[pixels * 4];
  if (surface == nullptr || rgba == nullptr) {
    delete[] surface;
    delete[] rgba;
    gWeb.failure = "no memory for the window's surface";
    return 0;
  }
  // Black, opaque.
  for (std::size_t i = 0; i < pixels; ++i) {
    std::memcpy(rgba + 4 * i, "\0\0\0\xff", 4);
  }
  {
    rts::Hold hold(w.lock);
    w.surface = surface;
    w.rgba = rgba;
    w.width = static_cast<int32_t>(width);
    w.height = static_cast<int32_t>(height);
    w.scale = static_cast<int32_t>(std::clamp<uint32_t>(style.scale, 1, 4));
    w.left = 0;
    w.top = 0;
    w.right = w.width;
    w.bottom = w.height;
    w.pending = true;  // the page clears the canvas to black with the first picture
    w.handle = ++gWeb.lastHandle;
  }
  MAIN_THREAD_ASYNC_EM_ASM(
      {
        ztHost.windowCreated($0, $1, $2);
        ztHost.wake();
      },
      w.width, w.height, w.scale);
  web::PostMessage(WinMessage{WM_PAINT, 0, 0});
  return w.handle;
}

const char* WinCreateFailure() {
  return gWeb.failure;
}

void WinDestroy(WinHandle window) {
  web::Window* w = Find(window);
  if (w == nullptr) return;
  uint32_t* surface;
  uint8_t* rgba;
  {
    rts::Hold hold(w->lock);
    surface = w->surface;
    rgba = w->rgba;
    w->surface = nullptr;
    w->rgba = nullptr;
    w->pending = false;
    w->handle = 0;
  }
  w->taken.Broadcast();
  delete[] surface;
  delete[] rgba;
  MAIN_THREAD_ASYNC_EM_ASM({ ztHost.windowDestroyed(); });
}

bool WinCopyToWindow(WinHandle window, const uint32_t* pixels, int32_t stride, int32_t width,
                     int32_t height, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  web::Window* w = Find(window);
  if (w == nullptr) return false;
  const Rect r = Clip(Clip(Rect{left, top, right, bottom}, width, height), w->width, w->height);
  if (r.Empty()) return false;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    std::memcpy(w->surface + std::size_t(y) * w->width + r.left,
                pixels + std::size_t(y) * stride + r.left, std::size_t(r.right - r.left) * 4);
  }
  return true;
}

void WinUpdateWindow(WinHandle window, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  web::Window* w = Find(window);
  if (w == nullptr) return;
  const Rect r = Clip(Rect{left, top, right, bottom}, w->width, w->height);
  if (r.Empty()) return;
  rts::Hold hold(w->lock);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const uint32_t* from = w->surface + std::size_t(y) * w->width;
    uint8_t* to = w->rgba + (std::size_t(y) * w->width) * 4;
    for (int32_t x = r.left; x < r.right; ++x) {
      const uint32_t p = from[x];
      uint8_t* q = to + std::size_t(x) * 4;
      q[0] = static_cast<uint8_t>(p >> 16);
      q[1] = static_cast<uint8_t>(p >> 8);
      q[2] = static_cast<uint8_t>(p);
      q[3] = 0xFF;
    }
  }
  if (w->pending) {
    w->left = std::min(w->left, r.left);
    w->top = std::min(w->top, r.top);
    w->right = std::max(w->right, r.right);
    w->bottom = std::max(w->bottom, r.bottom);
  } else {
    w->left = r.left;
    w->top = r.top;
    w->right = r.right;
    w->bottom = r.bottom;
    w->pending = true;
    MAIN_THREAD_ASYNC_EM_ASM({ ztHost.wake(); });  // the page draws at animation frames it asks for
  }
  const rts::TimePoint deadline = rts::Now() + kHandOverPeriods * Refresh();
  w->taken.WaitUntil(w->lock, deadline, [w] { return !w->pending; });
}

uint32_t WinSurfacePixel(WinHandle window, int32_t x, int32_t y) {
  web::Window* w = Find(window);
  if (w == nullptr || x < 0 || y < 0) return 0;
  x /= w->scale;
  y /= w->scale;
  if (x >= w->width || y >= w->height) return 0;
  return w->surface[std::size_t(y) * w->width + x];
}

std::chrono::microseconds WinRefreshPeriod(WinHandle) {
  return Refresh();
}

WinLoss WinLost(WinHandle) {
  // A page has no other clients and no display connection to lose.
  return WinLoss::kNone;
}

bool WinTakeStrayError(char*, std::size_t) {
  return false;
}

}  // namespace platform

// Calls from the page's main thread.
extern "C" {

// Where the page finds the pending part of the picture, while it draws it.
struct WebFrame {
  uint8_t* rgba;
  int32_t width, height;
  int32_t left, top, right, bottom;
};

// The display's refresh period in microseconds, measured by the page before the program starts.
EMSCRIPTEN_KEEPALIVE void web_win_refresh(uint32_t us) {
  platform::web::gWeb.refreshUs.store(us, std::memory_order_relaxed);
}

// At an animation frame: the part of the picture not yet drawn, or null for none. On an answer
// the page draws it, then calls web_win_drawn, which the window waits for; the picture stays
// locked until then.
EMSCRIPTEN_KEEPALIVE WebFrame* web_win_frame() {
  static WebFrame frame;
  platform::web::Window& w = platform::web::gWeb.window;
  w.lock.Lock();
  if (!w.pending || w.rgba == nullptr) {
    w.lock.Unlock();
    return nullptr;
  }
  frame = WebFrame{w.rgba, w.width, w.height, w.left, w.top, w.right, w.bottom};
  return &frame;
}

// The page has drawn the part web_win_frame answered.
EMSCRIPTEN_KEEPALIVE void web_win_drawn() {
  platform::web::Window& w = platform::web::gWeb.window;
  w.pending = false;
  w.lock.Unlock();
  w.taken.Broadcast();
  platform::web::gWeb.framesDrawn.fetch_add(1, std::memory_order_relaxed);
}

}  // extern "C"
