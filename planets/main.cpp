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
    "  Ctrl+C        stop at once with a run-time report and the file errinfo.$$$ (status 9)\n"
    "\n"
    "Options:\n"
    "  --scale N     show the window N times larger, each pixel an N x N block (1 to 4; 1)\n"
    "  -h, --help    show this text and end\n"
    "  --version     show the version and end\n"
    "\n"
    "Environment:\n"
    "  DISPLAY       the X server the window opens on; without a display the program says\n"
    "                \"Sorry, graphics doesn't work\" and ends\n"
    "  TERM          the terminal's type (keypad modes are not sent to \"dumb\" or \"unknown\")\n"
    "\n"
    "Exit status: 0 when ended on r or without graphics, 2 for a bad argument, 9 after a break\n"
    "or a run-time error. See zentavor(6).\n";

}  // namespace

int main(int argc, char** argv) {
  const uint32_t scale = rts::ReadCommandLine(argc, argv, {"zentavor", ZT_VERSION, kUsage});
  rts::Start(argc, argv, STDERR_FILENO);
  Zentavor::Init();
  Graph::SetScale(scale);
  Zentavor::Body();
  rts::End();
}
