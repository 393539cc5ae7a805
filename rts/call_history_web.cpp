// The call history in a browser: the JavaScript engine's stack trace of the calling thread, with
// the WebAssembly function names, through emscripten_get_callstack. No signal interrupts a
// thread in a browser, so the trap path here is never inside a signal handler.
#include <emscripten/emscripten.h>

#include <cstring>

#include "rts/RTS.h"
#include "rts/call_history.h"

namespace rts::detail {

namespace {
// Static: the trap path allocates nothing. One trap report runs at a time (a second trap while
// the first is reported ends the process at once).
char gHistory[16384];
}  // namespace

void PrimeCallHistory() noexcept {}

void WriteCallHistory(int fd) noexcept {
  const int n = emscripten_get_callstack(EM_LOG_C_STACK | EM_LOG_NO_PATHS, gHistory,
                                         static_cast<int>(sizeof gHistory));
  if (n > 0) WriteAll(fd, gHistory, strnlen(gHistory, sizeof gHistory));
}

}  // namespace rts::detail
