// Trabolix's start: the modules it imports, started in its order. The program, its tests and its
// benchmark all start through here.
#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "lib/Lib.h"
#include "rts/RTS.h"
#include "rts/RealMath.h"
#include "shooter/StandardLib.h"
#include "shooter/Trabolix.h"

namespace Trabolix {

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  Engine::Init();
  StandardLib::Init();
  Graph::Init();
  Lib::Init();
  RealMath::Init();
  IO::Init();
}

}  // namespace Trabolix
