// Revision 2 of the graphics library under SDL's offscreen driver: the window's life cycle, the
// pixel rules of the back buffer, the settings operations and key forwarding from real SDL events
// delivered to the service thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>

#include "graph/Graph.h"
#include "graph/kvrIGraph.h"
#include "graph/probe.h"
#include "graph/tests/line_reference.h"
#include "graph/tests/present_case.h"
#include "platform/Console.h"
#include "platform/Window.h"
#include "tests/support/test_main.h"

namespace {

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kLightGreen = 0x00FF00, kYellow = 0xFFFF00;

// Returns the library to its start and opens the 1000 x 750 window, so no case depends on another.
void Open() {
  graphprobe::Reset();
  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
}

uint64_t Lit() {
  return Graph::Width * Graph::Depth - graphprobe::CountPixels(kBlack);
}

// Failures, each in a process of its own (death tests run before the others).
TEST(GraphZentavorDeathTest, NoDisplayAnswersFalse) {
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        Graph::Init();
        const bool first = Graph::Init(1, 1, 1000, 750);
        const bool again = Graph::Init(1, 1, 1000, 750);  // still FALSE, and no hang
        Graph::Exit();
        std::exit(!first && !again && !kvrIGraph::fGrMode ? 3 : 1);
      },
      testing::ExitedWithCode(3),
      "^Graph: Graph server not run \\(no display: DISPLAY and WAYLAND_DISPLAY unset\\)\n"
      "Graph: Graph server not run \\(no display: DISPLAY and WAYLAND_DISPLAY unset\\)\n$");
}

TEST(GraphZentavorDeathTest, WindowCreationFailureStopsWithStatus9) {
  EXPECT_EXIT(
      {
        Graph::Init();
        Graph::Init(1, 1, 5000, 100);  // larger than any back buffer
        std::exit(1);
      },
      testing::ExitedWithCode(9),
      "^Couldn't create main window \\(larger than 4096 x 4096 pixels\\)\n$");
}

// The module start and Exit before any Init, then the first Init.
TEST(GraphZentavorLifecycle, ExitBeforeInitThenFirstInit) {
  graphprobe::Reset();
  Graph::Init();
  Graph::Flush();  // no window: returns at once
  Graph::Exit();   // does nothing, and must not wait
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  EXPECT_FALSE(kvrIGraph::fGrMode);
  EXPECT_EQ(Graph::NumPColor, 0u);

  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  EXPECT_TRUE(kvrIGraph::fGrMode);
  EXPECT_NE(graphprobe::WindowId(), 0u);
  EXPECT_EQ(Graph::Width, 1000u);
  EXPECT_EQ(Graph::Depth, 750u);
  EXPECT_EQ(Graph::Columns, 1000u / 8);
  EXPECT_EQ(Graph::Rows, (750u - 4) / 16);
  EXPECT_GT(Graph::NumPColor, 1024u);
  EXPECT_EQ(Lit(), 0u) << "cleared to black";
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
}

TEST(GraphZentavorLifecycle, ReopenExitAndInitAgain) {
  Open();
  const uint32_t first = graphprobe::WindowId();
  Graph::Line(0, 0, 99, 0, 15);
  ASSERT_TRUE(Graph::Init(20, 30, 640, 480));
  EXPECT_NE(graphprobe::WindowId(), first) << "a new window";
  EXPECT_EQ(Graph::Width, 640u);
  EXPECT_EQ(Graph::Columns, 80u);
  EXPECT_EQ(Graph::Rows, 29u);
  EXPECT_EQ(graphprobe::Pixel(10, 0), kBlack) << "the picture does not survive a reopening";
  EXPECT_EQ(graphprobe::Pixel(700, 0), kBlack) << "outside the new area";

  // Exit twice: the second must neither wait nor leave a quit request behind that would end
  // the next window's loop.
  Graph::Exit();
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  Graph::Exit();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  const uint32_t reopened = graphprobe::WindowId();
  EXPECT_NE(reopened, 0u);
  Graph::Line(0, 0, 10, 10, 14);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}))
      << "the new window's loop still runs";
  EXPECT_EQ(graphprobe::WindowId(), reopened);

  // Init right after Exit, and again at once.
  Graph::Exit();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));

  // Larger than any window before: the back buffer gets a larger block, drawn to its far corner
  // and shown.
  ASSERT_TRUE(Graph::Init(1, 1, 1600, 1200));
  Graph::Line(1590, 1199, 1599, 1199, 14);
  EXPECT_EQ(graphprobe::Pixel(1599, 1199), kYellow);
  EXPECT_EQ(graphprobe::CountPixels(kYellow), 10u);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
}

