// Trabolix: the command line, process start (run-time reports on standard output), the modules,
// the main body, the end.
#include <unistd.h>

#include "graph/Graph.h"
#include "rts/CommandLine.h"
#include "rts/RTS.h"
#include "shooter/Trabolix.h"

namespace {

constexpr char kUsage[] =
    "Usage: trabolix [--scale N]\n"
    "       trabolix --help | --version\n"
    "\n"
    "A keyboard game: six magenta spheres (radius 50) stand at random places in a cube of 1000\n"
    "on each side. Walk up to one and shoot: it is hit, and turns light green, when you stand\n"
    "within 150 of its centre on every axis. Hit all six to win. The graphics window (1000 by\n"
    "800 pixels) stays on top but takes no keys: type them in this terminal.\n"
    "\n"
    "Keys (one step is 100, one turn 0.1 radian):\n"
    "  space                 shoot\n"
    "  8 or Up, 2 or Down    step forward, back\n"
    "  7 or Home, 1 or End   step sideways, left, right\n"
    "  4 or Left, 6 or Right turn left, right\n"
    "  9 or PgUp, 3 or PgDn  tilt the view\n"
    "  +, -                  step up, down\n"
    "  *, /                  roll\n"
    "  n                     make every sphere not hit again\n"
    "  any other key         end the game (\"Unused key pressed => EXIT\")\n"
    "  Ctrl+C                stop at once with a run-time report and errinfo.$$$ (status 9)\n";

// Below the options and the environment.
constexpr char kExitStatus[] =
    "Exit status: 0 when the game ends or without graphics, 2 for a bad argument, 9 after a\n"
    "break or a run-time error. See trabolix(6).\n";

}  // namespace

int main(int argc, char** argv) {
  const uint32_t scale =
      rts::ReadCommandLine(argc, argv, {"trabolix", ZT_VERSION, kUsage, kExitStatus});
  rts::Start(argc, argv, STDOUT_FILENO);
  Trabolix::Init();
  Graph::SetScale(scale);
  Trabolix::Body();
  rts::End();
}
