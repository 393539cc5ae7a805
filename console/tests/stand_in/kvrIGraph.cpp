// Stand-in for kvrIGraph's start body (see kvrIGraph.h beside it).
#include "graph/kvrIGraph.h"

#include "rts/RTS.h"

namespace kvrIGraph {

bool fGrMode;
platform::ConHandle hConsoleInput;

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  fGrMode = false;
  hConsoleInput = platform::ConStdInput();
  platform::ConFlushInput();
}

}  // namespace kvrIGraph