TEST(GraphZentavorLifecycle, CloseButtonAndExposeLeaveTheWindowOpen) {
  Open();
  const uint32_t window = graphprobe::WindowId();
  Graph::Line(5, 5, 50, 5, 12);
  platform::WinPushClose(window);
  platform::WinPushExpose(window);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
  // A redraw after the close request still reaches a live loop.
  Graph::Line(5, 6, 50, 6, 12);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
  EXPECT_EQ(graphprobe::WindowId(), window);
}

// A main thread that draws without pause (short lines, each taking the buffer lock) must not keep
// the service thread from presenting.
TEST(GraphZentavorPresent, PresentsWhileTheMainThreadDrawsWithoutPause) {
  Open();
  graphtest::ExpectPresentsWhileDrawingWithoutPause();
}

// Waits `calls` Flushes and answers the milliseconds they took.
int64_t FlushMs(int calls) {
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < calls; ++k) Graph::Flush();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Flush returns once the drawing is on the window (or at its deadline), and at once when nothing
// waits or no window is open (a Flush that waited for a present or its time-out each time would
// take many seconds here).
TEST(GraphZentavorPresent, FlushWaitsUntilTheDrawingIsShown) {
  Open();
  for (uint32_t round = 0; round < 5; ++round) {
    const uint64_t before = graphprobe::Presents();
    Graph::Line(10, 10 + round, 500, 300, 14);
    graphtest::ExpectFlushShowsTheDrawing("round " + std::to_string(round));
    EXPECT_GT(graphprobe::Presents(), before);
  }
  // 1000 Flushes that each waited one refresh would take 16 s.
  EXPECT_LT(FlushMs(1000), 5000) << "nothing drawn since the last Flush";

  Graph::Exit();
  EXPECT_LT(FlushMs(1000), 5000) << "after Exit";
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  graphtest::ExpectFlushShowsTheDrawing("the new window's cleared picture");
}

TEST(GraphZentavorPixels, EndPointsAndErase) {
  Open();
  Graph::Line(10, 10, 10, 10, 15);
  EXPECT_EQ(graphprobe::Pixel(10, 10), kWhite);
  EXPECT_EQ(Lit(), 1u);
  Graph::ClearScreen(0);

  Graph::Line(0, 0, 3, 0, 15);
  for (uint32_t x = 0; x <= 3; ++x) EXPECT_EQ(graphprobe::Pixel(x, 0), kWhite) << x;
  EXPECT_EQ(Lit(), 4u);

  // The end point is drawn whatever the line style.
  Graph::ClearScreen(0);
  Graph::SetLinestyle(5);
  Graph::Line(100, 100, 200, 150, 14);
  EXPECT_EQ(graphprobe::Pixel(200, 150), kYellow);
  EXPECT_EQ(Lit(), 1u);
  Graph::SetLinestyle(1);  // dotted, opaque background 0: 3 on, 3 off
  Graph::Line(100, 100, 110, 100, 14);
  EXPECT_EQ(graphprobe::Pixel(100, 100), kYellow);
  EXPECT_EQ(graphprobe::Pixel(103, 100), kBlack);
  EXPECT_EQ(graphprobe::Pixel(106, 100), kYellow);
  EXPECT_EQ(graphprobe::Pixel(110, 100), kYellow);
  Graph::SetLinestyle(0);

  // Erasing by drawing again in colour 0 leaves the area black.
  Graph::ClearScreen(0);
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> x(-400, 1400), y(-400, 1150);
  for (int i = 0; i < 200; ++i) {
    const uint32_t x1 = uint32_t(x(random)), y1 = uint32_t(y(random));
    const uint32_t x2 = uint32_t(x(random)), y2 = uint32_t(y(random));
    Graph::Line(x1, y1, x2, y2, 1 + i % 15);
    Graph::Line(x1, y1, x2, y2, 0);
  }
  EXPECT_EQ(Lit(), 0u);
}

