// The rasterizer's pixel rules on a surface in memory: no window, no thread. Each case runs under
// both revisions' rule tables where they differ.
#include "graph/raster.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "graph/font.h"
#include "graph/images.h"
#include "graph/revision.h"
#include "graph/tests/line_reference.h"

namespace {

using graphraster::Rules;
using graphraster::Surface;

// The revisions' tables, as their transports use them.
constexpr Rules kRev2 = graphcore::kRevision2.rules;
constexpr Rules kRev1 = graphcore::kRevision1.rules;

constexpr uint32_t kStdPalette[16] = {0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080,
                                      0xB06000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                      0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kLightGreen = 0x00FF00, kYellow = 0xFFFF00,
                   kRed = 0xB00000;

// A surface over pixels of its own, black, with the standard palette and the drawing defaults.
struct Canvas {
  std::vector<uint32_t> pixels;
  Surface s{};
  explicit Canvas(int32_t width = 1000, int32_t depth = 750, int32_t stride = 0) {
    if (stride == 0) stride = width;
    pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(depth), 0);
    s.pixels = pixels.data();
    s.width = width;
    s.depth = depth;
    s.stride = stride;
    std::copy(kStdPalette, kStdPalette + 16, s.palette);
    s.penStyle = graphraster::kPsSolid;
    s.stdFill = true;
    s.hatch = graphraster::kPatSolid;
    s.opaque = true;
    s.damage = graphraster::kNoDamage;
  }
  uint32_t At(int64_t x, int64_t y) const {
    return pixels[static_cast<std::size_t>(y * s.stride + x)];
  }
  void Clear() {
    std::fill(pixels.begin(), pixels.end(), 0u);
    s.damage = graphraster::kNoDamage;
  }
  uint64_t Count(uint32_t rgb) const {
    uint64_t n = 0;
    for (int32_t y = 0; y < s.depth; ++y) {
      for (int32_t x = 0; x < s.width; ++x) n += At(x, y) == rgb;
    }
    return n;
  }
  uint64_t Lit() const { return uint64_t(s.width) * uint64_t(s.depth) - Count(kBlack); }
  // Every pixel that is not black lies inside the damage rectangle.
  bool DamageCoversDrawing() const {
    for (int32_t y = 0; y < s.depth; ++y) {
      for (int32_t x = 0; x < s.width; ++x) {
        if (At(x, y) != kBlack && (x < s.damage.left || x >= s.damage.right || y < s.damage.top ||
                                   y >= s.damage.bottom)) {
          return false;
        }
      }
    }
    return true;
  }
};

// The styled pens' on/off runs, by pen style code.
const std::vector<int> kRuns[6] = {{24},   {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3},
                                   {0, 24}};

bool PenOn(uint32_t style, int64_t step) {
  const std::vector<int>& runs = kRuns[style < 6 ? style : 0];
  int length = 0;
  for (int r : runs) length += r;
  int64_t at = step % length;
  bool on = true;
  for (int r : runs) {
    if (at < r) return on;
    at -= r;
    on = !on;
  }
  return on;
}

std::string Where(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  return std::to_string(x1) + "," + std::to_string(y1) + " " + std::to_string(x2) + "," +
         std::to_string(y2);
}

TEST(RasterPixel, OnePixelColourNumbersAndClip) {
  Canvas c;
  graphraster::Pixel(c.s, 5, 6, 266);  // only the low 8 bits count: colour 10
  EXPECT_EQ(c.At(5, 6), kLightGreen);
  graphraster::Pixel(c.s, 7, 6, 16);  // beyond the standard palette: black
  graphraster::Pixel(c.s, -1, 0, 15);
  graphraster::Pixel(c.s, 1000, 0, 15);
  graphraster::Pixel(c.s, 0, 750, 15);
  EXPECT_EQ(c.Lit(), 1u);
  EXPECT_EQ(c.s.damage.left, 5);
  EXPECT_EQ(c.s.damage.right, 8) << "the black pixel at (7, 6) was drawn too";
  c.s.clipped = true;
  c.s.clip = {10, 10, 20, 20};
  graphraster::Pixel(c.s, 20, 15, 15);
  graphraster::Pixel(c.s, 19, 19, 15);
  EXPECT_EQ(c.At(20, 15), kBlack) << "right column of the clip excluded";
  EXPECT_EQ(c.At(19, 19), kWhite);
}

TEST(RasterLine, EndPointsPerRevision) {
  Canvas c;
  graphraster::Line(c.s, kRev2, 10, 10, 10, 10, 15);
  EXPECT_EQ(c.At(10, 10), kWhite);
  EXPECT_EQ(c.Lit(), 1u);
  c.Clear();
  graphraster::Line(c.s, kRev1, 10, 10, 10, 10, 15);
  EXPECT_EQ(c.Lit(), 0u) << "revision 1: equal points draw nothing";

  graphraster::Line(c.s, kRev2, 0, 0, 3, 0, 15);
  for (int x = 0; x <= 3; ++x) EXPECT_EQ(c.At(x, 0), kWhite) << x;
  EXPECT_EQ(c.Lit(), 4u);
  c.Clear();
  graphraster::Line(c.s, kRev1, 0, 0, 3, 0, 15);
  EXPECT_EQ(c.At(2, 0), kWhite);
  EXPECT_EQ(c.At(3, 0), kBlack);
  EXPECT_EQ(c.Lit(), 3u);

  // Revision 2 draws the end point whatever the style; revision 1's invisible pen draws nothing.
  c.Clear();
  c.s.penStyle = graphraster::kPsNull;
  graphraster::Line(c.s, kRev2, 100, 100, 200, 150, 14);
  EXPECT_EQ(c.At(200, 150), kYellow);
  EXPECT_EQ(c.Lit(), 1u);
  c.Clear();
  graphraster::Line(c.s, kRev1, 0, 0, 50, 50, 15);
  EXPECT_EQ(c.Lit(), 0u);
  c.s.penStyle = graphraster::kPsDot;  // 3 on, 3 off, gaps in background colour 0
  graphraster::Line(c.s, kRev2, 100, 100, 110, 100, 14);
  EXPECT_EQ(c.At(100, 100), kYellow);
  EXPECT_EQ(c.At(103, 100), kBlack);
  EXPECT_EQ(c.At(106, 100), kYellow);
  EXPECT_EQ(c.At(110, 100), kYellow);
  c.s.penStyle = graphraster::kPsDash;  // 18 on, 6 off
  graphraster::Line(c.s, kRev1, 0, 0, 30, 0, 15);
  EXPECT_EQ(c.At(17, 0), kWhite);
  EXPECT_EQ(c.At(18, 0), kBlack);
  EXPECT_EQ(c.At(24, 0), kWhite);
}

// Random lines, mostly reaching outside the area, give exactly the rule's pixels inside it, for any
// clip rectangle, and drawing them again in colour 0 erases them.
TEST(RasterLine, ClippingKeepsTheUnclippedPixels) {
  Canvas c(320, 240);
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> x(-480, 800), y(-480, 720);
  for (const Rules& rules : {kRev2, kRev1}) {
    for (int i = 0; i < 150; ++i) {
      const int32_t x1 = x(random), y1 = y(random), x2 = x(random), y2 = y(random);
      c.s.clipped = i % 3 == 0;
      c.s.clip = {int32_t(random() % 130), int32_t(random() % 100), int32_t(160 + random() % 200),
                  int32_t(130 + random() % 130)};
      const graphraster::Rect a = graphraster::DrawArea(c.s);
      graphtest::Points want;
      graphtest::ReferenceSteps(x1, y1, x2, y2, rules.lineEndPoint, a.left, a.top, a.right,
                                a.bottom, [&](int64_t px, int64_t py, int64_t) {
                                  want.insert({px, py});
                                });
      c.Clear();
      graphraster::Line(c.s, rules, x1, y1, x2, y2, 15);
      ASSERT_EQ(c.Count(kWhite), want.size()) << Where(x1, y1, x2, y2);
      for (const auto& [px, py] : want) ASSERT_EQ(c.At(px, py), kWhite) << px << "," << py;
      ASSERT_TRUE(c.DamageCoversDrawing()) << Where(x1, y1, x2, y2);
      graphraster::Line(c.s, rules, x1, y1, x2, y2, 0);
      ASSERT_EQ(c.Lit(), 0u);
    }
  }
  Canvas whole;  // the far-away lines on the full 1000 x 750 area
  // Far-away end points: visited only where visible, exactly.
  const int32_t far[][4] = {{-2000000000, 3, 2000000000, 700},
                            {500, -2147483647, 501, 2147483647},
                            {-2147483647, -2147483647, 2147483647, 2147483647},
                            {2147483647, 10, -5, 12},
                            {INT32_MIN, INT32_MIN, INT32_MAX, 100}};
  for (const auto& l : far) {
    whole.Clear();
    graphraster::Line(whole.s, kRev2, l[0], l[1], l[2], l[3], 15);
    const graphtest::Points want =
        graphtest::ReferenceLine(l[0], l[1], l[2], l[3], true, 1000, 750);
    EXPECT_EQ(whole.Count(kWhite), want.size()) << Where(l[0], l[1], l[2], l[3]);
    for (const auto& [px, py] : want) EXPECT_EQ(whole.At(px, py), kWhite) << px << "," << py;
  }
}

// Every pen style and both background mixes, on lines inside the area and reaching out of it:
// step i shows the colour where the pattern is on at i, the background colour (opaque mix) or
// nothing (transparent mix) where it is off; the invisible pen draws nothing; revision 2's end
// point is solid.
TEST(RasterLine, StylesFollowTheStepIndex) {
  Canvas c(320, 240);
  std::mt19937 random(2024);
  for (const Rules& rules : {kRev2, kRev1}) {
    for (int i = 0; i < 300; ++i) {
      const int32_t x1 = int32_t(random() % 320), y1 = int32_t(random() % 240);
      const int32_t reach = i % 4 == 0 ? 500 : 70;
      const int32_t x2 = x1 + int32_t(random() % (2 * reach + 1)) - reach;
      const int32_t y2 = y1 + int32_t(random() % (2 * reach + 1)) - reach;
      const uint32_t style = random() % 7, colour = 1 + random() % 15;
      c.s.penStyle = style;
      c.s.opaque = random() % 2 == 0;
      c.s.bkColour = colour ^ 5;
      std::fill(c.pixels.begin(), c.pixels.end(), 0x123456u);
      std::map<std::pair<int64_t, int64_t>, uint32_t> want;
      graphtest::ReferenceSteps(x1, y1, x2, y2, false, 0, 0, 320, 240,
                                [&](int64_t px, int64_t py, int64_t step) {
                                  if (style == graphraster::kPsNull)
                                    return;  // draws nothing, no gaps either
                                  if (PenOn(style, step)) {
                                    want[{px, py}] = kStdPalette[colour];
                                  } else if (c.s.opaque) {
                                    want[{px, py}] = kStdPalette[colour ^ 5];
                                  }
                                });
      if (rules.lineEndPoint && x2 >= 0 && x2 < 320 && y2 >= 0 && y2 < 240) {
        want[{x2, y2}] = kStdPalette[colour];
      }
      graphraster::Line(c.s, rules, x1, y1, x2, y2, colour);
      uint64_t changed = 0;
      for (uint32_t p : c.pixels) changed += p != 0x123456u;
      uint64_t expected = 0;
      for (const auto& [at, rgb] : want) expected += rgb != 0x123456u;
      ASSERT_EQ(changed, expected) << Where(x1, y1, x2, y2) << " style " << style;
      for (const auto& [at, rgb] : want) {
        ASSERT_EQ(c.At(at.first, at.second), rgb) << Where(x1, y1, x2, y2) << " style " << style
                                                  << " at " << at.first << "," << at.second;
      }
    }
  }
}

TEST(RasterLine, ShortLinesInEveryDirection) {
  Canvas c;
  const int32_t ends[][2] = {{9, 3},  {3, 9},  {-3, 9}, {-9, 3}, {-9, -3}, {-3, -9},
                             {3, -9}, {9, -3}, {1, 0},  {0, 1},  {63, 20}, {64, 21},
                             {5, 5},  {-7, 7}, {65, 0}, {0, -65}};
  for (const Rules& rules : {kRev2, kRev1}) {
    for (const auto& e : ends) {
      c.Clear();
      graphraster::Line(c.s, rules, 500, 300, 500 + e[0], 300 + e[1], 15);
      const graphtest::Points want =
          graphtest::ReferenceLine(500, 300, 500 + e[0], 300 + e[1], rules.lineEndPoint, 1000, 750);
      EXPECT_EQ(c.Count(kWhite), want.size()) << e[0] << "," << e[1];
      for (const auto& [px, py] : want) EXPECT_EQ(c.At(px, py), kWhite) << px << "," << py;
    }
  }
}

// A surface whose rows are further apart than its width: nothing is drawn between the rows.
TEST(RasterLine, RowStride) {
  Canvas c(100, 50, 128);
  for (auto& p : c.pixels) p = 0x010101;
  for (int y = 0; y < 50; ++y) std::fill_n(&c.pixels[std::size_t(y) * 128], 100, 0u);
  graphraster::Line(c.s, kRev2, -50, 25, 200, 30, 15);
  graphraster::Ellipse(c.s, kRev2, -20, -20, 150, 70, 14, true);
  for (int y = 0; y < 50; ++y) {
    for (int x = 100; x < 128; ++x) ASSERT_EQ(c.At(x, y), 0x010101u) << x << "," << y;
  }
}

TEST(RasterEllipse, CircleBoxAndLeftEdgeClipping) {
  Canvas c;
  graphraster::Ellipse(c.s, kRev2, 488, 388, 512, 412, 10, false);
  int64_t minX = 9999, maxX = 0, minY = 9999, maxY = 0;
  uint64_t count = 0;
  for (int y = 380; y < 420; ++y) {
    for (int x = 480; x < 520; ++x) {
      if (c.At(x, y) == kBlack) continue;
      EXPECT_EQ(c.At(x, y), kLightGreen);
      minX = std::min<int64_t>(minX, x), maxX = std::max<int64_t>(maxX, x);
      minY = std::min<int64_t>(minY, y), maxY = std::max<int64_t>(maxY, y);
      // Symmetric in the box (488, 388) .. (511, 411).
      EXPECT_NE(c.At(999 - x, y), kBlack) << x << "," << y;
      EXPECT_NE(c.At(x, 799 - y), kBlack) << x << "," << y;
      ++count;
    }
  }
  EXPECT_EQ(minX, 488);
  EXPECT_EQ(maxX, 511);
  EXPECT_EQ(minY, 388);
  EXPECT_EQ(maxY, 411);
  EXPECT_EQ(count, c.Lit());
  EXPECT_EQ(c.At(500, 400), kBlack) << "an outline";
  EXPECT_TRUE(c.DamageCoversDrawing());

  // The same circle with its centre near the left edge: exactly the part inside.
  c.Clear();
  graphraster::Ellipse(c.s, kRev1, 90, 260, 170, 340, 15, false);
  std::vector<std::pair<int, int>> whole;
  for (int y = 250; y < 350; ++y) {
    for (int x = 80; x < 180; ++x) {
      if (c.At(x, y) == kWhite) whole.push_back({x, y});
    }
  }
  c.Clear();
  graphraster::Ellipse(c.s, kRev1, -30, 260, 50, 340, 15, false);
  uint64_t inside = 0;
  for (const auto& [x, y] : whole) {
    if (x >= 120) {
      EXPECT_EQ(c.At(x - 120, y), kWhite);
      ++inside;
    }
  }
  EXPECT_EQ(c.Lit(), inside);
  // A huge circle whose box reaches past every edge draws only its visible arcs, promptly.
  c.Clear();
  graphraster::Ellipse(c.s, kRev2, 500 - 2000000000, 375 - 2000000000, 500 + 2000000000,
                       375 + 2000000000, 15, false);
  EXPECT_EQ(c.Lit(), 0u);
  graphraster::Ellipse(c.s, kRev2, -100, -225, 1100, 975, 15, false);
  EXPECT_GT(c.Lit(), 0u);
  // Boxes of zero width or height are empty; reversed corners give the same ellipse.
  c.Clear();
  graphraster::Ellipse(c.s, kRev2, 10, 10, 10, 50, 15, true);
  graphraster::Ellipse(c.s, kRev2, 10, 10, 50, 10, 15, false);
  EXPECT_EQ(c.Lit(), 0u);
  graphraster::Ellipse(c.s, kRev2, 50, 40, 10, 10, 15, false);
  const uint64_t reversed = c.Lit();
  c.Clear();
  graphraster::Ellipse(c.s, kRev2, 10, 10, 50, 40, 15, false);
  EXPECT_EQ(c.Lit(), reversed);
}

TEST(RasterEllipse, FilledHatchedAndPatterned) {
  for (const Rules& rules : {kRev2, kRev1}) {
    Canvas c;
    graphraster::Ellipse(c.s, rules, 90, 95, 110, 105, 4, true);
    EXPECT_EQ(c.At(100, 100), kRed);
    EXPECT_EQ(c.At(90, 100), kRed);
    EXPECT_EQ(c.At(110, 100), kBlack) << "right column excluded";
    EXPECT_EQ(c.At(100, 105), kBlack) << "bottom row excluded";

    // A hatch: row 3 of every 8 is the line, the gaps in the background colour (opaque mix).
    c.Clear();
    c.s.hatch = 0;
    graphraster::Ellipse(c.s, rules, 50, 50, 150, 150, 15, true);
    EXPECT_EQ(c.At(100, 100), kBlack);
    EXPECT_EQ(c.At(100, 99), kWhite);
    EXPECT_EQ(c.At(100, 91), kWhite);
    // Revision 2 puts a solid outline on top; revision 1 shows the brush alone.
    EXPECT_EQ(c.At(100, 50), rules.filledOutline ? kWhite : kBlack);
    c.s.hatch = graphraster::kPatSolid;

    // A user pattern: set bits in the colour, clear bits in the background colour.
    c.Clear();
    const uint8_t checker[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
    c.s.stdFill = false;
    std::copy(checker, checker + 8, c.s.pattern);
    c.s.bkColour = 1;
    graphraster::Ellipse(c.s, rules, 170, 170, 230, 230, 15, true);
    EXPECT_EQ(c.At(200, 200), kWhite);
    EXPECT_EQ(c.At(201, 200), 0x0000B0u);
    EXPECT_EQ(c.At(201, 201), kWhite);
  }
}

TEST(RasterRectangle, CornersPerRevision) {
  Canvas c;
  // Revision 2: both corners included, corners in order, one point a pixel.
  graphraster::Rectangle(c.s, kRev2, 30, 20, 10, 10, 15, false);
  EXPECT_EQ(c.At(10, 10), kWhite);
  EXPECT_EQ(c.At(30, 20), kWhite);
  EXPECT_EQ(c.At(20, 15), kBlack);
  EXPECT_EQ(c.Lit(), 2u * 21 + 2u * 9);
  c.Clear();
  graphraster::Rectangle(c.s, kRev2, 10, 10, 30, 20, 4, true);
  EXPECT_EQ(c.Count(kRed), 21u * 11);
  c.Clear();
  graphraster::Rectangle(c.s, kRev2, 7, 7, 7, 7, 15, true);
  EXPECT_EQ(c.At(7, 7), kWhite);
  EXPECT_EQ(c.Lit(), 1u);
  // Corners beyond the left edge are read as signed: the box runs from -5 to 10.
  c.Clear();
  graphraster::Rectangle(c.s, kRev2, uint32_t(-5), 10, 10, 20, 15, true);
  EXPECT_EQ(c.At(0, 15), kWhite);
  EXPECT_EQ(c.At(10, 15), kWhite);
  EXPECT_EQ(c.At(11, 15), kBlack);

  // Revision 1: right column and bottom row excluded; a fill has no pen and loses one more.
  c.Clear();
  graphraster::Rectangle(c.s, kRev1, 10, 10, 30, 20, 15, false);
  EXPECT_EQ(c.At(29, 19), kWhite);
  EXPECT_EQ(c.At(30, 19), kBlack);
  EXPECT_EQ(c.Lit(), 2u * 20 + 2u * 8);
  c.Clear();
  graphraster::Rectangle(c.s, kRev1, 30, 20, 10, 10, 4, true);
  EXPECT_EQ(c.Count(kRed), 19u * 9);
  EXPECT_EQ(c.At(28, 18), kRed);
  c.Clear();
  graphraster::Rectangle(c.s, kRev1, 7, 7, 7, 7, 15, false);
  graphraster::Rectangle(c.s, kRev1, 7, 7, 8, 8, 15, true);
  EXPECT_EQ(c.Lit(), 0u) << "empty boxes";
  graphraster::Rectangle(c.s, kRev1, -5, 10, 10, 20, 15, true);
  EXPECT_EQ(c.At(0, 10), kWhite);
  EXPECT_EQ(c.At(8, 18), kWhite);
  EXPECT_EQ(c.At(9, 18), kBlack);

  // A styled outline's pattern runs on round the corners: dash 18 on, 6 off.
  c.Clear();
  c.s.penStyle = graphraster::kPsDash;
  c.s.opaque = false;
  graphraster::Rectangle(c.s, kRev2, 0, 0, 20, 20, 15, false);
  EXPECT_EQ(c.At(17, 0), kWhite);
  EXPECT_EQ(c.At(18, 0), kBlack);
  EXPECT_EQ(c.At(20, 3), kBlack);
  EXPECT_EQ(c.At(20, 4), kWhite) << "step 24 starts the second dash";
}

TEST(RasterInvertAndClip, InvertIsItsOwnInverseAndClipsExactly) {
  Canvas c;
  graphraster::Line(c.s, kRev2, 0, 5, 50, 5, 4);
  graphraster::Invert(c.s, 20, 10, 0, 0);  // corners in any order, right column excluded
  EXPECT_EQ(c.At(0, 0), kWhite);
  EXPECT_EQ(c.At(19, 9), kWhite);
  EXPECT_EQ(c.At(20, 9), kBlack);
  EXPECT_EQ(c.At(19, 10), kBlack);
  EXPECT_EQ(c.At(5, 5), kWhite ^ kRed);
  graphraster::Invert(c.s, 0, 0, 20, 10);
  EXPECT_EQ(c.At(5, 5), kRed);
  EXPECT_EQ(c.Lit(), 51u);

  // The clip rectangle bounds every primitive, its right column and bottom row excluded.
  c.Clear();
  c.s.clipped = true;
  c.s.clip = {100, 100, 200, 150};
  graphraster::Rectangle(c.s, kRev2, 0, 0, 999, 749, 15, true);
  EXPECT_EQ(c.Count(kWhite), 100u * 50);
  EXPECT_EQ(c.At(100, 100), kWhite);
  EXPECT_EQ(c.At(199, 149), kWhite);
  EXPECT_EQ(c.At(200, 149), kBlack);
  EXPECT_EQ(c.At(199, 150), kBlack);
  EXPECT_EQ(c.s.damage.left, 100);
  EXPECT_EQ(c.s.damage.bottom, 150);
  graphraster::Pixel(c.s, 99, 120, 14);
  graphraster::Invert(c.s, 0, 0, 1000, 750);
  EXPECT_EQ(c.Lit(), 0u);
  c.s.clip = {300, 300, 300, 400};  // empty
  c.Clear();
  graphraster::Rectangle(c.s, kRev2, 0, 0, 999, 749, 15, true);
  graphraster::Line(c.s, kRev2, 0, 0, 999, 749, 15);
  graphraster::Ellipse(c.s, kRev2, 0, 0, 999, 749, 15, false);
  EXPECT_EQ(c.Lit(), 0u);
  EXPECT_TRUE(c.s.damage.Empty());
}

// The pixels of a canvas that are `rgb`, as a set.
graphtest::Points PixelsOf(const Canvas& c, uint32_t rgb) {
  graphtest::Points out;
  for (int32_t y = 0; y < c.s.depth; ++y) {
    for (int32_t x = 0; x < c.s.width; ++x) {
      if (c.At(x, y) == rgb) out.insert({x, y});
    }
  }
  return out;
}

// Angle of pixel (x, y) seen from the box's centre, counter-clockwise on the screen, in [0, 360).
double Angle(int64_t l, int64_t t, int64_t r, int64_t b, int64_t x, int64_t y) {
  const double u = 2 * x + 1 - (l + r), v = 2 * y + 1 - (t + b);
  double a = std::atan2(-v, u) * 180 / 3.141592653589793;
  return a < 0 ? a + 360 : a;
}

// Styled outlines: with the opaque mix the pattern covers exactly the solid outline's pixels (in
// the colour or the background colour); with the transparent mix a part of them; the invisible
// pen draws nothing. Arcs show the whole ellipse's dashes in their range.
TEST(RasterEllipse, OutlinesFollowTheLineStyle) {
  const int32_t boxes[][4] = {{100, 100, 400, 300}, {500, 100, 531, 400}, {20, 400, 700, 430},
                              {600, 500, 601, 700}, {300, 500, 311, 511}, {-300, -200, 800, 600}};
  for (const auto& b : boxes) {
    Canvas solid, styled;
    graphraster::Ellipse(solid.s, kRev2, b[0], b[1], b[2], b[3], 15, false);
    const graphtest::Points outline = PixelsOf(solid, kWhite);
    ASSERT_FALSE(outline.empty());
    for (uint32_t style = 1; style <= 4; ++style) {
      styled.Clear();
      styled.s.penStyle = style;
      styled.s.bkColour = 4;
      styled.s.opaque = true;
      graphraster::Ellipse(styled.s, kRev2, b[0], b[1], b[2], b[3], 15, false);
      const graphtest::Points on = PixelsOf(styled, kWhite), off = PixelsOf(styled, kRed);
      EXPECT_EQ(on.size() + off.size(), outline.size()) << "style " << style;
      for (const auto& p : on) EXPECT_TRUE(outline.count(p)) << p.first << "," << p.second;
      for (const auto& p : off) EXPECT_TRUE(outline.count(p)) << p.first << "," << p.second;
      if (outline.size() > 40) {
        EXPECT_GT(off.size(), outline.size() / 8) << "style " << style << " shows gaps";
        EXPECT_GT(on.size(), outline.size() / 4) << "style " << style << " shows dashes";
      }
      // Transparent mix: the dashes alone.
      styled.Clear();
      styled.s.opaque = false;
      graphraster::Ellipse(styled.s, kRev2, b[0], b[1], b[2], b[3], 15, false);
      EXPECT_EQ(PixelsOf(styled, kWhite), on);
      EXPECT_EQ(styled.Count(kRed), 0u);
      // An arc of the styled ellipse: its dashes in the range.
      styled.Clear();
      const int32_t cx = (b[0] + b[2]) / 2, cy = (b[1] + b[3]) / 2;
      graphraster::Arc(styled.s, b[0], b[1], b[2], b[3], cx + 10, cy - 3, cx - 2, cy + 10, 15);
      for (const auto& p : PixelsOf(styled, kWhite)) {
        EXPECT_TRUE(on.count(p)) << "arc pixel " << p.first << "," << p.second;
      }
    }
    styled.Clear();
    styled.s.penStyle = graphraster::kPsNull;
    graphraster::Ellipse(styled.s, kRev2, b[0], b[1], b[2], b[3], 15, false);
    graphraster::Arc(styled.s, b[0], b[1], b[2], b[3], 0, 0, 1, 1, 15);
    EXPECT_EQ(styled.Lit(), 0u);
  }
}

// Arcs lie on the ellipse's outline, inside their angular range, counter-clockwise from the start
// ray to the end ray; equal rays give the whole outline; the pie adds its radii and, filled, its
// area.
TEST(RasterArcAndPie, RangeRadiiAndArea) {
  const int32_t l = 200, t = 100, r = 601, b = 401;  // centre pixel (400, 250)
  Canvas whole;
  graphraster::Ellipse(whole.s, kRev2, l, t, r, b, 15, false);
  const graphtest::Points outline = PixelsOf(whole, kWhite);
  const int32_t rays[][4] = {
      {700, 250, 400, 0}, {400, 0, 700, 250}, {100, 100, 100, 400}, {400, 500, 400, 0}};
  for (const auto& k : rays) {
    Canvas c;
    graphraster::Arc(c.s, l, t, r, b, k[0], k[1], k[2], k[3], 15);
    const graphtest::Points arc = PixelsOf(c, kWhite);
    const double from = Angle(l, t, r, b, k[0], k[1]);
    double to = Angle(l, t, r, b, k[2], k[3]);
    if (to <= from) to += 360;
    uint64_t expected = 0;
    for (const auto& [x, y] : outline) {
      double a = Angle(l, t, r, b, x, y);
      if (a < from - 1) a += 360;
      const bool in = a > from + 1 && a < to - 1, out = a < from - 1 || a > to + 1;
      if (in) {
        EXPECT_TRUE(arc.count({x, y})) << x << "," << y << " from " << from;
      }
      if (out) {
        EXPECT_FALSE(arc.count({x, y})) << x << "," << y << " from " << from;
      }
      expected += in;
    }
    for (const auto& p : arc) EXPECT_TRUE(outline.count(p)) << "on the ellipse";
    EXPECT_GE(arc.size(), expected);
    EXPECT_GT(expected, 50u);
  }
  Canvas c;
  graphraster::Arc(c.s, l, t, r, b, 700, 250, 700, 250, 15);
  EXPECT_EQ(PixelsOf(c, kWhite), outline) << "equal rays: the whole ellipse";

  // A quarter pie: the arc, the radii from the centre pixel (400, 250) to (600, 250) and (400,
  // 100), and with fill the quarter's area.
  for (const Rules& rules : {kRev2, kRev1}) {
    Canvas p;
    graphraster::Pie(p.s, rules, l, t, r, b, 700, 250, 400, 0, 15, false);
    for (int x = 400; x <= 600; ++x) EXPECT_EQ(p.At(x, 250), kWhite) << x;
    for (int y = 100; y <= 250; ++y) EXPECT_EQ(p.At(400, y), kWhite) << y;
    EXPECT_EQ(p.At(450, 200), kBlack) << "not filled";
    p.Clear();
    graphraster::Pie(p.s, rules, l, t, r, b, 700, 250, 400, 0, 4, true);
    EXPECT_EQ(p.At(450, 200), kRed);
    EXPECT_EQ(p.At(350, 200), kBlack) << "outside the range";
    EXPECT_EQ(p.At(450, 300), kBlack);
    for (const auto& [x, y] : outline) {
      if (x > 401 && y < 249) {
        EXPECT_EQ(p.At(x, y), kRed) << "fill reaches the outline";
      }
    }
    // With a hatch brush revision 2 outlines the wedge solid; revision 1 shows the brush alone.
    p.Clear();
    p.s.hatch = 1;  // vertical lines in column 4 of every 8
    graphraster::Pie(p.s, rules, l, t, r, b, 700, 250, 400, 0, 15, true);
    EXPECT_EQ(p.At(501, 250), rules.filledOutline ? kWhite : kBlack);
    EXPECT_EQ(p.At(404, 200), kWhite);
  }
  // Reversed and empty boxes, rays from the centre itself.
  Canvas e;
  graphraster::Arc(e.s, 300, 300, 300, 400, 0, 0, 1, 1, 15);
  graphraster::Pie(e.s, kRev2, 300, 300, 400, 300, 0, 0, 1, 1, 15, true);
  EXPECT_EQ(e.Lit(), 0u);
  graphraster::Arc(e.s, r, b, l, t, 400, 250, 400, 250, 15);
  EXPECT_EQ(PixelsOf(e, kWhite), outline) << "reversed box, rays from the centre: whole ellipse";
  e.Clear();
  graphraster::Pie(e.s, kRev2, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 0, 999, 0, 15, true);
  EXPECT_GT(e.Lit(), 0u);
}

// Even-odd reference: pixel centre (x + 1/2, y + 1/2) inside the polygon.
bool InsidePolygon(const std::vector<graphraster::Point>& pts, int64_t x, int64_t y) {
  bool in = false;
  const double px = x + 0.5, py = y + 0.5;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    if ((a.y <= py) != (b.y <= py)) {
      const double cx = a.x + (py - a.y) * double(b.x - a.x) / double(b.y - a.y);
      if (px >= cx) in = !in;
    }
  }
  return in;
}

TEST(RasterPolygon, FillOutlineAndPolyline) {
  std::mt19937 random(99);
  for (int round = 0; round < 16; ++round) {
    std::vector<graphraster::Point> pts(3 + random() % 8);
    for (auto& p : pts) p = {int32_t(random() % 300) + 50, int32_t(random() % 300) + 50};
    for (const Rules& rules : {kRev2, kRev1}) {
      Canvas c(400, 400);
      graphraster::Polygon(c.s, rules, pts.data(), uint32_t(pts.size()), 4, true);
      graphtest::Points edges;
      for (std::size_t i = 0; i < pts.size(); ++i) {
        const auto& a = pts[i];
        const auto& b = pts[(i + 1) % pts.size()];
        const auto e = graphtest::ReferenceLine(a.x, a.y, b.x, b.y, true, 400, 400);
        edges.insert(e.begin(), e.end());
      }
      for (int y = 40; y < 360; ++y) {
        for (int x = 40; x < 360; ++x) {
          const bool in = InsidePolygon(pts, x, y);
          const bool edge = rules.filledOutline && edges.count({x, y});
          ASSERT_EQ(c.At(x, y) == kRed, in || edge) << x << "," << y << " round " << round;
        }
      }
    }
  }
  // The open polyline: segments as lines, the pattern running on, the last point per revision.
  const graphraster::Point zigzag[] = {{10, 10}, {30, 10}, {30, 20}, {10, 20}};
  for (const Rules& rules : {kRev2, kRev1}) {
    Canvas c;
    graphraster::Polygon(c.s, rules, zigzag, 4, 15, false);
    EXPECT_EQ(c.Lit(), 20u + 10 + 20 + (rules.lineEndPoint ? 1 : 0));
    EXPECT_EQ(c.At(10, 20), rules.lineEndPoint ? kWhite : kBlack);
    EXPECT_EQ(c.At(10, 15), kBlack) << "open: no closing side";
    c.Clear();
    c.s.penStyle = graphraster::kPsDash;  // 18 on, 6 off: steps 18..23 are the gap
    c.s.opaque = false;
    graphraster::Polygon(c.s, rules, zigzag, 4, 15, false);
    EXPECT_EQ(c.At(27, 10), kWhite);
    EXPECT_EQ(c.At(28, 10), kBlack);
    EXPECT_EQ(c.At(30, 13), kBlack) << "step 23, on the second segment";
    EXPECT_EQ(c.At(30, 14), kWhite) << "step 24";
    c.Clear();
    c.s.penStyle = graphraster::kPsSolid;
    graphraster::Polygon(c.s, rules, zigzag, 1, 15, false);
    graphraster::Polygon(c.s, rules, zigzag, 0, 15, true);
    EXPECT_EQ(c.Lit(), rules.lineEndPoint ? 1u : 0u) << "one point draws as Line with equal points";
  }
  // Points far outside: only what lies in the area, promptly.
  Canvas c;
  const graphraster::Point far[] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {0, INT32_MAX}};
  graphraster::Polygon(c.s, kRev2, far, 3, 15, true);
  EXPECT_EQ(c.At(0, 0), kWhite);
  EXPECT_EQ(c.At(999, 0), kWhite);
  EXPECT_TRUE(c.DamageCoversDrawing());
}

