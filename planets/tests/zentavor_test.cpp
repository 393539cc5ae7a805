// The planet simulation's arithmetic: the first frame's figures, the order in which planets see
// each other's moves, and the degenerate positions that must stay finite.
#include "planets/Zentavor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/Engine.h"
#include "graph/Graph.h"
#include "graph/probe.h"

namespace Zentavor {
namespace {

void StepPhysicsOnly(int32_t planet) {
  i = planet;
  Advance();
  planeten[i].pos = planeten[i].nextpos;
}

TEST(Frame, FirstStepOfPlanet1) {
  SetInitialValues();
  i = 1;
  PointRc delta = Advance();
  const planeet& p = planeten[1];
  // Distance to planet 3 (the pair worked out last) and the force from it.
  EXPECT_NEAR(afstand, 100.005, 1e-3);
  EXPECT_NEAR(p.krachtnorm, 9.999, 1e-3);
  // The force from planet 2 is the total minus the last pair's.
  float fx2 = p.kracht.x - p.tempkracht.x, fy2 = p.kracht.y - p.tempkracht.y;
  EXPECT_NEAR(std::sqrt(fx2 * fx2 + fy2 * fy2), 49.995, 1e-3);
  EXPECT_NEAR(p.kracht.x, -0.3203, 1e-4);
  EXPECT_NEAR(p.kracht.y, 39.995, 1e-3);
  EXPECT_NEAR(p.versnelling.x, -0.03203, 1e-5);
  EXPECT_NEAR(p.versnelling.y, 3.9995, 1e-4);
  EXPECT_NEAR(p.nextpos.x, 96.599, 1e-3);
  EXPECT_NEAR(p.nextpos.y, 300.080, 1e-3);
  EXPECT_NEAR(p.snelheid.x, -22.006, 1e-3);
  EXPECT_NEAR(p.snelheid.y, 0.7999, 1e-4);
  EXPECT_NEAR(5.0f * delta.x, -22.003, 1e-3);
  EXPECT_NEAR(5.0f * delta.y, 0.39995, 1e-4);
  EXPECT_FLOAT_EQ(p.pos.x, 101.0f) << "pos changes only at the end of the planet's step";

  ViewAngles();
  EXPECT_NEAR(hoekx, 0.46365, 1e-5);
  EXPECT_NEAR(hoekz, 0.04498, 1e-5);
}

TEST(Frame, LaterPlanetsSeeEarlierPlanetsMoved) {
  SetInitialValues();
  StepPhysicsOnly(1);
  EXPECT_NEAR(planeten[1].pos.x, 96.599, 1e-3);
  i = 2;
  Advance();
  // Planet 2's force as it must come out from planet 1 at its moved position (96.599, 300.080),
  // about 99.978 away, and planet 3 still at (102, 200).
  // The direction is arctan(dy / dx), turned by the simulation's 3.14 (not pi) when the other
  // planet lies at smaller x.
  auto pull = [](double mx, double my, double ox, double oy, double m1, double m2, double* fx,
                 double* fy) {
    double dx = ox - mx, dy = oy - my, d = std::sqrt(dx * dx + dy * dy);
    double f = m1 * 500.0 * m2 / (d * d);
    double a = std::atan(dy / dx) + (dx < 0 ? 3.14 : 0.0);
    *fx += f * std::cos(a);
    *fy += f * std::sin(a);
    return d;
  };
  double fx = 0, fy = 0;
  double d1 = pull(100, 400, planeten[1].pos.x, planeten[1].pos.y, 100, 10, &fx, &fy);
  pull(100, 400, 102, 200, 100, 20, &fx, &fy);
  EXPECT_NEAR(d1, 99.978, 1e-3);
  EXPECT_NEAR(planeten[2].kracht.x, fx, 1e-3);
  EXPECT_NEAR(planeten[2].kracht.y, fy, 1e-3);
}

TEST(Frame, DegeneratePositionsStayFinite) {
  // Equal x: the pull is straight along y, towards the other planet.
  SetInitialValues();
  planeten[3].pos = {101.0f, 200.0f};  // same x as planet 1, below it
  planeten[2].pos = {101.0f, 400.0f};  // same x as planet 1, above it
  i = 1;
  Advance();
  const planeet& p = planeten[1];
  EXPECT_NEAR(p.kracht.x, 0.0, 1e-3);
  EXPECT_NEAR(p.kracht.y, 10 * 500.0 * 100 / 1e4 - 10 * 500.0 * 20 / 1e4, 1e-3);

  // Two planets at the same point: no force from that pair.
  SetInitialValues();
  planeten[2].pos = planeten[1].pos;
  i = 1;
  Advance();
  EXPECT_TRUE(std::isfinite(p.kracht.x) && std::isfinite(p.kracht.y));
  EXPECT_NEAR(p.kracht.y, -10 * 500.0 * 20 / (100.005 * 100.005), 1e-2) << "only planet 3 pulls";
  EXPECT_TRUE(std::isfinite(p.nextpos.x) && std::isfinite(p.nextpos.y));

  // Planet 2 on y = 0: finite viewer angles.
  for (float x : {-10.0f, 0.0f, 10.0f}) {
    planeten[2].pos = {x, 0.0f};
    ViewAngles();
    EXPECT_TRUE(std::isfinite(hoekx) && std::isfinite(hoekz)) << x;
    EXPECT_NEAR(hoekx, 1.5708, 1e-4);
  }
  planeten[2].pos = {10.0f, 0.0f};
  ViewAngles();
  EXPECT_NEAR(hoekz, 1.5708 - 0.2, 1e-4);
}

TEST(Frame, DistanceIsEuclidean) {
  EXPECT_FLOAT_EQ(CalculateDistance({0, 0}, {3, 4}), 5.0f);
  EXPECT_FLOAT_EQ(CalculateDistance({3, 4}, {0, 0}), 5.0f);
  EXPECT_FLOAT_EQ(CalculateDistance({1, 1}, {1, 1}), 0.0f);
}

}  // namespace
}  // namespace Zentavor

namespace Zentavor {
namespace {

// The whole frame through the real engine and graphics library (offscreen window): after the
// first frames every planet shows in its own colour, and planet 2 sits near the screen point
// its centre projects to.
TEST(Frame, PlanetsAppearInTheirColours) {
  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  SetInitialValues();
  for (int32_t k = 1; k <= 3; ++k) {
    const planeet& p = planeten[k];
    Engine::Bol(5.0f * p.pos.x, 5.0f * p.pos.y, 0.0f, 5.0f * p.grootte, static_cast<uint32_t>(k));
  }
  for (int n = 0; n < 3; ++n) Frame();
  EXPECT_GT(graphprobe::CountPixels(0x008080), 50u) << "planet 1, cyan";
  EXPECT_GT(graphprobe::CountPixels(0xB06000), 50u) << "planet 2, brown";
  EXPECT_GT(graphprobe::CountPixels(0x0000FF), 50u) << "planet 3, light blue";
  EXPECT_EQ(graphprobe::Requests(graphprobe::kLine) % 3, 0u);
}

}  // namespace
}  // namespace Zentavor