// The rule itself is tested on a surface in memory (raster_test); here the requests' way through
// the library, with far-away end points.
TEST(GraphZentavorPixels, ClippingKeepsTheUnclippedPixels) {
  Open();
  // Far-away end points: visited only where visible, exactly.
  const int32_t far[][4] = {{-2000000000, 3, 2000000000, 700},
                            {500, -2147483647, 501, 2147483647},
                            {-2147483647, -2147483647, 2147483647, 2147483647},
                            {2147483647, 10, -5, 12}};
  for (const auto& l : far) {
    Graph::ClearScreen(0);
    Graph::Line(uint32_t(l[0]), uint32_t(l[1]), uint32_t(l[2]), uint32_t(l[3]), 15);
    const graphtest::Points want =
        graphtest::ReferenceLine(l[0], l[1], l[2], l[3], true, 1000, 750);
    EXPECT_EQ(graphprobe::CountPixels(kWhite), want.size());
    for (const auto& [px, py] : want) {
      EXPECT_EQ(graphprobe::Pixel(uint32_t(px), uint32_t(py)), kWhite) << px << "," << py;
    }
  }
}

// Short lines in every direction against the rule itself (styles and mixes: raster_test).
TEST(GraphZentavorPixels, ShortLinesMatchTheRule) {
  Open();
  const int32_t ends[][2] = {{9, 3},  {3, 9}, {-3, 9}, {-9, 3},  {-9, -3}, {-3, -9}, {3, -9},
                             {9, -3}, {1, 0}, {0, 1},  {63, 20}, {64, 21}, {5, 5},   {-7, 7}};
  EXPECT_EQ(graphtest::ShortLinesMatchReference(ends, true, 1000, 750), "");
}

TEST(GraphZentavorPixels, ColourNumbersAndPalette) {
  Open();
  Graph::Line(0, 0, 0, 0, 266);
  EXPECT_EQ(graphprobe::Pixel(0, 0), kLightGreen) << "266 draws like 10";
  Graph::Line(1, 0, 1, 0, 16);
  Graph::Line(2, 0, 2, 0, 14);
  EXPECT_EQ(graphprobe::Pixel(1, 0), kBlack) << "16 is black in the standard palette";
  EXPECT_EQ(graphprobe::Pixel(2, 0), kYellow);

  // A palette larger than the display's colour count is refused and changes nothing.
  const uint32_t colours = Graph::NumPColor;
  static uint32_t big[2000];
  for (uint32_t i = 0; i < 2000; ++i) big[i] = 0x010101u * (i & 0xFF);
  Graph::NumPColor = 256;
  EXPECT_EQ(Graph::RemapAllPalette(big, 257), -1);
  Graph::Line(3, 0, 3, 0, 14);
  EXPECT_EQ(graphprobe::Pixel(3, 0), kYellow);
  Graph::NumPColor = colours;
  // 2000 entries on a 32-bit display: loaded (at most 1024 of them).
  EXPECT_EQ(Graph::RemapAllPalette(big, 2000), 0);
  Graph::Line(4, 0, 4, 0, 14);
  EXPECT_EQ(graphprobe::Pixel(4, 0), 0x0E0E0Eu);
  Graph::InitStdPalette();
  Graph::Line(5, 0, 5, 0, 14);
  EXPECT_EQ(graphprobe::Pixel(5, 0), kYellow);
}

