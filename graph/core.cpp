// The back buffer with its rasterizer, request execution and the window loop, shared by both
// revisions of the graphics library.
#include "graph/core.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "rts/RTS.h"

namespace graphcore {

Request gRequest;
uint32_t gPaletteTable[kPaletteEntries];
uint32_t gPaletteCount;
graphsync::Gate gBufferLock;
graphsync::Lock gWindowLock;
std::atomic<uint64_t> gExecuted[kKinds];
std::atomic<platform::WinHandle> gWindow;
std::atomic<uint64_t> gPresents;
std::atomic<bool> gAlwaysClip;

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

// A rectangle [left, right) x [top, bottom); empty when left >= right or top >= bottom.
struct Rect {
  int32_t left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

// The damage rectangle kept as (left, top, -right, -bottom), so that the union with another
// rectangle is one element-wise minimum. No damage is the largest value.
using DamageBox = int32_t __attribute__((vector_size(16)));
constexpr DamageBox kNoDamage = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};

// The back buffer (guarded by gBufferLock): gWidth x gDepth pixels 0x00RRGGBB, rows gWidth apart,
// and the area changed since the window last showed it.
uint32_t gPixels[static_cast<std::size_t>(kMaxWidth) * kMaxDepth];
int32_t gWidth;
int32_t gDepth;
DamageBox gDamage;  // the union of what requests changed (kNoDamage or zero-filled when none)
std::atomic<bool> gPresenting;

// Presents that have copied pixels (guarded by gBufferLock), and those whose window update is
// done: a Flush waits for the copy that takes what was drawn before it.
uint64_t gCopies;
graphsync::Sequence gShown;

// The served window's refresh period in microseconds (0 before the first loop).
std::atomic<int64_t> gPeriodUs;

// The last window's loop ended because the window or the display was lost.
std::atomic<bool> gLost;

// Drawing state of the executing thread (the surface's selected objects and modes).
struct SurfaceState {
  uint32_t penStyle;                  // pen style code of outlines and lines
  bool stdFill;                       // fills use the standard pattern (else the user pattern)
  uint32_t hatch;                     // standard pattern: PATSYM_SOLID (8) or a hatch code
  uint8_t pattern[8];                 // user pattern, set bits paint in the fill colour
  uint32_t bkColour;                  // background colour number
  bool opaque;                        // background mix
  bool clipped;                       // a clip rectangle is selected
  Rect clip;                          // ... this one
  uint32_t palette[kPaletteEntries];  // the surface's logical palette
};
SurfaceState gS;

// On/off patterns of the styled pens, one bit per pixel starting at bit 0, and their lengths.
struct Dashes {
  uint32_t bits;
  uint32_t length;
};
constexpr uint32_t DashBits(std::initializer_list<uint32_t> runs) {
  uint32_t bits = 0, at = 0;
  bool on = true;
  for (uint32_t r : runs) {
    for (uint32_t i = 0; i < r; ++i, ++at) {
      if (on) bits |= 1u << at;
    }
    on = !on;
  }
  return bits;
}
constexpr Dashes kDashes[6] = {
    {0xFFFFFF, 24},                      // solid
    {DashBits({18, 6}), 24},             // dash
    {DashBits({3, 3}), 6},               // dot
    {DashBits({9, 6, 3, 6}), 24},        // dash-dot
    {DashBits({9, 3, 3, 3, 3, 3}), 24},  // dash-dot-dot
    {0, 24},                             // invisible
};

// Hatch patterns of the standard fills, 8 rows top first, most significant bit leftmost.
constexpr uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // down from top left
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // up from bottom left
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

int32_t S(uint32_t v) {
  return static_cast<int32_t>(v);
}

uint32_t Colour(uint32_t number) {
  return gS.palette[number & 0xFF];
}

// The area drawing may touch: the back buffer, within the clip rectangle.
inline Rect ClipArea() {
  Rect r{0, 0, gWidth, gDepth};
  if (gS.clipped) {
    r.left = std::max(r.left, gS.clip.left);
    r.top = std::max(r.top, gS.clip.top);
    r.right = std::min(r.right, gS.clip.right);
    r.bottom = std::min(r.bottom, gS.clip.bottom);
  }
  return r;
}

// Adds the non-empty rectangle [left, right) x [top, bottom) to the damage.
inline void Damage(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const DamageBox box = {left, top, -right, -bottom};
  gDamage = box < gDamage ? box : gDamage;
}

Rect DamageRect() {
  return Rect{gDamage[0], gDamage[1], -gDamage[2], -gDamage[3]};
}

uint32_t& At(int32_t x, int32_t y) {
  return gPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(gWidth) +
                 static_cast<std::size_t>(x)];
}

