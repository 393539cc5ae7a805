// Trabolix's main module: six spheres at random places, a viewer moved and turned by keys, shots
// that turn the spheres they hit light green, and the end on a win or on a key without a
// meaning. The main body is split into its start-up, one pass of its loop and the action of one
// key, so tests and benchmarks can drive it. Everything runs on the main thread.
#pragma once

#include <cstdint>

#include "rts/Array.h"

namespace Trabolix {

// Rows of bolar: centre x, y, z and colour; column k is sphere k (engine slot k).
inline constexpr long kRowX = 1, kRowY = 2, kRowZ = 3, kRowColour = 4;
inline constexpr uint32_t kSpheres = 6;
inline constexpr float kNotHit = 5.0f;  // magenta
inline constexpr float kHit = 10.0f;    // light green

// The module state, zero-filled at start; exported for tests and benchmarks. Main thread only.
extern rts::Array<rts::Array<float, 1, kSpheres>, 1, 4> bolar;
extern float randomx, randomy, randomz;        // the random coordinates drawn last
extern float verplx, verply, verplz;           // the viewer's position
extern float hoekkijkx, hoekkijky, hoekkijkz;  // the viewer's angles about x, y, z (radians)
extern char x;                                 // the key read last
extern uint32_t kleurcheck;                    // the win check's running verdict
extern uint32_t i;                             // sphere index 1..6

// The module start: the modules Trabolix imports, in the program's start order (written out once,
// in TrabolixInit.cpp). Main thread, once (later calls do nothing).
void Init();

// Tests one shot fired from (schietx, schiety, schietz) against the six spheres: a sphere whose
// centre lies within 150 on every axis, bounds included, gets colour 10; one that is not hit
// keeps colour 10 if it had it and otherwise gets 5. Main thread.
void Schiet(float schietx, float schiety, float schietz);

// Start-up: the viewer at (0, -1000, 400) with all angles 0, the window opened at (1, 1) with a
// drawing area of 1000 x 800, then the six spheres placed (six RandomCard calls each: inner x,
// outer x, inner y, outer y, inner z, outer z) and built in engine slots 1..6. When the window
// cannot be opened it writes "Sorry, graphics doesn't work" and a line end and answers false,
// placing nothing. Main thread.
bool StartUp();

// The win check: kleurcheck := 1 when all six spheres have colour 10, else 0. Answers whether
// it is 1. Main thread.
bool AllHit();

// Acts on key `key` as the key table says. Answers false when the key has no meaning; the game
// then has written a line end, "Unused key pressed => EXIT" and a line end. Main thread.
bool Key(char key);

// The drawing half of a pass: the win check (on a win it writes "You are the best and you know
// it!" and a line end and answers false without drawing), the viewer, the aim circle and the six
// spheres. Main thread, after StartUp.
bool Draw();

// The key half of a pass: when a key is waiting, reads it and acts on it. Answers false when the
// key ended the game. Main thread.
bool Poll();

// One pass of the main loop, unpaced: Draw, then Poll. Answers false when the game has ended.
// Main thread, after StartUp.
bool Pass();

// True when the back buffer holds the picture that any number of further passes would leave:
// at least two passes have drawn since start-up or since the last key was read. A pass with the
// same viewer and colours as the one before repeats its requests exactly (it erases the lines the
// previous pass drew and draws them again), and every pixel ends with the value of the last
// request that touches it in the pass; so from the second such pass on nothing changes. The
// first pass after a key may still show holes that erasing one sphere cut into another. Main
// thread.
bool Steady();

// Called by Body each time the picture is steady and no key waits or is on its way, before it
// waits for a key; none by default.
// For tests and benchmarks. Main thread.
extern void (*SteadyHook)();

// The main loop, after StartUp: passes until the game ends. A pass whose picture is steady
// takes a key that waits or is on its way at once; with none it waits, between its drawing and
// its key poll, until the picture is on the window and then until a key is waiting (looking
// again at each display refresh), instead of running identical passes. When the input has ended
// with no key left, the loop writes "Trabolix: input ended" on standard error and returns. Main
// thread.
void Loop();

// The main body: StartUp, then Loop. Main thread.
void Body();

}  // namespace Trabolix
