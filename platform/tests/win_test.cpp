// The window layer on real X servers of 24, 16 and 8 bits (each in a child process of its own,
// since SDL video starts once per process): a window is made at every depth, scaled windows show
// each pixel as an N x N block, a damaged rectangle reaches exactly its scaled place on the
// screen, and what the X server holds is what the window's surface holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graph/tests/xvfb.h"
#include "platform/Window.h"
#include "tests/support/child.h"
#include "tests/support/test_main.h"

// Xlib's macros (None, Bool, ...) would clash with the test framework's names: included last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int kW = 40, kH = 30;

// The colour of pixel (x, y) of test picture `k`: the standard palette's colours and steps of
// grey, different in each picture.
uint32_t Picture(int k, int x, int y) {
  static constexpr uint32_t kColours[8] = {0x0000B0, 0x00B000, 0xB06000, 0xC0C0C0,
                                           0xFF00FF, 0xFFFF00, 0xFFFFFF, 0x000000};
  if ((x + y + k) % 3 == 0) return kColours[(x / 3 + y + k) % 8];
  return 0x010101u * static_cast<uint32_t>((x * 6 + y * 2 + k * 40) % 256);
}

// Answers whether `got` shows `want` as a display with `bits` bits a channel may (each channel
// within one step of its depth).
bool Near(uint32_t got, uint32_t want, int bits) {
  const int step = bits >= 8 ? 0 : 255 / ((1 << bits) - 1) + 1;
  for (int shift = 0; shift < 24; shift += 8) {
    const int g = static_cast<int>((got >> shift) & 0xFF),
              w = static_cast<int>((want >> shift) & 0xFF);
    if (std::abs(g - w) > step) return false;
  }
  return true;
}

// The colour the screen shows for an X image's pixel. On a TrueColor visual the pixel's
// channels, by the visual's masks, are the colour; on a DirectColor visual each channel goes
// through the window's colour map.
uint32_t Colour(Display* x, const XWindowAttributes& a, XImage* image, int px, int py) {
  const unsigned long v = XGetPixel(image, px, py);
  if (a.visual->c_class == DirectColor) {
    XColor c{};
    c.pixel = v;
    XQueryColor(x, a.colormap, &c);
    return static_cast<uint32_t>(c.red >> 8) << 16 | static_cast<uint32_t>(c.green >> 8) << 8 |
           static_cast<uint32_t>(c.blue >> 8);
  }
  const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
  uint32_t c = 0;
  for (int k = 0; k < 3; ++k) {
    unsigned long m = masks[k];
    int shift = 0;
    while (m && !(m & 1)) {
      m >>= 1;
      ++shift;
    }
    c |= static_cast<uint32_t>(m ? ((v >> shift) & m) * 255 / m : 0) << (16 - 8 * k);
  }
  return c;
}

// In a child: an Xvfb of `depth` bits, a window at each scale, pictures copied and checked.
// Writes what went wrong on standard output and answers the number of faults.
int CheckDepth(int depth, int bits) {
  xvfbtest::Xvfb server(depth);
  if (server.display().empty()) return 100;
  setenv("DISPLAY", server.display().c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  char why[256];
  if (!platform::WinVideoStart(why, sizeof why)) {
    std::printf("no video at %d bits: %s\n", depth, why);
    return 101;
  }
  Display* x = XOpenDisplay(server.display().c_str());
  if (!x) return 102;
  int faults = 0;
  auto fault = [&](const std::string& what) {
    if (faults++ < 8) std::printf("%d bits: %s\n", depth, what.c_str());
  };
  uint32_t pixels[2][kH][kW];
  for (int k = 0; k < 2; ++k) {
    for (int y = 0; y < kH; ++y) {
      for (int px = 0; px < kW; ++px) pixels[k][y][px] = Picture(k, px, y);
    }
  }
  for (uint32_t n : {1u, 3u}) {
    const platform::WinHandle w =
        platform::WinCreate("Graph", 1, 1, kW, kH, platform::WinStyle{false, false, n});
    if (w == 0) {
      fault(std::string("no window: ") + platform::WinCreateFailure());
      continue;
    }
    // The whole first picture, then the second only in the rectangle [5, 10) x [4, 9).
    platform::WinCopyToWindow(w, &pixels[0][0][0], kW, kW, kH, 0, 0, kW, kH);
    platform::WinUpdateWindow(w, 0, 0, kW, kH);
    platform::WinCopyToWindow(w, &pixels[1][0][0], kW, kW, kH, 5, 4, 10, 9);
    platform::WinUpdateWindow(w, 5, 4, 10, 9);
    platform::WinMessage m;
    while (platform::WinPeekMessage(w, m)) {
    }
    const auto ids = xvfbtest::GraphWindows();
    XImage* shown = nullptr;
    XWindowAttributes a{};
    if (ids.size() == 1) {
      const Window id = std::strtoul(ids[0].c_str(), nullptr, 10);
      XGetWindowAttributes(x, id, &a);
      if (a.width != static_cast<int>(kW * n) || a.height != static_cast<int>(kH * n)) {
        fault("window " + std::to_string(a.width) + " x " + std::to_string(a.height));
      }
      shown = XGetImage(x, id, 0, 0, kW * n, kH * n, AllPlanes, ZPixmap);
    }
    if (!shown) fault("the window cannot be read back");
    for (int sy = 0; sy < static_cast<int>(kH * n); ++sy) {
      for (int sx = 0; sx < static_cast<int>(kW * n); ++sx) {
        const int px = sx / static_cast<int>(n), py = sy / static_cast<int>(n);
        const int k = px >= 5 && px < 10 && py >= 4 && py < 9 ? 1 : 0;
        const uint32_t want = pixels[k][py][px];
        const uint32_t got = platform::WinSurfacePixel(w, sx, sy);
        char at[160];
        std::snprintf(at, sizeof at, "scale %u, screen (%d, %d): %06x for %06x", n, sx, sy, got,
                      want);
        if (!Near(got, want, bits)) fault(at);
        if (got !=
            platform::WinSurfacePixel(w, px * static_cast<int>(n), py * static_cast<int>(n))) {
          fault(std::string(at) + " differs within its block");
        }
        if (shown && !Near(Colour(x, a, shown, sx, sy), got, 7)) {
          std::snprintf(at, sizeof at,
                        "scale %u, (%d, %d): the screen shows %06x, the surface holds %06x", n, sx,
                        sy, Colour(x, a, shown, sx, sy), got);
          fault(at);
        }
      }
    }
    if (shown) XDestroyImage(shown);
    platform::WinDestroy(w);
    while (platform::WinPeekMessage(w, m)) {
    }
  }
  XCloseDisplay(x);
  return faults;
}

void ExpectDepth(int depth, int bits) {
  if (!xvfbtest::ToolsPresent()) GTEST_SKIP() << "Xvfb or the X tools missing";
  const testchild::ChildResult r = testchild::RunChild([=] {
    const int faults = CheckDepth(depth, bits);
    std::fflush(stdout);
    return std::min(faults, 99);
  });
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

TEST(WinDepths, TwentyFourBits) {
  ExpectDepth(24, 8);
}

TEST(WinDepths, SixteenBits) {
  ExpectDepth(16, 5);
}

// SDL 2.26 makes no window surface for the 8-bit visuals (its "Unknown window pixel format"):
// the window is drawn through our own image, 3-3-2 bits.
TEST(WinDepths, EightBits) {
  ExpectDepth(8, 2);
}

}  // namespace