void SetPixel(int32_t x, int32_t y, uint32_t rgb) {
  Rect c = ClipArea();
  if (x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
  At(x, y) = rgb;
  Damage(x, y, x + 1, y + 1);
}

template <class W>
W FloorDiv(W a, W b) {  // b > 0
  W q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}
template <class W>
W CeilDiv(W a, W b) {
  return -FloorDiv<W>(-a, b);
}

// The pen of one line: its pattern, colours and mix.
struct Pen {
  Dashes dashes;
  uint32_t rgb;
  uint32_t bkRgb;
  bool opaque;
};

Pen MakePen(uint32_t style, uint32_t colour) {
  return Pen{kDashes[style < 6 ? style : 0], Colour(colour), Colour(gS.bkColour), gS.opaque};
}

// Sets n pixels from index `at` on, `step` apart.
inline void Run(uint32_t* p, int64_t at, int64_t n, int64_t step, uint32_t rgb) {
  for (int64_t j = 0; j < n; ++j, at += step) p[at] = rgb;
}

// Where a run's optional last pixel goes when the run is the shorter one (guarded by the buffer
// lock like the back buffer).
uint32_t gScratchPixel;

// The solid line's runs (see LineSteps), for a fixed major step. The runs between the first and
// the last are q or q + 1 steps long: q pixels are set in a loop of fixed length and the last one
// through a pointer that goes to a scratch pixel for a short run, so the loop has no branch that
// depends on the run.
template <int64_t kStep>
void Runs(uint32_t* p, int64_t at, int64_t left, int64_t run, int64_t e, int64_t q, int64_t r,
          int64_t dm2, int64_t majorStep, int64_t minorStep, uint32_t rgb) {
  const int64_t step = kStep ? kStep : majorStep;
  auto next = [&] {
    const bool longer = e < r;
    run = q + (longer ? 1 : 0);
    e += (longer ? dm2 : 0) - r;
  };
  // The first run, of any length up to q + 1.
  int64_t n = run < left ? run : left;
  for (int64_t j = 0; j < n; ++j) p[at + j * step] = rgb;
  at += run * step + minorStep;
  left -= n;
  next();
  while (left > q) {
    for (int64_t j = 0; j < q; ++j) p[at + j * step] = rgb;
    *(run > q ? p + at + q * step : &gScratchPixel) = rgb;
    at += run * step + minorStep;
    left -= run;
    next();
  }
  // The last, possibly cut short.
  n = run < left ? run : left;
  for (int64_t j = 0; j < n; ++j) p[at + j * step] = rgb;
}

// The visible steps [lo, hi] of a line with d major and dm minor steps from (m1, n1) in
// directions (sM, sm), the major coordinate kept in [majLo, majHi] and the minor one in
// [minLo, minHi]; with t and e the minor offset and remainder of step lo. W is wide enough for
// 2 d t products. Answers false when no step is visible.
template <class W>
bool ClipSteps(int64_t d, int64_t dm, int64_t sM, int64_t sm, int64_t m1, int64_t n1, int64_t majLo,
               int64_t majHi, int64_t minLo, int64_t minHi, int64_t& lo, int64_t& hi, int64_t& t,
               int64_t& e) {
  lo = 0;
  if (sM > 0) {
    lo = std::max(lo, majLo - m1);
    hi = std::min(hi, majHi - m1);
  } else {
    lo = std::max(lo, m1 - majHi);
    hi = std::min(hi, m1 - majLo);
  }
  if (lo > hi) return false;
  // Steps whose minor offset t(i) = floor((2 i dm + d) / 2d) is inside.
  const int64_t tLo = sm > 0 ? minLo - n1 : n1 - minHi;
  const int64_t tHi = sm > 0 ? minHi - n1 : n1 - minLo;
  const W d2 = W(d) * 2, dm2 = W(dm) * 2;
  if (dm == 0) {
    if (tLo > 0 || tHi < 0) return false;
  } else {
    const W iLo = CeilDiv<W>(d2 * tLo - d, dm2);
    const W iHi = FloorDiv<W>(d2 * (W(tHi) + 1) - d - 1, dm2);
    if (iLo > lo) lo = iLo > hi ? hi + 1 : static_cast<int64_t>(iLo);
    if (iHi < hi) hi = iHi < lo ? lo - 1 : static_cast<int64_t>(iHi);
  }
  if (lo > hi) return false;
  const W num = W(lo) * dm2 + d;
  t = static_cast<int64_t>(num / d2);
  e = static_cast<int64_t>(num % d2);
  return true;
}

// The pattern phase `steps` steps after `phase` (patterns are 24 or 6 steps long; a division by a
// constant is a multiplication).
uint32_t PhaseAfter(uint32_t phase, uint64_t steps, uint32_t length) {
  const uint64_t s = phase + steps;
  return static_cast<uint32_t>(length == 6 ? s % 6 : s % 24);
}

// Short solid lines wholly inside the clip area, the bulk of a wireframe's lines, take a path of
// their own: such a line has fewer than 2^12 steps, so step i's minor offset
// floor((2 i dm + d) / 2d) = floor(i dm / d + 1/2) comes from a fixed-point slope with 40 fraction
// bits. With S = dm ceil(2^40 / d), at least dm 2^40 / d and less than dm above it,
// (i S + 2^39) >> 40 exceeds the exact i dm / d + 1/2 by less than d dm / 2^40 < 1 / 2d, while the
// exact value is a multiple of 1 / 2d; so the floor is the same. Each step's pixel is computed on
// its own, without a chain of decisions from step to step, and no division is needed.
constexpr int64_t kShortLine = 64;  // steps; longer lines are drawn in runs

struct Reciprocals {
  uint64_t r[kMaxWidth > kMaxDepth ? kMaxWidth : kMaxDepth];
  constexpr Reciprocals() : r() {
    for (uint64_t d = 1; d < sizeof r / sizeof r[0]; ++d) r[d] = ((uint64_t{1} << 40) + d - 1) / d;
  }
};
constexpr Reciprocals kReciprocals;

// Sets steps 0 .. count - 1 from index `at` with the slope S.
inline void ShortSolid(uint32_t* p, int64_t at, int64_t count, uint64_t slope, int64_t majorStep,
                       int64_t minorStep, uint32_t rgb) {
  uint64_t acc = uint64_t{1} << 39;
  for (int64_t i = 0; i < count; ++i, at += majorStep, acc += slope) {
    p[at + static_cast<int64_t>(acc >> 40) * minorStep] = rgb;
  }
}

// Draws the steps 0 .. n-1 of the line from (x1, y1) to (x2, y2), n being the larger of |dx| and
// |dy|: step i sets the pixel i along the major axis and round(i * dminor / dmajor) (halves away
// from the start) along the minor one. Only the steps inside the clip area are visited, and they
// are exactly the pixels the unclipped line has there. `withEnd` adds step n, the end point. The
// pen's pattern starts at `phase`; answers the phase after step n - 1.
uint32_t LineSteps(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen, uint32_t phase,
                   bool withEnd = false) {
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t d = xMajor ? adx : ady;   // steps along the major axis
  const int64_t dm = xMajor ? ady : adx;  // steps along the minor axis
  if (d == 0) return phase;
  const uint32_t next = PhaseAfter(phase, static_cast<uint64_t>(d), pen.dashes.length);
  if (pen.dashes.bits == 0) return next;  // the invisible pen
  const int64_t sM = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t sm = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const Rect c = ClipArea();
  const int64_t stride = gWidth;
  const int64_t majorStep = xMajor ? sM : sM * stride;
  const int64_t minorStep = xMajor ? sm * stride : sm;

  const int64_t m1 = xMajor ? x1 : y1;  // major start
  const int64_t n1 = xMajor ? y1 : x1;  // minor start
  int64_t lo = 0, hi = withEnd ? d : d - 1, t = 0, e = d;
  int64_t at;
  if (x1 >= c.left && x1 < c.right && x2 >= c.left && x2 < c.right && y1 >= c.top &&
      y1 < c.bottom && y2 >= c.top && y2 < c.bottom &&
      !gAlwaysClip.load(std::memory_order_relaxed)) {
    // Wholly inside: every step from the first.
    Damage(static_cast<int32_t>(std::min(x1, x2)), static_cast<int32_t>(std::min(y1, y2)),
           static_cast<int32_t>(std::max(x1, x2) + 1), static_cast<int32_t>(std::max(y1, y2) + 1));
    at = y1 * stride + x1;
    if (hi < kShortLine && pen.dashes.bits == kDashes[0].bits) {
      ShortSolid(gPixels, at, hi + 1, static_cast<uint64_t>(dm) * kReciprocals.r[d], majorStep,
                 minorStep, pen.rgb);
      return next;
    }
  } else {
    if (c.Empty()) return next;
    const int64_t majLo = xMajor ? c.left : c.top, majHi = (xMajor ? c.right : c.bottom) - 1;
    const int64_t minLo = xMajor ? c.top : c.left, minHi = (xMajor ? c.bottom : c.right) - 1;
    // End points this far from the origin need 128-bit products.
    constexpr int64_t kSmall = int64_t{1} << 29;
    const bool small = std::max({x1, -x1, y1, -y1, x2, -x2, y2, -y2}) < kSmall;
    const bool any =
        small ? ClipSteps<int64_t>(d, dm, sM, sm, m1, n1, majLo, majHi, minLo, minHi, lo, hi, t, e)
              : ClipSteps<i128>(d, dm, sM, sm, m1, n1, majLo, majHi, minLo, minHi, lo, hi, t, e);
    if (!any) return next;
    const int64_t major = m1 + sM * lo, minor = n1 + sm * t;
    const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    at = y * stride + x;
    // The visible part's end for the damage rectangle.
    const int64_t tEnd = small ? (hi * 2 * dm + d) / (2 * d)
                               : static_cast<int64_t>((i128{hi} * 2 * dm + d) / (2 * d));
    const int64_t majorEnd = m1 + sM * hi, minorEnd = n1 + sm * tEnd;
    const int64_t xe = xMajor ? majorEnd : minorEnd, ye = xMajor ? minorEnd : majorEnd;
    Damage(static_cast<int32_t>(std::min(x, xe)), static_cast<int32_t>(std::min(y, ye)),
           static_cast<int32_t>(std::max(x, xe) + 1), static_cast<int32_t>(std::max(y, ye) + 1));
  }
  const int64_t d2 = 2 * d, dm2 = 2 * dm;
  const int64_t count = hi - lo + 1;

  uint32_t* const p = gPixels;
  if (pen.dashes.bits == kDashes[0].bits) {
    // Solid: runs of steps that share a minor coordinate. A run from remainder e lasts
    // ceil((d2 - e) / dm2) steps; after the first, with d2 = q dm2 + r, a run lasts q + 1 steps
    // when the remainder is below r and q steps otherwise, so no division is needed per run.
    const uint32_t rgb = pen.rgb;
    if (dm == 0) {
      Run(p, at, count, majorStep, rgb);
      return next;
    }
    int64_t q, r, run;
    if (d2 + dm2 <= UINT32_MAX) {  // the 32-bit division is the faster one
      const uint32_t a = static_cast<uint32_t>(d2), b = static_cast<uint32_t>(dm2);
      q = a / b;
      r = a % b;
      run = (a - static_cast<uint32_t>(e) + b - 1) / b;
    } else {
      q = d2 / dm2;
      r = d2 % dm2;
      run = (d2 - e + dm2 - 1) / dm2;
    }
    e += run * dm2 - d2;
    if (majorStep == 1) {
      Runs<1>(p, at, count, run, e, q, r, dm2, majorStep, minorStep, rgb);
    } else if (majorStep == -1) {
      Runs<-1>(p, at, count, run, e, q, r, dm2, majorStep, minorStep, rgb);
    } else {
      Runs<0>(p, at, count, run, e, q, r, dm2, majorStep, minorStep, rgb);
    }
  } else {
    uint32_t ph = PhaseAfter(phase, static_cast<uint64_t>(lo), pen.dashes.length);
    for (int64_t k = 0; k < count; ++k) {
      if ((pen.dashes.bits >> ph) & 1) {
        p[at] = pen.rgb;
      } else if (pen.opaque) {
        p[at] = pen.bkRgb;
      }
      if (++ph == pen.dashes.length) ph = 0;
      at += majorStep;
      e += dm2;
      const bool step = e >= d2;
      e -= step ? d2 : 0;
      at += step ? minorStep : 0;
    }
  }
  return next;
}

// The brush of one fill.
struct Brush {
  const uint8_t* rows;  // 8 pattern rows, or nullptr for solid
  uint32_t rgb;
  uint32_t bkRgb;
  bool paintClear;  // clear pattern bits take the background colour (else they are left)
};

Brush MakeBrush(uint32_t colour) {
  Brush b{nullptr, Colour(colour), Colour(gS.bkColour), true};
  if (gS.stdFill) {
    if (gS.hatch < 6) {
      b.rows = kHatches[gS.hatch];
      b.paintClear = gS.opaque;
    }
  } else {
    b.rows = gS.pattern;
  }
  return b;
}

// Fills [x1, x2] x [y, y] (inclusive, unclipped coordinates) with the brush.
void Span(int64_t x1, int64_t x2, int64_t y, const Brush& b, const Rect& c) {
  if (y < c.top || y >= c.bottom) return;
  x1 = std::max<int64_t>(x1, c.left);
  x2 = std::min<int64_t>(x2, c.right - 1);
  if (x1 > x2) return;
  uint32_t* row = &At(0, static_cast<int32_t>(y));
  if (!b.rows) {
    std::fill(row + x1, row + x2 + 1, b.rgb);
  } else {
    const uint8_t bits = b.rows[y & 7];
    for (int64_t x = x1; x <= x2; ++x) {
      if ((bits >> (7 - (x & 7))) & 1) {
        row[x] = b.rgb;
      } else if (b.paintClear) {
        row[x] = b.bkRgb;
      }
    }
  }
  Damage(static_cast<int32_t>(x1), static_cast<int32_t>(y), static_cast<int32_t>(x2 + 1),
         static_cast<int32_t>(y + 1));
}

// Fills the inclusive rectangle (x1, y1) .. (x2, y2) with the brush.
void FillBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Brush& b) {
  const Rect c = ClipArea();
  for (int64_t y = std::max<int64_t>(y1, c.top); y <= std::min<int64_t>(y2, c.bottom - 1); ++y) {
    Span(x1, x2, y, b, c);
  }
}

