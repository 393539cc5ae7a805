// Zentavor build: the translation of key events, the 33-entry key queue with its reader thread,
// getKey and peekKey, and BiosIO's two-code keys through IO.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "console/BiosIO.h"
#include "console/IO.h"
#include "console/kvrEvQue.h"
#include "console/tests/capture.h"
#include "platform/con_internal.h"

namespace {

using contest::Key;
using namespace platform;

struct Pair {
  int ch, scan;
  bool operator==(const Pair&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Pair& p) {
  char text[16];
  snprintf(text, sizeof text, "%02X/%02X", p.ch, p.scan);
  return os << text;
}

// The pair of one key-down event, {-1, -1} for none.
Pair Tr(uint8_t c, uint16_t s, uint32_t m) {
  uint8_t ch = 0xEE, scan = 0xEE;
  if (!kvrEvQue::Translate(Key(c, s, m).Event, ch, scan)) return {-1, -1};
  return {ch, scan};
}

TEST(Translate, ExamplesOfTheTables) {
  EXPECT_EQ(Tr('a', 0x1E, 0), (Pair{0x61, 0x00}));                   // a
  EXPECT_EQ(Tr(0, 0x3B, 0), (Pair{0x00, 0x3B}));                     // F1
  EXPECT_EQ(Tr(0, 0x3B, SHIFT_PRESSED), (Pair{0x00, 0x54}));         // Shift+F1
  EXPECT_EQ(Tr(0, 0x3B, LEFT_ALT_PRESSED), (Pair{0x00, 0x68}));      // Alt+F1
  EXPECT_EQ(Tr('8', 0x48, NUMLOCK_ON), (Pair{0x38, 0x00}));          // keypad 8, NumLock on
  EXPECT_EQ(Tr(0, 0x48, 0), (Pair{0x00, 0x48}));                     // keypad 8, NumLock off
  EXPECT_EQ(Tr(0x01, 0x1E, LEFT_CTRL_PRESSED), (Pair{0x01, 0x00}));  // Ctrl+A
  EXPECT_EQ(Tr('x', 0x2D, LEFT_ALT_PRESSED), (Pair{0x00, 0x2D}));    // Alt+X
  EXPECT_EQ(Tr(0, 0x1E, 0), (Pair{0x61, 0x00}));                     // window key: C = 00
  EXPECT_EQ(Tr(0, 0x1E, SHIFT_PRESSED), (Pair{0x41, 0x00}));         // window key with Shift
  EXPECT_EQ(Tr(0, 0x48, ENHANCED_KEY), (Pair{0x00, 0x48}));          // grey cursor up
  EXPECT_EQ(Tr(0, 0x49, ENHANCED_KEY | RIGHT_CTRL_PRESSED), (Pair{0x00, 0x86}));
  EXPECT_EQ(Tr(0, 0x48, ENHANCED_KEY | SHIFT_PRESSED), (Pair{0x00, 0x48}));
  EXPECT_EQ(Tr(0, 0x35, ENHANCED_KEY | LEFT_ALT_PRESSED), (Pair{0x00, 0xA4}));
  EXPECT_EQ(Tr(' ', 0x39, LEFT_ALT_PRESSED), (Pair{0x20, 0x00}));                       // Alt+space
  EXPECT_EQ(Tr('@', 0x03, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), (Pair{0x40, 0x00}));  // AltGr
  EXPECT_EQ(Tr('A', 0x1E, SHIFT_PRESSED | CAPSLOCK_ON | SCROLLLOCK_ON), (Pair{0x41, 0x00}));
}

TEST(Translate, KeysWithoutPairs) {
  EXPECT_EQ(Tr(0, 0x2A, SHIFT_PRESSED), (Pair{-1, -1}));                      // Shift alone
  EXPECT_EQ(Tr(0, 0x1D, LEFT_CTRL_PRESSED), (Pair{-1, -1}));                  // Ctrl alone
  EXPECT_EQ(Tr(0, 0x38, LEFT_ALT_PRESSED), (Pair{-1, -1}));                   // Alt alone
  EXPECT_EQ(Tr(0, 0x1D, ENHANCED_KEY | RIGHT_CTRL_PRESSED), (Pair{-1, -1}));  // not in table
  EXPECT_EQ(Tr(0, 0x59, 0), (Pair{-1, -1}));    // beyond the main table
  EXPECT_EQ(Tr(0, 0x0203, 0), (Pair{-1, -1}));  // 16-bit scan code
  EXPECT_EQ(Tr(0, 0x03, SHIFT_PRESSED | SHIFT_PRESSED), (Pair{0x40, 0x00}));
  EXPECT_EQ(Tr(0, 0x04, LEFT_CTRL_PRESSED), (Pair{-1, -1}));  // Ctrl+3: 00/00
  EXPECT_EQ(Tr(0, 0x4C, 0), (Pair{-1, -1}));                  // keypad 5 unshifted
}

TEST(Translate, EmptyRowsAndIrregularEntries) {
  for (int row : {0x00, 0x1D, 0x2A, 0x36, 0x38, 0x3A, 0x45, 0x46, 0x54, 0x55, 0x56}) {
    for (int col = 0; col < 4; ++col) {
      EXPECT_EQ(kvrEvQue::MainTable[row][col].ch, 0) << row;
      EXPECT_EQ(kvrEvQue::MainTable[row][col].scan, 0) << row;
    }
  }
  EXPECT_EQ(kvrEvQue::MainTable[0x58][3].scan, 0x8C);
  EXPECT_EQ(kvrEvQue::EnhancedTable[0].key, 0x1C);
  EXPECT_EQ(kvrEvQue::EnhancedTable[11].key, 0x53);
}

// Records written into the console input by this test program: standard input is /dev/null and
// no window is open, so they are all the reader thread ever gets.
std::atomic<uint64_t> gPut;

void Put(const InputRecord& r) {
  contest::Put(r);
  gPut.fetch_add(1);
}

// Waits until the reader thread has finished with every record put so far: translated and
// appended, refused with its beep, or dropped. The deadline only guards against a reader that
// hangs.
void Settle() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (kvrEvQue::RecordsHandled() < gPut.load()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the key reader stopped";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Queue : public ::testing::Test {
 protected:
  void SetUp() override {
    IO::Init();
    kvrEvQue::SetGrace(std::chrono::nanoseconds(0));
    uint8_t ch, scan;
    while (kvrEvQue::getKey(ch, scan, false)) {
    }
    BiosIO::LastChar = '\xff';
  }
};

// Waits until `cond` holds; a generous guard against a hang, not a timing assumption.
template <class C>
bool Eventually(C cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// True while thread `tid` of this process sleeps in the kernel (state S in /proc): for a thread
// that has nothing else to wait for, it is blocked in the call under test.
bool Blocked(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name = line.rfind(')');  // the state follows the parenthesised name
  return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}

// Typed keys: the 34th waits for the program to take a key, and once it has waited long enough
// without one it is refused with a beep.
TEST_F(Queue, ThirtyFourthKeyRefusedFirstThirtyThreeInOrder) {
  const uint32_t refused = kvrEvQue::Refused();
  for (int i = 0; i < 34; ++i) {
    uint8_t letter = static_cast<uint8_t>('a' + i % 26);
    Put(Key(letter, static_cast<uint16_t>(0x10 + i), 0));
  }
  ASSERT_TRUE(Eventually([&] { return kvrEvQue::Refused() == refused + 1; }));
  Settle();
  uint8_t ch, scan;
  for (int i = 0; i < 33; ++i) {
    ASSERT_TRUE(kvrEvQue::peekKey(ch, scan));
    ASSERT_TRUE(kvrEvQue::getKey(ch, scan, false));
    EXPECT_EQ(ch, 'a' + i % 26);
    EXPECT_EQ(scan, 0x10 + i);  // the pair has no scan: the key's own
  }
  EXPECT_FALSE(kvrEvQue::getKey(ch, scan, false));
}

// 44 keys typed while the program takes none: the first that finds the queue full waits its grace,
// and it and the ten after it are refused with a beep each, without waiting; the first 33 come
// out in order. Once the program has taken a key, the next full spell has its grace again.
TEST_F(Queue, FullSpellWaitsOneGraceThenRefusesAtOnce) {
  const uint32_t refused = kvrEvQue::Refused();
  const uint32_t graces = kvrEvQue::Graces();
  auto type = [](int i) {
    Put(Key(static_cast<uint8_t>('a' + i % 26), static_cast<uint16_t>(i), 0));
    Put(Key(static_cast<uint8_t>('a' + i % 26), static_cast<uint16_t>(i), 0, 0, false));
  };
  for (int i = 0; i < 44; ++i) type(i);
  Settle();
  EXPECT_EQ(kvrEvQue::Refused() - refused, 11u);
  EXPECT_EQ(kvrEvQue::Graces() - graces, 1u) << "one grace for the whole full spell";
  uint8_t ch, scan;
  ASSERT_TRUE(kvrEvQue::getKey(ch, scan, false));
  EXPECT_EQ(scan, 0);
  type(44);  // finds the room just made
  type(45);  // a new full spell: waits its grace, then is refused
  Settle();
  EXPECT_EQ(kvrEvQue::Refused() - refused, 12u);
  EXPECT_EQ(kvrEvQue::Graces() - graces, 2u);
  for (int i = 1; i <= 33; ++i) {
    ASSERT_TRUE(kvrEvQue::getKey(ch, scan, false)) << i;
    EXPECT_EQ(ch, i == 33 ? 'a' + 44 % 26 : 'a' + i % 26);
    EXPECT_EQ(scan, i == 33 ? 44 : i);
  }
  EXPECT_FALSE(kvrEvQue::getKey(ch, scan, false));
}

// Keys from a pipe or a file wait for room however long the queue stays full: none is refused,
// and they come out in order as the program takes them.
TEST_F(Queue, PipedKeysWaitForRoom) {
  kvrEvQue::SetGrace(std::chrono::nanoseconds(1));
  const uint32_t refused = kvrEvQue::Refused();
  constexpr int kKeys = 80;
  for (int i = 0; i < kKeys; ++i) {
    InputRecord r = Key(static_cast<uint8_t>('a' + i % 26), static_cast<uint16_t>(i), 0);
    platform::detail::WriteSourceInput(r, true);  // as the source delivers a pipe's keys
    r.Event.bKeyDown = 0;
    platform::detail::WriteSourceInput(r, true);
    gPut.fetch_add(2);  // so that Settle waits for these records too
  }
  // The reader has filled the queue and holds the next key. A typed key's grace is a nanosecond
  // here: a piped key that waited only that long would be refused at once, and the keys taken
  // below would miss it.
  ASSERT_TRUE(Eventually([] { return ConPendingInput() <= 2 * (kKeys - 34) + 1; }));
  for (int i = 0; i < kKeys; ++i) {
    uint8_t ch = 0, scan = 0;
    ASSERT_TRUE(Eventually([&] { return kvrEvQue::getKey(ch, scan, false); })) << i;
    EXPECT_EQ(ch, 'a' + i % 26);
    EXPECT_EQ(scan, i);
  }
  Settle();
  EXPECT_EQ(kvrEvQue::Refused(), refused);
}

TEST_F(Queue, GetKeyWithAndWithoutWait) {
  uint8_t ch = 0x55, scan = 0x66;
  EXPECT_FALSE(kvrEvQue::getKey(ch, scan, false));
  EXPECT_EQ(ch, 0x55);
  EXPECT_EQ(scan, 0x66);
  EXPECT_FALSE(kvrEvQue::peekKey(ch, scan));
  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  std::thread later([self] {
    EXPECT_TRUE(Eventually([self] { return Blocked(self); }));
    Put(Key(0, 0x3B, 0));
  });
  EXPECT_TRUE(kvrEvQue::getKey(ch, scan, true));  // blocks until F1 arrives
  later.join();
  EXPECT_EQ(ch, 0);
  EXPECT_EQ(scan, 0x3B);
}

TEST_F(Queue, ReleasesModifiersAndMouseEnqueueNothing) {
  InputRecord mouse{};
  mouse.EventType = 2;
  Put(mouse);
  Put(Key('a', 0x1E, 0, 'A', false));
  Put(Key(0, 0x2A, SHIFT_PRESSED));
  Put(Key(0, 0x1D, LEFT_CTRL_PRESSED));
  Put(Key(0, 0x38, LEFT_ALT_PRESSED));
  Settle();
  uint8_t ch, scan;
  EXPECT_FALSE(kvrEvQue::peekKey(ch, scan));
  EXPECT_FALSE(IO::KeyPressed());
}

TEST_F(Queue, RdKeyTwoCodeKeys) {
  Put(Key('a', 0x1E, 0));
  Put(Key(0, 0x48, ENHANCED_KEY));
  Put(Key('r', 0x13, 0));
  Settle();
  EXPECT_TRUE(IO::KeyPressed());
  EXPECT_EQ(IO::RdKey(), 'a');
  EXPECT_EQ(BiosIO::LastScan, 0x1E);
  EXPECT_EQ(IO::RdKey(), '\0');  // cursor up: 00, then 48
  EXPECT_EQ(BiosIO::LastChar, '\0');
  EXPECT_EQ(IO::RdKey(), '\x48');
  EXPECT_EQ(BiosIO::LastChar, '\xff');
  EXPECT_EQ(IO::RdKey(), 'r');
  Put(Key(0, 0x3B, 0));
  Settle();
  EXPECT_EQ(IO::RdKey(), '\0');
  EXPECT_FALSE(IO::KeyPressed());  // the pending scan code does not count ...
  EXPECT_EQ(IO::RdKey(), '\x3b');  // ... yet comes at once
}

TEST(BiosIOStart, StartValues) {
  IO::Init();
  EXPECT_TRUE(BiosIO::EnhancedBIOS);
  EXPECT_FALSE(IO::ChopOff);
  EXPECT_TRUE(IO::OK);
  EXPECT_EQ(IO::PrefixChar, ' ');
}

}  // namespace
