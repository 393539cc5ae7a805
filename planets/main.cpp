// Zentavor: process start (run-time reports on standard error), the modules, the main body, the
// end.
#include <unistd.h>

#include "planets/Zentavor.h"
#include "rts/RTS.h"

int main(int argc, char** argv) {
  rts::Start(argc, argv, STDERR_FILENO);
  Zentavor::Init();
  Zentavor::Body();
  rts::End();
}
