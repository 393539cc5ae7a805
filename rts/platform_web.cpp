// The run-time's platform pieces in a browser. The call history is the JavaScript engine's stack
// trace of the calling thread, with the WebAssembly function names, through
// emscripten_get_callstack. No signal interrupts a thread in a browser, so the trap path here is
// never inside a signal handler. The process ends on the page's main thread, which stops every
// worker thread of the program and shows the exit status.
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "rts/RTS.h"
#include "rts/platform_pieces.h"

namespace rts::detail {

namespace {
// Static: the trap path allocates nothing. One trap report runs at a time (a second trap while
// the first is reported ends the process at once).
char gHistory[16384];
}  // namespace

void PrimeCallHistory() noexcept {}

void WriteCallHistory(int fd) noexcept {
  const int n = emscripten_get_callstack(EM_LOG_JS_STACK | EM_LOG_NO_PATHS, gHistory,
                                         static_cast<int>(sizeof gHistory));
  if (n <= 0) return;
  const std::size_t length = strnlen(gHistory, sizeof gHistory);
  WriteAll(fd, gHistory, length);
  if (length > 0 && gHistory[length - 1] != '\n') WriteAll(fd, "\n", 1);
}

void ExitProcess(int code) noexcept {
  if (emscripten_is_main_runtime_thread()) _exit(code);
  // A worker's _exit would wait for the page's main thread to end the program and then run on
  // when that call returns; instead the end is posted to the main thread, and this thread waits
  // there until the main thread stops it with the others.
  MAIN_THREAD_ASYNC_EM_ASM({ procExit($0); }, code);
  static int never = 0;
  for (;;) emscripten_futex_wait(&never, 0, INFINITY);
}

}  // namespace rts::detail