TEST(RasterFloodFill, EnclosedRegionBorderSeedAndBoundedMemory) {
  static graphraster::FillScratch scratch;
  for (const Rules& rules : {kRev2, kRev1}) {
    Canvas c;
    graphraster::Rectangle(c.s, kRev2, 10, 10, 60, 40, 14, false);  // yellow border
    graphraster::Line(c.s, kRev2, 0, 50, 999, 50, 4);               // another colour
    graphraster::FloodFill(c.s, 30, 30, 2, 14, scratch);
    EXPECT_EQ(c.Count(0x00B000), 49u * 29) << "exactly the inside";
    graphraster::FloodFill(c.s, 10, 20, 9, 14, scratch);
    EXPECT_EQ(c.Count(0x0000FF), 0u) << "seeded on the border: nothing";
    graphraster::FloodFill(c.s, 5000, 20, 9, 14, scratch);
    EXPECT_EQ(c.Count(0x0000FF), 0u) << "seeded outside: nothing";
    // Outside the box the fill runs over the red line (not the border colour) to the edges.
    graphraster::FloodFill(c.s, 0, 0, 9, 14, scratch);
    EXPECT_EQ(c.Count(0x0000FF), 1000u * 750 - 51u * 31);
    (void)rules;
  }
  // A hatched brush paints colours that are in the area already without looping; a comb of
  // 1-pixel teeth with a stack of 4 spans takes the search path for what did not fit.
  Canvas c;
  for (int x = 1; x < 1000; x += 2) graphraster::Line(c.s, kRev2, x, 1, x, 748, 14);
  c.s.hatch = 4;
  scratch.spanLimit = 4;
  graphraster::FloodFill(c.s, 0, 0, 14, 14, scratch);
  scratch.spanLimit = 0;
  uint64_t black = 0;
  for (int x = 0; x < 1000; x += 2) {
    for (int y = 1; y < 749; ++y) black += c.At(x, y) == kBlack;
  }
  const uint64_t expectedBlack = [] {
    uint64_t n = 0;  // hatch gaps in the teeth: cross hatch rows 3 mod 8 and column 4 mod 8 are set
    for (int x = 0; x < 1000; x += 2) {
      for (int y = 1; y < 749; ++y) n += (y & 7) != 3 && (x & 7) != 4;
    }
    return n;
  }();
  EXPECT_EQ(black, expectedBlack) << "every tooth reached";
  EXPECT_EQ(c.At(998, 748), kBlack);
  EXPECT_EQ(c.At(996, 748), kYellow) << "column 4 of the hatch";
}

