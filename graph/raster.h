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
// outline (the pixels with a 4-neighbour outside) with the pen; with fill its area
// with the brush, and the solid outline when the rules give filled shapes one.
//
// A styled pen's pattern runs counter-clockwise from the ellipse's right end, one step per row
// where the outline is steeper than 45 degrees and one per column where it is flatter, as a line
// steps along its major axis; pixels sharing a step take the same bit.
void Ellipse(Surface& s, const Rules& rules, int32_t left, int32_t top, int32_t right,
             int32_t bottom, uint32_t colour, bool fill);

// Inverts the pixels of [left, right) x [top, bottom) (corners in any order).
void Invert(Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Arc of the ellipse inscribed in the box (as for Ellipse), counter-clockwise on the screen from
// the ray through the centre of pixel (xs, ys) to the ray through the centre of pixel (xe, ye)
// (rays from the ellipse's centre; equal rays give the whole outline, a start or end point at the
// centre counts as the ray to the right): the outline pixels whose centres lie in that angular
// range, with the pen. A styled pen's pattern is anchored at the ellipse's right end, so an arc
// shows the dashes the whole ellipse shows there.
void Arc(Surface& s, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t xs,
         int32_t ys, int32_t xe, int32_t ye, uint32_t colour);

// Pie wedge: the arc as Arc draws it plus its two radii, lines from the ellipse's centre pixel to
// the pixel nearest to where each ray meets the ellipse, end points included. Without fill all of
// it with the pen; with fill the ellipse's pixels in the angular range with the brush, and the
// outline solid when the rules give filled shapes one.
void Pie(Surface& s, const Rules& rules, int32_t left, int32_t top, int32_t right, int32_t bottom,
         int32_t xs, int32_t ys, int32_t xe, int32_t ye, uint32_t colour, bool fill);

// A point of a polygon.
struct Point {
  int32_t x, y;
};

// Without fill: the open polyline through points[0 .. count - 1] with the pen, the pattern running
// on from segment to segment, the last point drawn as the rules draw a line's end point. With fill:
// the closed polygon's pixels whose centres lie inside it by the alternate (even-odd) rule, with
// the brush, and the closed outline solid when the rules give filled shapes one.
void Polygon(Surface& s, const Rules& rules, const Point* points, uint32_t count, uint32_t colour,
             bool fill);

// Work space of FloodFill, sized for the largest surface: a mark per pixel and a stack of spans.
struct FillScratch {
  static constexpr int64_t kMaxPixels = int64_t{4096} * 4096;
  static constexpr int kSpans = 4096;
  int spanLimit;  // spans the stack may hold: kSpans when 0 or larger (tests ask for fewer)
  uint64_t marks[kMaxPixels / 64];
  struct Span {
    int32_t y, left, right;
  } spans[kSpans];
};

// Fills the 4-connected area around (x, y) whose pixels are not of the border colour, within the
// draw area, with the brush. Seeded outside the draw area or on a border pixel it changes nothing.
// The area is marked first and painted afterwards, so any brush works; memory is `scratch` alone
// (when its span stack fills up, the marked area is searched again for unmarked neighbours).
void FloodFill(Surface& s, int32_t x, int32_t y, uint32_t colour, uint32_t border,
               FillScratch& scratch);

// Text of the window's 8 x 16 font: the characters text[0 .. length - 1] in cells 8 pixels apart,
// the first cell's top-left corner at (x, y). With the opaque mix the cells are first filled with
// the background colour; the strokes are drawn in `colour`. Characters without a glyph (outside
// printable ASCII) draw an empty cell.
void Text(Surface& s, int32_t x, int32_t y, const char* text, uint32_t length, uint32_t colour);

// A box from (x, y) to (x + length * cellWidth - 1, y + height) filled solid in `boxColour`, then
// the characters at x, x + cellWidth, ... in `textColour` (strokes only).
void CellText(Surface& s, int32_t x, int32_t y, const char* text, uint32_t length,
              uint32_t textColour, uint32_t boxColour, uint32_t cellWidth, uint32_t height);

// Raster operations of PutImage (the window system's codes): the result from the image's pixel
// `src` and the surface's pixel `dst`.
inline constexpr uint32_t kRopCopy = 0xCC0020;    // src
inline constexpr uint32_t kRopErase = 0x440328;   // src AND NOT dst
inline constexpr uint32_t kRopAnd = 0x8800C6;     // src AND dst
inline constexpr uint32_t kRopPaint = 0xEE0086;   // src OR dst
inline constexpr uint32_t kRopInvert = 0x660046;  // src XOR dst

// Copies the width x height pixels from (left, top) into `out` (rows `width` apart); pixels outside
// the surface read as 0 (black). The clip rectangle does not limit reading.
void CopyOut(const Surface& s, int64_t left, int64_t top, int64_t width, int64_t height,
             uint32_t* out);

// Combines the width x height pixels of `image` (rows `width` apart) onto the surface at (x, y)
// with the raster operation `rop`, within the draw area. An unknown operation changes nothing.
void PutImage(Surface& s, int32_t x, int32_t y, const uint32_t* image, int64_t width,
              int64_t height, uint32_t rop);

}  // namespace graphraster
