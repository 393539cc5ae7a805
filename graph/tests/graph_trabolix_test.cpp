// Revision 1 of the graphics library under SDL's offscreen driver: window thread and drawing
// thread, the refusal of a second window, the close button, and revision 1's pixel rules.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "graph/Graph.h"
#include "graph/probe.h"
#include "graph/tests/line_reference.h"
#include "graph/tests/present_case.h"
#include "platform/Window.h"
#include "tests/support/test_main.h"

namespace {

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kLightGreen = 0x00FF00;
constexpr unsigned kSetup = 22;

uint64_t Lit() {
  return Graph::Width * Graph::Depth - graphprobe::CountPixels(kBlack);
}

bool WaitWindowGone(int ms) {
  for (int i = 0; i < ms; ++i) {
    if (graphprobe::WindowId() == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Returns the library to its start and opens the 1000 x 800 window, so no case depends on another.
void Open() {
  graphprobe::Reset();
  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
}

// The module start, Exit before Init, the first Init and the refused second one.
TEST(GraphTrabolixLifecycle, InitOnceThenRefuse) {
  graphprobe::Reset();
  Graph::Init();
  Graph::Flush();
  Graph::Exit();
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  Graph::Line(0, 0, 5, 5, 15);  // before Init: dropped, no hang

  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
  EXPECT_NE(graphprobe::WindowId(), 0u);
  EXPECT_EQ(graphprobe::Requests(kSetup), 1u);
  EXPECT_EQ(Graph::Columns, 125u);
  EXPECT_EQ(Graph::Rows, (800u - 4) / 16);
  EXPECT_EQ(Lit(), 0u);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(Graph::Init(1, 1, 640, 480));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: Graph window was already created\n");
  EXPECT_EQ(Graph::Width, 1000u) << "the window keeps its geometry";
}

TEST(GraphTrabolixPixels, EndPointsClippingAndErase) {
  Open();
  Graph::ClearScreen(0);
  Graph::Line(10, 10, 10, 10, 15);
  EXPECT_EQ(Lit(), 0u) << "equal points draw nothing";
  Graph::Line(0, 0, 3, 0, 15);
  EXPECT_EQ(graphprobe::Pixel(0, 0), kWhite);
  EXPECT_EQ(graphprobe::Pixel(2, 0), kWhite);
  EXPECT_EQ(graphprobe::Pixel(3, 0), kBlack);
  EXPECT_EQ(Lit(), 3u);

  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> x(-1500, 2500), y(-1500, 2300);
  for (int i = 0; i < 60; ++i) {
    const int32_t x1 = x(random), y1 = y(random), x2 = x(random), y2 = y(random);
    Graph::ClearScreen(0);
    Graph::Line(uint32_t(x1), uint32_t(y1), uint32_t(x2), uint32_t(y2), 15);
    const graphtest::Points want = graphtest::ReferenceLine(x1, y1, x2, y2, false, 1000, 800);
    ASSERT_EQ(graphprobe::CountPixels(kWhite), want.size());
    for (const auto& [px, py] : want) {
      ASSERT_EQ(graphprobe::Pixel(uint32_t(px), uint32_t(py)), kWhite) << px << "," << py;
    }
    Graph::Line(uint32_t(x1), uint32_t(y1), uint32_t(x2), uint32_t(y2), 0);
    ASSERT_EQ(graphprobe::CountPixels(kWhite), 0u);
  }

  // Styles by pen code; the invisible pen draws nothing, not even an end point.
  Graph::ClearScreen(0);
  Graph::SetLineStyle(Graph::LNSTYLE_INVISIBLE);
  Graph::Line(0, 0, 50, 50, 15);
  EXPECT_EQ(Lit(), 0u);
  Graph::SetLineStyle(Graph::LNSTYLE_SHORTDASH);  // 18 on, 6 off
  Graph::Line(0, 0, 30, 0, 15);
  EXPECT_EQ(graphprobe::Pixel(17, 0), kWhite);
  EXPECT_EQ(graphprobe::Pixel(18, 0), kBlack);
  EXPECT_EQ(graphprobe::Pixel(24, 0), kWhite);
  Graph::SetLineStyle(Graph::LNSTYLE_SOLID);
}

// The drawing thread, fed without pause, must not keep the window thread from presenting.
TEST(GraphTrabolixPresent, PresentsWhileRequestsComeWithoutPause) {
  Open();
  graphtest::ExpectPresentsWhileDrawingWithoutPause();

  // Flush waits for the drawing thread's request and then for the present that shows it.
  for (uint32_t round = 0; round < 3; ++round) {
    Graph::Line(10, 10 + round, 500, 300, 14);
    graphtest::ExpectFlushShowsTheDrawing("round " + std::to_string(round));
  }
}

// Short lines in every direction against the rule, the last pixel left out (styles and mixes:
// raster_test).
TEST(GraphTrabolixPixels, ShortLinesMatchTheRule) {
  Open();
  // ClearScreen leaves the last two rows and columns: clear them of earlier lines.
  for (uint32_t k = 1; k <= 2; ++k) {
    Graph::Line(0, 800 - k, 1000, 800 - k, 0);
    Graph::Line(1000 - k, 0, 1000 - k, 800, 0);
  }
  const int32_t ends[][2] = {{9, 3}, {-3, 9}, {-9, -3}, {3, -9}, {1, 0}, {64, 21}, {65, 0}};
  EXPECT_EQ(graphtest::ShortLinesMatchReference(ends, false, 1000, 800), "");
}

TEST(GraphTrabolixPixels, CircleAndClearScreen) {
  Open();
  Graph::ClearScreen(0);
  Graph::Circle(500, 400, 12, 10);
  EXPECT_EQ(graphprobe::Pixel(488, 400), kLightGreen);
  EXPECT_EQ(graphprobe::Pixel(511, 400), kLightGreen);
  EXPECT_EQ(graphprobe::Pixel(500, 388), kLightGreen);
  EXPECT_EQ(graphprobe::Pixel(500, 411), kLightGreen);
  EXPECT_EQ(graphprobe::Pixel(512, 400), kBlack);
  EXPECT_EQ(graphprobe::Pixel(500, 412), kBlack);

  // The filled rectangle of ClearScreen has no pen: it covers (0, 0) .. (Width - 3, Depth - 3).
  Graph::SetBkColor(15);
  Graph::ClearScreen(0);
  EXPECT_EQ(graphprobe::Pixel(997, 797), kWhite);
  EXPECT_EQ(graphprobe::Pixel(998, 797), kBlack);
  EXPECT_EQ(graphprobe::Pixel(997, 798), kBlack);
  EXPECT_EQ(graphprobe::CountPixels(kWhite), 998u * 798u);
  Graph::SetBkColor(0);
  Graph::Line(0, 799, 1000, 799, 15);
  Graph::Line(999, 0, 999, 800, 15);
  Graph::ClearScreen(0);
  EXPECT_EQ(graphprobe::CountPixels(kWhite), 1000u + 799u) << "the last row and column are left";
}

// The new operations through the drawing thread, in revision 1's conventions.
TEST(GraphTrabolixVocabulary, OperationsThroughTheDrawingThread) {
  Open();
  Graph::SetBkColor(0);
  Graph::ClearScreen(0);
  Graph::Rectangle(10, 10, 30, 20, 15, false);  // right column and bottom row excluded
  EXPECT_EQ(graphprobe::Pixel(29, 19), kWhite);
  EXPECT_EQ(graphprobe::Pixel(30, 20), kBlack);
  Graph::Rectangle(50, 50, 60, 60, 4, true);  // no pen: one less again
  EXPECT_EQ(graphprobe::CountPixels(0xB00000), 9u * 9);
  const Graph::Point line[] = {{100, 100}, {120, 100}};
  EXPECT_TRUE(Graph::Polygon(line, 2, 15, false));
  EXPECT_EQ(graphprobe::Pixel(119, 100), kWhite);
  EXPECT_EQ(graphprobe::Pixel(120, 100), kBlack) << "the last point is left out, as by Line";

  Graph::Line(200, 200, 209, 200, 14);
  const uint32_t image = Graph::GetImage(200, 200, 209, 200);
  ASSERT_NE(image, 0u) << "the drawing thread's answer";
  Graph::PutImage(200, 300, image, Graph::_GOR);
  EXPECT_EQ(graphprobe::Pixel(205, 300), 0xFFFF00u);
  Graph::FreeImage(image);

  Graph::SetClipRect(0, 0, 100, 100);
  Graph::FloodFill(500, 500, 2, 15);  // outside the clip rectangle: nothing
  Graph::NoClip();
  EXPECT_EQ(graphprobe::CountPixels(0x00B000), 0u);
  Graph::OutTextXY(300, 400, "Trabolix", 11);
  Graph::Arc(400, 400, 500, 500, 600, 450, 600, 450, 12);
  Graph::Pie(400, 500, 500, 600, 600, 550, 450, 0, 13, true);
  Graph::OutText("x", 15, 1);
  EXPECT_GT(graphprobe::CountPixels(0x00FFFF), 10u);
  EXPECT_GT(graphprobe::CountPixels(0xFF0000), 100u);
  EXPECT_GT(graphprobe::CountPixels(0xFF00FF), 1000u);
  EXPECT_EQ(graphprobe::Pixel(0, 0), 0x0000B0u) << "OutText's box at the first cell";
  Graph::ClearScreen(0);
}

TEST(GraphTrabolixLifecycle, CloseButtonThenExitAndReopen) {
  Open();
  const uint32_t window = graphprobe::WindowId();
  ASSERT_NE(window, 0u);
  platform::WinPushClose(window);
  ASSERT_TRUE(WaitWindowGone(3000)) << "the close button destroys the window";
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < 1000; ++k) {
    Graph::Line(0, 0, 10, 0, 15);
    Graph::Flush();  // no window: at once (waiting one refresh each would take 16 s)
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  Graph::ClearScreen(0);
  Graph::Line(0, 0, 10, 0, 15);
  EXPECT_EQ(graphprobe::Pixel(9, 0), kWhite) << "drawing still reaches the back buffer";

  testing::internal::CaptureStderr();
  EXPECT_FALSE(Graph::Init(1, 1, 640, 480));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: Graph window was already created\n");

  Graph::Exit();
  Graph::Exit();
  ASSERT_TRUE(Graph::Init(10, 10, 640, 480));
  EXPECT_NE(graphprobe::WindowId(), 0u);
  EXPECT_EQ(graphprobe::Requests(kSetup), 2u);
  EXPECT_EQ(graphprobe::Pixel(9, 0), kBlack) << "a new back buffer";
  Graph::Line(0, 0, 100, 100, 14);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
  Graph::Exit();
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
}

}  // namespace