TEST(RasterText, GlyphsCellsAndMix) {
  Canvas c;
  c.s.bkColour = 1;
  graphraster::Text(c.s, 100, 50, "HI", 2, 15);
  // Opaque: both cells are filled, the strokes on top, nothing outside the cells.
  EXPECT_EQ(c.Count(kWhite) + c.Count(0x0000B0), 2u * 8 * 16);
  for (int i = 0; i < 2; ++i) {
    const uint8_t* rows = graphfont::GlyphRows("HI"[i]);
    for (int r = 0; r < 16; ++r) {
      for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(c.At(100 + 8 * i + k, 50 + r), ((rows[r] >> (7 - k)) & 1) ? kWhite : 0x0000B0u);
      }
    }
  }
  // Transparent: strokes only; a character without a glyph is an empty cell.
  c.Clear();
  c.s.opaque = false;
  graphraster::Text(c.s, 0, 0,
                    "A\x01"
                    "B",
                    3, 15);
  uint64_t strokes = 0;
  for (const char ch : {'A', 'B'}) {
    for (int r = 0; r < 16; ++r) strokes += __builtin_popcount(graphfont::GlyphRows(ch)[r]);
  }
  EXPECT_EQ(c.Count(kWhite), strokes);
  for (int y = 0; y < 16; ++y) {
    for (int x = 8; x < 16; ++x) EXPECT_EQ(c.At(x, y), kBlack);
  }
  // Every printable character has a glyph inside its cell's rows 2..14, and they differ.
  std::set<std::vector<uint8_t>> seen;
  for (int ch = 33; ch < 127; ++ch) {
    const uint8_t* rows = graphfont::GlyphRows(static_cast<unsigned char>(ch));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows[0] | rows[1] | rows[15], 0) << char(ch);
    seen.insert(std::vector<uint8_t>(rows, rows + 16));
  }
  EXPECT_EQ(seen.size(), 94u);
  EXPECT_EQ(graphfont::GlyphRows(127), nullptr);
  // Clipped at the left edge and far away.
  c.Clear();
  graphraster::Text(c.s, -4, 0, "HH", 2, 15);
  graphraster::Text(c.s, INT32_MAX - 3, 0, "HH", 2, 15);
  graphraster::Text(c.s, INT32_MIN, INT32_MIN, "HH", 2, 15);
  EXPECT_GT(c.Lit(), 0u);
  EXPECT_TRUE(c.DamageCoversDrawing());
}