// Outlines the inclusive rectangle (x1, y1) .. (x2, y2), x1 <= x2 and y1 <= y2, with the pen, the
// pattern running on round the corners.
void OutlineBox(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen) {
  if (x1 == x2 && y1 == y2) {
    if (pen.dashes.bits & 1) SetPixel(static_cast<int32_t>(x1), static_cast<int32_t>(y1), pen.rgb);
    return;
  }
  uint32_t ph = LineSteps(x1, y1, x2, y1, pen, 0);
  ph = LineSteps(x2, y1, x2, y2, pen, ph);
  if (y1 == y2) {
    LineSteps(x2, y1, x1, y1, pen, ph);
    return;
  }
  ph = LineSteps(x2, y2, x1, y2, pen, ph);
  LineSteps(x1, y2, x1, y1, pen, ph);
}

// The pixels of the ellipse inscribed in the box [left, left + w) x [top, top + h) are those whose
// centres lie inside it. Row y holds the inclusive span [lo, hi] of them, or none (false).
bool EllipseRow(int64_t left, int64_t top, uint64_t w, uint64_t h, int64_t y, int64_t& lo,
                int64_t& hi) {
  if (w == 0 || h == 0) return false;
  // In doubled coordinates relative to the centre: v for the row, u for a column.
  const int64_t v = 2 * y + 1 - 2 * top - static_cast<int64_t>(h);
  const uint64_t av = static_cast<uint64_t>(v < 0 ? -v : v);
  if (av > h) return false;
  // Inside: u^2 h^2 + v^2 w^2 <= w^2 h^2, i.e. (u h)^2 <= K = w^2 (h^2 - v^2).
  const u128 k = u128{w * w} * u128{h * h - av * av};
  const double ratio = static_cast<double>(av) / static_cast<double>(h);
  uint64_t q =
      static_cast<uint64_t>(static_cast<double>(w) * std::sqrt(std::max(0.0, 1 - ratio * ratio)));
  q = std::min(q, w);
  auto fits = [&](uint64_t c) { return u128{c * h} * u128{c * h} <= k; };
  while (q > 0 && !fits(q)) --q;
  while (q < w && fits(q + 1)) ++q;
  // u has the parity of w + 1.
  if (((q ^ (w + 1)) & 1) != 0) {
    if (q == 0) return false;
    --q;
  }
  const int64_t base = 2 * left + static_cast<int64_t>(w) - 1;
  lo = (base - static_cast<int64_t>(q)) / 2;
  hi = (base + static_cast<int64_t>(q)) / 2;
  return true;
}

