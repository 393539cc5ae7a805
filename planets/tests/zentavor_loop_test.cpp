// Zentavor's main loop, recorded: the console, the window and the drawing are replaced at link
// time (--wrap) by stand-ins that replay a script of keys and write down every call the loop
// makes, so the order of key polls, key reads, frames and waits for the window can be read off
// exactly, without a window or a clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "planets/Zentavor.h"

namespace {

// The script: keys become visible to the poll from pass `gFirstKeyPass` on (passes counted by
// the polls), one per read, in order.
const char* gKeys = "";
int gNextKey;
int gPass;
int gFirstKeyPass;
std::string gLog;  // the calls, in order, separated by blanks
bool gLogging;     // false: count only (long runs)
long gFrames, gFlushes, gDrawn;

void Log(const std::string& what) {
  if (!gLogging) return;
  if (!gLog.empty()) gLog += ' ';
  gLog += what;
}

bool KeyWaits() {
  return gPass >= gFirstKeyPass && gKeys[gNextKey] != '\0';
}

void Replay(const char* keys, int firstKeyPass, bool logging) {
  gKeys = keys;
  gNextKey = 0;
  gPass = 0;
  gFirstKeyPass = firstKeyPass;
  gLog.clear();
  gLogging = logging;
  gFrames = gFlushes = gDrawn = 0;
  Zentavor::Body();
}

}  // namespace

extern "C" {

bool __wrap__ZN2IO10KeyPressedEv() {  // IO::KeyPressed()
  ++gPass;
  Log("KeyPressed");
  return KeyWaits();
}

bool __wrap__ZN2IO9KeyComingEv() {  // IO::KeyComing()
  return KeyWaits();
}

char __wrap__ZN2IO5RdKeyEv() {  // IO::RdKey()
  EXPECT_TRUE(KeyWaits()) << "a key is read only after the poll has seen one";
  const char key = gKeys[gNextKey++];
  Log(std::string("RdKey(") + key + ")");
  return key;
}

void __wrap__ZN2IO5WrStrEPKcm(const char* s, std::size_t capacity) {  // IO::WrStr
  Log(std::string("WrStr(") + std::string(s, strnlen(s, capacity)) + ")");
}

void __wrap__ZN2IO4WrLnEv() {  // IO::WrLn()
  Log("WrLn");
}

void __wrap__ZN2IO4RdLnEv() {  // IO::RdLn()
  Log("RdLn");
}

bool __wrap__ZN5Graph4InitEiijj(int32_t, int32_t, uint32_t, uint32_t) {  // Graph::Init(x, y, w, d)
  return true;
}

void __wrap__ZN5Graph5FlushEv() {  // Graph::Flush()
  ++gFlushes;
  Log("Flush");
}

void __wrap__ZN6Engine7DrawBolEjf(uint32_t slot, float) {  // Engine::DrawBol(slot, colour)
  ++gDrawn;
  if (slot == 3) {
    ++gFrames;
    Log("frame");
  }
}

}  // extern "C"

namespace {

// R, x and r typed together after two idle passes: one key per pass, a frame after every key
// that is not r, and no wait for the window while keys wait. The idle passes are paced.
TEST(Loop, OneKeyPerPassAndAFrameForEveryKeyButR) {
  Replay("Rxr", 3, true);
  EXPECT_EQ(gLog,
            "WrLn "
            "KeyPressed frame Flush "
            "KeyPressed frame Flush "
            "KeyPressed RdKey(R) frame "
            "KeyPressed RdKey(x) frame "
            "KeyPressed RdKey(r) "
            "WrStr(Press R to finish te program) WrLn RdLn");
  EXPECT_EQ(gDrawn, 3 * gFrames) << "every frame draws the three planets";
}

// A paste of 10,000 keys and r: 10,000 frames, none of them waiting for the window.
TEST(Loop, PastedKeysRunUnpacedFrames) {
  static char keys[10'002];
  for (int k = 0; k < 10'000; ++k) keys[k] = static_cast<char>('a' + k % 17);  // never r
  keys[10'000] = 'r';
  Replay(keys, 1, false);
  EXPECT_EQ(gFrames, 10'000);
  EXPECT_EQ(gFlushes, 0);
  EXPECT_EQ(gNextKey, 10'001);
}

}  // namespace
