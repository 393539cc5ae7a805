// The standard-input source of the console host. A terminal is switched to non-canonical,
// no-echo input with the signal keys on (handled by the host itself when the terminal is not the
// controlling terminal) and the keypad in application mode (when TERM names a terminal that has
// one), and put back on every way out: normal end (rts::End or exit), trap, break, fatal signals
// (through the rts restore hooks), and while stopped by Ctrl+Z. A pipe or a file is read as it is.
// Either way one thread of the host reads the bytes, decodes them into keys and appends a press and
// a release record per key to the input buffer.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Console.h"
#include "platform/con_decode.h"
#include "platform/con_internal.h"
#include "platform/con_state.h"
#include "rts/RTS.h"

namespace platform {
namespace {

constexpr char kKeypadApplication[] = "\x1b=";
constexpr char kKeypadNormal[] = "\x1b>";

constexpr detail::Terminal& gTerm = detail::gCon.terminal;
constexpr detail::Source& gSource = detail::gCon.source;

// True unless another process group has the terminal. A terminal that is not the controlling
// terminal has no foreground group and belongs to whoever reads it.
bool Foreground() {
  pid_t group = tcgetpgrp(STDIN_FILENO);
  return group < 0 || group == getpgrp();
}

// Sets terminal attributes even from the background, where tcsetattr would stop the process
// with SIGTTOU. Async-signal-safe.
void SetAttributes(const struct termios& t) {
  sigset_t ttou, saved;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &saved);
  while (tcsetattr(STDIN_FILENO, TCSANOW, &t) != 0 && errno == EINTR) {
  }
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

// Puts the terminal into the program's mode, if the program is in the foreground. Async-signal-
// safe.
void ApplyRaw() {
  if (!gSource.rawWanted.load() || !Foreground()) return;
  if (gSource.rawApplied.exchange(true)) return;
  SetAttributes(gSource.signalKeys.load() ? gTerm.rawSignals : gTerm.rawNoSignals);
  if (gTerm.keypadFd >= 0)
    rts::WriteAll(gTerm.keypadFd, kKeypadApplication, sizeof kKeypadApplication - 1);
}

// Puts the terminal back as it was found. Idempotent and async-signal-safe.
void RestoreTerminal() {
  if (!gSource.rawApplied.exchange(false)) return;
  if (gTerm.keypadFd >= 0) rts::WriteAll(gTerm.keypadFd, kKeypadNormal, sizeof kKeypadNormal - 1);
  SetAttributes(gTerm.saved);
}

// The way out of the process (rts restore hook and exit handler): restore for good.
void FinalRestore() {
  int savedErrno = errno;
  gSource.rawWanted.store(false);
  RestoreTerminal();
  errno = savedErrno;
}

// Ctrl+Z: give the terminal back, then stop as the default action would.
void OnStop(int sig) {
  int savedErrno = errno;
  RestoreTerminal();
  // Stops here until SIGCONT (an orphaned process group does not stop at all).
  rts::RaiseWithDefaultAction(sig);
  rts::InstallSignalHandler(sig, OnStop, SA_RESTART);
  ApplyRaw();
  errno = savedErrno;
}

// Continued (fg or bg): take the terminal again when in the foreground.
void OnContinue(int) {
  int savedErrno = errno;
  ApplyRaw();
  errno = savedErrno;
}

// True when TERM names a terminal that knows the keypad modes. Without TERM, with an empty one,
// "dumb" (editors' shell buffers, simple serial consoles) or "unknown" (what a login sets when it
// knows nothing), ESC = and ESC > would show up as text or be misread, so they are not sent; the
// keypad then sends what it sends in normal mode, which the decoder reads as well.
bool TerminalHasKeypadModes() {
  const char* term = getenv("TERM");
  if (term == nullptr || term[0] == '\0') return false;
  return strcmp(term, "dumb") != 0 && strcmp(term, "unknown") != 0;
}

// True when standard input is the process's controlling terminal.
bool ControllingTerminal() {
  pid_t session = tcgetsid(STDIN_FILENO);
  return session >= 0 && session == getsid(0);
}

// Builds the program's terminal mode from the saved one: non-canonical, no echo, CR kept
// distinct from LF, no flow control keys, one byte at a time; the signal keys as the mode says
// (on a terminal that is not the controlling one, the source thread stands in for them).
bool OpenTerminal() {
  if (tcgetattr(STDIN_FILENO, &gTerm.saved) != 0) return false;
  gTerm.ownSignalKeys = !ControllingTerminal();
  gTerm.interruptChar = gTerm.saved.c_cc[VINTR];
  gTerm.quitChar = gTerm.saved.c_cc[VQUIT];
  gTerm.suspendChar = gTerm.saved.c_cc[VSUSP];
  struct termios raw = gTerm.saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
  raw.c_lflag |= ISIG;
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (gTerm.ownSignalKeys) raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);
  gTerm.rawSignals = raw;
  raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);
  gTerm.rawNoSignals = raw;