// Ellipse in the box (l, t) .. (r, b) with the right column and bottom row excluded: with `fill`
// its area in the brush (and with `outlinePen` its outline in that pen's colour on top), else its
// outline in the pen. The outline is the set of its pixels with a 4-neighbour outside it.
void DrawEllipse(int64_t l, int64_t t, int64_t r, int64_t b, bool fill, const Brush& brush,
                 const Pen* pen) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const uint64_t w = static_cast<uint64_t>(r - l), h = static_cast<uint64_t>(b - t);
  const Rect c = ClipArea();
  const int64_t y0 = std::max<int64_t>(t, c.top), y1 = std::min<int64_t>(b - 1, c.bottom - 1);
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t lo, hi;
    if (!EllipseRow(l, t, w, h, y, lo, hi)) continue;
    if (fill) Span(lo, hi, y, brush, c);
    if (!pen) continue;
    int64_t ulo, uhi, dlo, dhi;
    const bool up = EllipseRow(l, t, w, h, y - 1, ulo, uhi);
    const bool down = EllipseRow(l, t, w, h, y + 1, dlo, dhi);
    const Brush ink{nullptr, pen->rgb, 0, true};
    if (!up || !down) {
      Span(lo, hi, y, ink, c);
      continue;
    }
    const int64_t ilo = std::max({lo + 1, ulo, dlo}), ihi = std::min({hi - 1, uhi, dhi});
    if (ilo > ihi) {
      Span(lo, hi, y, ink, c);
    } else {
      Span(lo, ilo - 1, y, ink, c);
      Span(ihi + 1, hi, y, ink, c);
    }
  }
}

