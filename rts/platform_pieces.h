// The run-time's platform pieces: the call history of the trap report and the end of the process.
// rts.cpp is their only user; platform_posix.cpp (glibc's backtrace, _exit) and platform_web.cpp
// (the browser's stack trace, the page's end of the program) each define them.
#pragma once

namespace rts::detail {

// Loads whatever the call history needs on its first use, so the trap path (a signal handler,
// too) does not. Main thread, at start.
void PrimeCallHistory() noexcept;

// Writes the calling thread's call history, innermost frame first, one frame a line, to `fd`.
// Tells of no failed write (the caller's closing line fails as well on a full file system). Any
// thread, also from a signal handler once primed.
void WriteCallHistory(int fd) noexcept;

// Ends the process at once with exit code `code`: no atexit handlers, no static destructors, no
// other thread runs on. Any thread, also from a signal handler.
[[noreturn]] void ExitProcess(int code) noexcept;

}  // namespace rts::detail
