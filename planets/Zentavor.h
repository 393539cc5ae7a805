// Zentavor's main module: three planets under gravity in a plane, drawn as turning wireframe
// spheres, with the view following planet 2. The frame is split into steps a test can call.
#pragma once

#include <cstdint>

#include "rts/Array.h"

namespace Zentavor {

// A point or vector in the plane of motion.
struct PointRc {
  float x;
  float y;
};

// One planet.
struct planeet {
  float massa;
  float grootte;
  float krachtnorm;
  PointRc pos;
  PointRc nextpos;
  PointRc snelheid;
  PointRc kracht;
  PointRc tempkracht;
  PointRc versnelling;
};

// The module state, zero-filled at start. Main thread only.
extern rts::Array<planeet, 1, 3> planeten;
extern int32_t i;
extern int32_t j;
extern float afstand;
extern float alfa;
extern float hoekx;
extern float hoekz;

// The module start: the modules Zentavor imports, in the program's start order (written out once,
// in ZentavorInit.cpp). Main thread, once (later calls do nothing).
void Init();

// Euclidean distance between two points of the plane.
float CalculateDistance(PointRc p1, PointRc p2);

// Gives the planets their initial values.
void SetInitialValues();

// Gravity step of planet `i` (frame steps 1 to 4 and 6): forces from the other two planets,
// acceleration, `nextpos` and the new velocity. Returns the displacement of this step.
PointRc Advance();

// Works out `hoekx` and `hoekz` from planet 2's current position (frame step 7).
void ViewAngles();

// Steps planet `i` through the whole frame step, moving, turning and redrawing its sphere.
void StepPlanet();

// One frame: planets 1, 2 and 3 in turn.
void Frame();

// One pass of the main loop: takes at most one key, and answers false once that key is r;
// otherwise runs one frame, then waits until the frame is on the window (one frame per display
// refresh) unless keys are waiting or on their way. Main thread.
bool Pass();

// The main body: start-up, then passes until r, the closing line. Main thread.
void Body();

}  // namespace Zentavor
