// Sphere engine: wireframe drawing with erase-and-redraw through Graph::Line.
#include "engine/Engine.h"
#include "graph/Graph.h"

namespace Engine {

namespace {

// 2^32: the first value a window coordinate or colour number cannot carry.
constexpr float kNoCardinal = 4294967296.0f;

// Engine rule: a line is drawn only when all four end coordinates are strictly positive and below
// 2^32. An end behind the viewer projects to (0, 0), one left of or above the window's corner is
// off screen, and one at 2^32 or more (or NaN) cannot become a window coordinate; such a line is
// skipped whole, never clipped. The erase pass applies the same test to the same stored points,
// so it erases exactly the lines the draw pass drew.
inline bool OnScreen(float v) {
  return v > 0.0f && v < kNoCardinal;
}

// One line from p to q, the coordinates truncated toward zero.
inline void Segment(const pt2D& p, const pt2D& q, uint32_t colour) {
  const float x1 = p[1], y1 = p[2], x2 = q[1], y2 = q[2];
  if (OnScreen(x1) && OnScreen(y1) && OnScreen(x2) && OnScreen(y2)) {
    Graph::Line(static_cast<uint32_t>(x1), static_cast<uint32_t>(y1), static_cast<uint32_t>(x2),
                static_cast<uint32_t>(y2), colour);
  }
}

// The wireframe of a projected figure: in each row, column l to l + 1 for l = 1..7; the rows of
// half 1 (the rings) are closed from column 8 back to column 1. At most 120 lines.
void Wireframe(const Fig2D& fig, uint32_t colour) {
  for (int i = 1; i <= 2; ++i) {
    for (int k = 1; k <= 8; ++k) {
      const auto& row = fig[i][k];
      for (int l = 1; l <= 7; ++l) Segment(row[l], row[l + 1], colour);
      if (i == 1) Segment(row[8], row[1], colour);
    }
  }
}

}  // namespace

void DrawBol(uint32_t idnmbr, float Color) {
  DrawFig(bollen3D[idnmbr], bollen2D[idnmbr], Color);  // both slot checks come first
}

void DrawFig(Fig3D TempArray3D, Fig2D& TempArray2D, float Color) {
  Wireframe(TempArray2D, 0);  // erase the picture drawn last
  TransformatieMatrix = UnitMatrix();
  for (uint32_t As = 1; As <= 3; ++As) RotMatrix(angle[As], As, TransformatieMatrix);
  ConvertRotFig(TempArray3D, TransformatieMatrix, kijkerpunt, TempArray2D);
  // Engine rule: the colour number is Color truncated toward zero. A Color whose truncation is
  // negative or 2^32 or more (or NaN) names no colour number: the new picture is then stored but
  // not drawn, and erasing it later only draws the background colour.
  if (Color > -1.0f && Color < kNoCardinal) Wireframe(TempArray2D, static_cast<uint32_t>(Color));
}

}  // namespace Engine
