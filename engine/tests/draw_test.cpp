// Sphere engine drawing, observed through the real graphics library (Zentavor's revision) in a
// window under SDL's offscreen driver: its back-buffer pixels and its count of line requests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "engine/Engine.h"
#include "graph/Graph.h"
#include "graph/probe.h"
#include "tests/support/child.h"

namespace {

using Engine::Fig2D;
using Engine::Fig3D;
using Engine::pt2D;
using Engine::pt3D;

constexpr uint32_t kYellow = 0xFFFF00, kWhite = 0xFFFFFF, kLightGreen = 0x00FF00;
constexpr uint32_t kWidth = 1000, kDepth = 750;

uint64_t Lines() {
  return graphprobe::Requests(graphprobe::kLine);
}

// True when every pixel of the drawing area is the background colour 0.
bool AllBlack() {
  for (uint32_t y = 0; y < kDepth; ++y)
    for (uint32_t x = 0; x < kWidth; ++x)
      if (graphprobe::Pixel(x, y) != 0) return false;
  return true;
}

bool OnScreen(const pt2D& p) {
  return p[1] > 0 && p[2] > 0 && p[1] < 4294967296.0f && p[2] < 4294967296.0f;
}

// Calls `visit(p, q)` for every line of the wireframe, start point first.
template <class Visit>
void ForEachLine(const Fig2D& f, Visit visit) {
  for (int i = 1; i <= 2; ++i)
    for (int k = 1; k <= 8; ++k) {
      for (int l = 1; l <= 7; ++l) visit(f[i][k][l], f[i][k][l + 1]);
      if (i == 1) visit(f[1][k][8], f[1][k][1]);
    }
}

int VisibleLines(const Fig2D& f) {
  int n = 0;
  ForEachLine(f, [&](const pt2D& p, const pt2D& q) { n += OnScreen(p) && OnScreen(q); });
  return n;
}

bool AllZero(const Fig2D& f) {
  return f == Fig2D{};
}

// Moves the viewer so that every sphere near the origin lies behind it, and redraws `slot`:
// its picture is erased and nothing new is drawn.
void EraseByLookingAway(uint32_t slot) {
  Engine::Kijker(0, 100000, 0, 0, 0, 0);
  Engine::DrawBol(slot, 15);
  EXPECT_TRUE(AllZero(Engine::bollen2D[slot]));
}

class Drawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Graph::Init();
    ASSERT_TRUE(Graph::Init(1, 1, kWidth, kDepth));
  }
  // Each case starts from the engine's start state: no slot built, nothing drawn.
  void SetUp() override {
    Engine::bollen3D = {};
    Engine::bollen2D = {};
  }
};

TEST(DrawingTrap, BadSlotStopsBeforeAnythingIsDrawn) {
  // The trap must come before the engine touches the graphics library at all. Whether or not
  // another case has opened the window in this process, the forked child has no service thread.
  Engine::Bol(0, 0, 0, 100, 20);
  Engine::Kijker(0, -1000, 0, 0, 0, 0);
  auto* seen = testchild::Shared<Fig2D>();
  static Fig2D* gSeen;
  gSeen = seen;
  (*seen)[1][1][1][1] = -1;  // the hook overwrites it with the (untouched, zero) slot 20 picture
  const auto r = testchild::RunProgram([] {
    rts::AddRestoreHook([] { *gSeen = Engine::bollen2D[20]; });
    Engine::DrawBol(21, 14);
  });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.err.rfind("#RTS: unhandled exception #0: invalid index\r\n", 0), 0u) << r.err;
  EXPECT_TRUE(AllZero(*seen));
}

TEST_F(Drawing, FirstDrawSecondDrawAndLookingAway) {
  ASSERT_TRUE(AllBlack());
  Engine::Kijker(0, -1000, 0, 0, 0, 0);
  Engine::Bol(0, 0, 0, 100, 1);
  ASSERT_TRUE(AllZero(Engine::bollen2D[1]));

  // First draw: nothing to erase, all 120 lines in colour 14 (14.9 truncated).
  uint64_t before = Lines();
  Engine::DrawBol(1, 14.9f);
  EXPECT_EQ(Lines() - before, 120u);
  EXPECT_EQ(Engine::TransformatieMatrix, Engine::UnitMatrix());
  const pt2D& p111 = Engine::bollen2D[1][1][1][1];
  EXPECT_NEAR(p111[1], 326.35, 0.01);
  EXPECT_NEAR(p111[2], 210.04, 0.01);
  EXPECT_EQ(graphprobe::Pixel(326, 210), kYellow);
  const Fig2D first = Engine::bollen2D[1];

  // Nothing changed: 120 erased, the same 120 drawn again.
  before = Lines();
  Engine::DrawBol(1, 14.0f);
  EXPECT_EQ(Lines() - before, 240u);
  EXPECT_TRUE(Engine::bollen2D[1] == first);
  EXPECT_EQ(graphprobe::Pixel(326, 210), kYellow);

  // Kijker alone changes no picture; the next DrawBol erases every pixel it drew and, with the
  // sphere behind the viewer, draws nothing and stores an all-(0, 0) picture.
  Engine::Kijker(0, 100000, 0, 0, 0, 0);
  EXPECT_EQ(graphprobe::Pixel(326, 210), kYellow);
  before = Lines();
  Engine::DrawBol(1, 14.0f);
  EXPECT_EQ(Lines() - before, 120u);
  EXPECT_TRUE(AllZero(Engine::bollen2D[1]));
  EXPECT_TRUE(AllBlack());
  before = Lines();
  Engine::DrawBol(1, 14.0f);
  EXPECT_EQ(Lines() - before, 0u) << "nothing left to erase, nothing to draw";
}