void Invert(int64_t l, int64_t t, int64_t r, int64_t b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const Rect c = ClipArea();
  l = std::max<int64_t>(l, c.left);
  t = std::max<int64_t>(t, c.top);
  r = std::min<int64_t>(r, c.right);
  b = std::min<int64_t>(b, c.bottom);
  if (l >= r || t >= b) return;
  for (int64_t y = t; y < b; ++y) {
    uint32_t* row = &At(0, static_cast<int32_t>(y));
    for (int64_t x = l; x < r; ++x) row[x] ^= 0x00FFFFFF;
  }
  Damage(static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r),
         static_cast<int32_t>(b));
}

void Rectangle(const Request& q) {
  int64_t x1, y1, x2, y2;
  const bool fill = (q.a[5] & 0xFF) != 0;
  const uint32_t colour = q.a[4];
  if (gRevision == 2) {
    // Corners in order as unsigned numbers; one point is a pixel.
    uint32_t ux1 = std::min(q.a[0], q.a[2]), ux2 = std::max(q.a[0], q.a[2]);
    uint32_t uy1 = std::min(q.a[1], q.a[3]), uy2 = std::max(q.a[1], q.a[3]);
    if (ux1 == ux2 && uy1 == uy2) {
      SetPixel(S(ux1), S(uy1), Colour(colour));
      return;
    }
    x1 = std::min(S(ux1), S(ux2));
    x2 = std::max(S(ux1), S(ux2));
    y1 = std::min(S(uy1), S(uy2));
    y2 = std::max(S(uy1), S(uy2));
    if (fill) {
      FillBox(x1, y1, x2, y2, MakeBrush(colour));
      OutlineBox(x1, y1, x2, y2, MakePen(kPsSolid, colour));
    } else {
      OutlineBox(x1, y1, x2, y2, MakePen(gS.penStyle, colour));
    }
    return;
  }
  // Revision 1: the platform's rectangle with the right column and bottom row excluded; a fill
  // has no pen and so covers one pixel less again.
  x1 = std::min(S(q.a[0]), S(q.a[2]));
  x2 = std::max(S(q.a[0]), S(q.a[2]));
  y1 = std::min(S(q.a[1]), S(q.a[3]));
  y2 = std::max(S(q.a[1]), S(q.a[3]));
  if (fill) {
    if (x2 - 2 >= x1 && y2 - 2 >= y1) FillBox(x1, y1, x2 - 2, y2 - 2, MakeBrush(colour));
  } else if (x2 - 1 >= x1 && y2 - 1 >= y1) {
    OutlineBox(x1, y1, x2 - 1, y2 - 1, MakePen(gS.penStyle, colour));
  }
}

