// The rasterizer: lines, rectangles, ellipses and inversion over an explicit surface.
#include "graph/raster.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "graph/font.h"

namespace graphraster {
namespace {

using i128 = __int128;
using u128 = unsigned __int128;

// On/off patterns of the styled pens, one bit per step starting at bit 0, and their lengths.
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

uint32_t Rgb(const Surface& s, uint32_t colour) {
  return s.palette[colour & 0xFF];
}

// Adds the non-empty rectangle [left, right) x [top, bottom) to the damage.
void Damage(Surface& s, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  s.damage.left = std::min(s.damage.left, static_cast<int32_t>(left));
  s.damage.top = std::min(s.damage.top, static_cast<int32_t>(top));
  s.damage.right = std::max(s.damage.right, static_cast<int32_t>(right));
  s.damage.bottom = std::max(s.damage.bottom, static_cast<int32_t>(bottom));
}

uint32_t* Row(Surface& s, int64_t y) {
  return s.pixels + y * s.stride;
}

i128 FloorDiv(i128 a, i128 b) {  // b > 0
  i128 q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}
i128 CeilDiv(i128 a, i128 b) {
  return -FloorDiv(-a, b);
}

// The pen of one line or outline: its pattern, colours and mix.
struct Pen {
  Dashes dashes;
  uint32_t rgb;
  uint32_t bkRgb;
  bool opaque;
};

Pen MakePen(const Surface& s, uint32_t style, uint32_t colour) {
  return Pen{kDashes[style < 6 ? style : kPsSolid], Rgb(s, colour), Rgb(s, s.bkColour), s.opaque};
}

// The visible steps [lo, hi] of a line with d major and dm minor steps from (m1, n1) in
// directions (sM, sm), the major coordinate kept in [majLo, majHi] and the minor one in
// [minLo, minHi]; t and e are the minor offset and the remainder of step lo. Answers false when no
// step is visible.
bool ClipSteps(int64_t d, int64_t dm, int64_t sM, int64_t sm, int64_t m1, int64_t n1, int64_t majLo,
               int64_t majHi, int64_t minLo, int64_t minHi, int64_t& lo, int64_t& hi, int64_t& t,
               int64_t& e) {
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
  const i128 d2 = i128{d} * 2, dm2 = i128{dm} * 2;
  if (dm == 0) {
    if (tLo > 0 || tHi < 0) return false;
  } else {
    const i128 iLo = CeilDiv(d2 * tLo - d, dm2);
    const i128 iHi = FloorDiv(d2 * (i128{tHi} + 1) - d - 1, dm2);
    if (iLo > lo) lo = iLo > hi ? hi + 1 : static_cast<int64_t>(iLo);
    if (iHi < hi) hi = iHi < lo ? lo - 1 : static_cast<int64_t>(iHi);
  }
  if (lo > hi) return false;
  const i128 num = i128{lo} * dm2 + d;
  t = static_cast<int64_t>(num / d2);
  e = static_cast<int64_t>(num % d2);
  return true;
}

// The one line-stepping routine. Draws steps 0 .. n-1 of the line from (x1, y1) to (x2, y2), and
// step n (the end point) too with `withEnd`: step i sets the pixel i along the major axis and
// floor((2 i dm + n) / 2n) along the minor one. Only the steps inside the draw area are visited:
// with both end points inside, all of them; otherwise the first and last visible step come from
// exact 128-bit arithmetic, so any 32-bit end points give the unclipped line's pixels. The pen's
// pattern is at `phase` on step 0; answers the phase of step n.
uint32_t Steps(Surface& s, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen,
               uint32_t phase, bool withEnd) {
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t d = xMajor ? adx : ady;   // steps along the major axis
  const int64_t dm = xMajor ? ady : adx;  // steps along the minor axis
  // A solid pen has no phase to carry on (and its lines need no division for it).
  const bool solid = pen.dashes.bits == kDashes[kPsSolid].bits;
  const uint32_t next =
      solid ? 0 : static_cast<uint32_t>((phase + static_cast<uint64_t>(d)) % pen.dashes.length);
  int64_t lo = 0, hi = withEnd ? d : d - 1;
  if (hi < 0 || pen.dashes.bits == 0) return next;
  const Rect c = DrawArea(s);
  if (c.Empty()) return next;
  const int64_t sM = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t sm = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t m1 = xMajor ? x1 : y1;  // major start
  const int64_t n1 = xMajor ? y1 : x1;  // minor start
  int64_t t = 0, e = d;                 // minor offset and remainder of step lo
  const bool inside = x1 >= c.left && x1 < c.right && x2 >= c.left && x2 < c.right && y1 >= c.top &&
                      y1 < c.bottom && y2 >= c.top && y2 < c.bottom;
  // The damage: the end points' box for a line inside (a step beyond the last drawn one at most),
  // else the box of the first and last visible steps.
  int64_t at;
  if (inside) {
    Damage(s, std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1);
    at = y1 * s.stride + x1;
  } else {
    const int64_t majLo = xMajor ? c.left : c.top, majHi = (xMajor ? c.right : c.bottom) - 1;
    const int64_t minLo = xMajor ? c.top : c.left, minHi = (xMajor ? c.bottom : c.right) - 1;
    if (!ClipSteps(d, dm, sM, sm, m1, n1, majLo, majHi, minLo, minHi, lo, hi, t, e)) return next;
    const int64_t tEnd = static_cast<int64_t>((i128{hi} * 2 * dm + d) / (i128{2} * d));
    const int64_t majorA = m1 + sM * lo, minorA = n1 + sm * t;
    const int64_t majorB = m1 + sM * hi, minorB = n1 + sm * tEnd;
    const int64_t xa = xMajor ? majorA : minorA, ya = xMajor ? minorA : majorA;
    const int64_t xb = xMajor ? majorB : minorB, yb = xMajor ? minorB : majorB;
    Damage(s, std::min(xa, xb), std::min(ya, yb), std::max(xa, xb) + 1, std::max(ya, yb) + 1);
    at = ya * s.stride + xa;
  }

  const int64_t majorStep = xMajor ? sM : sM * s.stride;
  const int64_t minorStep = xMajor ? sm * s.stride : sm;
  const int64_t d2 = 2 * d, dm2 = 2 * dm;
  uint32_t* const p = s.pixels;
  uint32_t ph =
      solid ? 0 : static_cast<uint32_t>((phase + static_cast<uint64_t>(lo)) % pen.dashes.length);
  // A solid pen needs no pattern test. The pen's colours are held in locals, as the pixel stores
  // could otherwise be taken to change them.
  const uint32_t rgb = pen.rgb, bkRgb = pen.bkRgb, bits = pen.dashes.bits;
  auto walk = [&](auto allOn) {
    for (int64_t k = lo; k <= hi; ++k) {
      if (allOn || ((bits >> ph) & 1)) {
        p[at] = rgb;
      } else if (pen.opaque) {
        p[at] = bkRgb;
      }
      if (!allOn && ++ph == pen.dashes.length) ph = 0;
      at += majorStep;
      e += dm2;
      if (e >= d2) {
        e -= d2;
        at += minorStep;
      }
    }
  };
  if (solid) {
    walk(std::true_type{});
  } else {
    walk(std::false_type{});
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

Brush MakeBrush(const Surface& s, uint32_t colour) {
  Brush b{nullptr, Rgb(s, colour), Rgb(s, s.bkColour), true};
  if (s.stdFill) {
    if (s.hatch < 6) {
      b.rows = kHatches[s.hatch];
      b.paintClear = s.opaque;
    }
  } else {
    b.rows = s.pattern;
  }
  return b;
}

Brush Ink(uint32_t rgb) {
  return Brush{nullptr, rgb, 0, true};
}

// Fills [x1, x2] x [y, y] (inclusive, unclipped coordinates) with the brush, within `c`.
void Span(Surface& s, int64_t x1, int64_t x2, int64_t y, const Brush& b, const Rect& c) {
  if (y < c.top || y >= c.bottom) return;
  x1 = std::max<int64_t>(x1, c.left);
  x2 = std::min<int64_t>(x2, c.right - 1);
  if (x1 > x2) return;
  uint32_t* row = Row(s, y);
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
  Damage(s, x1, y, x2 + 1, y + 1);
}

// Fills the inclusive rectangle (x1, y1) .. (x2, y2) with the brush.
void FillBox(Surface& s, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Brush& b) {
  const Rect c = DrawArea(s);
  for (int64_t y = std::max<int64_t>(y1, c.top); y <= std::min<int64_t>(y2, c.bottom - 1); ++y) {
    Span(s, x1, x2, y, b, c);
  }
}

// Outlines the inclusive rectangle (x1, y1) .. (x2, y2), x1 <= x2 and y1 <= y2, with the pen, the
// pattern running on round the corners.
void OutlineBox(Surface& s, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen) {
  if (x1 == x2 && y1 == y2) {
    Steps(s, x1, y1, x1, y1, pen, 0, true);
    return;
  }
  uint32_t ph = Steps(s, x1, y1, x2, y1, pen, 0, false);
  ph = Steps(s, x2, y1, x2, y2, pen, ph, false);
  if (y1 == y2) {
    Steps(s, x2, y1, x1, y1, pen, ph, false);
    return;
  }
  ph = Steps(s, x2, y2, x1, y2, pen, ph, false);
  Steps(s, x1, y2, x1, y1, pen, ph, false);
}

// An ellipse inscribed in the box [l, l + w) x [t, t + h). Pixel (x, y) has the doubled centre
// coordinates u = 2x + 1 - 2l - w and v = 2y + 1 - 2t - h relative to the ellipse's centre (u has
// the parity of w + 1, v that of h + 1); it belongs to the ellipse when
// u^2 h^2 + v^2 w^2 <= w^2 h^2.
struct Oval {
  int64_t l, t;
  uint64_t w, h;
  // The outline's positions for a styled pen (see Position).
  int64_t vMin, uMin, nY, uX, top, cw, ch, length;
};

// The largest |u| of the row |v| = av that lies inside, or -1 when the row has no pixel.
int64_t HalfWidth(uint64_t w, uint64_t h, uint64_t av) {
  if (w == 0 || h == 0 || av > h) return -1;
  // Inside: (u h)^2 <= K = w^2 (h^2 - v^2).
  const u128 k = u128{w * w} * u128{h * h - av * av};
  const double ratio = static_cast<double>(av) / static_cast<double>(h);
  uint64_t q =
      static_cast<uint64_t>(static_cast<double>(w) * std::sqrt(std::max(0.0, 1 - ratio * ratio)));
  q = std::min(q, w);
  auto fits = [&](uint64_t c) { return u128{c * h} * u128{c * h} <= k; };
  while (q > 0 && !fits(q)) --q;
  while (q < w && fits(q + 1)) ++q;
  if (((q ^ (w + 1)) & 1) != 0) {
    if (q == 0) return -1;
    --q;
  }
  return static_cast<int64_t>(q);
}

// Row y's inclusive span [lo, hi] of the oval's pixels, or none (false).
bool OvalRow(const Oval& o, int64_t y, int64_t& lo, int64_t& hi) {
  const int64_t v = 2 * y + 1 - 2 * o.t - static_cast<int64_t>(o.h);
  const int64_t q = HalfWidth(o.w, o.h, static_cast<uint64_t>(v < 0 ? -v : v));
  if (q < 0) return false;
  const int64_t base = 2 * o.l + static_cast<int64_t>(o.w) - 1;
  lo = (base - q) / 2;
  hi = (base + q) / 2;
  return true;
}

// The oval in the box with corners (l, t) and (r, b) in any order, right column and bottom row
// excluded, with its outline positions: in each quadrant, counted from the horizontal end, one
// position per row up to the row where the continuous ellipse's slope passes 45 degrees
// (v^2 (w^2 + h^2) = h^4), then one per column up to the vertical end; the quadrants follow each
// other counter-clockwise from the right end.
Oval MakeOval(int64_t l, int64_t t, int64_t r, int64_t b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  Oval o{};
  o.l = l;
  o.t = t;
  o.w = static_cast<uint64_t>(r - l);
  o.h = static_cast<uint64_t>(b - t);
  if (o.w == 0 || o.h == 0) return o;
  o.vMin = (o.h & 1) ? 0 : 1;
  o.uMin = (o.w & 1) ? 0 : 1;
  o.cw = o.uMin;  // one more step across the top when there is no centre column
  o.ch = o.vMin;  // and across the ends when there is no middle row
  const double w = static_cast<double>(o.w), h = static_cast<double>(o.h);
  const double vB = h * h / std::sqrt(w * w + h * h);
  o.nY = vB > static_cast<double>(o.vMin)
             ? static_cast<int64_t>(std::ceil((vB - static_cast<double>(o.vMin)) / 2))
             : 0;
  o.uX = HalfWidth(o.w, o.h, static_cast<uint64_t>(o.vMin + 2 * o.nY));
  o.top = o.uX >= 0 ? o.nY + (o.uX - o.uMin) / 2 : std::max<int64_t>(o.nY - 1, 0);
  o.length = std::max<int64_t>(4 * o.top + 2 * o.cw + 2 * o.ch, 1);
  return o;
}

// The outline position of the oval's pixel (u, v).
int64_t Position(const Oval& o, int64_t u, int64_t v) {
  const int64_t au = u < 0 ? -u : u, av = v < 0 ? -v : v;
  const int64_t row = (av - o.vMin) / 2;
  const int64_t f = row < o.nY || o.uX < 0 ? row : o.nY + std::max<int64_t>(o.uX - au, 0) / 2;
  if (u > 0 && v <= 0) return f;
  if (u <= 0 && v < 0) return 2 * o.top + o.cw - f;
  if (u < 0 && v >= 0) return 2 * o.top + o.cw + o.ch + f;
  if (u >= 0 && v > 0) return 4 * o.top + 2 * o.cw + o.ch - f;
  return 0;  // the centre, an outline pixel of the smallest ovals only
}

// The angular range of an arc: counter-clockwise on the screen from direction S to direction E
// (doubled centre coordinates; y grows downward, so the screen's counter-clockwise is the
// mathematical one with v negated).
struct Sweep {
  bool all;
  int64_t su, sv, eu, ev;
  int sense;  // sign of cross(S, E)
};

i128 Cross(int64_t au, int64_t av, int64_t bu, int64_t bv) {
  // In mathematical orientation (x = u, y = -v).
  return i128{au} * -i128{bv} - (-i128{av}) * i128{bu};
}

Sweep MakeSweep(const Oval& o, int64_t xs, int64_t ys, int64_t xe, int64_t ye) {
  Sweep w{};
  const int64_t cu = 2 * o.l + static_cast<int64_t>(o.w), cv = 2 * o.t + static_cast<int64_t>(o.h);
  w.su = 2 * xs + 1 - cu;
  w.sv = 2 * ys + 1 - cv;
  w.eu = 2 * xe + 1 - cu;
  w.ev = 2 * ye + 1 - cv;
  if (w.su == 0 && w.sv == 0) w.su = 1;
  if (w.eu == 0 && w.ev == 0) w.eu = 1;
  const i128 c = Cross(w.su, w.sv, w.eu, w.ev);
  const i128 dot = i128{w.su} * w.eu + i128{w.sv} * w.ev;
  w.all = c == 0 && dot > 0;
  w.sense = c > 0 ? 1 : c < 0 ? -1 : 0;
  return w;
}

bool InSweep(const Sweep& w, int64_t u, int64_t v) {
  if (w.all) return true;
  const bool afterStart = Cross(w.su, w.sv, u, v) >= 0;
  if (w.sense == 0) return afterStart;  // half the ellipse
  const bool beforeEnd = Cross(u, v, w.eu, w.ev) >= 0;
  return w.sense > 0 ? afterStart && beforeEnd : afterStart || beforeEnd;
}

// Sets pixel (x, y), inside `c`, with the brush.
void BrushPixel(Surface& s, int64_t x, int64_t y, const Brush& b) {
  uint32_t& p = Row(s, y)[x];
  if (!b.rows || ((b.rows[y & 7] >> (7 - (x & 7))) & 1)) {
    p = b.rgb;
  } else if (b.paintClear) {
    p = b.bkRgb;
  }
}

// Draws the outline pixels [x1, x2] of row y (unclipped coordinates) with the pen, those in the
// sweep only when one is given.
void OutlineRun(Surface& s, const Oval& o, int64_t x1, int64_t x2, int64_t y, const Pen& pen,
                const Sweep* sweep, const Rect& c) {
  if (y < c.top || y >= c.bottom) return;
  x1 = std::max<int64_t>(x1, c.left);
  x2 = std::min<int64_t>(x2, c.right - 1);
  if (x1 > x2) return;
  const bool solid = pen.dashes.bits == kDashes[kPsSolid].bits;
  if (solid && !sweep) {
    Span(s, x1, x2, y, Ink(pen.rgb), c);
    return;
  }
  const int64_t v = 2 * y + 1 - 2 * o.t - static_cast<int64_t>(o.h);
  uint32_t* row = Row(s, y);
  int64_t first = INT64_MAX, last = INT64_MIN;
  for (int64_t x = x1; x <= x2; ++x) {
    const int64_t u = 2 * x + 1 - 2 * o.l - static_cast<int64_t>(o.w);
    if (sweep && !InSweep(*sweep, u, v)) continue;
    const bool on =
        solid || ((pen.dashes.bits >> (Position(o, u, v) % pen.dashes.length)) & 1) != 0;
    if (on) {
      row[x] = pen.rgb;
    } else if (pen.opaque) {
      row[x] = pen.bkRgb;
    } else {
      continue;
    }
    first = std::min(first, x);
    last = x;
  }
  if (first <= last) Damage(s, first, y, last + 1, y + 1);
}

// The oval: with `fill` its area in the brush, and with `pen` its outline (the set of its pixels
// with a 4-neighbour outside) on top; both limited to `sweep` when one is given.
void DrawOval(Surface& s, const Oval& o, const Brush* fill, const Pen* pen, const Sweep* sweep) {
  if (o.w == 0 || o.h == 0) return;
  const Rect c = DrawArea(s);
  const int64_t b = o.t + static_cast<int64_t>(o.h);
  const int64_t y0 = std::max<int64_t>(o.t, c.top), y1 = std::min<int64_t>(b - 1, c.bottom - 1);
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t lo, hi;
    if (!OvalRow(o, y, lo, hi)) continue;
    if (fill && !sweep) {
      Span(s, lo, hi, y, *fill, c);
    } else if (fill) {
      const int64_t v = 2 * y + 1 - 2 * o.t - static_cast<int64_t>(o.h);
      const int64_t x1 = std::max<int64_t>(lo, c.left), x2 = std::min<int64_t>(hi, c.right - 1);
      int64_t first = INT64_MAX, last = INT64_MIN;
      for (int64_t x = x1; x <= x2; ++x) {
        if (!InSweep(*sweep, 2 * x + 1 - 2 * o.l - static_cast<int64_t>(o.w), v)) continue;
        BrushPixel(s, x, y, *fill);
        first = std::min(first, x);
        last = x;
      }
      if (first <= last) Damage(s, first, y, last + 1, y + 1);
    }
    if (!pen) continue;
    int64_t ulo, uhi, dlo, dhi;
    const bool up = OvalRow(o, y - 1, ulo, uhi);
    const bool down = OvalRow(o, y + 1, dlo, dhi);
    const int64_t ilo = up && down ? std::max({lo + 1, ulo, dlo}) : hi + 1;
    const int64_t ihi = up && down ? std::min({hi - 1, uhi, dhi}) : lo - 1;
    if (ilo > ihi) {
      OutlineRun(s, o, lo, hi, y, *pen, sweep, c);
    } else {
      OutlineRun(s, o, lo, ilo - 1, y, *pen, sweep, c);
      OutlineRun(s, o, ihi + 1, hi, y, *pen, sweep, c);
    }
  }
}

// The pixel nearest to where the ray from the oval's centre in direction (du, dv) (doubled
// coordinates) meets the ellipse, kept inside the box.
void RayEnd(const Oval& o, int64_t du, int64_t dv, int64_t& x, int64_t& y) {
  const double w = static_cast<double>(o.w), h = static_cast<double>(o.h);
  const double fu = static_cast<double>(du), fv = static_cast<double>(dv);
  const double k = 1 / std::sqrt(fu * fu / (w * w) + fv * fv / (h * h));
  const double cu = static_cast<double>(2 * o.l) + w, cv = static_cast<double>(2 * o.t) + h;
  x = static_cast<int64_t>(std::llround(std::floor((k * fu + cu - 1) / 2 + 0.5)));
  y = static_cast<int64_t>(std::llround(std::floor((k * fv + cv - 1) / 2 + 0.5)));
  x = std::clamp<int64_t>(x, o.l, o.l + static_cast<int64_t>(o.w) - 1);
  y = std::clamp<int64_t>(y, o.t, o.t + static_cast<int64_t>(o.h) - 1);
}

}  // namespace

Rect DrawArea(const Surface& s) {
  Rect r{0, 0, s.width, s.depth};
  if (s.clipped) {
    r.left = std::max(r.left, s.clip.left);
    r.top = std::max(r.top, s.clip.top);
    r.right = std::min(r.right, s.clip.right);
    r.bottom = std::min(r.bottom, s.clip.bottom);
  }
  return r;
}

void Pixel(Surface& s, int32_t x, int32_t y, uint32_t colour) {
  const Rect c = DrawArea(s);
  if (x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
  Row(s, y)[x] = Rgb(s, colour);
  Damage(s, x, y, int64_t{x} + 1, int64_t{y} + 1);
}

void Line(Surface& s, const Rules& rules, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
          uint32_t colour) {
  const Pen pen = MakePen(s, s.penStyle, colour);
  // With a solid pen the end point is the line's step n, drawn in the same pass.
  const bool endStep = rules.lineEndPoint && pen.dashes.bits == kDashes[kPsSolid].bits;
  Steps(s, x1, y1, x2, y2, pen, 0, endStep);
  if (rules.lineEndPoint && !endStep) Pixel(s, x2, y2, colour);
}

void Rectangle(Surface& s, const Rules& rules, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2,
               uint32_t colour, bool fill) {
  auto signedValue = [](uint32_t v) { return static_cast<int64_t>(static_cast<int32_t>(v)); };
  int64_t l, t, r, b;
  if (rules.rectangleInclusive) {
    // Corners in order as unsigned numbers; one point is a pixel.
    const uint32_t ux1 = std::min(x1, x2), ux2 = std::max(x1, x2);
    const uint32_t uy1 = std::min(y1, y2), uy2 = std::max(y1, y2);
    if (ux1 == ux2 && uy1 == uy2) {
      Pixel(s, static_cast<int32_t>(ux1), static_cast<int32_t>(uy1), colour);
      return;
    }
    l = std::min(signedValue(ux1), signedValue(ux2));
    r = std::max(signedValue(ux1), signedValue(ux2));
    t = std::min(signedValue(uy1), signedValue(uy2));
    b = std::max(signedValue(uy1), signedValue(uy2));
  } else {
    // The right column and bottom row are excluded; a fill without a pen loses one more.
    const int64_t less = fill && !rules.filledOutline ? 2 : 1;
    l = std::min(signedValue(x1), signedValue(x2));
    r = std::max(signedValue(x1), signedValue(x2)) - less;
    t = std::min(signedValue(y1), signedValue(y2));
    b = std::max(signedValue(y1), signedValue(y2)) - less;
    if (r < l || b < t) return;
  }
  if (fill) {
    FillBox(s, l, t, r, b, MakeBrush(s, colour));
    if (rules.filledOutline) OutlineBox(s, l, t, r, b, MakePen(s, kPsSolid, colour));
  } else {
    OutlineBox(s, l, t, r, b, MakePen(s, s.penStyle, colour));
  }
}

void Ellipse(Surface& s, const Rules& rules, int32_t left, int32_t top, int32_t right,
             int32_t bottom, uint32_t colour, bool fill) {
  const Pen pen = MakePen(s, fill ? kPsSolid : s.penStyle, colour);
  const bool outline = fill ? rules.filledOutline : pen.dashes.bits != 0;
  const Brush brush = MakeBrush(s, colour);
  DrawOval(s, MakeOval(left, top, right, bottom), fill ? &brush : nullptr, outline ? &pen : nullptr,
           nullptr);
}

void Invert(Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  int64_t l = left, t = top, r = right, b = bottom;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const Rect c = DrawArea(s);
  l = std::max<int64_t>(l, c.left);
  t = std::max<int64_t>(t, c.top);
  r = std::min<int64_t>(r, c.right);
  b = std::min<int64_t>(b, c.bottom);
  if (l >= r || t >= b) return;
  for (int64_t y = t; y < b; ++y) {
    uint32_t* row = Row(s, y);
    for (int64_t x = l; x < r; ++x) row[x] ^= 0x00FFFFFF;
  }
  Damage(s, l, t, r, b);
}

void Arc(Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t xs,
         int32_t ys, int32_t xe, int32_t ye, uint32_t colour) {
  const Pen pen = MakePen(s, s.penStyle, colour);
  if (pen.dashes.bits == 0) return;
  const Oval o = MakeOval(left, top, right, bottom);
  if (o.w == 0 || o.h == 0) return;
  const Sweep sweep = MakeSweep(o, xs, ys, xe, ye);
  DrawOval(s, o, nullptr, &pen, &sweep);
}

void Pie(Surface& s, const Rules& rules, int32_t left, int32_t top, int32_t right, int32_t bottom,
         int32_t xs, int32_t ys, int32_t xe, int32_t ye, uint32_t colour, bool fill) {
  const Oval o = MakeOval(left, top, right, bottom);
  if (o.w == 0 || o.h == 0) return;
  const Sweep sweep = MakeSweep(o, xs, ys, xe, ye);
  const Pen pen = MakePen(s, fill ? kPsSolid : s.penStyle, colour);
  const bool outline = fill ? rules.filledOutline : pen.dashes.bits != 0;
  const Brush brush = MakeBrush(s, colour);
  DrawOval(s, o, fill ? &brush : nullptr, outline ? &pen : nullptr, &sweep);
  if (!outline) return;
  const int64_t cx = o.l + static_cast<int64_t>(o.w - 1) / 2;
  const int64_t cy = o.t + static_cast<int64_t>(o.h - 1) / 2;
  int64_t x, y;
  RayEnd(o, sweep.su, sweep.sv, x, y);
  Steps(s, cx, cy, x, y, pen, 0, true);
  RayEnd(o, sweep.eu, sweep.ev, x, y);
  Steps(s, cx, cy, x, y, pen, 0, true);
}

void Polygon(Surface& s, const Rules& rules, const Point* points, uint32_t count, uint32_t colour,
             bool fill) {
  if (count == 0 || points == nullptr) return;
  if (!fill) {
    const Pen pen = MakePen(s, s.penStyle, colour);
    uint32_t phase = 0;
    for (uint32_t i = 0; i + 1 < count; ++i) {
      phase =
          Steps(s, points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, pen, phase, false);
    }
    if (rules.lineEndPoint) Pixel(s, points[count - 1].x, points[count - 1].y, colour);
    return;
  }
  // The rows the polygon spans, within the draw area.
  const Rect c = DrawArea(s);
  int64_t yMin = INT64_MAX, yMax = INT64_MIN;
  for (uint32_t i = 0; i < count; ++i) {
    yMin = std::min<int64_t>(yMin, points[i].y);
    yMax = std::max<int64_t>(yMax, points[i].y);
  }
  const Brush brush = MakeBrush(s, colour);
  constexpr uint32_t kMaxEdges = 128;
  for (int64_t y = std::max<int64_t>(yMin, c.top); y < std::min<int64_t>(yMax, c.bottom); ++y) {
    // Where each edge crosses the row's centre line y + 1/2: the first pixel whose centre lies at
    // or right of the crossing. Pixels between the first and second crossing, the third and
    // fourth, ... are inside.
    int64_t cross[kMaxEdges];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < kMaxEdges; ++i) {
      Point a = points[i], b = points[(i + 1) % count];
      if (a.y == b.y) continue;
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      // Crossing at x = a.x + (y + 1/2 - a.y) (b.x - a.x) / D; the pixel x is right of it when
      // (2x + 1) D >= 2 a.x D + (2y + 1 - 2 a.y)(b.x - a.x).
      const i128 d = i128{b.y} - a.y;
      const i128 p = 2 * i128{a.x} * d + (2 * i128{y} + 1 - 2 * i128{a.y}) * (i128{b.x} - a.x);
      cross[n++] = static_cast<int64_t>(CeilDiv(p - d, 2 * d));
    }
    std::sort(cross, cross + n);
    for (uint32_t k = 0; k + 1 < n; k += 2) {
      if (cross[k] < cross[k + 1]) Span(s, cross[k], cross[k + 1] - 1, y, brush, c);
    }
  }
  if (rules.filledOutline) {
    const Pen pen = MakePen(s, kPsSolid, colour);
    if (count == 1) Steps(s, points[0].x, points[0].y, points[0].x, points[0].y, pen, 0, true);
    for (uint32_t i = 0; i < count && count > 1; ++i) {
      const Point a = points[i], b = points[(i + 1) % count];
      Steps(s, a.x, a.y, b.x, b.y, pen, 0, false);
    }
  }
}

void FloodFill(Surface& s, int32_t x, int32_t y, uint32_t colour, uint32_t border,
               FillScratch& scratch) {
  const Rect c = DrawArea(s);
  if (c.Empty() || x < c.left || x >= c.right || y < c.top || y >= c.bottom) return;
  const int64_t width = int64_t{c.right} - c.left, depth = int64_t{c.bottom} - c.top;
  if (width * depth > FillScratch::kMaxPixels) return;
  const uint32_t borderRgb = Rgb(s, border);
  if (Row(s, y)[x] == borderRgb) return;
  uint64_t* marks = scratch.marks;
  std::fill(marks, marks + (width * depth + 63) / 64, uint64_t{0});
  auto bit = [&](int64_t px, int64_t py) { return (py - c.top) * width + (px - c.left); };
  auto marked = [&](int64_t px, int64_t py) {
    const int64_t b = bit(px, py);
    return (marks[b >> 6] >> (b & 63)) & 1;
  };
  auto open = [&](int64_t px, int64_t py) {
    return !marked(px, py) && Row(s, py)[px] != borderRgb;
  };
  const int limit = scratch.spanLimit > 0 && scratch.spanLimit < FillScratch::kSpans
                        ? scratch.spanLimit
                        : FillScratch::kSpans;
  int top = 0;
  bool overflow = false;
  // Marks the open run through (px, py), which is open, and pushes it.
  auto take = [&](int64_t px, int64_t py) {
    int64_t l = px, r = px;
    while (l > c.left && open(l - 1, py)) --l;
    while (r + 1 < c.right && open(r + 1, py)) ++r;
    for (int64_t k = l; k <= r; ++k) {
      const int64_t b = bit(k, py);
      marks[b >> 6] |= uint64_t{1} << (b & 63);
    }
    if (top == limit) {
      overflow = true;  // found again by the search below
    } else {
      scratch.spans[top++] = {static_cast<int32_t>(py), static_cast<int32_t>(l),
                              static_cast<int32_t>(r)};
    }
  };
  auto drain = [&] {
    while (top > 0) {
      const FillScratch::Span span = scratch.spans[--top];
      for (int64_t ny = int64_t{span.y} - 1; ny <= int64_t{span.y} + 1; ny += 2) {
        if (ny < c.top || ny >= c.bottom) continue;
        for (int64_t k = span.left; k <= span.right; ++k) {
          if (open(k, ny)) take(k, ny);
        }
      }
    }
  };
  take(x, y);
  drain();
  while (overflow) {
    // Some runs were marked but never searched from: take every open pixel beside a marked one.
    overflow = false;
    for (int64_t py = c.top; py < c.bottom; ++py) {
      for (int64_t px = c.left; px < c.right; ++px) {
        if (!open(px, py)) continue;
        if ((px > c.left && marked(px - 1, py)) || (px + 1 < c.right && marked(px + 1, py)) ||
            (py > c.top && marked(px, py - 1)) || (py + 1 < c.bottom && marked(px, py + 1))) {
          take(px, py);
          drain();
        }
      }
    }
  }
  // Paint the marked runs.
  const Brush brush = MakeBrush(s, colour);
  for (int64_t py = c.top; py < c.bottom; ++py) {
    for (int64_t px = c.left; px < c.right; ++px) {
      if (!marked(px, py)) continue;
      int64_t end = px;
      while (end + 1 < c.right && marked(end + 1, py)) ++end;
      Span(s, px, end, py, brush, c);
      px = end;
    }
  }
}

namespace {

// Draws the glyph of `ch` with its top-left corner at (x, y) in `rgb`, strokes only, within `c`.
void Glyph(Surface& s, int64_t x, int64_t y, unsigned char ch, uint32_t rgb, const Rect& c) {
  const uint8_t* rows = graphfont::GlyphRows(ch);
  if (!rows) return;
  for (int64_t r = 0; r < graphfont::kHeight; ++r) {
    const int64_t py = y + r;
    if (py < c.top || py >= c.bottom || rows[r] == 0) continue;
    int64_t first = INT64_MAX, last = INT64_MIN;
    for (int64_t k = 0; k < graphfont::kWidth; ++k) {
      const int64_t px = x + k;
      if (px < c.left || px >= c.right || ((rows[r] >> (7 - k)) & 1) == 0) continue;
      Row(s, py)[px] = rgb;
      first = std::min(first, px);
      last = px;
    }
    if (first <= last) Damage(s, first, py, last + 1, py + 1);
  }
}

}  // namespace

void Text(Surface& s, int32_t x, int32_t y, const char* text, uint32_t length, uint32_t colour) {
  if (length == 0) return;
  const Rect c = DrawArea(s);
  if (s.opaque) {
    FillBox(s, x, y, x + int64_t{length} * graphfont::kWidth - 1,
            int64_t{y} + graphfont::kHeight - 1, Ink(Rgb(s, s.bkColour)));
  }
  const uint32_t rgb = Rgb(s, colour);
  for (uint32_t i = 0; i < length; ++i) {
    const int64_t cx = x + int64_t{i} * graphfont::kWidth;
    if (cx >= c.right) break;
    if (cx + graphfont::kWidth <= c.left) continue;
    Glyph(s, cx, y, static_cast<unsigned char>(text[i]), rgb, c);
  }
}

void CellText(Surface& s, int32_t x, int32_t y, const char* text, uint32_t length,
              uint32_t textColour, uint32_t boxColour, uint32_t cellWidth, uint32_t height) {
  if (length == 0) return;
  const Rect c = DrawArea(s);
  FillBox(s, x, y, x + int64_t{length} * cellWidth - 1, int64_t{y} + height,
          Ink(Rgb(s, boxColour)));
  const uint32_t rgb = Rgb(s, textColour);
  for (uint32_t i = 0; i < length; ++i) {
    const int64_t cx = x + int64_t{i} * cellWidth;
    if (cx >= c.right) break;
    if (cx + graphfont::kWidth <= c.left) continue;
    Glyph(s, cx, y, static_cast<unsigned char>(text[i]), rgb, c);
  }
}

void CopyOut(const Surface& s, int64_t left, int64_t top, int64_t width, int64_t height,
             uint32_t* out) {
  for (int64_t r = 0; r < height; ++r) {
    const int64_t y = top + r;
    uint32_t* to = out + r * width;
    if (y < 0 || y >= s.depth) {
      std::fill(to, to + width, 0u);
      continue;
    }
    const uint32_t* from = s.pixels + y * s.stride;
    for (int64_t k = 0; k < width; ++k) {
      const int64_t x = left + k;
      to[k] = x >= 0 && x < s.width ? from[x] : 0;
    }
  }
}

void PutImage(Surface& s, int32_t x, int32_t y, const uint32_t* image, int64_t width,
              int64_t height, uint32_t rop) {
  if (rop != kRopCopy && rop != kRopErase && rop != kRopAnd && rop != kRopPaint &&
      rop != kRopInvert) {
    return;
  }
  const Rect c = DrawArea(s);
  const int64_t l = std::max<int64_t>(x, c.left), r = std::min<int64_t>(x + width, c.right);
  const int64_t t = std::max<int64_t>(y, c.top), b = std::min<int64_t>(y + height, c.bottom);
  if (l >= r || t >= b) return;
  for (int64_t py = t; py < b; ++py) {
    const uint32_t* src = image + (py - y) * width;
    uint32_t* dst = Row(s, py);
    for (int64_t px = l; px < r; ++px) {
      const uint32_t a = src[px - x], d = dst[px];
      switch (rop) {
        case kRopCopy:
          dst[px] = a;
          break;
        case kRopErase:
          dst[px] = a & ~d & 0x00FFFFFF;
          break;
        case kRopAnd:
          dst[px] = a & d;
          break;
        case kRopPaint:
          dst[px] = a | d;
          break;
        default:
          dst[px] = a ^ d;
          break;
      }
    }
  }
  Damage(s, l, t, r, b);
}

}  // namespace graphraster
