// The demo scene: a grid of panels 195 x 190 pixels, one per kind of drawing.
#include "graph/examples/demo_scene.h"

#include "graph/Graph.h"

namespace graphdemo {
namespace {

constexpr uint32_t kPanelW = 195, kPanelH = 190;

// Top-left corner of panel (column, row) and its caption.
void Panel(uint32_t column, uint32_t row, const char* caption, uint32_t& x, uint32_t& y) {
  x = column * kPanelW;
  y = row * kPanelH;
  Graph::Rectangle(x + 2, y + 2, x + kPanelW - 3, y + kPanelH - 3, 8, false);
  Graph::SetBkMix(false);
  Graph::OutTextXY(x + 8, y + 6, caption, 15);
  Graph::SetBkMix(true);
}

void Lines(StyleSetter setStyle) {
  uint32_t x, y;
  Panel(0, 0, "Line, styles", x, y);
  for (uint32_t k = 0; k < 6; ++k) {
    setStyle(k);
    Graph::Line(x + 10, y + 30 + 12 * k, x + 185, y + 30 + 12 * k, 9 + k % 6);
  }
  setStyle(0);
  for (uint32_t k = 0; k < 12; ++k) Graph::Line(x + 20, y + 180, x + 10 + 15 * k, y + 110, 1 + k);
}

void Rectangles(StyleSetter setStyle) {
  uint32_t x, y;
  Panel(1, 0, "Rectangle", x, y);
  setStyle(2);
  Graph::Rectangle(x + 10, y + 30, x + 90, y + 90, 14, false);
  setStyle(0);
  Graph::Rectangle(x + 100, y + 30, x + 185, y + 90, 4, true);
  Graph::SetStdFillMask(Graph::PATSYM_DENSE1);
  Graph::SetBkColor(1);
  Graph::Rectangle(x + 10, y + 100, x + 185, y + 180, 11, true);
  Graph::SetBkColor(0);
  Graph::SetStdFillMask(Graph::PATSYM_SOLID);
}

void Ellipses(StyleSetter setStyle) {
  uint32_t x, y;
  Panel(2, 0, "Ellipse, Circle", x, y);
  setStyle(1);
  Graph::Ellipse(x + 55, y + 70, 45, 30, 10, false);
  setStyle(0);
  Graph::Ellipse(x + 145, y + 70, 40, 30, 13, true);
  Graph::Circle(x + 55, y + 140, 40, 14);
  setStyle(3);
  Graph::Circle(x + 145, y + 140, 40, 12);
  setStyle(0);
}

void Arcs(StyleSetter setStyle) {
  uint32_t x, y;
  Panel(3, 0, "Arc", x, y);
  const uint32_t cx = x + 97, cy = y + 105;
  for (uint32_t k = 0; k < 4; ++k) {
    const uint32_t r = 20 + 18 * k;
    setStyle(k == 3 ? 2 : 0);
    Graph::Arc(cx - r, cy - r, cx + r, cy + r, cx + 100, cy - 10 * k, cx - 100 + 30 * k, cy + 60,
               10 + k);
  }
  setStyle(0);
}

void Pies() {
  uint32_t x, y;
  Panel(0, 1, "Pie", x, y);
  const uint32_t cx = x + 97, cy = y + 105;
  Graph::Pie(cx - 80, cy - 70, cx + 80, cy + 70, cx + 100, cy, cx, cy - 100, 12, true);
  Graph::Pie(cx - 80, cy - 70, cx + 80, cy + 70, cx, cy - 100, cx - 100, cy + 40, 10, true);
  Graph::Pie(cx - 80, cy - 70, cx + 80, cy + 70, cx - 100, cy + 40, cx + 100, cy, 15, false);
}

void Polygons(StyleSetter setStyle) {
  uint32_t x, y;
  Panel(1, 1, "Polygon", x, y);
  const int32_t ox = static_cast<int32_t>(x), oy = static_cast<int32_t>(y);
  // A five-pointed star: the even-odd rule leaves its centre open.
  const Graph::Point star[] = {{ox + 60, oy + 30},
                               {ox + 85, oy + 110},
                               {ox + 15, oy + 60},
                               {ox + 105, oy + 60},
                               {ox + 35, oy + 110}};
  Graph::Polygon(star, 5, 14, true);
  const Graph::Point zigzag[] = {{ox + 110, oy + 40},
                                 {ox + 185, oy + 40},
                                 {ox + 110, oy + 80},
                                 {ox + 185, oy + 80},
                                 {ox + 110, oy + 120}};
  setStyle(3);
  Graph::Polygon(zigzag, 5, 11, false);
  setStyle(0);
  const Graph::Point arrow[] = {
      {ox + 20, oy + 150},      {ox + 120, oy + 150}, {ox + 120, oy + 130}, {ox + 180, oy + 160},
      {ox + 120, oy + 185 - 5}, {ox + 120, oy + 170}, {ox + 20, oy + 170}};
  Graph::Polygon(arrow, 7, 2, true);
}

void Fills() {
  uint32_t x, y;
  Panel(2, 1, "FloodFill", x, y);
  // A closed figure in colour 14 with a line across it; the fill stops at the border colour only.
  Graph::Circle(x + 97, y + 105, 70, 14);
  Graph::Line(x + 40, y + 105, x + 154, y + 105, 4);
  const uint8_t bricks[8] = {0xFF, 0x80, 0x80, 0x80, 0xFF, 0x08, 0x08, 0x08};
  Graph::SetFillMask(bricks);
  Graph::SetBkColor(6);
  Graph::FloodFill(x + 97, y + 80, 12, 14);
  Graph::SetBkColor(0);
  Graph::SetStdFillMask(Graph::PATSYM_SOLID);
}

void Texts() {
  uint32_t x, y;
  Panel(3, 1, "OutTextXY, OutText", x, y);
  Graph::OutTextXY(x + 10, y + 30, "Opaque text", 14);
  Graph::SetBkMix(false);
  Graph::OutTextXY(x + 10, y + 50, "Transparent", 11);
  Graph::SetBkMix(true);
  Graph::OutTextXY(x + 10, y + 70, "!\"#$%&'()*+,-./0123", 15);
  Graph::OutTextXY(x + 10, y + 86, "456789:;<=>?@ABCDEFG", 15);
  Graph::OutTextXY(x + 10, y + 102, "HIJKLMNOPQRSTUVWXYZ[", 15);
  Graph::OutTextXY(x + 10, y + 118, "\\]^_`abcdefghijklmno", 15);
  Graph::OutTextXY(x + 10, y + 134, "pqrstuvwxyz{|}~", 15);
  Graph::SetTextPosition(x / 8 + 2, y / 16 + 12);
  Graph::OutText("Cell", 0, 10);
  Graph::OutText(" text", 15, 1);
}

void Images() {
  uint32_t x, y;
  Panel(0, 2, "GetImage, PutImage", x, y);
  // A small picture, captured and put back with each raster operation over a striped ground.
  Graph::Rectangle(x + 10, y + 30, x + 39, y + 59, 1, true);
  Graph::Circle(x + 25, y + 45, 12, 14);
  Graph::Line(x + 10, y + 30, x + 39, y + 59, 12);
  const uint32_t image = Graph::GetImage(x + 10, y + 30, x + 39, y + 59);
  const uint32_t rops[5] = {Graph::_GPSET, Graph::_GPRESET, Graph::_GAND, Graph::_GOR,
                            Graph::_GXOR};
  for (uint32_t k = 0; k < 5; ++k) {
    const uint32_t px = x + 10 + 36 * k, py = y + 110;
    Graph::Rectangle(px, py - 40, px + 29, py + 69, 7, true);
    for (uint32_t s = 0; s < 110; s += 8) Graph::Line(px, py - 40 + s, px + 29, py - 40 + s, 5);
    Graph::PutImage(px, py, image, rops[k]);
  }
  Graph::FreeImage(image);
}

void Clipping() {
  uint32_t x, y;
  Panel(1, 2, "SetClipRect", x, y);
  Graph::SetClipRect(x + 150, y + 180, x + 20, y + 40);  // corners in any order
  Graph::Ellipse(x + 85, y + 110, 95, 95, 3, true);
  for (uint32_t k = 0; k < 20; ++k) Graph::Line(x, y + 10 * k, x + 195, y + 200 - 10 * k, 15);
  Graph::NoClip();
  Graph::Rectangle(x + 19, y + 39, x + 150, y + 180, 12, false);
}

void Points() {
  uint32_t x, y;
  Panel(2, 2, "Plot", x, y);
  for (uint32_t k = 0; k < 1500; ++k) {
    const uint32_t px = x + 10 + (k * 37) % 175, py = y + 30 + (k * 53) % 150;
    Graph::Plot(px, py, 1 + k % 15);
  }
}

void Hatches() {
  uint32_t x, y;
  Panel(3, 2, "Fill patterns", x, y);
  const uint32_t masks[6] = {Graph::PATSYM_HORIZ, Graph::PATSYM_VERT,   Graph::PATSYM_DIAG2,
                             Graph::PATSYM_DIAG1, Graph::PATSYM_DENSE2, Graph::PATSYM_DENSE1};
  for (uint32_t k = 0; k < 6; ++k) {
    Graph::SetStdFillMask(masks[k]);
    const uint32_t px = x + 10 + 60 * (k % 3), py = y + 30 + 50 * (k / 3);
    Graph::Rectangle(px, py, px + 50, py + 40, 9 + k, true);
  }
  const uint8_t heart[8] = {0x00, 0x66, 0xFF, 0xFF, 0x7E, 0x3C, 0x18, 0x00};
  Graph::SetFillMask(heart);
  Graph::SetBkColor(8);
  Graph::Ellipse(x + 97, y + 160, 85, 22, 12, true);
  Graph::SetBkColor(0);
  Graph::SetStdFillMask(Graph::PATSYM_SOLID);
}

}  // namespace

void Draw(StyleSetter setStyle) {
  Lines(setStyle);
  Rectangles(setStyle);
  Ellipses(setStyle);
  Arcs(setStyle);
  Pies();
  Polygons(setStyle);
  Fills();
  Texts();
  Images();
  Clipping();
  Points();
  Hatches();
}

}  // namespace graphdemo
