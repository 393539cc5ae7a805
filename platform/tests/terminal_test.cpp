// The console host on a terminal (a pseudo-terminal on standard input, not the test's controlling
// terminal): the program's settings while it runs, the console mode switching the signal keys
// that the host handles itself on such a terminal, the keypad mode sequences, and the settings
// put back by the restore hooks.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Console.h"
#include "rts/RTS.h"

namespace platform {
namespace {

struct Terminal {
  int master = -1;
  struct termios before;
};

// Standard input becomes the slave side of a pseudo-terminal before anything opens it.
Terminal gTerminal = [] {
  setenv("TERM", "xterm", 1);  // a terminal with keypad modes, whatever runs the test
  Terminal t;
  int slave;
  if (openpty(&t.master, &slave, nullptr, nullptr, nullptr) != 0) abort();
  dup2(slave, STDIN_FILENO);
  close(slave);
  tcgetattr(STDIN_FILENO, &t.before);
  return t;
}();

// What the program wrote to the terminal so far.
std::string Written() {
  std::string text;
  char buf[256];
  struct pollfd p = {gTerminal.master, POLLIN, 0};
  while (poll(&p, 1, 50) > 0) {
    ssize_t n = read(gTerminal.master, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

std::atomic<int> gInterrupts, gQuits;

// Takes the next key: its press, which it answers, and its release.
InputRecord NextKey() {
  InputRecord press{}, release{};
  if (!ConWaitInput(std::chrono::seconds{10})) return press;
  ConReadInput(press);
  ConReadInput(release);
  return press;
}

bool SameSettings(const struct termios& a, const struct termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

TEST(TerminalSource, SettingsModesAndRestore) {
  ConStdInput();
  EXPECT_TRUE(ConIsTerminal());
  EXPECT_EQ(Written(), "\x1b=");  // keypad application mode
  struct termios now;
  tcgetattr(STDIN_FILENO, &now);
  EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u);
  // Not the controlling terminal: its signal keys would signal nobody, so they are off and the
  // host reads the bytes itself.
  EXPECT_EQ(now.c_lflag & ISIG, 0u);
  EXPECT_EQ(now.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_EQ(now.c_oflag, gTerminal.before.c_oflag);

  uint32_t mode = 0;
  ASSERT_TRUE(ConGetMode(kConInput, mode));
  EXPECT_EQ(mode, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
  EXPECT_FALSE(ConGetMode(kConInput + 1, mode));
  EXPECT_FALSE(ConSetMode(kConInput, 0x400));

  // Without processed input Ctrl+C is a key.
  ASSERT_TRUE(ConSetMode(kConInput, 0x0006));
  tcgetattr(STDIN_FILENO, &now);
  EXPECT_EQ(now.c_lflag & ISIG, 0u);
  ASSERT_EQ(write(gTerminal.master, "\x03\r", 2), 2);
  InputRecord r;
  ASSERT_TRUE(ConWaitInput(std::chrono::seconds{2}));
  ConReadInput(r);
  EXPECT_EQ(r.Event.uChar, 0x03);
  EXPECT_EQ(r.Event.wVirtualKeyCode, 'C');
  EXPECT_EQ(r.Event.wVirtualScanCode, 0x2E);
  EXPECT_EQ(r.Event.dwControlKeyState, LEFT_CTRL_PRESSED);
  ConReadInput(r);  // its release
  ConReadInput(r);  // Enter: CR stays CR
  EXPECT_EQ(r.Event.uChar, 0x0D);
  EXPECT_EQ(r.Event.wVirtualScanCode, 0x1C);
  ConReadInput(r);

  ASSERT_TRUE(ConSetMode(kConInput, 0x17));
  ASSERT_TRUE(ConGetMode(kConInput, mode));
  EXPECT_EQ(mode, 0x17u);

  // With processed input, Ctrl+C and Ctrl+\ signal the process (the main thread takes them, as
  // from a controlling terminal) and Ctrl+Z is dropped; none of the three is a key.
  signal(SIGINT, [](int) { ++gInterrupts; });
  signal(SIGQUIT, [](int) { ++gQuits; });
  ASSERT_EQ(write(gTerminal.master, "\x03\x1a\x1cx", 4), 4);
  EXPECT_EQ(NextKey().Event.uChar, 'x');
  EXPECT_EQ(gInterrupts.load(), 1);
  EXPECT_EQ(gQuits.load(), 1);
  // A break signal that is ignored stays ignored: the byte does nothing at all.
  signal(SIGINT, SIG_IGN);
  ASSERT_EQ(write(gTerminal.master, "\x03y", 2), 2);
  EXPECT_EQ(NextKey().Event.uChar, 'y');
  EXPECT_EQ(gInterrupts.load(), 1);
  signal(SIGINT, SIG_DFL);
  signal(SIGQUIT, SIG_DFL);

  // Typed-ahead input is flushed: wait until all three keys (press and release each) are in.
  ASSERT_EQ(write(gTerminal.master, "abc", 3), 3);
  for (int waited = 0; ConPendingInput() < 6 && waited < 30000; ++waited) usleep(1000);
  ASSERT_EQ(ConPendingInput(), 6);
  ConFlushInput();
  EXPECT_FALSE(ConWaitInput(std::chrono::milliseconds{100}));

  rts::RunRestoreHooks();
  tcgetattr(STDIN_FILENO, &now);
  EXPECT_TRUE(SameSettings(now, gTerminal.before));
  EXPECT_EQ(Written(), "\x1b>");
  rts::RunRestoreHooks();  // once is enough: nothing more is written
  EXPECT_EQ(Written(), "");
}

}  // namespace
}  // namespace platform
