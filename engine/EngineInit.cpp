// Sphere engine: the module start. Kept apart so that a program or test which never starts the
// engine need not link the console and random libraries.
#include <cfenv>

#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "lib/Lib.h"
#include "rts/RealMath.h"

namespace Engine {

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  std::fesetround(FE_TONEAREST);  // the floating-point unit: round to nearest
  Graph::Init();
  Lib::Init();
  RealMath::Init();
  IO::Init();
}

}  // namespace Engine
