// Run-time support: module start, finalisers, fatal traps with their report, and the break
// signals. Everything here may be called from any thread unless a comment says otherwise; the
// trap path is async-signal-safe (write(2), open(2), no allocation).
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

namespace rts {

// Trap numbers raised by the system itself.
inline constexpr unsigned kTrapIndex = 0;       // array index out of range
inline constexpr unsigned kTrapRange = 1;       // value outside its subrange
inline constexpr unsigned kTrapCase = 2;        // no CASE selector matched
inline constexpr unsigned kTrapUserBreak = 21;  // Ctrl+C or Ctrl+Break

// A void procedure with no arguments: finalisers and restore hooks.
using Hook = void (*)();
// The user-break hook: answers true when it handled the break itself.
using BreakHook = bool (*)();

// Keeps argc/argv for the error report, primes the call-history facility, installs the break
// and fatal-signal handlers and ignores SIGPIPE (a write to a closed pipe fails and is dropped).
// The break signals, SIGHUP and SIGTERM keep the disposition ignored when the program was started
// with them ignored (CatchSignal); the crash signals are always caught. Main thread, first thing
// in main.
void Start(int argc, char** argv, int errorFd) noexcept;

// Selects the file descriptor the trap report goes to (2 or 1). Main thread, at start.
void SetErrorOutput(int fd) noexcept;

// Raises run-time trap `number`: report, errinfo.$$$, restore hooks, exit code 9. errinfo.$$$ is
// written only as a regular file of its own: a symbolic link (or a hard link, FIFO or device) of
// that name is left alone and the report says the file cannot be created. A file that could not
// be written whole (a full file system, a file size limit) is removed again and the report says
// the same. Any thread, also from a signal handler.
[[noreturn]] void Trap(unsigned number) noexcept;

// Raises a failed assertion with the given code ("ASSERT(FALSE, code)"). Any thread.
[[noreturn]] void AssertFail(unsigned code) noexcept;

// Raises AssertFail(code) unless `ok`. Any thread.
inline void Assert(bool ok, unsigned code) noexcept {
  if (!ok) AssertFail(code);
}

// Checks that lo <= value <= hi, else trap 1. Any thread.
template <class T>
constexpr T Range(T value, T lo, T hi) noexcept {
  if (value < lo || value > hi) Trap(kTrapRange);
  return value;
}

// Raises the CASE trap. Any thread.
[[noreturn]] inline void CaseTrap() noexcept {
  Trap(kTrapCase);
}

// Marks a module as started and tells whether its start body must run now. The flag is set
// before the caller starts its imports, so mutual imports end. Main thread.
inline bool Starting(bool& started) noexcept {
  if (started) return false;
  started = true;
  return true;
}

// Registers a finaliser; finalisers run in reverse order of registration at normal end. At most
// 32; one more is an assertion failure. Main thread.
void AddFinaliser(Hook finaliser) noexcept;

// Registers an async-signal-safe hook that puts shared outside state back (the terminal). Hooks
// run on every way out: normal end, trap, break, fatal signal. At most 8. Any thread.
void AddRestoreHook(Hook hook) noexcept;

// Runs the restore hooks once (later calls do nothing until a hook is added). Any thread, also
// from a signal handler.
void RunRestoreHooks() noexcept;

// Normal end: finalisers in reverse order, restore hooks, stdio flushed, exit code 0.
// Main thread.
[[noreturn]] void End() noexcept;

// Ends the process at once with `code` after the restore hooks (no report). Any thread.
[[noreturn]] void Halt(int code) noexcept;

// Writes all `n` bytes to `fd`, retrying after signals; gives up on an error. Answers whether
// every byte was written. Async-signal-safe. Any thread.
bool WriteAll(int fd, const char* p, std::size_t n) noexcept;

// Writes `n` bytes of console text to `fd`, every LF a line end that leaves as CR LF. A terminal
// whose output processing adds the CR itself (OPOST and ONLCR) gets the LF alone, so it receives
// CR LF once; a pipe or a file gets CR LF. Retries and gives up as WriteAll. Async-signal-safe.
// Any thread.
void WriteText(int fd, const char* p, std::size_t n) noexcept;

// Installs `handler` for signal `sig` with sigaction `flags` (SA_RESTART, SA_RESETHAND, ...), no
// signal blocked while it runs beyond those the flags imply. Any thread.
void InstallSignalHandler(int sig, void (*handler)(int), int flags) noexcept;

// As InstallSignalHandler, unless `sig` is ignored now: a signal that whoever started the program
// ignores (SIGINT and SIGQUIT for a job a script starts in the background, SIGHUP under nohup)
// stays ignored. Answers whether the handler was installed. Any thread.
bool CatchSignal(int sig, void (*handler)(int), int flags) noexcept;

// From a handler of `sig`, after putting shared state back: resets `sig` to its default action,
// unblocks it and raises it again, so the process ends (or stops) as the signal would have made
// it. Returns when the default action does (SIGTSTP after SIGCONT, or an ignored signal).
// Async-signal-safe.
void RaiseWithDefaultAction(int sig) noexcept;

// Installs or clears (nullptr) the user-break hook. None is installed at start.
void SetUserBreakHook(BreakHook hook) noexcept;

// Blocks Ctrl+C and Ctrl+Break (SIGINT, SIGQUIT) in the calling thread for its scope, so threads
// created inside the scope inherit the mask and the break always reaches the main thread.
class BreakSignalsBlocked {
 public:
  BreakSignalsBlocked() noexcept;
  ~BreakSignalsBlocked();
  BreakSignalsBlocked(const BreakSignalsBlocked&) = delete;
  BreakSignalsBlocked& operator=(const BreakSignalsBlocked&) = delete;

 private:
  unsigned long saved_[128 / sizeof(unsigned long)];  // the caller's signal mask (a sigset_t)
};

// Blocks SIGINT and SIGQUIT in the calling thread for good. Call first in every thread the
// system starts.
void BlockBreakSignals() noexcept;

// The one way the system starts a thread: `body(arg)` on a stack of `stackBytes` (raised to the
// least the system and, in sanitizer builds, the sanitizer's run-time need), with the break
// signals blocked, so Ctrl+C always reaches the main thread. Detached when `joinable` is null,
// else its handle goes there for a later join. Answers 0, or pthread_create's error (no thread
// started: the caller decides what the program does without it). Any thread.
int StartThread(void* (*body)(void*), void* arg, std::size_t stackBytes,
                pthread_t* joinable = nullptr) noexcept;

}  // namespace rts
