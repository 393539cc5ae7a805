// The rasterizer's pixel rules on a surface in memory: no window, no thread. Each case runs under
// both revisions' rule tables where they differ.
#include "graph/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "graph/tests/line_reference.h"

namespace {

using graphraster::Rules;
using graphraster::Surface;

// The revisions' tables as their transport files define them.
constexpr Rules kRev2 = {.lineEndPoint = true, .filledOutline = true, .rectangleInclusive = true};
constexpr Rules kRev1 = {
    .lineEndPoint = false, .filledOutline = false, .rectangleInclusive = false};

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
  Canvas c;
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> x(-1500, 2500), y(-1500, 2300);
  for (const Rules& rules : {kRev2, kRev1}) {
    for (int i = 0; i < 240; ++i) {
      const int32_t x1 = x(random), y1 = y(random), x2 = x(random), y2 = y(random);
      c.s.clipped = i % 3 == 0;
      c.s.clip = {int32_t(random() % 400), int32_t(random() % 300), int32_t(500 + random() % 600),
                  int32_t(400 + random() % 400)};
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
  c.s.clipped = false;
  // Far-away end points: visited only where visible, exactly.
  const int32_t far[][4] = {{-2000000000, 3, 2000000000, 700},
                            {500, -2147483647, 501, 2147483647},
                            {-2147483647, -2147483647, 2147483647, 2147483647},
                            {2147483647, 10, -5, 12},
                            {INT32_MIN, INT32_MIN, INT32_MAX, 100}};
  for (const auto& l : far) {
    c.Clear();
    graphraster::Line(c.s, kRev2, l[0], l[1], l[2], l[3], 15);
    const graphtest::Points want =
        graphtest::ReferenceLine(l[0], l[1], l[2], l[3], true, 1000, 750);
    EXPECT_EQ(c.Count(kWhite), want.size()) << Where(l[0], l[1], l[2], l[3]);
    for (const auto& [px, py] : want) EXPECT_EQ(c.At(px, py), kWhite) << px << "," << py;
  }
}

// Every pen style and both background mixes, on lines inside the area and reaching out of it:
// step i shows the colour where the pattern is on at i, the background colour (opaque mix) or
// nothing (transparent mix) where it is off; the invisible pen draws nothing; revision 2's end
// point is solid.
TEST(RasterLine, StylesFollowTheStepIndex) {
  Canvas c;
  std::mt19937 random(2024);
  for (const Rules& rules : {kRev2, kRev1}) {
    for (int i = 0; i < 600; ++i) {
      const int32_t x1 = int32_t(random() % 1000), y1 = int32_t(random() % 750);
      const int32_t reach = i % 4 == 0 ? 1400 : 70;
      const int32_t x2 = x1 + int32_t(random() % (2 * reach + 1)) - reach;
      const int32_t y2 = y1 + int32_t(random() % (2 * reach + 1)) - reach;
      const uint32_t style = random() % 7, colour = 1 + random() % 15;
      c.s.penStyle = style;
      c.s.opaque = random() % 2 == 0;
      c.s.bkColour = colour ^ 5;
      std::fill(c.pixels.begin(), c.pixels.end(), 0x123456u);
      std::map<std::pair<int64_t, int64_t>, uint32_t> want;
      graphtest::ReferenceSteps(x1, y1, x2, y2, false, 0, 0, 1000, 750,
                                [&](int64_t px, int64_t py, int64_t step) {
                                  if (style == graphraster::kPsNull)
                                    return;  // draws nothing, no gaps either
                                  if (PenOn(style, step)) {
                                    want[{px, py}] = kStdPalette[colour];
                                  } else if (c.s.opaque) {
                                    want[{px, py}] = kStdPalette[colour ^ 5];
                                  }
                                });
      if (rules.lineEndPoint && x2 >= 0 && x2 < 1000 && y2 >= 0 && y2 < 750) {
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

}  // namespace