// A line request whose line is short, solid and wholly inside the clip area, the bulk of a
// wireframe's lines: drawn at once (answers true), else left to LineRequest.
[[gnu::always_inline]] inline bool ShortLineRequest(const Request& q) {
  const uint32_t style = gS.penStyle;
  if (style != kPsSolid && style < 6) return false;  // styles beyond 5 draw solid
  const int32_t x1 = S(q.a[0]), y1 = S(q.a[1]), x2 = S(q.a[2]), y2 = S(q.a[3]);
  const Rect c = ClipArea();
  if (x1 < c.left || x1 >= c.right || x2 < c.left || x2 >= c.right || y1 < c.top ||
      y1 >= c.bottom || y2 < c.top || y2 >= c.bottom ||
      gAlwaysClip.load(std::memory_order_relaxed)) {
    return false;
  }
  const int64_t dx = int64_t{x2} - x1, dy = int64_t{y2} - y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t d = xMajor ? adx : ady, dm = xMajor ? ady : adx;
  // Revision 2 sets the end point too (a lone pixel for equal points); revision 1 leaves it out.
  const int64_t count = gRevision == 2 ? d + 1 : d;
  if (count > kShortLine) return false;
  if (count == 0) return true;
  Damage(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1);
  const int64_t stride = gWidth;
  const int64_t sM = (xMajor ? dx : dy) < 0 ? -1 : 1, sm = (xMajor ? dy : dx) < 0 ? -1 : 1;
  ShortSolid(gPixels, int64_t{y1} * stride + x1, count,
             static_cast<uint64_t>(dm) * kReciprocals.r[d], xMajor ? sM : sM * stride,
             xMajor ? sm * stride : sm, Colour(q.a[4]));
  return true;
}

void LineRequest(const Request& q) {
  const uint32_t colour = q.a[4];
  const int32_t x1 = S(q.a[0]), y1 = S(q.a[1]), x2 = S(q.a[2]), y2 = S(q.a[3]);
  const Pen pen = MakePen(gS.penStyle, colour);
  // Revision 2 sets the end point too. With a solid pen that is the line's step n, drawn in the
  // same pass.
  const bool endStep =
      gRevision == 2 && pen.dashes.bits == kDashes[0].bits && (x1 != x2 || y1 != y2);
  LineSteps(x1, y1, x2, y2, pen, 0, endStep);
  if (gRevision == 2 && !endStep) SetPixel(x2, y2, Colour(colour));
}

void EllipseRequest(const Request& q) {
  const bool fill = (q.a[5] & 0xFF) != 0;
  const uint32_t colour = q.a[4];
  const Brush brush = fill ? MakeBrush(colour) : Brush{nullptr, 0, 0, false};
  Pen pen = MakePen(fill ? kPsSolid : gS.penStyle, colour);
  const bool outline = fill ? gRevision == 2 : gS.penStyle != kPsNull;
  DrawEllipse(S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]), fill, brush, outline ? &pen : nullptr);
}

