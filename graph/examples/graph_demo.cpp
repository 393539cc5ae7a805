// A first look at the graphics library: opens the window, draws a circle and a fan of lines in
// the standard colours, and keeps it open for a few seconds (the first argument, default 10).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "graph/Graph.h"
#include "rts/RTS.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, 2);
  Graph::Init();
  if (!Graph::Init(1, 1, 640, 480)) {
    std::puts("Sorry, graphics doesn't work");
    rts::End();
  }
  Graph::Circle(320, 240, 100, 14);
  for (uint32_t i = 0; i < 16; ++i) Graph::Line(20 + 40 * i, 460, 320, 240, i);
  Graph::Ellipse(320, 240, 30, 15, 12, true);
  sleep(argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 10);
  rts::End();
}
