// The console host reading a pipe on standard input: keys as press and release records, split
// reads, the Escape time-out, the console mode calls failing, flush keeping piped input, and the
// end of input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Console.h"
#include "platform/con_decode.h"
#include "platform/con_internal.h"

namespace platform {
namespace {

// Standard input becomes a pipe whose write end the tests hold, before anything opens it.
int gWriteEnd = [] {
  int fds[2];
  if (pipe(fds) != 0) abort();
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  return fds[1];
}();

void Send(const char* bytes, size_t n) {
  ASSERT_EQ(write(gWriteEnd, bytes, n), ssize_t(n));
}

// Failure guard for waits on the source thread; only a hung source takes this long.
constexpr int kGuardMs = 30000;

InputRecord Read() {
  EXPECT_TRUE(ConWaitInput(std::chrono::milliseconds{kGuardMs}));
  InputRecord r{};
  ConReadInput(r);
  return r;
}

// Reads one key's press and release and checks them.
void ExpectKey(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state) {
  InputRecord down = Read(), up = Read();
  EXPECT_EQ(down.EventType, KEY_EVENT);
  EXPECT_EQ(down.Event.bKeyDown, 1);
  EXPECT_EQ(down.Event.wRepeatCount, 1);
  EXPECT_EQ(down.Event.wVirtualKeyCode, vk);
  EXPECT_EQ(down.Event.wVirtualScanCode, scan);
  EXPECT_EQ(down.Event.uChar, ch);
  EXPECT_EQ(down.Event.dwControlKeyState, state);
  EXPECT_EQ(up.Event.bKeyDown, 0);
  EXPECT_EQ(up.Event.wVirtualScanCode, scan);
}

// The tests share one process-wide source; they run in the order written.
TEST(PipeSource, KeysModesFlushAndEnd) {
  EXPECT_EQ(ConStdInput(), kConInput);
  EXPECT_FALSE(ConIsTerminal());
  uint32_t mode = 0xDEAD;
  EXPECT_FALSE(ConGetMode(kConInput, mode));
  EXPECT_EQ(mode, 0xDEADu);
  EXPECT_FALSE(ConSetMode(kConInput, 0x17));

  // Keys in one write.
  Send("a\x1b[A", 4);
  ExpectKey(0x41, 0x1E, 'a', 0);
  ExpectKey(0x26, 0x48, 0, ENHANCED_KEY);

  // A sequence split over two reads within the time-out is one key. The time-out is raised for
  // this step, so no delay of this thread can let it expire between the two parts, and the
  // second part is sent once the source has read the first.
  detail::SetEscapeTimeout(std::chrono::milliseconds{kGuardMs});
  const uint64_t readBefore = detail::SourceBytesRead();
  Send("\x1b[1;", 4);
  for (int waited = 0; detail::SourceBytesRead() < readBefore + 4 && waited < kGuardMs; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(detail::SourceBytesRead(), readBefore + 4);
  Send("5D", 2);
  ExpectKey(0x25, 0x4B, 0, ENHANCED_KEY | LEFT_CTRL_PRESSED);
  EXPECT_EQ(detail::SourceBytesRead(), readBefore + 6);
  detail::SetEscapeTimeout(kEscapeTimeout);

  // A lone Escape comes out after the time-out, not before.
  auto start = std::chrono::steady_clock::now();
  Send("\x1b", 1);
  ExpectKey(0x1B, 0x01, 0x1B, 0);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(40));

  // A flush keeps what came from the pipe (it was not typed ahead) but drops other records.
  Send("b", 1);
  while (ConPendingInput() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  InputRecord forwarded{};
  forwarded.EventType = KEY_EVENT;
  forwarded.Event.bKeyDown = 1;
  forwarded.Event.wVirtualScanCode = 0x2C;
  ASSERT_TRUE(ConWriteInput(forwarded));
  ConFlushInput();
  EXPECT_EQ(ConPendingInput(), 2);
  ExpectKey(0x42, 0x30, 'b', 0);

  // More keys than the buffer holds: the source waits for room and loses nothing.
  std::string many(600, 'x');
  std::thread writer([&] { Send(many.data(), many.size()); });
  for (int i = 0; i < 600; ++i) ExpectKey(0x58, 0x2D, 'x', 0);
  writer.join();

  // End of input: an Escape still pending comes out, then nothing more and no spinning.
  EXPECT_FALSE(ConInputEnded());
  Send("\x1b", 1);
  close(gWriteEnd);
  ExpectKey(0x1B, 0x01, 0x1B, 0);
  for (int waited = 0; waited < kGuardMs && !ConInputEnded(); ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(ConInputEnded());
  EXPECT_FALSE(ConWaitInput(std::chrono::milliseconds{100}));
}

// A key forwarded into a full buffer is refused with the bell; its release is dropped quietly.
// The records waiting are left as they were.
TEST(PipeSource, ForwardedKeyIntoAFullBufferIsRefusedWithTheBell) {
  ConStdInput();
  ConFlushInput();
  InputRecord r{};
  r.EventType = KEY_EVENT;
  r.Event.wVirtualScanCode = 0x1E;
  int written = 0;
  while (ConWriteInput(r)) ++written;  // releases fill it: nothing refused yet
  EXPECT_EQ(ConPendingInput(), written);
  const uint32_t refused = detail::KeysRefused();
  r.Event.bKeyDown = 1;
  EXPECT_FALSE(ConWriteInput(r));
  EXPECT_EQ(detail::KeysRefused(), refused + 1);
  r.Event.bKeyDown = 0;
  EXPECT_FALSE(ConWriteInput(r));
  EXPECT_EQ(detail::KeysRefused(), refused + 1);
  EXPECT_EQ(ConPendingInput(), written);
  ConFlushInput();
  EXPECT_EQ(ConPendingInput(), 0);
}

TEST(PipeSource, BeepWithoutTerminalTakesItsTime) {
  auto start = std::chrono::steady_clock::now();
  ConBeep(300, std::chrono::milliseconds{30});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

}  // namespace
}  // namespace platform