  int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (!TerminalHasKeypadModes()) {
    gTerm.keypadFd = -1;
  } else if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
    gTerm.keypadFd = STDIN_FILENO;
  } else {
    gTerm.keypadFd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  }

  rts::AddRestoreHook(FinalRestore);
  std::atexit(FinalRestore);
  rts::CatchSignal(SIGTSTP, OnStop, SA_RESTART);  // an ignored Ctrl+Z stays ignored
  rts::InstallSignalHandler(SIGCONT, OnContinue, SA_RESTART);
  gSource.rawWanted.store(true);
  gSource.terminal.store(true);
  ApplyRaw();
  return true;
}

void DeliverReady(ConDecoder& decoder, bool keep) {
  DecodedKey key;
  while (decoder.Take(key)) detail::WriteSourceKey(key, keep);
}

// On a terminal that is not the controlling terminal, with processed input on: the interrupt and
// quit characters (Ctrl+C and Ctrl+\ unless changed with stty) signal the process as the
// terminal would signal its foreground group, so the break reaches the main thread the same way
// (and does nothing when the signal was ignored at start); the suspend character is dropped, as a
// terminal without a session drops it. Answers whether `byte` was such a character.
bool SignalKey(unsigned char byte) {
  if (!gTerm.ownSignalKeys || !gSource.signalKeys.load() || byte == _POSIX_VDISABLE) return false;
  if (byte == gTerm.interruptChar) {
    kill(getpid(), SIGINT);
  } else if (byte == gTerm.quitChar) {
    kill(getpid(), SIGQUIT);
  } else if (byte != gTerm.suspendChar) {
    return false;
  }
  return true;
}

void ReadLoop(bool keep);

// The source thread's entry: `arg` points to ReadLoop's `keep`.
void* ReadSource(void* arg) {
  ReadLoop(*static_cast<const bool*>(arg));
  return nullptr;
}

// The source thread: read, decode, deliver; a pending prefix is forced out after the Escape
// time-out without a byte. Returns at the end of input.
void ReadLoop(bool keep) {
  using std::chrono::milliseconds;
  using std::chrono::nanoseconds;
  rts::BlockBreakSignals();
  ConDecoder& decoder = gSource.decoder;
  unsigned char bytes[4096];
  rts::TimePoint lastByte{};
  for (;;) {
    int timeout = -1;
    if (decoder.Pending()) {
      const nanoseconds left = lastByte + milliseconds{gSource.escapeTimeoutMs.load()} - rts::Now();
      timeout = left > nanoseconds::zero()
                    ? static_cast<int>(std::chrono::ceil<milliseconds>(left).count())
                    : 0;
    }
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    int r = poll(&p, 1, timeout);
    if (r < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    if (r == 0) {
      decoder.Expire();
      DeliverReady(decoder, keep);
      continue;
    }
    ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // end of input, a hung-up terminal, or an error
    lastByte = rts::Now();
    gSource.bytesRead.fetch_add(static_cast<uint64_t>(n));
    for (ssize_t i = 0; i < n; ++i) {
      if (SignalKey(bytes[i])) continue;
      if (decoder.Push(bytes[i]) == DecodeResult::kKey) DeliverReady(decoder, keep);
    }
  }
  decoder.Expire();
  DeliverReady(decoder, keep);
  gSource.ended.store(true);
}

}  // namespace

namespace detail {

void RingBell() {
  // The controlling terminal is opened by the first bell and kept; of two first bells at once,
  // the later one closes its own descriptor and takes the other's.
  int bell = gSource.bellFd.load();
  if (bell == Source::kBellUnopened) {
    const int opened = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (gSource.bellFd.compare_exchange_strong(bell, opened)) {
      bell = opened;
    } else if (opened >= 0) {
      close(opened);
    }
  }
  if (bell >= 0) rts::WriteAll(bell, "\a", 1);
}

void FlushSource() {
  if (gSource.terminal.load()) tcflush(STDIN_FILENO, TCIFLUSH);
}

}  // namespace detail

ConHandle ConStdInput() {
  if (!gSource.opened) {
    gSource.opened = true;
    if (fcntl(STDIN_FILENO, F_GETFD) < 0) {
      gSource.ended.store(true);  // no standard input at all
    } else {
      bool terminal = isatty(STDIN_FILENO) && OpenTerminal();
      gSource.keep = !terminal;
      detail::StartSource(ReadSource, &gSource.keep);
    }
  }
  return kConInput;
}

bool ConSetMode(ConHandle handle, uint32_t mode) {
  if (handle != kConInput || !gSource.terminal.load() || (mode & ~0x3FFu) != 0) return false;
  gSource.mode.store(mode);
  bool signalKeys = (mode & ENABLE_PROCESSED_INPUT) != 0;
  if (gSource.signalKeys.exchange(signalKeys) != signalKeys && gSource.rawApplied.load()) {
    SetAttributes(signalKeys ? gTerm.rawSignals : gTerm.rawNoSignals);
  }
  return true;
}

}  // namespace platform