TEST(RasterText, CellTextBoxCoversTheCells) {
  Canvas c;
  graphraster::CellText(c.s, 16, 32, "Hi!", 3, 15, 4, 8, 15);
  uint64_t box = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      const bool inBox = x >= 16 && x <= 16 + 3 * 8 - 1 && y >= 32 && y <= 32 + 15;
      EXPECT_EQ(c.At(x, y) != kBlack, inBox) << x << "," << y;
      box += inBox;
    }
  }
  EXPECT_EQ(c.Count(kWhite) + c.Count(kRed), box);
  EXPECT_GT(c.Count(kWhite), 10u);
  c.Clear();
  graphraster::CellText(c.s, 0, 0, "", 0, 15, 4, 8, 15);
  EXPECT_EQ(c.Lit(), 0u);
}

TEST(RasterImages, RasterOperationsAndPool) {
  Canvas c(16, 8);
  // Source: a 4 x 2 image of known values; destination pattern beside it.
  const uint32_t src[8] = {0xFF00FF, 0x00FF00, 0x123456, 0x000000,
                           0xFFFFFF, 0x0F0F0F, 0xABCDEF, 0x808080};
  const uint32_t dst = 0x3C3C3C;
  struct Op {
    uint32_t rop;
    uint32_t (*f)(uint32_t, uint32_t);
  } ops[] = {{graphraster::kRopCopy, [](uint32_t s, uint32_t) { return s; }},
             {graphraster::kRopErase, [](uint32_t s, uint32_t d) { return s & ~d & 0xFFFFFF; }},
             {graphraster::kRopAnd, [](uint32_t s, uint32_t d) { return s & d; }},
             {graphraster::kRopPaint, [](uint32_t s, uint32_t d) { return s | d; }},
             {graphraster::kRopInvert, [](uint32_t s, uint32_t d) { return s ^ d; }}};
  for (const Op& op : ops) {
    std::fill(c.pixels.begin(), c.pixels.end(), dst);
    graphraster::PutImage(c.s, 2, 3, src, 4, 2, op.rop);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool in = x >= 2 && x < 6 && y >= 3 && y < 5;
        EXPECT_EQ(c.At(x, y), in ? op.f(src[(y - 3) * 4 + x - 2], dst) : dst) << op.rop;
      }
    }
  }
  std::fill(c.pixels.begin(), c.pixels.end(), dst);
  graphraster::PutImage(c.s, 2, 3, src, 4, 2, 0x123456);
  EXPECT_EQ(c.Count(dst), 16u * 8) << "an unknown operation draws nothing";
  // An image larger than the area, put beyond the top-left corner: clipped.
  graphraster::PutImage(c.s, -1, -1, src, 4, 2, graphraster::kRopCopy);
  EXPECT_EQ(c.At(0, 0), 0x0F0F0Fu);
  EXPECT_EQ(c.At(2, 0), 0x808080u);
  EXPECT_EQ(c.At(3, 0), dst);

  // The pool: capture (parts outside read black), put back, free; stale numbers draw nothing.
  graphimages::Pool pool{};
  Canvas big;
  graphraster::Line(big.s, kRev2, 0, 0, 9, 0, 14);
  const uint32_t a = graphimages::Capture(pool, big.s, 9, 1, -2, 0);  // corners in any order
  ASSERT_NE(a, 0u);
  graphimages::Put(pool, big.s, 100, 100, a, graphraster::kRopCopy);
  EXPECT_EQ(big.At(102, 100), kYellow) << "x 0 of the capture";
  EXPECT_EQ(big.At(101, 100), kBlack) << "x -1: outside, black";
  EXPECT_EQ(big.At(111, 100), kYellow);
  EXPECT_EQ(big.At(112, 100), kBlack) << "12 columns";
  graphimages::Free(pool, a);
  graphimages::Free(pool, a);
  big.Clear();
  graphimages::Put(pool, big.s, 100, 100, a, graphraster::kRopCopy);
  EXPECT_EQ(big.Lit(), 0u) << "freed";
  EXPECT_EQ(graphimages::Capture(pool, big.s, 0, 0, INT32_MAX, 0), 0u) << "wider than the pool";
  EXPECT_EQ(graphimages::Capture(pool, big.s, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), 0u);
  // 64 images at most; a quarter of the pool each fills it after four.
  uint32_t held[graphimages::kImages];
  for (uint32_t k = 0; k < graphimages::kImages; ++k) {
    held[k] = graphimages::Capture(pool, big.s, 0, 0, 0, 0);
    ASSERT_NE(held[k], 0u);
    EXPECT_NE(held[k], a) << "a freed number names no later image";
  }
  EXPECT_EQ(graphimages::Capture(pool, big.s, 0, 0, 0, 0), 0u) << "no slot left";
  for (uint32_t k = 0; k < graphimages::kImages; ++k) graphimages::Free(pool, held[k]);
  const uint32_t quarter[4] = {graphimages::Capture(pool, big.s, 0, 0, 4095, 1023),
                               graphimages::Capture(pool, big.s, 0, 0, 4095, 1023),
                               graphimages::Capture(pool, big.s, 0, 0, 4095, 1023),
                               graphimages::Capture(pool, big.s, 0, 0, 4095, 1023)};
  for (uint32_t q : quarter) ASSERT_NE(q, 0u);
  EXPECT_EQ(graphimages::Capture(pool, big.s, 0, 0, 0, 0), 0u) << "no pixels left";
  graphimages::Free(pool, quarter[0]);
  graphimages::Free(pool, quarter[2]);
  // Two separate quarter gaps: half the pool is taken after moving the images together.
  const uint32_t half = graphimages::Capture(pool, big.s, 0, 0, 4095, 2047);
  EXPECT_NE(half, 0u);
  graphimages::Free(pool, quarter[1]);
  graphimages::Free(pool, quarter[3]);
  graphimages::Free(pool, half);
  EXPECT_EQ(graphimages::Count(pool), 0u);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZT_SANITIZED 1
