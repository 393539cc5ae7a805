// Run-time support: traps and their report, finalisers, restore hooks and signal handling.
#include "rts/RTS.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cfenv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "rts/RealMath.h"
#include "rts/platform_pieces.h"

namespace rts {
namespace {

constexpr int kMaxFinalisers = 32;
constexpr int kMaxRestoreHooks = 8;
constexpr unsigned kTrapAssert = 16;
constexpr char kErrInfo[] = "errinfo.$$$";

// The messages of traps 0 to 23; trap 15 has none.
constexpr const char* kTrapText[] = {
    "invalid index",
    "expression out of bounds",
    "invalid case in CASE statement",
    "invalid location",
    "function without RETURN statement",
    "whole overflow",
    "zero or negative divisor",
    "real overflow",
    "float division by zero",
    "complex overflow",
    "complex division by zero",
    "protection error",
    "SYSTEM exception",
    "COROUTINE exception",
    "EXCEPTIONS exception",
    nullptr,
    "ASSERT",
    "type guard check",
    "out of heap space",
    "RTS internal error",
    "invalid type cast",
    "USER BREAK",
    "call to unloaded DLL",
    "stack overflow",
};

// The run-time's state: one record of constant-initialised storage. The hooks and flags that a
// signal handler or another thread reads are atomic.
struct Runtime {
  int argc = 0;
  char** argv = nullptr;
  std::atomic<int> errorFd{2};
  Hook finalisers[kMaxFinalisers]{};
  int finaliserCount = 0;
  std::atomic<Hook> restoreHooks[kMaxRestoreHooks]{};
  std::atomic<int> restoreHookSlots{0};  // slots reserved by AddRestoreHook
  std::atomic<int> restoreHookCount{0};  // slots RunRestoreHooks looks at
  std::atomic<bool> restoring{false};
  std::atomic<BreakHook> breakHook{nullptr};
  std::atomic<bool> dying{false};
};
constinit Runtime gRt;

// A small fixed text buffer for building the report without allocation.
struct Text {
  char buf[256];
  size_t len = 0;
  void Add(const char* s) noexcept {
    while (*s != '\0' && len < sizeof buf) buf[len++] = *s++;
  }
  void AddNumber(unsigned long n) noexcept {
    char digits[24];
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    while (k > 0 && len < sizeof buf) buf[len++] = digits[--k];
  }
};

bool WriteString(int fd, const char* s) noexcept {
  return WriteAll(fd, s, strlen(s));
}

void WriteConsoleString(int fd, const char* s) noexcept {
  WriteText(fd, s, strlen(s));
}

// Builds "#RTS: unhandled exception #<n>: <message>" for a trap, or the assertion's form.
void ReportLine(Text& t, unsigned number, bool assertion, unsigned code) noexcept {
  t.Add("#RTS: unhandled exception #");
  t.AddNumber(number);
  t.Add(": ");
  if (assertion) {
    t.Add("ASSERT(FALSE, ");
    t.AddNumber(code);
    t.Add(")");
  } else if (number < sizeof kTrapText / sizeof kTrapText[0] && kTrapText[number] != nullptr) {
    t.Add(kTrapText[number]);
  } else {
    t.Add("TRAP(");
    t.AddNumber(number);
    t.Add(")");
  }
}

// Opens errinfo.$$$ in the working directory for a new report, or answers -1; `st` receives
// what was opened. The name is never followed when it is a symbolic link (O_NOFOLLOW fails on
// one, dangling or not), and what the open found is checked before anything is written: only a
// regular file with no other name is truncated, so neither a link nor a second hard link to
// another file, nor a FIFO (opened without blocking) or a device, receives the report. No step
// checks a name and then opens it, so nothing can be swapped in between. Async-signal-safe.
int OpenErrInfo(struct stat& st) noexcept {
  int fd =
      open(kErrInfo, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ftruncate(fd, 0) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Writes errinfo.$$$: program path and arguments, the report line, the call history and a closing
// line. Answers false, with no file left behind, when the report could not be written whole: the
// name is removed again while it still names the file that was opened.
bool WriteErrInfo(const Text& line) noexcept {
  struct stat opened;
  int fd = OpenErrInfo(opened);
  if (fd < 0) return false;
  bool whole = true;
  for (int i = 0; i < gRt.argc && whole; ++i) {
    whole = (i == 0 || WriteString(fd, " ")) && WriteString(fd, gRt.argv[i]);
  }
  whole = whole && WriteString(fd, "\n") && WriteAll(fd, line.buf, line.len) &&
          WriteString(fd, "\n\nCall history (innermost first):\n");
  if (whole) {
    // The call history tells of no failed write; the closing line after it fails as well once
    // the file system (or the file size limit) has no room left.
    detail::WriteCallHistory(fd);
    whole = WriteString(fd, "(end of call history)\n");
  }
  if (close(fd) != 0 && errno != EINTR) whole = false;
  if (!whole) {
    struct stat named;
    if (lstat(kErrInfo, &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
      unlink(kErrInfo);
    }
  }
  return whole;
}

[[noreturn]] void Die(unsigned number, bool assertion, unsigned code) noexcept {
  if (gRt.dying.exchange(true))
    detail::ExitProcess(9);  // a trap inside the trap path: stop at once
  RunRestoreHooks();
  Text line;
  ReportLine(line, number, assertion, code);
  int fd = gRt.errorFd.load();
  WriteText(fd, line.buf, line.len);
  WriteConsoleString(fd, "\n\n");
  if (WriteErrInfo(line)) {
    WriteConsoleString(fd, "File errinfo.$$$ created.\n");
  } else {
    WriteConsoleString(fd, "#RTS: Can't create file errinfo.$$$\n");
  }
  detail::ExitProcess(9);
}

void OnBreak(int) {
  BreakHook hook = gRt.breakHook.load();
  if (hook != nullptr && hook()) return;
  Trap(kTrapUserBreak);
}

// Any other fatal signal: restore, then die of the signal itself so the parent sees it.
void OnFatalSignal(int sig) {
  RunRestoreHooks();
  RaiseWithDefaultAction(sig);
  detail::ExitProcess(128 + sig);
}

void BreakSet(sigset_t* set) noexcept {
  sigemptyset(set);
  sigaddset(set, SIGINT);
  sigaddset(set, SIGQUIT);
}

}  // namespace

void Start(int argc, char** argv, int errorFd) noexcept {
  gRt.argc = argc;
  gRt.argv = argv;
  gRt.errorFd.store(errorFd);
  detail::PrimeCallHistory();
  // Signals that come from outside keep an ignored disposition: a job that a script starts in
  // the background ignores SIGINT and SIGQUIT, nohup ignores SIGHUP, and none of them may then
  // break or end the program.
  CatchSignal(SIGINT, OnBreak, 0);
  CatchSignal(SIGQUIT, OnBreak, 0);
  // The handler puts the default action back itself before it re-raises. SA_NODEFER lets a fault
  // inside the handler enter it again, skip the hooks already running and die at once; no
  // SA_RESETHAND, so a second signal that arrives before the handler has run (a sanitizer's
  // run-time may hold one back) is still handled, not fatal without a restore.
  for (int sig : {SIGTERM, SIGHUP}) CatchSignal(sig, OnFatalSignal, SA_NODEFER);
  // A crash ends the process even when its signal is ignored (the kernel or abort() puts the
  // default action back), so these are always caught: the terminal is restored first.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    InstallSignalHandler(sig, OnFatalSignal, SA_NODEFER);
  }
  // Output errors are the run-time's to absorb: a write to a closed pipe or socket fails with
  // EPIPE (and WriteAll drops it) instead of killing the process.
  signal(SIGPIPE, SIG_IGN);
}

void SetErrorOutput(int fd) noexcept {
  gRt.errorFd.store(fd);
}

void Trap(unsigned number) noexcept {
  Die(number, false, 0);
}

void AssertFail(unsigned code) noexcept {
  Die(kTrapAssert, true, code);
}

void AddFinaliser(Hook finaliser) noexcept {
  if (gRt.finaliserCount >= kMaxFinalisers) AssertFail(1);
  gRt.finalisers[gRt.finaliserCount++] = finaliser;
}

void AddRestoreHook(Hook hook) noexcept {
  // Threads that add at once each reserve a slot of their own; a slot is filled before the count
  // that covers it is published, and a slot reserved but not yet filled reads as empty. So
  // RunRestoreHooks, in a signal handler too, sees only whole hooks, and none is lost.
  const int n = gRt.restoreHookSlots.fetch_add(1);
  if (n >= kMaxRestoreHooks) AssertFail(2);
  gRt.restoreHooks[n].store(hook);
  int published = gRt.restoreHookCount.load();
  while (published < n + 1 && !gRt.restoreHookCount.compare_exchange_weak(published, n + 1)) {
  }
  gRt.restoring.store(false);
}

void RunRestoreHooks() noexcept {
  if (gRt.restoring.exchange(true)) return;
  for (int i = gRt.restoreHookCount.load() - 1; i >= 0; --i) {
    Hook h = gRt.restoreHooks[i].load();
    if (h != nullptr) h();
  }
}

void End() noexcept {
  while (gRt.finaliserCount > 0) gRt.finalisers[--gRt.finaliserCount]();
  RunRestoreHooks();
  fflush(nullptr);
  detail::ExitProcess(0);
}

void Halt(int code) noexcept {
  RunRestoreHooks();
  detail::ExitProcess(code);
}

bool WriteAll(int fd, const char* p, std::size_t n) noexcept {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void WriteText(int fd, const char* p, std::size_t n) noexcept {
  // Asked on every call, so a terminal whose settings change meanwhile is still served right.
  struct termios t = {};  // a terminal that fills in nothing (the browser's) adds no CR
  const bool terminalAddsCr =
      tcgetattr(fd, &t) == 0 && (t.c_oflag & OPOST) != 0 && (t.c_oflag & ONLCR) != 0;
  char out[1024];
  std::size_t used = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (used + 2 > sizeof out) {
      if (!WriteAll(fd, out, used)) return;
      used = 0;
    }
    if (p[i] == '\n' && !terminalAddsCr) out[used++] = '\r';
    out[used++] = p[i];
  }
  WriteAll(fd, out, used);
}

void InstallSignalHandler(int sig, void (*handler)(int), int flags) noexcept {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = flags;
  sigaction(sig, &sa, nullptr);
}

bool CatchSignal(int sig, void (*handler)(int), int flags) noexcept {
  struct sigaction now;
  if (sigaction(sig, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
      now.sa_handler == SIG_IGN) {
    return false;
  }
  InstallSignalHandler(sig, handler, flags);
  return true;
}

void RaiseWithDefaultAction(int sig) noexcept {
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
}

void SetUserBreakHook(BreakHook hook) noexcept {
  gRt.breakHook.store(hook);
}

BreakSignalsBlocked::BreakSignalsBlocked() noexcept {
  static_assert(sizeof saved_ >= sizeof(sigset_t));
  sigset_t set;
  BreakSet(&set);
  pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved_));
}

BreakSignalsBlocked::~BreakSignalsBlocked() {
  pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr);
}

void BlockBreakSignals() noexcept {
  sigset_t set;
  BreakSet(&set);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int StartThread(void* (*body)(void*), void* arg, std::size_t stackBytes,
                pthread_t* joinable) noexcept {
  std::size_t stack = stackBytes;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  if (stack < (std::size_t{1} << 20)) stack = std::size_t{1} << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  if (stack < (std::size_t{1} << 20)) stack = std::size_t{1} << 20;
#endif
#endif
  if (stack < static_cast<std::size_t>(PTHREAD_STACK_MIN)) {
    stack = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  }
  // Whole pages, as glibc rounds it anyway: a browser's C library takes the size as it is, and an
  // odd size would leave the stack's top unaligned (atomic operations on it then fail).
  constexpr std::size_t kPage = 4096;
  stack = (stack + kPage - 1) / kPage * kPage;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack);
  if (joinable == nullptr) pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int failed;
  {
    BreakSignalsBlocked blocked;
    failed = pthread_create(&thread, &attr, body, arg);
  }
  pthread_attr_destroy(&attr);
  if (failed == 0 && joinable != nullptr) *joinable = thread;
  return failed;
}

}  // namespace rts

namespace RealMath {

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  std::fesetround(FE_TONEAREST);
  std::feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace RealMath
