// The rasterizer: lines, rectangles, ellipses and inversion over an explicit surface.
#include "graph/raster.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

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
  // The minor step is taken without a branch: its pattern along the line is irregular, so a branch
  // would often be mispredicted. A solid pen needs no pattern test.
  auto walk = [&](auto solid) {
    for (int64_t k = lo; k <= hi; ++k) {
      if (solid || ((pen.dashes.bits >> ph) & 1)) {
        p[at] = pen.rgb;
      } else if (pen.opaque) {
        p[at] = pen.bkRgb;
      }
      if (!solid && ++ph == pen.dashes.length) ph = 0;
      at += majorStep;
      e += dm2;
      const bool minor = e >= d2;
      e -= minor ? d2 : 0;
      at += minor ? minorStep : 0;
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
// its area in the brush, and with `pen` its outline in that pen's colour on top. The outline is
// the set of its pixels with a 4-neighbour outside.
void DrawEllipse(Surface& s, int64_t l, int64_t t, int64_t r, int64_t b, const Brush* fill,
                 const Pen* pen) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const uint64_t w = static_cast<uint64_t>(r - l), h = static_cast<uint64_t>(b - t);
  const Rect c = DrawArea(s);
  const int64_t y0 = std::max<int64_t>(t, c.top), y1 = std::min<int64_t>(b - 1, c.bottom - 1);
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t lo, hi;
    if (!EllipseRow(l, t, w, h, y, lo, hi)) continue;
    if (fill) Span(s, lo, hi, y, *fill, c);
    if (!pen) continue;
    int64_t ulo, uhi, dlo, dhi;
    const bool up = EllipseRow(l, t, w, h, y - 1, ulo, uhi);
    const bool down = EllipseRow(l, t, w, h, y + 1, dlo, dhi);
    const Brush ink = Ink(pen->rgb);
    if (!up || !down) {
      Span(s, lo, hi, y, ink, c);
      continue;
    }
    const int64_t ilo = std::max({lo + 1, ulo, dlo}), ihi = std::min({hi - 1, uhi, dhi});
    if (ilo > ihi) {
      Span(s, lo, hi, y, ink, c);
    } else {
      Span(s, lo, ilo - 1, y, ink, c);
      Span(s, ihi + 1, hi, y, ink, c);
    }
  }
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
  Steps(s, x1, y1, x2, y2, MakePen(s, s.penStyle, colour), 0, false);
  if (rules.lineEndPoint) Pixel(s, x2, y2, colour);
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
  DrawEllipse(s, left, top, right, bottom, fill ? &brush : nullptr, outline ? &pen : nullptr);
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

}  // namespace graphraster
