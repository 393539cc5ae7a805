// Trabolix's main module: the shot's inclusive hit box, the key table (H, Up and 8 alike, C and S
// from the angle before the key, n), the win check before any drawing, placement order and
// bounds, and the key poll of a pass. Cases that start the modules or open the window run in a
// freshly forked child (module start and the window happen once per process), with standard
// input from /dev/null and standard output captured.
#include "shooter/Trabolix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "engine/Engine.h"
#include "graph/probe.h"
#include "lib/Lib.h"
#include "platform/Console.h"
#include "rts/RTS.h"
#include "shooter/StandardLib.h"
#include "tests/support/child.h"

namespace {

using Trabolix::bolar;
using Trabolix::kHit;
using Trabolix::kNotHit;
using Trabolix::kRowColour;
using Trabolix::kRowX;
using Trabolix::kRowY;
using Trabolix::kRowZ;

using testchild::ChildResult;

// Runs `body` in a forked child (standard input /dev/null, output captured); the child's exit
// code is what `body` returns.
ChildResult RunFresh(int (*body)()) {
  return testchild::RunChild(body);
}

// The program's start: the viewer and the spheres zero-filled as in a new process (cases run
// earlier in this process may have changed them), rts with its report on standard output, then
// the modules in its order.
void StartModules() {
  Trabolix::verplx = Trabolix::verply = Trabolix::verplz = 0;
  Trabolix::hoekkijkx = Trabolix::hoekkijky = Trabolix::hoekkijkz = 0;
  bolar = {};
  static char name[] = "trabolix_test";
  static char* argv[] = {name, nullptr};
  rts::Start(1, argv, STDOUT_FILENO);
  Trabolix::Init();
}

void PlaceSphere(long k, float cx, float cy, float cz, float colour) {
  bolar[kRowX][k] = cx;
  bolar[kRowY][k] = cy;
  bolar[kRowZ][k] = cz;
  bolar[kRowColour][k] = colour;
}

// Every sphere far away at (5000, 5000, 5000) and not hit.
void ClearField() {
  for (long k = 1; k <= 6; ++k) PlaceSphere(k, 5000, 5000, 5000, kNotHit);
}

TEST(Schiet, BoxIsInclusiveOnEveryAxis) {
  ClearField();
  PlaceSphere(1, 500, 300, 700, kNotHit);
  // Exactly 150 away on one, two and all three axes: hit.
  const float edges[][3] = {{650, 300, 700}, {350, 450, 700}, {650, 150, 850}, {350, 450, 550}};
  for (const auto& e : edges) {
    bolar[kRowColour][1] = kNotHit;
    Trabolix::Schiet(e[0], e[1], e[2]);
    EXPECT_EQ(bolar[kRowColour][1], kHit) << e[0] << " " << e[1] << " " << e[2];
  }
  // Just past 150 on any one axis: miss.
  const float past[][3] = {{std::nextafter(650.0f, 1e9f), 300, 700},
                           {500, std::nextafter(150.0f, -1e9f), 700},
                           {500, 300, std::nextafter(850.0f, 1e9f)}};
  for (const auto& p : past) {
    bolar[kRowColour][1] = kNotHit;
    Trabolix::Schiet(p[0], p[1], p[2]);
    EXPECT_EQ(bolar[kRowColour][1], kNotHit) << p[0] << " " << p[1] << " " << p[2];
  }
}

TEST(Schiet, OneShotHitsTwoAndHitsStay) {
  ClearField();
  PlaceSphere(2, 100, 100, 100, kNotHit);
  PlaceSphere(5, 300, 200, 0, kNotHit);
  PlaceSphere(6, 0, 0, 0, 0.0f);  // a colour that is neither: a miss makes it 5
  Trabolix::Schiet(200, 150, 50);
  EXPECT_EQ(bolar[kRowColour][2], kHit);
  EXPECT_EQ(bolar[kRowColour][5], kHit);
  EXPECT_EQ(bolar[kRowColour][6], kNotHit);
  EXPECT_EQ(bolar[kRowColour][1], kNotHit);
  // A shot that misses everything leaves hit spheres hit; the start position hits nothing.
  Trabolix::Schiet(0, -1000, 400);
  EXPECT_EQ(bolar[kRowColour][2], kHit);
  EXPECT_EQ(bolar[kRowColour][5], kHit);
  for (long k : {1, 3, 4, 6}) EXPECT_EQ(bolar[kRowColour][k], kNotHit);
}

TEST(WinCheck, AllSixMustBeExactlyTen) {
  for (long k = 1; k <= 6; ++k) bolar[kRowColour][k] = kHit;
  EXPECT_TRUE(Trabolix::AllHit());
  EXPECT_EQ(Trabolix::kleurcheck, 1u);
  for (long miss = 1; miss <= 6; ++miss) {
    bolar[kRowColour][miss] = std::nextafter(kHit, 0.0f);
    EXPECT_FALSE(Trabolix::AllHit()) << miss;
    EXPECT_EQ(Trabolix::kleurcheck, 0u);
    bolar[kRowColour][miss] = kHit;
  }
}

struct Viewer {
  float x, y, z, ax, ay, az;
  bool operator==(const Viewer&) const = default;
};

Viewer Now() {
  return {Trabolix::verplx,    Trabolix::verply,    Trabolix::verplz,
          Trabolix::hoekkijkx, Trabolix::hoekkijky, Trabolix::hoekkijkz};
}

void Set(const Viewer& v) {
  Trabolix::verplx = v.x;
  Trabolix::verply = v.y;
  Trabolix::verplz = v.z;
  Trabolix::hoekkijkx = v.ax;
  Trabolix::hoekkijky = v.ay;
  Trabolix::hoekkijkz = v.az;
}

// The viewer after `key` from `from`.
Viewer After(const Viewer& from, char key) {
  Set(from);
  EXPECT_TRUE(Trabolix::Key(key)) << int(key);
  return Now();
}

TEST(KeyTable, MovesAndTurns) {
  const Viewer start{0, -1000, 400, 0, 0, 0};
  // Angle 0: C = 100, S = 0.
  EXPECT_EQ(After(start, '8'), (Viewer{0, -900, 400, 0, 0, 0}));
  EXPECT_EQ(After(start, '2'), (Viewer{0, -1100, 400, 0, 0, 0}));
  EXPECT_EQ(After(start, '7'), (Viewer{100, -1000, 400, 0, 0, 0}));
  EXPECT_EQ(After(start, '1'), (Viewer{-100, -1000, 400, 0, 0, 0}));
  EXPECT_EQ(After(start, '+'), (Viewer{0, -1000, 500, 0, 0, 0}));
  EXPECT_EQ(After(start, '-'), (Viewer{0, -1000, 300, 0, 0, 0}));
  EXPECT_EQ(After(start, '6'), (Viewer{0, -1000, 400, 0, 0, 0.1f}));
  EXPECT_EQ(After(start, '4'), (Viewer{0, -1000, 400, 0, 0, -0.1f}));
  EXPECT_EQ(After(start, '9'), (Viewer{0, -1000, 400, 0.1f, 0, 0}));
  EXPECT_EQ(After(start, '3'), (Viewer{0, -1000, 400, -0.1f, 0, 0}));
  EXPECT_EQ(After(start, '/'), (Viewer{0, -1000, 400, 0, 0.1f, 0}));
  EXPECT_EQ(After(start, '*'), (Viewer{0, -1000, 400, 0, -0.1f, 0}));
  EXPECT_EQ(After(start, '\0'), start);

  // Each digit and the key that shares its keypad place act alike: the cursor key's second code
  // is the typed upper-case letter's code (Up 48H = H), at an angle where C and S both count.
  const Viewer turned{250, -300, 400, 0.2f, -0.3f, 0.7f};
  const char same[][2] = {{'8', 'H'}, {'2', 'P'}, {'7', 'G'}, {'1', 'O'},
                          {'9', 'I'}, {'3', 'Q'}, {'4', 'K'}, {'6', 'M'}};
  for (const auto& keys : same) {
    const Viewer want = After(turned, keys[0]);
    EXPECT_FALSE(want == turned) << keys[0];
    EXPECT_EQ(After(turned, keys[1]), want) << keys[0];
  }
  // 8 moves 100 along (sin, cos) of hoekkijkz; C and S come from the angle before the key.
  const Viewer up = After(turned, '8');
  EXPECT_FLOAT_EQ(up.x, 250 + 100 * std::sin(0.7f));
  EXPECT_FLOAT_EQ(up.y, -300 + 100 * std::cos(0.7f));
  const Viewer home = After(turned, '7');
  EXPECT_FLOAT_EQ(home.x, 250 + 100 * std::cos(0.7f));
  EXPECT_FLOAT_EQ(home.y, -300 - 100 * std::sin(0.7f));
}

TEST(KeyTable, SpaceShootsFromTheTurnedViewerAndNResets) {
  ClearField();
  PlaceSphere(3, 0, 0, 400, kNotHit);
  // Near a quarter turn the shot's y is verply x cos(hoekkijkz), close to 0 whatever verply is.
  Set({0, -1000, 400, 0, 0, 1.5707964f});
  EXPECT_TRUE(Trabolix::Key(' '));
  EXPECT_EQ(bolar[kRowColour][3], kHit);
  PlaceSphere(4, 5000, 5000, 5000, kHit);
  EXPECT_TRUE(Trabolix::Key('n'));
  for (long k = 1; k <= 6; ++k) EXPECT_EQ(bolar[kRowColour][k], kNotHit) << k;
  EXPECT_EQ(bolar[kRowX][3], 0.0f);  // spheres stay where they are
  EXPECT_EQ(bolar[kRowZ][3], 400.0f);
}

TEST(KeyTable, UnusedKeysEndTheGame) {
  const ChildResult c = RunFresh([] {
    StartModules();
    const char unused[] = {'q', 'N', '0', '5', '\r', 0x1B, 0x01, 0x1F, 'a', 0x52, '\x80', '\xFF'};
    for (char k : unused) {
      if (Trabolix::Key(k)) return 1;
    }
    return 0;
  });
  EXPECT_EQ(c.exitCode, 0);
  std::string want;
  for (int n = 0; n < 12; ++n) want += "\r\nUnused key pressed => EXIT\r\n";
  EXPECT_EQ(c.out, want);
}

// Placement draws inner x, outer x, inner y, outer y, inner z, outer z for each sphere; replaying
// the generator from the same seed gives the same values in that order.
TEST(StartUp, PlacesSixSpheresInOrderWithinBounds) {
  const ChildResult c = RunFresh([] {
    StartModules();
    Lib::Seed(4711);
    if (!Trabolix::StartUp()) return 1;
    if (Now() != (Viewer{0, -1000, 400, 0, 0, 0})) return 2;
    Lib::Seed(4711);
    for (long k = 1; k <= 6; ++k) {
      for (long row : {kRowX, kRowY, kRowZ}) {
        const uint32_t inner = StandardLib::RandomCard(990, 1000);
        const uint32_t v = StandardLib::RandomCard(0, inner);
        if (bolar[row][k] != static_cast<float>(v)) return 3;
        if (inner < 990 || inner > 1000 || v > inner) return 4;
      }
      if (bolar[kRowColour][k] != kNotHit) return 5;
      // Engine slot k holds a sphere of radius 50 about the centre: its bottom ring's z.
      const float bottom = Engine::bollen3D[k][1][8][1][3];
      if (std::fabs(bottom - (bolar[kRowZ][k] - 50.0f)) > 0.01f) return 6;
    }
    if (Engine::middelpunt[1] != bolar[kRowX][6] || Engine::middelpunt[3] != bolar[kRowZ][6]) {
      return 7;
    }
    return 0;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "");
}

// A pass draws the aim circle and the six spheres from the viewer (verplx, verply x
// cos(hoekkijkz), verplz); once all six are hit, the next pass writes the win line and draws
// nothing at all.
TEST(Pass, DrawsThenWinCheckEndsBeforeDrawing) {
  const ChildResult c = RunFresh([] {
    StartModules();
    // A fixed seed: from the clock's seed, about one placement in a hundred puts a sphere's line
    // across the aim circle's top pixel, drawn after the circle.
    Lib::Seed(4711);
    if (!Trabolix::StartUp()) return 1;
    Trabolix::verply = -800;
    Trabolix::hoekkijkz = 0.5f;
    graphprobe::Pixel(0, 0);  // waits for the pending request
    const uint64_t linesBefore = graphprobe::Requests(graphprobe::kLine);
    const uint64_t circlesBefore = graphprobe::Requests(graphprobe::kEllipse);
    if (!Trabolix::Pass()) return 2;
    graphprobe::Pixel(0, 0);
    if (graphprobe::Requests(graphprobe::kLine) == linesBefore) return 3;
    if (graphprobe::Requests(graphprobe::kEllipse) != circlesBefore + 1) return 10;
    if (graphprobe::Pixel(500, 388) != 0x00FF00) return 11;  // the aim circle's top
    if (Engine::kijkerpunt[2] != static_cast<float>(-800 * std::cos(0.5))) return 4;
    if (Engine::kijkerpunt[1] != 0.0f || Engine::kijkerpunt[3] != 400.0f) return 5;
    if (Engine::angle[3] != 0.5f) return 6;
    for (long k = 1; k <= 6; ++k) bolar[kRowColour][k] = kHit;
    const auto drawn = Engine::bollen2D;
    Engine::Kijker(1, 2, 3, 0, 0, 0);
    graphprobe::Pixel(0, 0);
    const uint64_t linesAtWin = graphprobe::Requests(graphprobe::kLine);
    const uint64_t circlesAtWin = graphprobe::Requests(graphprobe::kEllipse);
    if (Trabolix::Pass()) return 7;
    graphprobe::Pixel(0, 0);
    if (graphprobe::Requests(graphprobe::kLine) != linesAtWin) return 8;
    if (graphprobe::Requests(graphprobe::kEllipse) != circlesAtWin) return 12;
    if (!(Engine::bollen2D == drawn) || Engine::kijkerpunt[1] != 1.0f) return 9;
    return 0;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "You are the best and you know it!\r\n");
}

// One key-down record, as the console delivers a typed key, followed by its release.
void Type(uint16_t ch, uint16_t scan, uint16_t vk, uint32_t state) {
  platform::InputRecord r{};
  r.EventType = platform::KEY_EVENT;
  r.Event = {1, 1, vk, scan, ch, state};
  platform::ConWriteInput(r);
  r.Event.bKeyDown = 0;
  platform::ConWriteInput(r);
}

// The key poll: a pass with nothing typed goes on; typed H moves as 8 does; the cursor key Up
// (00, then 48H on the next pass) moves the same way; q ends the game.
TEST(Pass, KeyPollReadsAndActs) {
  const ChildResult c = RunFresh([] {
    StartModules();
    if (!Trabolix::StartUp()) return 1;
    if (!Trabolix::Pass() || Trabolix::verply != -1000.0f) return 2;
    Type('H', 0x23, 'H', platform::SHIFT_PRESSED);
    for (int n = 0; n < 4; ++n) {
      if (!Trabolix::Pass()) return 3;
    }
    if (Trabolix::verply != -900.0f || Trabolix::x != 'H') return 4;
    Type('8', 0x09, '8', 0);
    for (int n = 0; n < 4; ++n) Trabolix::Pass();
    if (Trabolix::verply != -800.0f) return 5;
    // Up comes as 00 and then 48H; the second code is read on the next pass, with nothing else
    // typed.
    Type(0, 0x48, 0x26, platform::ENHANCED_KEY);
    for (int n = 0; n < 4; ++n) Trabolix::Pass();
    if (Trabolix::verply != -700.0f) return 8;
    Type('+', 0x0D, 0xBB, platform::SHIFT_PRESSED);
    for (int n = 0; n < 4; ++n) Trabolix::Pass();
    if (Trabolix::verplz != 500.0f) return 9;
    Type('q', 0x10, 'Q', 0);
    for (int n = 0; n < 8; ++n) {
      if (!Trabolix::Pass()) return Trabolix::x == 'q' ? 0 : 6;
    }
    return 7;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "\r\nUnused key pressed => EXIT\r\n");
}

// --- the steady picture the main loop waits with ----------------------------------------------

// A key of a script: a character, or (ch 0) a cursor key that comes as 00 and then `scan`.
struct ScriptKey {
  char ch;
  uint8_t scan;
};

constexpr int kScriptKeys = 40;

struct Script {
  ScriptKey keys[kScriptKeys];
};

// Checksums of the back buffer recorded by the children: [0] after start-up, [k] after key k.
struct Sums {
  uint64_t idle[kScriptKeys + 1];       // where the loop waits (the paced body)
  int idleCount;                        // waits the paced body reached
  uint64_t settled[kScriptKeys + 1];    // after many unpaced passes
  uint64_t firstPass[kScriptKeys + 1];  // after the first unpaced pass that drew the key's effect
  int unsettled;                        // unpaced runs whose last two passes differed
};

Script gScript;  // copied into each forked child
Sums* gSums;     // shared with the children
int gNextKey;    // the paced child's next key to type

void TypeScriptKey(const ScriptKey& k) {
  if (k.ch == 0) {
    Type(0, k.scan, 0, platform::ENHANCED_KEY);
  } else {
    Type(static_cast<uint8_t>(k.ch), 0x10, 0, 0);
  }
}

// Random keys with a meaning: moves and turns (digits, typed H, + - * /, cursor keys), shots
// and n; most of them forward, back and shots, so the viewer reaches spheres and hits them.
Script RandomScript(uint32_t seed) {
  std::mt19937 random(seed);
  const ScriptKey kinds[] = {{'8', 0},  {'8', 0},  {'8', 0},  {'2', 0}, {' ', 0}, {' ', 0},
                             {'7', 0},  {'1', 0},  {'4', 0},  {'6', 0}, {'9', 0}, {'3', 0},
                             {'+', 0},  {'-', 0},  {'*', 0},  {'/', 0}, {'n', 0}, {'H', 0},
                             {0, 0x48}, {0, 0x50}, {0, 0x4B}, {0, 0x4D}};
  Script s{};
  for (ScriptKey& k : s.keys) {
    k = kinds[random() % (sizeof kinds / sizeof kinds[0])];
  }
  return s;
}

// The game as both children start it: a fixed placement, then spheres 1 and 2 just ahead of
// the viewer and overlapping on the screen, so that shots hit and erasing one sphere cuts into
// the other.
bool StartGame(uint32_t seed) {
  StartModules();
  Lib::Seed(seed);
  if (!Trabolix::StartUp()) return false;
  PlaceSphere(1, 0, -600, 400, kNotHit);
  Engine::Bol(0, -600, 400, 50, 1);
  PlaceSphere(2, 40, -450, 430, kNotHit);
  Engine::Bol(40, -450, 430, 50, 2);
  return true;
}

// For random key scripts the picture the main loop waits with is, after start-up and after every
// key, the one that unpaced passes settle on; the first pass after a key is not always that
// picture (so waiting after one pass would be wrong), and further passes change nothing. The
// paced child runs the real loop and types the next key at each wait; the unpaced child types
// each key and runs passes without waiting.
TEST(Steady, WaitingPictureIsTheSettledPicture) {
  gSums = testchild::Shared<Sums>();
  int withHoles = 0;
  for (uint32_t seed : {11u, 4711u}) {
    gScript = RandomScript(seed);
    *gSums = Sums{};
    const ChildResult paced = RunFresh([] {
      if (!StartGame(1234)) return 1;
      gNextKey = 0;
      Trabolix::SteadyHook = [] {
        const int at = gSums->idleCount++;
        if (at > kScriptKeys) return;
        gSums->idle[at] = graphprobe::Checksum();
        if (gNextKey < kScriptKeys) {
          TypeScriptKey(gScript.keys[gNextKey++]);
        } else {
          Type('q', 0x10, 'Q', 0);
        }
      };
      Trabolix::Loop();
      return 0;
    });
    ASSERT_EQ(paced.exitCode, 0) << paced.err;
    EXPECT_EQ(paced.out, "\r\nUnused key pressed => EXIT\r\n");
    EXPECT_EQ(gSums->idleCount, kScriptKeys + 1) << "one wait after start-up and after each key";

    const ChildResult unpaced = RunFresh([] {
      if (!StartGame(1234)) return 1;
      // Runs `passes` passes; the last two must leave the same picture.
      auto settle = [](int at, int passes) {
        uint64_t before = 0;
        for (int n = 0; n < passes; ++n) {
          if (!Trabolix::Pass()) return false;
          before = gSums->settled[at];
          gSums->settled[at] = graphprobe::Checksum();
        }
        if (before != gSums->settled[at]) ++gSums->unsettled;
        return true;
      };
      if (!settle(0, 3)) return 2;  // the first pass erases nothing, so it has no holes yet
      for (int k = 0; k < kScriptKeys; ++k) {
        const ScriptKey key = gScript.keys[k];
        TypeScriptKey(key);
        if (!Trabolix::Pass()) return 3;                 // reads the key (or its 00)
        if (key.ch == 0 && !Trabolix::Pass()) return 3;  // reads the cursor key's code
        if (!Trabolix::Pass()) return 4;                 // the first picture after the key
        gSums->firstPass[k + 1] = graphprobe::Checksum();
        if (!settle(k + 1, 2)) return 5;
      }
      return 0;
    });
    ASSERT_EQ(unpaced.exitCode, 0) << unpaced.err;
    EXPECT_EQ(gSums->unsettled, 0) << "identical passes change nothing";
    for (int k = 0; k <= kScriptKeys; ++k) {
      EXPECT_EQ(gSums->idle[k], gSums->settled[k]) << "seed " << seed << ", after key " << k;
      if (k > 0 && gSums->firstPass[k] != gSums->settled[k]) ++withHoles;
    }
  }
  EXPECT_GT(withHoles, 0) << "no key left holes in its first pass: the scripts test too little";
}

}  // namespace

namespace {

// --- the main loop with keys that wait, and at the end of the input ---------------------------

int gSteadyWaits;  // in the child: how often the loop waited with its picture steady

// Puts the viewer back where StartUp puts it.
void ViewerAtStart() {
  Trabolix::verplx = 0;
  Trabolix::verply = -1000.0f;
  Trabolix::verplz = 400.0f;
  Trabolix::hoekkijkx = Trabolix::hoekkijky = Trabolix::hoekkijkz = 0;
}

// A burst of keys typed before the loop looks: each acts once, in order, and the loop never
// waits for the window while keys wait (the steady picture is only waited with when none does).
TEST(Loop, BurstIsTakenWithoutWaiting) {
  const ChildResult c = RunFresh([] {
    StartModules();
    if (!Trabolix::StartUp()) return 1;
    const char burst[] = "8686448+9*8/2174468";
    // Where the keys must take the viewer, worked out by the key table alone.
    for (const char* k = burst; *k != '\0'; ++k) Trabolix::Key(*k);
    const float want[] = {Trabolix::verplx,    Trabolix::verply,    Trabolix::verplz,
                          Trabolix::hoekkijkx, Trabolix::hoekkijky, Trabolix::hoekkijkz};
    ViewerAtStart();
    for (const char* k = burst; *k != '\0'; ++k) Type(static_cast<uint8_t>(*k), 0x10, 0, 0);
    Type('q', 0x10, 'Q', 0);
    gSteadyWaits = 0;
    Trabolix::SteadyHook = [] { ++gSteadyWaits; };
    Trabolix::Loop();
    const float got[] = {Trabolix::verplx,    Trabolix::verply,    Trabolix::verplz,
                         Trabolix::hoekkijkx, Trabolix::hoekkijky, Trabolix::hoekkijkz};
    for (int n = 0; n < 6; ++n) {
      if (got[n] != want[n]) return 10 + n;
    }
    return gSteadyWaits == 0 ? 0 : 2;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "\r\nUnused key pressed => EXIT\r\n");
  EXPECT_EQ(c.err, "");
}

// Standard input at its end (the child's is /dev/null) with keys left: they act, the last one a
// key the reading skips (Shift+F1, no character), and then the loop ends with one line on
// standard error instead of waiting for a key that cannot come.
TEST(Loop, EndsWhenTheInputHasEnded) {
  const ChildResult c = RunFresh([] {
    alarm(30);  // a loop that waits for ever ends the child with SIGALRM
    StartModules();
    if (!Trabolix::StartUp()) return 1;
    Type('8', 0x09, '8', 0);
    Type('8', 0x09, '8', 0);
    Type(0, 0x3B, 0x70, platform::SHIFT_PRESSED);
    Trabolix::Loop();
    if (!platform::ConInputEnded()) return 2;
    return Trabolix::verply == -800.0f ? 0 : 3;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "");
  EXPECT_EQ(c.err, "Trabolix: input ended\n");
}

}  // namespace
