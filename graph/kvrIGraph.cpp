// Module kvrIGraph (revision 2): the state the console library shares with the graphics window.
#include "graph/kvrIGraph.h"

#include "rts/RTS.h"

namespace kvrIGraph {

bool fGrMode;
platform::ConHandle hConsoleInput;
Proc proc;

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  proc = nullptr;
  fGrMode = false;
  hConsoleInput = platform::ConStdInput();
  platform::ConFlushInput();
}

}  // namespace kvrIGraph
