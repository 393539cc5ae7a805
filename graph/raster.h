// The rasterizer of the graphics library: pure functions that draw into an explicit surface (its
// pixels, size, clip rectangle, palette, pen and brush state) and add what they change to the
// surface's damage rectangle. They know nothing of windows, threads or locks: the caller owns the
// surface and serialises its use. Shared by both revisions; what differs between them comes in as
// a Rules table.
#pragma once

#include <cstdint>

namespace graphraster {

// A rectangle [left, right) x [top, bottom); empty when left >= right or top >= bottom.
struct Rect {
  int32_t left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

// The damage of a surface that nothing has changed: empty, and the union with any rectangle is
// that rectangle.
inline constexpr Rect kNoDamage = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};

// Pen style codes.
inline constexpr uint32_t kPsSolid = 0, kPsDash = 1, kPsDot = 2, kPsDashDot = 3, kPsDashDotDot = 4,
                          kPsNull = 5;

// The standard pattern code of a solid fill (codes 0..5 are hatches).
inline constexpr uint32_t kPatSolid = 8;

// Colour numbers reach palette entries 0..255 (only their low 8 bits count).
inline constexpr uint32_t kColours = 256;

// The rules in which the two revisions differ. Each revision's transport file defines its table.
struct Rules {
  // A line also sets its end point in the line's colour whatever the pen (a lone pixel when both
  // points are equal); otherwise the last pixel is left out and equal points draw nothing.
  bool lineEndPoint;
  // A filled shape gets a solid outline in its colour on top of the brush; otherwise filled shapes
  // have no pen and show the brush alone.
  bool filledOutline;
  // Rectangle corners are put in order as unsigned numbers and both are included (equal corners
  // give one pixel); otherwise the corners are put in order as signed numbers, the right column
  // and bottom row are excluded, and a filled rectangle, having no pen, loses one more of each.
  bool rectangleInclusive;
};

// A drawing surface and its drawing state. Zero-filled storage is a valid empty surface.
struct Surface {
  uint32_t* pixels;  // depth rows of width pixels 0x00RRGGBB, rows `stride` pixels apart
  int32_t width, depth, stride;
  bool clipped;                // drawing is limited to `clip` as well as to the surface
  Rect clip;                   // in order: left <= right, top <= bottom
  uint32_t palette[kColours];  // colour number c draws palette[c & 0xFF]
  uint32_t penStyle;           // pen style code of lines and outlines (codes above 5 draw solid)
  bool stdFill;                // fills use the standard pattern `hatch`, else the user `pattern`
  uint32_t hatch;              // kPatSolid, or a hatch code 0..5 (other codes fill solid)
  uint8_t pattern[8];          // user pattern: 8 rows top first, most significant bit leftmost
  uint32_t bkColour;           // background colour number (styled gaps, hatch gaps, text cells)
  bool opaque;                 // background mix: gaps take the background colour, else stay
  Rect damage;                 // union of everything changed (kNoDamage when nothing)
};

// The area drawing may touch: the surface within the clip rectangle.
Rect DrawArea(const Surface& s);

// The pixel (x, y) := colour number `colour`, when inside the draw area.
void Pixel(Surface& s, int32_t x, int32_t y, uint32_t colour);

// Line from (x1, y1) to (x2, y2) with the surface's pen, end point as the rules say. Step i
// (0 <= i <= n, n the larger of |dx| and |dy|) lies i pixels along the major axis and
// round(i * dminor / n) along the minor one, halves rounded away from the start; only the steps
// inside the draw area are visited, and they are exactly the unclipped line's pixels there.
void Line(Surface& s, const Rules& rules, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
          uint32_t colour);

// Rectangle with corners (x1, y1) and (x2, y2) as the request gives them (read as the rules say):
// its outline with the pen, or with `fill` its area with the brush (and a solid outline when the
// rules give filled shapes one). The outline's pen pattern runs on round the corners.
void Rectangle(Surface& s, const Rules& rules, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2,
               uint32_t colour, bool fill);

// Ellipse inscribed in the box (left, top) .. (right, bottom), corners in any order, the right
// column and bottom row excluded: the pixels whose centres lie inside the ellipse. Without fill its
// outline (the pixels with a 4-neighbour outside) with the pen drawn solid; with fill its area
// with the brush, and the solid outline when the rules give filled shapes one.
void Ellipse(Surface& s, const Rules& rules, int32_t left, int32_t top, int32_t right,
             int32_t bottom, uint32_t colour, bool fill);

// Inverts the pixels of [left, right) x [top, bottom) (corners in any order).
void Invert(Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom);

}  // namespace graphraster