#endif
#endif

// The pool's memory is taken as images need it: when the address space runs out, a capture is
// refused (0) as when the pool is full, and the images held and smaller captures still work.
TEST(RasterImages, PoolOutOfMemoryAnswersFull) {
#ifdef ZT_SANITIZED
  GTEST_SKIP() << "the sanitizers' shadow memory needs an unlimited address space";
#else
  graphimages::Pool pool{};
  Canvas c(64, 64);
  graphraster::Line(c.s, kRev2, 0, 0, 63, 0, 14);
  const uint32_t kept = graphimages::Capture(pool, c.s, 0, 0, 63, 0);
  ASSERT_NE(kept, 0u);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
  long pages = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  ASSERT_NE(statm, nullptr);
  ASSERT_EQ(std::fscanf(statm, "%ld", &pages), 1);
  std::fclose(statm);
  rlimit tight = before;
  tight.rlim_cur =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{16} << 20);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  const uint32_t huge = graphimages::Capture(pool, c.s, 0, 0, 4095, 4095);  // 64 MB
  const uint32_t small = graphimages::Capture(pool, c.s, 0, 0, 15, 15);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
  EXPECT_EQ(huge, 0u) << "no memory: refused like a full pool";
  EXPECT_NE(small, 0u);
  c.Clear();
  graphimages::Put(pool, c.s, 0, 5, kept, graphraster::kRopCopy);
  EXPECT_EQ(c.At(63, 5), kYellow) << "the image held survives the refusal";
  graphimages::Free(pool, kept);
  graphimages::Free(pool, small);
  EXPECT_EQ(graphimages::Count(pool), 0u);
#endif
}

}  // namespace
