// The call history on Linux: glibc's backtrace, symbols written straight to the descriptor.
#include <execinfo.h>

#include "rts/call_history.h"

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

}  // namespace rts::detail
