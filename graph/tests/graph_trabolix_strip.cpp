// For the fault tests: a revision 1 program that draws only in the strip of its back buffer that
// the window's client area does not show (below it and right of it), each change shown alone,
// then ends normally with "done" on standard output.
#include <unistd.h>

#include <cstdio>

#include "graph/Graph.h"
#include "rts/RTS.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, STDOUT_FILENO);
  Graph::Init();
  if (!Graph::Init(1, 1, 1000, 800)) {
    std::puts("Sorry, graphics doesn't work");
    rts::End();
  }
  Graph::Flush();
  for (uint32_t k = 0; k < 100; ++k) {
    Graph::Line(10 + k, 790, 900, 790, 1 + k % 15);
    Graph::Flush();
    Graph::Line(998, 10 + k, 998, 700, 1 + k % 15);
    Graph::Flush();
  }
  std::puts("done");
  rts::End();
}