TEST_F(Drawing, ViewerAnglesRebuildTheMatrixAndRebuiltSlotsEraseTheOldPicture) {
  Engine::Kijker(100, -900, 50, 0.1f, -0.2f, 0.05f);
  Engine::Bol(0, 0, 0, 80, 2);
  Engine::DrawBol(2, 10);
  Engine::Matrix want = Engine::UnitMatrix();
  Engine::RotMatrix(0.1f, 1, want);
  Engine::RotMatrix(-0.2f, 2, want);
  Engine::RotMatrix(0.05f, 3, want);
  EXPECT_EQ(Engine::TransformatieMatrix, want);
  const pt3D& p = Engine::bollen3D[2][2][3][4];
  const pt2D s = Engine::Pt3D2DRot(p, Engine::kijkerpunt, want, 1000);
  EXPECT_EQ(Engine::bollen2D[2][2][3][4], s);
  ASSERT_TRUE(OnScreen(s));
  EXPECT_EQ(graphprobe::Pixel(static_cast<uint32_t>(s[1]), static_cast<uint32_t>(s[2])),
            kLightGreen);

  // Rebuilding the slot elsewhere: the next draw erases the old sphere where it was drawn.
  Engine::Bol(150, 100, -60, 40, 2);
  Engine::DrawBol(2, 10);
  EXPECT_EQ(graphprobe::Pixel(static_cast<uint32_t>(s[1]), static_cast<uint32_t>(s[2])), 0u);
  EraseByLookingAway(2);
  EXPECT_TRUE(AllBlack());
}

TEST_F(Drawing, LinesWithAnEndOffTheTopLeftAreDroppedWhole) {
  Engine::Kijker(0, -1000, 0, 0, 0, 0);
  Engine::Bol(-300, 0, 250, 100, 3);  // straddles the left and the top edge
  uint64_t before = Lines();
  Engine::DrawBol(3, 10);
  const Fig2D& f = Engine::bollen2D[3];
  const int visible = VisibleLines(f);
  EXPECT_GT(visible, 10);
  EXPECT_LT(visible, 110);
  EXPECT_EQ(Lines() - before, static_cast<uint64_t>(visible));
  ForEachLine(f, [](const pt2D& p, const pt2D& q) {
    if (!OnScreen(p) || !OnScreen(q)) return;
    // Both ends of a kept line are drawn, at the truncated coordinates.
    EXPECT_EQ(graphprobe::Pixel(uint32_t(p[1]), uint32_t(p[2])), kLightGreen);
    EXPECT_EQ(graphprobe::Pixel(uint32_t(q[1]), uint32_t(q[2])), kLightGreen);
  });
  before = Lines();
  EraseByLookingAway(3);
  EXPECT_EQ(Lines() - before, static_cast<uint64_t>(visible));
  EXPECT_TRUE(AllBlack());
}

TEST_F(Drawing, UnbuiltSlotUncardinalCoordinatesAndColours) {
  // A slot never built holds 128 copies of the origin: 120 zero-length lines at its screen point.
  Engine::Kijker(0, -1000, 0, 0, 0, 0);
  uint64_t before = Lines();
  Engine::DrawBol(9, 15);
  EXPECT_EQ(Lines() - before, 120u);
  EXPECT_EQ(graphprobe::Pixel(300, 300), kWhite);
  EXPECT_EQ(graphprobe::Pixel(301, 300), 0u);

  // A negative colour names no colour number: the old picture is erased, nothing is drawn.
  before = Lines();
  Engine::DrawBol(9, -1.0f);
  EXPECT_EQ(Lines() - before, 120u);
  EXPECT_EQ(graphprobe::Pixel(300, 300), 0u);
  for (float colour : {-7.5f, 4294967296.0f, NAN}) {
    before = Lines();
    Engine::DrawBol(9, colour);
    EXPECT_EQ(Lines() - before, 120u) << colour;  // erase only
  }
  EXPECT_TRUE(AllBlack());

  // A point just in front of the viewer and far off-axis projects beyond 2^32: its two lines
  // in its ring and its two in its meridian are skipped, in the draw and in the erase pass.
  Fig3D fig{};
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c) fig[h][r][c][2] = 1000;  // all at the screen centre
  fig[1][4][5][1] = 1e7f;
  fig[1][4][5][2] = 1;
  fig[2][5][4] = fig[1][4][5];
  Fig2D picture{};
  Engine::Kijker(0, 0, 0, 0, 0, 0);
  before = Lines();
  Engine::DrawFig(fig, picture, 12);
  EXPECT_GE(picture[1][4][5][1], 4294967296.0f);
  EXPECT_EQ(Lines() - before, 120u - 4u);
  EXPECT_EQ(graphprobe::Pixel(300, 300), 0xFF0000u);
  before = Lines();
  Engine::DrawFig(fig, picture, 0);
  EXPECT_EQ(Lines() - before, 2 * (120u - 4u));
  EXPECT_TRUE(AllBlack());
}

}  // namespace
