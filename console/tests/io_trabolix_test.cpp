// Module IO, Trabolix build: the exact bytes of the write procedures, Str.CardToStr, and the
// direct reading of keys from the console input.
#include <gtest/gtest.h>

#include <vector>

#include "console/IO.h"
#include "console/Str.h"
#include "console/tests/capture.h"

namespace {

using contest::Captured;
using contest::Key;
using contest::Put;
using platform::ENHANCED_KEY;
using platform::LEFT_ALT_PRESSED;
using platform::LEFT_CTRL_PRESSED;
using platform::SHIFT_PRESSED;

class IoT : public ::testing::Test {
 protected:
  void SetUp() override {
    IO::Init();
    platform::ConFlushInput();
    IO::ChopOff = false;
    IO::PrefixChar = ' ';
    IO::SuffixChar = ' ';
    IO::OK = true;
  }
};

TEST_F(IoT, StartValues) {
  EXPECT_FALSE(IO::Eng);
  EXPECT_FALSE(IO::InputRedirected);
  EXPECT_FALSE(IO::OutputRedirected);
  EXPECT_FALSE(IO::Prompt);
  EXPECT_FALSE(IO::RdLnOnWr);
  EXPECT_EQ(IO::Separators.count(), 5u);
  for (int c : {0x09, 0x0A, 0x0D, 0x1A, 0x20}) EXPECT_TRUE(IO::Separators.test(c));
  EXPECT_NE(IO::WrStrRedirect, nullptr);
  EXPECT_NE(IO::RdStrRedirect, nullptr);
}

TEST_F(IoT, StringsCharactersAndLineEnds) {
  const char full[3] = {'a', 'b', 'c'};  // capacity filled, no 00
  EXPECT_EQ(Captured([&] { IO::WrStr(full); }), "abc");
  EXPECT_EQ(Captured([] { IO::WrStr("ab\0cd"); }), "ab");
  EXPECT_EQ(Captured([] { IO::WrLn(); }), "\r\n");
  EXPECT_EQ(Captured([] { IO::WrStr("one\ntwo\n"); }), "one\r\ntwo\r\n");
  EXPECT_EQ(Captured([] {
              IO::WrChar('x');
              IO::WrChar('\0');
              IO::WrChar('\n');
            }),
            "x\r\n");
  IO::RdLnOnWr = true;  // RdLn reads nothing and returns at once
  EXPECT_EQ(Captured([] {
              IO::RdLn();
              IO::WrStr("ok");
              IO::WrLn();
            }),
            "ok\r\n");
  IO::RdLnOnWr = false;
}

TEST_F(IoT, WrCardFieldsAndOverflow) {
  EXPECT_EQ(Captured([] { IO::WrCard(42, 5); }), "   42");
  EXPECT_EQ(Captured([] { IO::WrCard(42, -5); }), "42   ");
  EXPECT_EQ(Captured([] { IO::WrCard(123456, 3); }), "123456");
  EXPECT_TRUE(IO::OK);
  EXPECT_EQ(Captured([] { IO::WrCard(0, 0); }), "0");
  EXPECT_EQ(Captured([] { IO::WrCard(4294967295u, 0); }), "4294967295");
  IO::ChopOff = true;
  EXPECT_EQ(Captured([] { IO::WrCard(123456, 3); }), "???");
  EXPECT_FALSE(IO::OK);
  EXPECT_EQ(Captured([] { IO::WrCard(123, -3); }), "123");
  EXPECT_TRUE(IO::OK);
}

TEST_F(IoT, WrStrAdjFillAndChopOff) {
  EXPECT_EQ(Captured([] { IO::WrStrAdj("abc", 0); }), "abc");
  EXPECT_EQ(Captured([] { IO::WrStrAdj("abc", 3); }), "abc");
  EXPECT_EQ(Captured([] { IO::WrStrAdj("abc", -3); }), "abc");
  IO::PrefixChar = '*';
  IO::SuffixChar = '.';
  EXPECT_EQ(Captured([] { IO::WrStrAdj("ab", 4); }), "**ab");
  EXPECT_EQ(Captured([] { IO::WrStrAdj("ab", -4); }), "ab..");
  IO::ChopOff = true;
  EXPECT_EQ(Captured([] { IO::WrStrAdj("abc", 0); }), "");
  EXPECT_FALSE(IO::OK);
  EXPECT_EQ(Captured([] { IO::WrStrAdj("", 0); }), "");
  EXPECT_TRUE(IO::OK);
  EXPECT_EQ(Captured([] { IO::WrStrAdj("abcdef", -2); }), "??");
  EXPECT_FALSE(IO::OK);
}

std::vector<size_t> gChunks;
void Recording(const char* s, std::size_t capacity) {
  gChunks.push_back(strnlen(s, capacity));
}

TEST_F(IoT, WrCharRepChunksOf254) {
  std::string out = Captured([] { IO::WrCharRep('#', 600); });
  EXPECT_EQ(out, std::string(600, '#'));
  gChunks.clear();
  IO::WrStrProc writer = IO::WrStrRedirect;
  IO::WrStrRedirect = Recording;
  IO::WrCharRep('#', 600);
  IO::WrStrRedirect = writer;
  EXPECT_EQ(gChunks, (std::vector<size_t>{254, 254, 92}));
  EXPECT_EQ(Captured([] { IO::WrCharRep('\0', 300); }), "");
}

TEST(StrT, CardToStr) {
  char buf[40];
  bool ok = false;
  Str::CardToStr(255, buf, 16, ok);
  EXPECT_TRUE(ok);
  EXPECT_STREQ(buf, "FF");
  Str::CardToStr(5, buf, 1, ok);  // base below 2 counts as 2
  EXPECT_STREQ(buf, "101");
  Str::CardToStr(255, buf, 99, ok);  // above 16 counts as 16
  EXPECT_STREQ(buf, "FF");
  Str::CardToStr(0, buf, 10, ok);
  EXPECT_STREQ(buf, "0");
  char three[3] = {'x', 'x', 'x'};
  Str::CardToStr(123, three, 10, ok);  // fits exactly: no room for the 00
  EXPECT_TRUE(ok);
  EXPECT_EQ(std::string(three, 3), "123");
  Str::CardToStr(1234, three, 10, ok);
  EXPECT_FALSE(ok);
}

// The direct reading, on records written into the console input.
TEST_F(IoT, DirectReading) {
  EXPECT_FALSE(IO::KeyPressed());

  Put(Key(0, 0x2A, SHIFT_PRESSED, 0x10));  // Shift alone
  EXPECT_TRUE(IO::KeyPressed());
  Put(Key('a', 0x1E, 0, 'A'));
  EXPECT_EQ(IO::RdKey(), 'a');  // the Shift record is skipped

  Put(Key('\r', 0x1C, 0, 0x0D));
  EXPECT_EQ(IO::RdKey(), '\r');
  Put(Key('\n', 0x1C, LEFT_CTRL_PRESSED | ENHANCED_KEY, 0x0D));
  Put(Key('\n', 0x1C, ENHANCED_KEY, 0x0D));
  EXPECT_EQ(IO::RdKey(), '\0');  // Ctrl: Ctrl-table[0D] is 00, nothing pending
  EXPECT_EQ(IO::RdKey(), '\r');  // a character on scan 1C is Enter
  Put(Key(0x1B, 0x01, 0, 0x1B));
  EXPECT_EQ(IO::RdKey(), '\x1b');
  Put(Key(0, 0x01, 0, 0x1B));
  EXPECT_EQ(IO::RdKey(), '\x1b');

  Put(Key(0, 0x48, ENHANCED_KEY, 0x26));  // cursor up
  EXPECT_EQ(IO::RdKey(), '\0');
  // The pending second code counts as a waiting key, so a game loop acts on it at once.
  EXPECT_TRUE(IO::KeyPressed());
  EXPECT_EQ(IO::RdKey(), '\x48');
  EXPECT_FALSE(IO::KeyPressed());

  Put(Key(0, 0x3B, LEFT_CTRL_PRESSED, 0x70));  // Ctrl+F1: 00 and nothing pending
  EXPECT_EQ(IO::RdKey(), '\0');
  Put(Key(0, 0x48, LEFT_CTRL_PRESSED | ENHANCED_KEY, 0x26));  // Ctrl+Up
  EXPECT_EQ(IO::RdKey(), '\0');
  EXPECT_EQ(IO::RdKey(), '\x8d');
  Put(Key(0, 0x38, LEFT_ALT_PRESSED, 0x12));  // Alt alone: skipped
  Put(Key(0, 0x43, LEFT_ALT_PRESSED, 0x78));  // Alt+F9
  EXPECT_EQ(IO::RdKey(), '\0');
  EXPECT_EQ(IO::RdKey(), '\x70');
  Put(Key(0, 0x1D, LEFT_CTRL_PRESSED, 0x11));  // Ctrl alone: skipped
  Put(Key(0, 0x3B, SHIFT_PRESSED, 0x70));      // Shift+F1: no character, skipped
  Put(Key('@', 0x03, LEFT_CTRL_PRESSED | platform::RIGHT_ALT_PRESSED, 0x32));
  EXPECT_EQ(IO::RdKey(), '@');  // AltGr: two modifiers, the character counts
}

TEST_F(IoT, KeyPressedDropsOtherRecordsOneAtATime) {
  platform::InputRecord mouse{};
  mouse.EventType = 2;
  Put(mouse);
  Put(Key('a', 0x1E, 0, 'A', false));  // a release
  Put(Key('b', 0x30, 0, 'B'));
  EXPECT_FALSE(IO::KeyPressed());
  EXPECT_EQ(platform::ConPendingInput(), 2);
  EXPECT_FALSE(IO::KeyPressed());
  EXPECT_TRUE(IO::KeyPressed());
  EXPECT_EQ(IO::RdKey(), 'b');
}

}  // namespace
