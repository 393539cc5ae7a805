// Test program: polls IO.KeyPressed as the programs do, reads with IO.RdKey and writes each code
// in hexadecimal on a line of its own, until it reads q or standard input has ended. A key
// without a character gives 00 and, once the next key is waiting, its scan code. Linked with
// either build.
#include <time.h>

#include "console/IO.h"
#ifdef KEY_PROBE_QUEUE
#include "console/kvrEvQue.h"
#endif
#include "platform/Console.h"
#include "rts/RTS.h"

namespace {

void WrHex(uint8_t code) {
  const char digits[] = "0123456789ABCDEF";
  char text[3] = {digits[code >> 4], digits[code & 15], '\0'};
  IO::WrStr(text);
}

void Pause() {
  struct timespec d = {0, 1000000L};
  nanosleep(&d, nullptr);
}

// Nothing more will come: the input has ended, no record waits in it and (in the Zentavor build)
// the key reader holds none. The end is looked at first: records delivered before it are pending
// or held by then.
bool InputUsedUp() {
  if (!platform::ConInputEnded() || platform::ConPendingInput() != 0) return false;
#ifdef KEY_PROBE_QUEUE
  if (kvrEvQue::Holding()) return false;
#endif
  return !IO::KeyPressed();
}

}  // namespace

int main(int argc, char** argv) {
  rts::Start(argc, argv, 2);
  IO::Init();
  IO::WrStr("ready");
  IO::WrLn();
  for (;;) {
    if (IO::KeyPressed()) {
      char c = IO::RdKey();
      WrHex(static_cast<uint8_t>(c));
      IO::WrLn();
      if (c == 'q') break;
    } else if (InputUsedUp()) {
      break;
    } else {
      Pause();
    }
  }
  IO::WrStr("end");
  IO::WrLn();
  rts::End();
}
