// The graphics library's demo: opens an 800 x 600 window, draws one of everything the library
// draws (graph/examples/demo_scene.cpp) and keeps the window open for a few seconds (the first
// argument, default 10). Built for both revisions: graph_demo_zentavor (revision 2) and
// graph_demo_trabolix.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "graph/Graph.h"
#include "graph/examples/demo_scene.h"
#include "graph/examples/demo_style.h"
#include "rts/RTS.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, 2);
  Graph::Init();
  if (!Graph::Init(1, 1, 800, 600)) {
    std::puts("Sorry, graphics doesn't work");
    rts::End();
  }
  graphdemo::Draw(graphdemo::SetStyle);
  Graph::Flush();
  sleep(argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 10);
  rts::End();
}
