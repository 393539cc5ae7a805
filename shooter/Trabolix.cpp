// Trabolix's main module: placement, the main loop, the key table and the shot.
#include "shooter/Trabolix.h"

#include <unistd.h>

#include <cmath>

#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "rts/RTS.h"
#include "shooter/StandardLib.h"

namespace Trabolix {

rts::Array<rts::Array<float, 1, kSpheres>, 1, 4> bolar;
float randomx, randomy, randomz;
float verplx, verply, verplz;
float hoekkijkx, hoekkijky, hoekkijkz;
char x;
uint32_t kleurcheck;
uint32_t i;
void (*SteadyHook)();

namespace {

constexpr float kRadius = 50.0f;
constexpr float kHitBox = 150.0f;  // half-width of the hit box on each axis
constexpr double kStep = 100.0;    // one move
constexpr float kTurn = 0.1f;      // one turn, radians

// A whole number from 0 to a bound drawn from 990..1000: the inner call comes first.
float RandomCoordinate() {
  const uint32_t bound = StandardLib::RandomCard(990, 1000);
  return static_cast<float>(StandardLib::RandomCard(0, bound));
}

// The viewer's y as the engine and the shot see it: verply x cos(hoekkijkz).
float ViewerY() {
  return static_cast<float>(verply * std::cos(static_cast<double>(hoekkijkz)));
}

bool Within(float shot, float centre) {
  return centre - kHitBox <= shot && shot <= centre + kHitBox;
}

// Passes drawn since start-up or since the last key was read, counted up to 2.
uint32_t gDrawnSinceKey;

// With the picture steady: takes at once a key that is waiting or on its way (a burst is taken as
// fast as the passes can draw it, without waiting for the window); otherwise lets the window
// show the picture, then waits until a key is waiting. The wait ends as soon as a key arrives; it
// looks again at least once per display refresh. Answers false when no key can come any more
// (the input has ended).
bool AwaitKey() {
  while (IO::KeyComing()) {
    if (IO::KeyPressed()) return true;  // else a record that is not a key press was dropped
  }
  if (SteadyHook != nullptr) SteadyHook();
  Graph::Flush();
  while (!IO::KeyPressed()) {
    if (IO::KeysEnded()) return false;
    IO::WaitKey(Graph::RefreshPeriod());
  }
  return true;
}

// The input has ended with no key left: the game cannot go on, and says why on standard error.
void InputEnded() {
  static constexpr char kLine[] = "Trabolix: input ended\n";
  rts::WriteAll(STDERR_FILENO, kLine, sizeof kLine - 1);
}

bool Unused() {
  IO::WrLn();
  IO::WrStr("Unused key pressed => EXIT");
  IO::WrLn();
  return false;
}

}  // namespace

void Schiet(float schietx, float schiety, float schietz) {
  for (uint32_t i = 1; i <= kSpheres; ++i) {
    const bool hit = Within(schietx, bolar[kRowX][i]) && Within(schiety, bolar[kRowY][i]) &&
                     Within(schietz, bolar[kRowZ][i]);
    if (hit || bolar[kRowColour][i] == kHit) {
      bolar[kRowColour][i] = kHit;
    } else {
      bolar[kRowColour][i] = kNotHit;
    }
  }
}

bool StartUp() {
  hoekkijkx = 0;
  hoekkijkz = 0;
  verplx = 0;
  verply = -1000.0f;
  verplz = 400.0f;
  if (!Graph::Init(1, 1, 1000, 800)) {
    IO::WrStr("Sorry, graphics doesn't work");
    IO::WrLn();
    return false;
  }
  for (i = 1; i <= kSpheres; ++i) {
    randomx = RandomCoordinate();
    randomy = RandomCoordinate();
    randomz = RandomCoordinate();
    bolar[kRowX][i] = randomx;
    bolar[kRowY][i] = randomy;
    bolar[kRowZ][i] = randomz;
    bolar[kRowColour][i] = kNotHit;
    Engine::Bol(randomx, randomy, randomz, kRadius, i);
  }
  return true;
}

bool AllHit() {
  kleurcheck = 1;
  for (i = 1; i <= kSpheres; ++i) {
    if (!(bolar[kRowColour][i] == kHit && kleurcheck == 1)) kleurcheck = 0;
  }
  return kleurcheck == 1;
}

bool Key(char key) {
  // C and S come from the angle as it was before the key.
  const double c = kStep * std::cos(static_cast<double>(hoekkijkz));
  const double s = kStep * std::sin(static_cast<double>(hoekkijkz));
  auto add = [](float& v, double d) { v = static_cast<float>(v + d); };
  switch (static_cast<unsigned char>(key)) {
    case 0x00:  // first code of a two-code key: the scan code follows on a later read
      return true;
    case 0x20:  // space
      Schiet(verplx, ViewerY(), verplz);
      return true;
    case 0x2A:  // *
      add(hoekkijky, -kTurn);
      return true;
    case 0x2B:  // +
      add(verplz, kStep);
      return true;
    case 0x2D:  // -
      add(verplz, -kStep);
      return true;
    case 0x2F:  // /
      add(hoekkijky, kTurn);
      return true;
    case 0x31:  // 1, End
    case 0x4F:
      add(verplx, -c);
      add(verply, s);
      return true;
    case 0x32:  // 2, Down
    case 0x50:
      add(verply, -c);
      add(verplx, -s);
      return true;
    case 0x33:  // 3, Page Down
    case 0x51:
      add(hoekkijkx, -kTurn);
      return true;
    case 0x34:  // 4, Left
    case 0x4B:
      add(hoekkijkz, -kTurn);
      return true;
    case 0x36:  // 6, Right
    case 0x4D:
      add(hoekkijkz, kTurn);
      return true;
    case 0x37:  // 7, Home
    case 0x47:
      add(verplx, c);
      add(verply, -s);
      return true;
    case 0x38:  // 8, Up
    case 0x48:
      add(verply, c);
      add(verplx, s);
      return true;
    case 0x39:  // 9, Page Up
    case 0x49:
      add(hoekkijkx, kTurn);
      return true;
    case 0x6E:  // n: every sphere not hit again, in place
      for (uint32_t k = 1; k <= kSpheres; ++k) bolar[kRowColour][k] = kNotHit;
      return true;
    default:  // control keys and every other code
      return Unused();
  }
}

bool Draw() {
  if (AllHit()) {
    IO::WrStr("You are the best and you know it!");
    IO::WrLn();
    return false;
  }
  Engine::Kijker(verplx, ViewerY(), verplz, hoekkijkx, hoekkijky, hoekkijkz);
  Graph::Circle(500, 400, 12, 10);
  for (i = 1; i <= kSpheres; ++i) Engine::DrawBol(i, bolar[kRowColour][i]);
  if (gDrawnSinceKey < 2) ++gDrawnSinceKey;
  return true;
}

bool Poll() {
  if (!IO::KeyPressed()) return true;
  gDrawnSinceKey = 0;
  x = IO::RdKey();
  return Key(x);
}

bool Pass() {
  return Draw() && Poll();
}

bool Steady() {
  return gDrawnSinceKey >= 2;
}

void Loop() {
  for (;;) {
    if (!Draw()) return;
    if (Steady() && !AwaitKey()) return InputEnded();
    if (!Poll()) return;
  }
}

void Body() {
  if (StartUp()) Loop();
}

}  // namespace Trabolix
