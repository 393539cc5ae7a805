// The call history of the trap report: the platform's own way to list the calling thread's
// frames. rts.cpp is its only user; call_history_posix.cpp (glibc's backtrace) and
// call_history_web.cpp (the browser's stack trace) each define it.
#pragma once

namespace rts::detail {

// Loads whatever the call history needs on its first use, so the trap path (a signal handler,
// too) does not. Main thread, at start.
void PrimeCallHistory() noexcept;

// Writes the calling thread's call history, innermost frame first, one frame a line, to `fd`.
// Tells of no failed write (the caller's closing line fails as well on a full file system). Any
// thread, also from a signal handler once primed.
void WriteCallHistory(int fd) noexcept;

}  // namespace rts::detail