TEST(GraphZentavorPixels, CircleBoxAndLeftEdgeClipping) {
  Open();
  Graph::Circle(500, 400, 12, 10);
  uint32_t minX = 9999, maxX = 0, minY = 9999, maxY = 0;
  uint64_t count = 0;
  for (uint32_t y = 380; y < 420; ++y) {
    for (uint32_t x = 480; x < 520; ++x) {
      if (graphprobe::Pixel(x, y) == 0) continue;
      EXPECT_EQ(graphprobe::Pixel(x, y), kLightGreen);
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
      // Symmetric in the box (488, 388) .. (511, 411).
      EXPECT_NE(graphprobe::Pixel(999 - x, y), 0u) << x << "," << y;
      EXPECT_NE(graphprobe::Pixel(x, 799 - y), 0u) << x << "," << y;
      ++count;
    }
  }
  EXPECT_EQ(minX, 488u);
  EXPECT_EQ(maxX, 511u);
  EXPECT_EQ(minY, 388u);
  EXPECT_EQ(maxY, 411u);
  EXPECT_EQ(count, Lit());
  EXPECT_EQ(graphprobe::Pixel(500, 400), kBlack) << "an outline";
  EXPECT_EQ(graphprobe::Requests(graphprobe::kEllipse) > 0, true);

  // The same circle with its centre near the left edge: exactly the part inside.
  Graph::ClearScreen(0);
  Graph::Circle(130, 300, 40, 15);
  std::set<std::pair<uint32_t, uint32_t>> whole;
  for (uint32_t y = 250; y < 350; ++y) {
    for (uint32_t x = 80; x < 180; ++x) {
      if (graphprobe::Pixel(x, y) == kWhite) whole.insert({x, y});
    }
  }
  Graph::ClearScreen(0);
  Graph::Circle(10, 300, 40, 15);
  uint64_t inside = 0;
  for (const auto& [x, y] : whole) {
    if (x >= 120) {
      EXPECT_EQ(graphprobe::Pixel(x - 120, y), kWhite);
      ++inside;
    }
  }
  EXPECT_EQ(Lit(), inside);
  // A huge circle whose box reaches past every edge draws only its visible arcs, promptly.
  Graph::ClearScreen(0);
  Graph::Circle(500, 375, 2000000000, 15);
  EXPECT_EQ(Lit(), 0u);
  Graph::Circle(500, 375, 600, 15);
  EXPECT_GT(Lit(), 0u);
}

