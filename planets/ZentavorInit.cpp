// Zentavor's start: the modules it imports, started in its order. The program starts through
// here.
#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "lib/Lib.h"
#include "planets/Zentavor.h"
#include "rts/RTS.h"
#include "rts/RealMath.h"

namespace Zentavor {

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  Engine::Init();
  Lib::Init();
  Graph::Init();
  RealMath::Init();
  IO::Init();
}

}  // namespace Zentavor
