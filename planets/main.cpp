// Zentavor: the command line, process start (run-time reports on standard error), the modules,
// the main body, the end.
#include <unistd.h>

#include "graph/Graph.h"
#include "planets/Zentavor.h"
#include "rts/CommandLine.h"
#include "rts/RTS.h"

namespace {

constexpr char kUsage[] =
    "Usage: zentavor [--scale N]\n"
    "       zentavor --help | --version\n"
    "\n"
    "Three planets that attract each other, drawn as turning wireframe spheres in a graphics\n"
    "window of 1000 by 750 pixels beside this terminal. The view follows the heaviest planet;\n"
    "the planets drift out of view after a couple of minutes.\n"
    "\n"
    "Keys (in the terminal or in the window):\n"
    "  r             end the program (lower-case r; every other key is ignored)\n"
    "  Ctrl+C        stop at once with a run-time report and the file errinfo.$$$ (status 9)\n";

// Below the options and the environment.
constexpr char kExitStatus[] =
    "Exit status: 0 when ended on r or without graphics, 2 for a bad argument, 9 after a break\n"
    "or a run-time error. See zentavor(6).\n";

}  // namespace

int main(int argc, char** argv) {
  const uint32_t scale =
      rts::ReadCommandLine(argc, argv, {"zentavor", ZT_VERSION, kUsage, kExitStatus});
  rts::Start(argc, argv, STDERR_FILENO);
  Zentavor::Init();
  Graph::SetScale(scale);
  Zentavor::Body();
  rts::End();
}
