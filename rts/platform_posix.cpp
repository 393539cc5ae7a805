// The run-time's platform pieces on Linux: the call history from glibc's backtrace, symbols
// written straight to the descriptor; the end of the process with _exit.
#include <execinfo.h>
#include <unistd.h>

#include "rts/platform_pieces.h"

namespace rts::detail {

namespace {
constexpr int kMaxFrames = 64;
}

void PrimeCallHistory() noexcept {
  // The first backtrace() loads its unwinder; do it now, not in a signal handler.
  void* frames[4];
  backtrace(frames, 4);
}

void WriteCallHistory(int fd) noexcept {
  void* frames[kMaxFrames];
  const int n = backtrace(frames, kMaxFrames);
  backtrace_symbols_fd(frames, n, fd);
}

void ExitProcess(int code) noexcept {
  _exit(code);
}

}  // namespace rts::detail
