// Zentavor: process start, the library modules in their start order, the main body, the end.
#include <unistd.h>

#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "lib/Lib.h"
#include "planets/Zentavor.h"
#include "rts/RTS.h"
#include "rts/RealMath.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, STDERR_FILENO);
  Engine::Init();
  Lib::Init();
  Graph::Init();
  RealMath::Init();
  IO::Init();
  Zentavor::Body();
  rts::End();
}