void Drawing(const Request& q) {
  switch (q.kind) {
    case rqClip:
      gS.clipped = true;
      gS.clip = Rect{S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3])};
      break;
    case rqNoClip:
      gS.clipped = false;
      break;
    case rqBkColor:
      gS.bkColour = q.a[0];
      break;
    case rqBkMode:
      gS.opaque = q.a[0] == 2;
      break;
    case rqPixel:
      SetPixel(S(q.a[0]), S(q.a[1]), Colour(q.a[2]));
      break;
    case rqRectangle:
      Rectangle(q);
      break;
    case rqLine:
      LineRequest(q);
      break;
    case rqEllipse:
      EllipseRequest(q);
      break;
    case rqInvert:
      Invert(S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]));
      break;
    case rqPolygon:
    case rqFloodFill:
    case rqArc:
    case rqPie:
    case rqCellText:
    case rqText:
    case rqPutImage:
    case rqFreeImage:
    case rqSetup:
      // No public operation issues these yet.
      break;
    default:
      rts::CaseTrap();
  }
}

void ExecuteOther(const Request& r);

int64_t NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// The window thread's posted messages.
graphsync::Lock gPostLock;
uint32_t gPosted[8];
int gPostedCount;
graphsync::Event gWake = GRAPHSYNC_AUTO_RESET_EVENT;

bool TakePosted(uint32_t& message) {
  graphsync::Hold hold(gPostLock);
  if (gPostedCount == 0) return false;
  message = gPosted[0];
  std::memmove(gPosted, gPosted + 1, sizeof gPosted[0] * static_cast<std::size_t>(--gPostedCount));
  return true;
}

// Copies the damaged area (or everything) to the window and shows it.
// The copy claims the buffer gate, so a drawing thread that never pauses still lets it in after its
// current request.
void Present(platform::WinHandle window, bool all) {
  graphsync::Hold windowHold(gWindowLock);
  Rect d;
  uint64_t copy;
  bool copied;
  {
    graphsync::Hold bufferHold(gBufferLock);
    d = all ? Rect{0, 0, gWidth, gDepth} : DamageRect();
    gDamage = kNoDamage;
    if (d.Empty()) return;
    copy = ++gCopies;
    gPresenting.store(true);
    copied = platform::WinCopyToWindow(window, gPixels, gWidth, gWidth, gDepth, d.left, d.top,
                                       d.right, d.bottom);
  }
  // Revision 1's back buffer is larger than the client area: a change only in the hidden strip
  // has nothing to show.
  if (copied) platform::WinUpdateWindow(window, d.left, d.top, d.right, d.bottom);
  gPresenting.store(false);
  gPresents.fetch_add(1, std::memory_order_relaxed);
  gShown.Advance(copy);
}

}  // namespace

void Execute(const Request& r) {
  if (r.kind == rqLine) {  // the most frequent request goes first
    gBufferLock.Enter();
    if (!ShortLineRequest(r)) LineRequest(r);
    gBufferLock.Leave();
  } else {
    ExecuteOther(r);
  }
  // One thread executes requests at a time: a plain increment, atomic only for the readers.
  gExecuted[r.kind].store(gExecuted[r.kind].load(std::memory_order_relaxed) + 1,
                          std::memory_order_relaxed);
}

namespace {

void ExecuteOther(const Request& r) {
  if (r.kind >= kKinds) rts::CaseTrap();
  switch (r.kind) {
    case rqNone:
    case rqGetImage:  // no public operation captures images yet
      break;
    case rqLineStyle:
      gS.penStyle = r.a[0];
      break;
    case rqStdFill:
      gS.stdFill = true;
      gS.hatch = r.a[0];
      break;
    case rqPalette:
      std::memcpy(gS.palette, gPaletteTable, sizeof gS.palette);
      break;
    default: {
      graphsync::Inside inside(gBufferLock);
      Drawing(r);
      break;
    }
  }
}

}  // namespace

bool SetupBackBuffer(uint32_t width, uint32_t depth) {
  if (width > static_cast<uint32_t>(kMaxWidth) || depth > static_cast<uint32_t>(kMaxDepth)) {
    return false;
  }
  graphsync::Hold hold(gBufferLock);
  gWidth = static_cast<int32_t>(width);
  gDepth = static_cast<int32_t>(depth);
  std::fill(gPixels, gPixels + static_cast<std::size_t>(width) * depth, 0u);
  gDamage = DamageBox{0, 0, -gWidth, -gDepth};
  gS.clipped = false;
  return true;
}

void ResetSurfaceState() {
  gS.penStyle = kPsSolid;
  gS.stdFill = true;
  gS.hatch = 8;
  std::memset(gS.pattern, 0, sizeof gS.pattern);
  gS.bkColour = 0;
  gS.opaque = true;
  gS.clipped = false;
}

void SetUserPattern(const uint8_t (&mask)[8]) {
  gS.stdFill = false;
  std::memcpy(gS.pattern, mask, sizeof mask);
}

uint32_t BufferPixel(uint32_t x, uint32_t y) {
  graphsync::Hold hold(gBufferLock);
  if (x >= static_cast<uint32_t>(gWidth) || y >= static_cast<uint32_t>(gDepth)) return 0;
  return At(static_cast<int32_t>(x), static_cast<int32_t>(y));
}

