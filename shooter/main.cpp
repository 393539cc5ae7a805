// Trabolix: process start, the library modules in their start order, the main body, the end.
#include <unistd.h>

#include "console/IO.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "lib/Lib.h"
#include "rts/RTS.h"
#include "rts/RealMath.h"
#include "shooter/StandardLib.h"
#include "shooter/Trabolix.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, STDOUT_FILENO);
  Engine::Init();
  StandardLib::Init();
  Graph::Init();
  Lib::Init();
  RealMath::Init();
  IO::Init();
  Trabolix::Body();
  rts::End();
}
