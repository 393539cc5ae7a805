// Zentavor's main module.
#include "planets/Zentavor.h"

#include <cmath>

#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"

namespace Zentavor {

rts::Array<planeet, 1, 3> planeten;
int32_t i;
int32_t j;
float afstand;
float alfa;
float hoekx;
float hoekz;

namespace {

constexpr float kG = 500.0f;    // gravitational constant
constexpr float kDt = 0.2f;     // time step
constexpr float kDt2 = 0.04f;   // square of the time step, a constant of its own
constexpr float kPi = 3.14f;    // the simulation's value of pi
constexpr float kScale = 5.0f;  // engine units per simulation unit
// A quarter turn, the limit of arctan at infinity: the angle of a direction straight along +y.
constexpr float kQuarterTurn = 1.57079637f;

}  // namespace

float CalculateDistance(PointRc p1, PointRc p2) {
  float dx = p1.x - p2.x;
  float dy = p1.y - p2.y;
  return std::sqrt(dx * dx + dy * dy);
}

void SetInitialValues() {
  struct Start {
    float massa, grootte, x, y, vx, vy;
  };
  constexpr Start kStart[3] = {
      {10.0f, 10.0f, 101.0f, 300.0f, -22.0f, 0.0f},
      {100.0f, 50.0f, 100.0f, 400.0f, 0.0f, 0.0f},
      {20.0f, 15.0f, 102.0f, 200.0f, 15.0f, 0.0f},
  };
  for (int32_t k = 1; k <= 3; ++k) {
    const Start& s = kStart[k - 1];
    planeet& p = planeten[k];
    p.massa = s.massa;
    p.grootte = s.grootte;
    p.pos = {s.x, s.y};
    p.snelheid = {s.vx, s.vy};
  }
}

PointRc Advance() {
  planeet& me = planeten[i];
  me.kracht = {0.0f, 0.0f};
  for (j = 1; j <= 3; ++j) {
    if (j == i) continue;
    const planeet& other = planeten[j];
    afstand = CalculateDistance(me.pos, other.pos);
    float dx = other.pos.x - me.pos.x;
    float dy = other.pos.y - me.pos.y;
    float r2 = afstand * afstand;
    // Rule of the simulation: two planets at the same point (or so close that the square of
    // their distance is 0 in floats) exert no force on each other, and a force too large for a
    // float counts as none, so no infinity or NaN ever reaches the engine.
    me.krachtnorm = r2 > 0.0f ? (me.massa * kG) * other.massa / r2 : 0.0f;
    if (!std::isfinite(me.krachtnorm)) me.krachtnorm = 0.0f;
    if (dx != 0.0f) {
      alfa = std::atan(dy / dx);
      if (other.pos.x < me.pos.x) alfa = alfa + kPi;
    } else {
      // Rule of the simulation: with equal x the direction is straight along y, towards the
      // other planet (a quarter turn up or down); with equal positions it does not matter.
      alfa = dy >= 0.0f ? kQuarterTurn : -kQuarterTurn;
    }
    me.tempkracht = {me.krachtnorm * std::cos(alfa), me.krachtnorm * std::sin(alfa)};
    me.kracht = {me.kracht.x + me.tempkracht.x, me.kracht.y + me.tempkracht.y};
  }
  me.versnelling = {me.kracht.x / me.massa, me.kracht.y / me.massa};
  PointRc delta = {me.snelheid.x * kDt + me.versnelling.x * kDt2 / 2.0f,
                   me.snelheid.y * kDt + me.versnelling.y * kDt2 / 2.0f};
  me.nextpos = {me.pos.x + delta.x, me.pos.y + delta.y};
  me.snelheid = {me.snelheid.x + me.versnelling.x * kDt, me.snelheid.y + me.versnelling.y * kDt};
  return delta;
}

void ViewAngles() {
  float x = kScale * planeten[2].pos.x;
  float y = kScale * planeten[2].pos.y;
  if (y != 0.0f) {
    hoekz = std::atan(x / y) - 0.2f;
    hoekx = std::atan(1000.0f / y);
  } else {
    // Rule of the simulation: with planet 2 on the line y = 0 the angles take their limits as y
    // comes down to 0 from above, so they stay finite.
    hoekz = (x > 0.0f ? kQuarterTurn : x < 0.0f ? -kQuarterTurn : 0.0f) - 0.2f;
    hoekx = kQuarterTurn;
  }
}

void StepPlanet() {
  uint32_t slot = static_cast<uint32_t>(i);
  planeet& me = planeten[i];
  PointRc delta = Advance();
  Engine::DisplaceBol(kScale * delta.x, kScale * delta.y, 0.0f, slot);
  ViewAngles();
  Engine::RotBol(0.01f, 3, kScale * me.pos.x, kScale * me.pos.y, 0.0f, slot);
  Engine::Kijker(0.0f, 0.0f, 1000.0f, hoekx, 0.0f, hoekz);
  Engine::DrawBol(slot, 3.0f * static_cast<float>(i));
  me.pos = me.nextpos;
}

void Frame() {
  for (i = 1; i <= 3; ++i) StepPlanet();
}

bool Pass() {
  if (IO::KeyPressed() && IO::RdKey() == 'r') return false;
  Frame();
  // A frame is drawn once it is on the window; the next one starts then. Without this the
  // frames would run as fast as the back buffer takes lines, tens of thousands a second: the
  // spheres would spin hundreds of radians a second and the planets fly apart before the
  // window had shown a single frame. While keys wait, or are on their way to the key queue,
  // the next pass starts at once, so that a burst is taken one key per frame as fast as the
  // frames can be drawn.
  if (!IO::KeyComing()) Graph::Flush();
  return true;
}

void Body() {
  IO::WrLn();
  SetInitialValues();
  for (int32_t k = 1; k <= 3; ++k) {
    const planeet& p = planeten[k];
    Engine::Bol(kScale * p.pos.x, kScale * p.pos.y, 0.0f, kScale * p.grootte,
                static_cast<uint32_t>(k));
  }
  if (!Graph::Init(1, 1, 1000, 750)) {
    IO::WrStr("Sorry, graphics doesn't work");
    IO::WrLn();
    return;
  }
  while (Pass()) {
  }
  IO::WrStr("Press R to finish te program");
  IO::WrLn();
  IO::RdLn();
}

}  // namespace Zentavor