uint64_t CountBufferPixels(uint32_t rgb) {
  graphsync::Hold hold(gBufferLock);
  const uint32_t* end =
      gPixels + static_cast<std::size_t>(gWidth) * static_cast<std::size_t>(gDepth);
  return static_cast<uint64_t>(std::count(static_cast<const uint32_t*>(gPixels), end, rgb));
}

uint64_t BufferChecksum() {
  graphsync::Hold hold(gBufferLock);
  uint64_t h = 14695981039346656037ull;  // 64-bit FNV-1a over the pixels, row by row
  const uint32_t* end =
      gPixels + static_cast<std::size_t>(gWidth) * static_cast<std::size_t>(gDepth);
  for (const uint32_t* p = gPixels; p != end; ++p) h = (h ^ *p) * 1099511628211ull;
  return h;
}

void SetAlwaysClip(bool on) {
  WaitIdle();
  gAlwaysClip.store(on, std::memory_order_relaxed);
}

void ReadBuffer(uint32_t* out) {
  WaitIdle();
  graphsync::Hold hold(gBufferLock);
  std::copy(gPixels, gPixels + static_cast<std::size_t>(gWidth) * static_cast<std::size_t>(gDepth),
            out);
}

bool DamagePending() {
  graphsync::Hold hold(gBufferLock);
  return !DamageRect().Empty() || gPresenting.load();
}

void PostMessage(uint32_t message) {
  {
    graphsync::Hold hold(gPostLock);
    if (gPostedCount < 8) gPosted[gPostedCount++] = message;
  }
  gWake.Set();
}

void ClearPostedMessages() {
  graphsync::Hold hold(gPostLock);
  gPostedCount = 0;
}

void PaintAll(platform::WinHandle window) {
  Present(window, true);
}

void Flush() {
  WaitIdle();
  if (gWindow.load() == 0) {
    if (gLost.load()) {
      const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
      timespec pause{0, static_cast<long>(period > 0 ? period : 16667) * 1000};
      nanosleep(&pause, nullptr);
    }
    return;
  }
  uint64_t target;
  {
    graphsync::Hold hold(gBufferLock);
    target = DamageRect().Empty() ? gCopies : gCopies + 1;
  }
  const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
  gShown.WaitAtLeast(target, 3 * (period > 0 ? period : 16667), [] { return gWindow.load() == 0; });
}

void WindowGone() {
  gShown.Wake();
}

int64_t RefreshPeriodUs() {
  const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
  return period > 0 ? period : 16667;
}

namespace {

void WriteLine(const char* a, const char* b = "") {
  char line[320];
  const int n = std::snprintf(line, sizeof line, "%s%s\n", a, b);
  if (n > 0)
    rts::WriteAll(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
}

// Answers how the loop ends when the window or the display is gone, after telling it.
bool Lost(platform::WinHandle window, LoopEnd& end) {
  char stray[256];
  if (platform::WinTakeStrayError(stray, sizeof stray)) WriteLine("Graph: ", stray);
  switch (platform::WinLost(window)) {
    case platform::WinLoss::kNone:
      return false;
    case platform::WinLoss::kWindow:
      WriteLine("Graph: window lost");
      end = LoopEnd::kWindowLost;
      break;
    case platform::WinLoss::kDisplay:
      WriteLine("Graph: display connection lost");
      end = LoopEnd::kDisplayLost;
      break;
  }
  gLost.store(true);
  return true;
}

}  // namespace

LoopEnd MessageLoop(platform::WinHandle window, WindowProc proc) {
  const int64_t period = platform::WinRefreshPeriodUs(window);
  gPeriodUs.store(period, std::memory_order_relaxed);
  gLost.store(false);
  int64_t due = NowUs();
  LoopEnd end;
  for (;;) {
    platform::WinMessage m;
    while (platform::WinPeekMessage(window, m)) {
      if (!proc(window, m)) return LoopEnd::kClosed;
    }
    if (Lost(window, end)) return end;
    uint32_t posted;
    while (TakePosted(posted)) {
      if (posted == platform::WM_QUIT) return LoopEnd::kQuit;
      if (!proc(window, platform::WinMessage{posted, 0, 0})) return LoopEnd::kClosed;
    }
    int64_t now = NowUs();
    if (now >= due) {
      Present(window, false);
      if (Lost(window, end)) return end;
      due = now + period;
    }
    gWake.WaitForUs(std::max<int64_t>(due - NowUs(), 0));
  }
}

void Fail(const char* text, const char* caption, const char* detail) {
  if (!detail || !*detail) {
    platform::WinMessageBox(text, caption);
    return;
  }
  char full[400];
  std::snprintf(full, sizeof full, "%s (%s)", text, detail);
  platform::WinMessageBox(full, caption);
}

}  // namespace graphcore
