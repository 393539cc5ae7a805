// Module kvrIO (Zentavor build).
#include "console/kvrIO.h"

#include "platform/Console.h"
#include "rts/RTS.h"

namespace kvrIO {
namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
}

void SetConMode(bool on, uint32_t& mode) {
  platform::ConHandle input = platform::ConStdInput();
  if (on) {
    platform::ConGetMode(input, mode);
    platform::ConSetMode(input, mode | 7);
  } else {
    platform::ConSetMode(input, mode);
  }
}

}  // namespace kvrIO
