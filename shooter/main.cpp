// Trabolix: process start (run-time reports on standard output), the modules, the main body, the
// end.
#include <unistd.h>

#include "rts/RTS.h"
#include "shooter/Trabolix.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, STDOUT_FILENO);
  Trabolix::Init();
  Trabolix::Body();
  rts::End();
}