TEST(GraphZentavorPixels, FilledEllipseAndRectangles) {
  Open();
  Graph::Ellipse(100, 100, 10, 5, 4, true);
  EXPECT_EQ(graphprobe::Pixel(100, 100), 0xB00000u);
  EXPECT_EQ(graphprobe::Pixel(90, 100), 0xB00000u);
  EXPECT_EQ(graphprobe::Pixel(110, 100), kBlack) << "right column excluded";
  EXPECT_EQ(graphprobe::Pixel(100, 105), kBlack) << "bottom row excluded";

  // ClearScreen(2) fills the text window with the background colour, corners included.
  Graph::ClearScreen(0);
  Graph::SetTextWindow(2, 2, 3, 3);
  Graph::SetBkColor(15);
  Graph::ClearScreen(2);
  EXPECT_EQ(graphprobe::Pixel(8, 16), kWhite);
  EXPECT_EQ(graphprobe::Pixel(24, 52), kWhite);
  EXPECT_EQ(graphprobe::Pixel(7, 16), kBlack);
  EXPECT_EQ(graphprobe::Pixel(25, 52), kBlack);
  EXPECT_EQ(graphprobe::Pixel(24, 53), kBlack);
  EXPECT_EQ(Lit(), 17u * 37u);
  EXPECT_EQ(Graph::SetBkColor(0), 15u);
  Graph::SetTextWindow(1, 1, Graph::Columns, Graph::Rows);

  // A hatch pattern does not leak into ClearScreen, and is restored after it.
  Graph::SetStdFillMask(Graph::PATSYM_HORIZ);
  Graph::SetBkColor(1);
  Graph::ClearScreen(0);
  EXPECT_EQ(Graph::GetStdFillMask(), Graph::PATSYM_HORIZ);
  EXPECT_EQ(graphprobe::CountPixels(0x0000B0), 1000u * 750u);
  Graph::SetBkColor(0);
  Graph::ClearScreen(0);
  Graph::Ellipse(100, 100, 50, 50, 15, true);
  EXPECT_EQ(graphprobe::Pixel(100, 100), kBlack) << "hatch gap in the background colour";
  EXPECT_EQ(graphprobe::Pixel(100, 95), kBlack);
  EXPECT_EQ(graphprobe::Pixel(100, 99), kWhite) << "row 3 of every 8 is the hatch line";
  EXPECT_EQ(graphprobe::Pixel(100, 91), kWhite);
  Graph::SetStdFillMask(Graph::PATSYM_SOLID);

  // A user pattern: set bits in the colour, clear bits in the background colour.
  Graph::ClearScreen(0);
  const uint8_t checker[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  Graph::SetFillMask(checker);
  Graph::Ellipse(200, 200, 30, 30, 15, true);
  EXPECT_EQ(graphprobe::Pixel(200, 200), kWhite);
  EXPECT_EQ(graphprobe::Pixel(201, 200), kBlack);
  EXPECT_EQ(graphprobe::Pixel(201, 201), kWhite);
  Graph::ClearScreen(0);
  EXPECT_EQ(Lit(), 0u) << "ClearScreen fills solid under a user pattern";
  Graph::SetStdFillMask(Graph::PATSYM_SOLID);
}

TEST(GraphZentavorText, TextWindowPositionAndCursor) {
  Open();
  Graph::SetTextWindow(10, 5, 2, 1);
  // The text position went to column 2, row 1; clamping keeps it in columns 2..10, rows 1..5.
  Graph::TextPosition p = Graph::SetTextPosition(100, 100);
  EXPECT_EQ(p.col, 2u);
  EXPECT_EQ(p.row, 1u);
  p = Graph::SetTextPosition(0, 0);
  EXPECT_EQ(p.col, 10u);
  EXPECT_EQ(p.row, 5u);

  // ClearScreen(1) draws nothing but puts the text position back at the window's top left.
  Graph::SetTextPosition(5, 3);
  Graph::Line(0, 700, 0, 700, 15);
  Graph::ClearScreen(1);
  EXPECT_EQ(graphprobe::Pixel(0, 700), kWhite);
  p = Graph::SetTextPosition(4, 4);
  EXPECT_EQ(p.col, 2u);
  EXPECT_EQ(p.row, 1u);

  // The cursor is the inverted cell (right column and bottom row excluded), and drawing keeps it.
  Graph::ClearScreen(0);
  Graph::SetTextPosition(3, 2);
  EXPECT_FALSE(Graph::DisplayCursor(true));
  EXPECT_EQ(Lit(), 7u * 15u);
  EXPECT_EQ(graphprobe::Pixel(16, 16), kWhite);
  EXPECT_EQ(graphprobe::Pixel(22, 30), kWhite);
  EXPECT_EQ(graphprobe::Pixel(23, 30), kBlack);
  Graph::Line(16, 16, 16, 16, 4);  // drawn with the cursor taken off, then put back
  EXPECT_EQ(graphprobe::Pixel(16, 16), 0xFFFFFFu ^ 0xB00000u);
  EXPECT_TRUE(Graph::DisplayCursor(false));
  EXPECT_EQ(graphprobe::Pixel(16, 16), 0xB00000u);
  EXPECT_EQ(Lit(), 1u);
  Graph::SetTextWindow(1, 1, Graph::Columns, Graph::Rows);
}

// Every drawing operation through the library: its request reaches the back buffer in revision 2's
// conventions, inside the frame that keeps the text cursor; the rules themselves are raster_test's.
TEST(GraphZentavorVocabulary, EveryOperationReachesTheBackBuffer) {
  Open();
  Graph::Plot(3, 4, 14);
  EXPECT_EQ(graphprobe::Pixel(3, 4), kYellow);
  Graph::Rectangle(30, 20, 10, 10, 15, false);  // both corners included
  EXPECT_EQ(graphprobe::Pixel(30, 20), kWhite);
  EXPECT_EQ(graphprobe::Pixel(10, 10), kWhite);
  Graph::Rectangle(100, 100, 100, 100, 10, true);
  EXPECT_EQ(graphprobe::Pixel(100, 100), kLightGreen) << "one point: a pixel";
  EXPECT_EQ(Lit(), 1u + 60u + 1u);

  Graph::ClearScreen(0);
  const Graph::Point tri[] = {{200, 200}, {300, 200}, {250, 260}};
  EXPECT_TRUE(Graph::Polygon(tri, 3, 4, true));
  EXPECT_EQ(graphprobe::Pixel(250, 220), 0xB00000u);
  EXPECT_EQ(graphprobe::Pixel(250, 260), 0xB00000u) << "revision 2 outlines a filled polygon";
  static Graph::Point many[101];
  for (int i = 0; i < 101; ++i) many[i] = {i, 700};
  EXPECT_FALSE(Graph::Polygon(many, 101, 15, false)) << "more than 100 points";
  EXPECT_EQ(graphprobe::Pixel(50, 700), kBlack);
  EXPECT_TRUE(Graph::Polygon(many, 100, 15, false));
  EXPECT_EQ(graphprobe::Pixel(99, 700), kWhite) << "the last point, as Line draws it";
  EXPECT_FALSE(Graph::Polygon(nullptr, 3, 15, true));

  Graph::ClearScreen(0);
  Graph::Rectangle(400, 400, 450, 430, 14, false);
  Graph::FloodFill(420, 410, 2, 14);
  EXPECT_EQ(graphprobe::CountPixels(0x00B000), 49u * 29);
  Graph::FloodFill(400, 410, 9, 14);
  EXPECT_EQ(graphprobe::CountPixels(0x0000FF), 0u) << "seeded on the border";

  Graph::ClearScreen(0);
  Graph::Arc(500, 300, 601, 401, 700, 350, 550, 0, 15);  // a quarter, right to top
  EXPECT_EQ(graphprobe::Pixel(600, 350), kWhite);
  EXPECT_EQ(graphprobe::Pixel(550, 300), kWhite);
  EXPECT_EQ(graphprobe::Pixel(500, 350), kBlack);
  Graph::Pie(500, 300, 601, 401, 700, 350, 550, 0, 12, true);
  EXPECT_EQ(graphprobe::Pixel(570, 330), 0xFF0000u);
  EXPECT_EQ(graphprobe::Pixel(530, 370), kBlack);

  // Text: opaque cells in the background colour, then transparent strokes only.
  Graph::ClearScreen(0);
  Graph::SetBkColor(1);
  Graph::OutTextXY(8, 16, "Hi", 15);
  EXPECT_EQ(graphprobe::CountPixels(0x0000B0) + graphprobe::CountPixels(kWhite), 2u * 8 * 16);
  Graph::SetBkColor(0);
  Graph::ClearScreen(0);
  Graph::SetBkMix(false);
  Graph::OutTextXY(8, 16, "Hi", 15);
  EXPECT_GT(graphprobe::CountPixels(kWhite), 10u);
  EXPECT_EQ(graphprobe::CountPixels(kWhite), Lit());
  Graph::SetBkMix(true);

  // OutText at the text position, which moves on and wraps to the window's next row.
  Graph::ClearScreen(0);
  Graph::SetTextWindow(2, 2, 10, 3);
  Graph::OutText("abc", 15, 4);
  EXPECT_EQ(graphprobe::CountPixels(0xB00000) + graphprobe::CountPixels(kWhite), 3u * 8 * 16);
  EXPECT_EQ(graphprobe::Pixel(8, 16) == 0xB00000u || graphprobe::Pixel(8, 16) == kWhite, true);
  Graph::TextPosition p = Graph::SetTextPosition(5, 2);
  EXPECT_EQ(p.col, 5u);
  EXPECT_EQ(p.row, 2u);
  Graph::OutText("123456", 15, 4);  // past column 10: next row, first column
  p = Graph::SetTextPosition(2, 3);
  EXPECT_EQ(p.col, 2u);
  EXPECT_EQ(p.row, 3u);
  Graph::OutText("123456789", 15, 4);  // on the bottom row it stays there
  p = Graph::SetTextPosition(1, 1);
  EXPECT_EQ(p.col, 2u);
  EXPECT_EQ(p.row, 3u);
  Graph::SetTextWindow(1, 1, Graph::Columns, Graph::Rows);

  // Images: captured without the cursor, put back with a raster operation, freed.
  Graph::ClearScreen(0);
  Graph::Line(10, 10, 19, 10, 14);
  Graph::SetTextPosition(2, 1);
  Graph::DisplayCursor(true);  // inverts (8, 0) .. (15, 15)
  const uint32_t image = Graph::GetImage(10, 10, 19, 10);
  ASSERT_NE(image, 0u);
  Graph::DisplayCursor(false);
  Graph::PutImage(10, 50, image, Graph::_GPSET);
  EXPECT_EQ(graphprobe::Pixel(10, 50), kYellow) << "not the cursor's inverted pixel";
  Graph::PutImage(10, 50, image, Graph::_GXOR);
  EXPECT_EQ(graphprobe::Pixel(10, 50), kBlack);
  Graph::FreeImage(image);
  Graph::PutImage(10, 60, image, Graph::_GPSET);
  EXPECT_EQ(graphprobe::Pixel(10, 60), kBlack) << "a freed image draws nothing";
  EXPECT_EQ(Graph::GetImage(0, 0, 4096, 4096), 0u) << "more pixels than the pool holds";

  // The clip rectangle, corners in any order, right column and bottom row excluded.
  Graph::ClearScreen(0);
  Graph::SetClipRect(200, 150, 100, 100);
  Graph::Rectangle(0, 0, 999, 749, 15, true);
  EXPECT_EQ(Lit(), 100u * 50);
  Graph::NoClip();
  Graph::Plot(0, 0, 15);
  EXPECT_EQ(graphprobe::Pixel(0, 0), kWhite);
  for (unsigned kind : {1u, 5u, 6u, 9u, 10u, 13u, 14u, 15u, 16u, 17u, 18u, 20u, 21u}) {
    EXPECT_GT(graphprobe::Requests(kind), 0u) << "kind " << kind;
  }
}

// Reads forwarded records, skipping any that the console's own sources put there.
platform::InputRecord NextForwarded() {
  platform::InputRecord r{};
  for (;;) {
    if (!platform::ConWaitInput(std::chrono::seconds{3})) {
      ADD_FAILURE() << "no record forwarded";
      return r;
    }
    platform::ConReadInput(r);
    if (r.Event.wVirtualKeyCode == 0 && r.Event.uChar == 0) return r;
  }
}

TEST(GraphZentavorKeys, ForwardsPressReleaseAndShift) {
  Open();
  const uint32_t window = graphprobe::WindowId();
  constexpr uint32_t kA = 4, kLeftShift = 225, kUp = 82, kF13 = 104, kRightAlt = 230;

  platform::WinPushKey(window, kA, true, false);
  platform::WinPushKey(window, kA, false, false);
  platform::InputRecord r = NextForwarded();
  EXPECT_EQ(r.EventType, platform::KEY_EVENT);
  EXPECT_EQ(r.Event.bKeyDown, 1);
  EXPECT_EQ(r.Event.wRepeatCount, 1);
  EXPECT_EQ(r.Event.wVirtualScanCode, 0x1E);
  EXPECT_EQ(r.Event.dwControlKeyState, 0u);
  r = NextForwarded();
  EXPECT_EQ(r.Event.bKeyDown, 0);
  EXPECT_EQ(r.Event.wVirtualScanCode, 0x1E);

  // Shift: its own press goes without the flag; keys while it is held carry it.
  platform::WinPushKey(window, kLeftShift, true, false);
  platform::WinPushKey(window, kA, true, true);
  platform::WinPushKey(window, kA, false, true);
  platform::WinPushKey(window, kLeftShift, false, true);
  platform::WinPushKey(window, kUp, true, false);
  r = NextForwarded();
  EXPECT_EQ(r.Event.wVirtualScanCode, 42);
  EXPECT_EQ(r.Event.dwControlKeyState, 0u);
  r = NextForwarded();
  EXPECT_EQ(r.Event.bKeyDown, 1);
  EXPECT_EQ(r.Event.dwControlKeyState, platform::SHIFT_PRESSED);
  r = NextForwarded();
  EXPECT_EQ(r.Event.bKeyDown, 0);
  EXPECT_EQ(r.Event.dwControlKeyState, platform::SHIFT_PRESSED);
  r = NextForwarded();
  EXPECT_EQ(r.Event.wVirtualScanCode, 42);
  EXPECT_EQ(r.Event.dwControlKeyState, platform::SHIFT_PRESSED);
  r = NextForwarded();
  EXPECT_EQ(r.Event.wVirtualScanCode, 72) << "cursor up, no enhanced flag";
  EXPECT_EQ(r.Event.dwControlKeyState, 0u);
  platform::WinPushKey(window, kUp, false, false);
  NextForwarded();

  // Scan codes of 100 and more fold: F13 (64 hex = 100) arrives as 0. Right Alt counts as Alt.
  platform::WinPushKey(window, kF13, true, false);
  platform::WinPushKey(window, kRightAlt, true, false);
  platform::WinPushKey(window, kA, true, false);
  r = NextForwarded();
  EXPECT_EQ(r.Event.wVirtualScanCode, 0);
  r = NextForwarded();
  EXPECT_EQ(r.Event.wVirtualScanCode, 56);
  r = NextForwarded();
  EXPECT_EQ(r.Event.dwControlKeyState, platform::LEFT_ALT_PRESSED);
  // Releasing Alt clears its flag.
  platform::WinPushKey(window, kRightAlt, false, false);
  platform::WinPushKey(window, kA, false, false);
  NextForwarded();
  r = NextForwarded();
  EXPECT_EQ(r.Event.dwControlKeyState, 0u);
}

}  // namespace
