// Module kvrEvQue (Zentavor build): the keyboard event queue, its translation tables and its key
// reader thread.
#include "console/kvrEvQue.h"

#include <pthread.h>
#include <time.h>

#include <atomic>

#include "graph/kvrIGraph.h"
#include "rts/RTS.h"
#include "rts/Sync.h"

namespace kvrEvQue {

using platform::InputRecord;
using platform::KeyEventRecord;

// Main key table by scan code 00..58; columns Normal, Shift, Ctrl, Alt. Rows 00, 1D, 2A, 36,
// 38, 3A, 45, 46, 54, 55 and 56 (the modifier and lock keys) hold no key.
const Pair MainTable[0x59][4] = {
    /* 00 */ {},
    /* 01 */ {{0x1B, 0x00}, {0x1B, 0x00}, {0x1B, 0x00}, {0x00, 0x01}},
    /* 02 */ {{0x31, 0x00}, {0x21, 0x00}, {0x00, 0x00}, {0x00, 0x78}},
    /* 03 */ {{0x32, 0x00}, {0x40, 0x00}, {0x00, 0x03}, {0x00, 0x79}},
    /* 04 */ {{0x33, 0x00}, {0x23, 0x00}, {0x00, 0x00}, {0x00, 0x7A}},
    /* 05 */ {{0x34, 0x00}, {0x24, 0x00}, {0x00, 0x00}, {0x00, 0x7B}},
    /* 06 */ {{0x35, 0x00}, {0x25, 0x00}, {0x00, 0x00}, {0x00, 0x7C}},
    /* 07 */ {{0x36, 0x00}, {0x5E, 0x00}, {0x1E, 0x00}, {0x00, 0x7D}},
    /* 08 */ {{0x37, 0x00}, {0x26, 0x00}, {0x00, 0x00}, {0x00, 0x7E}},
    /* 09 */ {{0x38, 0x00}, {0x2A, 0x00}, {0x00, 0x00}, {0x00, 0x7F}},
    /* 0A */ {{0x39, 0x00}, {0x28, 0x00}, {0x00, 0x00}, {0x00, 0x80}},
    /* 0B */ {{0x30, 0x00}, {0x29, 0x00}, {0x00, 0x00}, {0x00, 0x81}},
    /* 0C */ {{0x2D, 0x00}, {0x5F, 0x00}, {0x1F, 0x00}, {0x00, 0x82}},
    /* 0D */ {{0x3D, 0x00}, {0x2B, 0x00}, {0x00, 0x00}, {0x00, 0x83}},
    /* 0E */ {{0x08, 0x00}, {0x08, 0x00}, {0x7F, 0x00}, {0x00, 0x0E}},
    /* 0F */ {{0x09, 0x00}, {0x00, 0x0F}, {0x00, 0x94}, {0x00, 0x0F}},
    /* 10 */ {{0x71, 0x00}, {0x51, 0x00}, {0x11, 0x00}, {0x00, 0x10}},
    /* 11 */ {{0x77, 0x00}, {0x57, 0x00}, {0x17, 0x00}, {0x00, 0x11}},
    /* 12 */ {{0x65, 0x00}, {0x45, 0x00}, {0x05, 0x00}, {0x00, 0x12}},
    /* 13 */ {{0x72, 0x00}, {0x52, 0x00}, {0x12, 0x00}, {0x00, 0x13}},
    /* 14 */ {{0x74, 0x00}, {0x54, 0x00}, {0x14, 0x00}, {0x00, 0x14}},
    /* 15 */ {{0x79, 0x00}, {0x59, 0x00}, {0x19, 0x00}, {0x00, 0x15}},
    /* 16 */ {{0x75, 0x00}, {0x55, 0x00}, {0x15, 0x00}, {0x00, 0x16}},
    /* 17 */ {{0x69, 0x00}, {0x49, 0x00}, {0x09, 0x00}, {0x00, 0x17}},
    /* 18 */ {{0x6F, 0x00}, {0x4F, 0x00}, {0x0F, 0x00}, {0x00, 0x18}},
    /* 19 */ {{0x70, 0x00}, {0x50, 0x00}, {0x10, 0x00}, {0x00, 0x19}},
    /* 1A */ {{0x5B, 0x00}, {0x7B, 0x00}, {0x1B, 0x00}, {0x00, 0x1A}},
    /* 1B */ {{0x5D, 0x00}, {0x7D, 0x00}, {0x1D, 0x00}, {0x00, 0x1B}},
    /* 1C */ {{0x0D, 0x00}, {0x0D, 0x00}, {0x0A, 0x00}, {0x00, 0x1C}},
    /* 1D */ {},
    /* 1E */ {{0x61, 0x00}, {0x41, 0x00}, {0x01, 0x00}, {0x00, 0x1E}},
    /* 1F */ {{0x73, 0x00}, {0x53, 0x00}, {0x13, 0x00}, {0x00, 0x1F}},
    /* 20 */ {{0x64, 0x00}, {0x44, 0x00}, {0x04, 0x00}, {0x00, 0x20}},
    /* 21 */ {{0x66, 0x00}, {0x46, 0x00}, {0x06, 0x00}, {0x00, 0x21}},
    /* 22 */ {{0x67, 0x00}, {0x47, 0x00}, {0x07, 0x00}, {0x00, 0x22}},
    /* 23 */ {{0x68, 0x00}, {0x48, 0x00}, {0x08, 0x00}, {0x00, 0x23}},
    /* 24 */ {{0x6A, 0x00}, {0x4A, 0x00}, {0x0A, 0x00}, {0x00, 0x24}},
    /* 25 */ {{0x6B, 0x00}, {0x4B, 0x00}, {0x0B, 0x00}, {0x00, 0x25}},
    /* 26 */ {{0x6C, 0x00}, {0x4C, 0x00}, {0x0C, 0x00}, {0x00, 0x26}},
    /* 27 */ {{0x3B, 0x00}, {0x3A, 0x00}, {0x00, 0x00}, {0x00, 0x27}},
    /* 28 */ {{0x27, 0x00}, {0x22, 0x00}, {0x00, 0x00}, {0x00, 0x28}},
    /* 29 */ {{0x60, 0x00}, {0x7E, 0x00}, {0x00, 0x00}, {0x00, 0x29}},
    /* 2A */ {},
    /* 2B */ {{0x5C, 0x00}, {0x7C, 0x00}, {0x1C, 0x00}, {0x00, 0x2B}},
    /* 2C */ {{0x7A, 0x00}, {0x5A, 0x00}, {0x1A, 0x00}, {0x00, 0x2C}},
    /* 2D */ {{0x78, 0x00}, {0x58, 0x00}, {0x18, 0x00}, {0x00, 0x2D}},
    /* 2E */ {{0x63, 0x00}, {0x43, 0x00}, {0x03, 0x00}, {0x00, 0x2E}},
    /* 2F */ {{0x76, 0x00}, {0x56, 0x00}, {0x16, 0x00}, {0x00, 0x2F}},
    /* 30 */ {{0x62, 0x00}, {0x42, 0x00}, {0x02, 0x00}, {0x00, 0x30}},
    /* 31 */ {{0x6E, 0x00}, {0x4E, 0x00}, {0x0E, 0x00}, {0x00, 0x31}},
    /* 32 */ {{0x6D, 0x00}, {0x4D, 0x00}, {0x0D, 0x00}, {0x00, 0x32}},
    /* 33 */ {{0x2C, 0x00}, {0x3C, 0x00}, {0x00, 0x00}, {0x00, 0x33}},
    /* 34 */ {{0x2E, 0x00}, {0x3E, 0x00}, {0x00, 0x00}, {0x00, 0x34}},
    /* 35 */ {{0x2F, 0x00}, {0x3F, 0x00}, {0x00, 0x00}, {0x00, 0x35}},
    /* 36 */ {},
    /* 37 */ {{0x2A, 0x00}, {0x2A, 0x00}, {0x00, 0x96}, {0x00, 0x37}},
    /* 38 */ {},
    /* 39 */ {{0x20, 0x00}, {0x20, 0x00}, {0x20, 0x00}, {0x20, 0x00}},
    /* 3A */ {},
    /* 3B */ {{0x00, 0x3B}, {0x00, 0x54}, {0x00, 0x5E}, {0x00, 0x68}},
    /* 3C */ {{0x00, 0x3C}, {0x00, 0x55}, {0x00, 0x5F}, {0x00, 0x69}},
    /* 3D */ {{0x00, 0x3D}, {0x00, 0x56}, {0x00, 0x60}, {0x00, 0x6A}},
    /* 3E */ {{0x00, 0x3E}, {0x00, 0x57}, {0x00, 0x61}, {0x00, 0x6B}},
    /* 3F */ {{0x00, 0x3F}, {0x00, 0x58}, {0x00, 0x62}, {0x00, 0x6C}},
    /* 40 */ {{0x00, 0x40}, {0x00, 0x59}, {0x00, 0x63}, {0x00, 0x6D}},
    /* 41 */ {{0x00, 0x41}, {0x00, 0x5A}, {0x00, 0x64}, {0x00, 0x6E}},
    /* 42 */ {{0x00, 0x42}, {0x00, 0x5B}, {0x00, 0x65}, {0x00, 0x6F}},
    /* 43 */ {{0x00, 0x43}, {0x00, 0x5C}, {0x00, 0x66}, {0x00, 0x70}},
    /* 44 */ {{0x00, 0x44}, {0x00, 0x5D}, {0x00, 0x67}, {0x00, 0x71}},
    /* 45 */ {},
    /* 46 */ {},
    /* 47 */ {{0x00, 0x47}, {0x37, 0x00}, {0x00, 0x77}, {0x00, 0x00}},
    /* 48 */ {{0x00, 0x48}, {0x38, 0x00}, {0x00, 0x8D}, {0x00, 0x00}},
    /* 49 */ {{0x00, 0x49}, {0x39, 0x00}, {0x00, 0x84}, {0x00, 0x00}},
    /* 4A */ {{0x2D, 0x00}, {0x2D, 0x00}, {0x00, 0x8E}, {0x00, 0x4A}},
    /* 4B */ {{0x00, 0x4B}, {0x34, 0x00}, {0x00, 0x73}, {0x00, 0x00}},
    /* 4C */ {{0x00, 0x00}, {0x35, 0x00}, {0x00, 0x00}, {0x00, 0x00}},
    /* 4D */ {{0x00, 0x4D}, {0x36, 0x00}, {0x00, 0x74}, {0x00, 0x00}},
    /* 4E */ {{0x2B, 0x00}, {0x2B, 0x00}, {0x00, 0x90}, {0x00, 0x4E}},
    /* 4F */ {{0x00, 0x4F}, {0x31, 0x00}, {0x00, 0x75}, {0x00, 0x00}},
    /* 50 */ {{0x00, 0x50}, {0x32, 0x00}, {0x00, 0x91}, {0x00, 0x00}},
    /* 51 */ {{0x00, 0x51}, {0x33, 0x00}, {0x00, 0x76}, {0x00, 0x00}},
    /* 52 */ {{0x00, 0x52}, {0x30, 0x00}, {0x00, 0x92}, {0x00, 0x00}},
    /* 53 */ {{0x00, 0x53}, {0x2E, 0x00}, {0x00, 0x93}, {0x00, 0x00}},
    /* 54 */ {},
    /* 55 */ {},
    /* 56 */ {},
    /* 57 */ {{0x00, 0x85}, {0x00, 0x87}, {0x00, 0x89}, {0x00, 0x8B}},
    /* 58 */ {{0x00, 0x86}, {0x00, 0x88}, {0x00, 0x8A}, {0x00, 0x8C}},
};

// Keys that carry ENHANCED_KEY: keypad Enter and slash, the grey cursor and editing block.
const EnhancedRow EnhancedTable[12] = {
    {0x1C, {{0x0D, 0xE0}, {0x0D, 0xE0}, {0x0A, 0xE0}, {0x00, 0xA6}}},
    {0x35, {{0x2F, 0xE0}, {0x3F, 0xE0}, {0x00, 0x95}, {0x00, 0xA4}}},
    {0x47, {{0x00, 0x47}, {0x00, 0x47}, {0x00, 0x77}, {0x00, 0x97}}},
    {0x48, {{0x00, 0x48}, {0x00, 0x48}, {0x00, 0x8D}, {0x00, 0x98}}},
    {0x49, {{0x00, 0x49}, {0x00, 0x49}, {0x00, 0x86}, {0x00, 0x99}}},
    {0x4B, {{0x00, 0x4B}, {0x00, 0x4B}, {0x00, 0x73}, {0x00, 0x9B}}},
    {0x4D, {{0x00, 0x4D}, {0x00, 0x4D}, {0x00, 0x74}, {0x00, 0x9D}}},
    {0x4F, {{0x00, 0x4F}, {0x00, 0x4F}, {0x00, 0x75}, {0x00, 0x9F}}},
    {0x50, {{0x00, 0x50}, {0x00, 0x50}, {0x00, 0x91}, {0x00, 0xA0}}},
    {0x51, {{0x00, 0x51}, {0x00, 0x51}, {0x00, 0x76}, {0x00, 0xA1}}},
    {0x52, {{0x00, 0x52}, {0x00, 0x52}, {0x00, 0x92}, {0x00, 0xA2}}},
    {0x53, {{0x00, 0x53}, {0x00, 0x53}, {0x00, 0x93}, {0x00, 0xA3}}},
};

namespace {

constexpr int kQueueSize = 33;
constexpr int kColNormal = 0, kColShift = 1, kColCtrl = 2, kColAlt = 3;
constexpr uint32_t kLockFlags =
    platform::NUMLOCK_ON | platform::SCROLLLOCK_ON | platform::CAPSLOCK_ON;
constexpr uint32_t kAlt = platform::RIGHT_ALT_PRESSED | platform::LEFT_ALT_PRESSED;
constexpr uint32_t kCtrl = platform::RIGHT_CTRL_PRESSED | platform::LEFT_CTRL_PRESSED;
constexpr uint32_t kModeOnStart = 0x17;
constexpr size_t kReaderStack = 32767;
// How long a typed key that finds the queue full waits for room before it is refused: once per
// full spell, so that a paste a little faster than the program takes keys loses nothing. The
// programs take keys every frame, far more often; a key is refused only when the program has
// stopped reading them, and then every further typed key is refused at once, with its beep, until
// the program takes a key again.
constexpr int64_t kGraceNs = 500000000;

struct KeyEntry {
  uint8_t ch;
  uint8_t scan;
  KeyEventRecord event;
};

bool started;
platform::ConHandle gInput;
uint32_t gSavedMode;
KeyEntry gQueue[kQueueSize];
std::atomic<uint8_t> gCount;     // read once without the lock by getKey and peekKey
std::atomic<uint64_t> gHandled;  // records the reader thread has finished with
std::atomic<bool> gHolding;      // set before the reader takes a record, cleared once it is handled
// The lock, the event and the condition are constant-initialised and never destroyed: the reader
// thread runs until the process ends.
rts::Mutex gQueueLock;
rts::Event gNotEmpty;     // manual reset: set while the queue holds a key
rts::Condition gNotFull;  // a key was taken out
std::atomic<uint32_t> gRefused;
std::atomic<uint32_t> gGraces;
bool gGraceSpent;  // reader thread only: a typed key has waited its grace in this full spell
std::atomic<int64_t> gGraceSetNs;  // the grace a test set; 0: kGraceNs

void RestoreMode() {
  platform::ConSetMode(gInput, gSavedMode);
}

void SleepMs(long ms) {
  struct timespec d = {0, ms * 1000000L};
  nanosleep(&d, nullptr);
}

// Appends a translated key. When the queue is full, a key from a pipe or a file waits for room
// (the pipe is then read at the program's pace and loses nothing); a typed key waits for room
// for the grace, if no key of this full spell has waited it yet, and is otherwise refused with a
// beep. Reader thread.
void Append(uint8_t ch, uint8_t scan, const KeyEventRecord& event, bool piped) {
  {
    rts::Hold hold(gQueueLock);
    auto room = [] { return gCount.load(std::memory_order_relaxed) < kQueueSize; };
    if (piped) {
      gNotFull.Wait(gQueueLock, room);
    } else if (!room() && !gGraceSpent) {
      gGraces.fetch_add(1, std::memory_order_relaxed);
      const int64_t set = gGraceSetNs.load(std::memory_order_relaxed);
      gGraceSpent =
          !gNotFull.WaitUntil(gQueueLock, rts::MonotonicNs() + (set > 0 ? set : kGraceNs), room);
    }
    uint8_t count = gCount.load(std::memory_order_relaxed);
    if (count < kQueueSize) {
      gGraceSpent = false;  // there was room: the full spell is over
      gQueue[count] = {ch, scan, event};
      gCount.store(static_cast<uint8_t>(count + 1), std::memory_order_release);
      if (count + 1 == 1) gNotEmpty.Set();
      return;
    }
  }
  gRefused.fetch_add(1, std::memory_order_relaxed);
  platform::ConBeep(300, 100);
}

// The key reader thread: wait, read one record, drop what is not a key press, translate,
// append. Runs for the life of the process.
void* ReadKeys(void*) {
  rts::BlockBreakSignals();
  for (;;) {
    if (!platform::ConWaitInput(-1)) {
      SleepMs(10);
      continue;
    }
    InputRecord record;
    gHolding.store(true);  // before the record leaves the console input: see Holding
    const bool piped = platform::ConReadInputPiped(record);
    uint8_t ch, scan;
    if (record.EventType == platform::KEY_EVENT && record.Event.bKeyDown &&
        Translate(record.Event, ch, scan)) {
      Append(ch, scan, record.Event, piped);
    }
    gHandled.fetch_add(1, std::memory_order_release);
    gHolding.store(false);
  }
  return nullptr;
}

void StartReader() {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  size_t stack = kReaderStack;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  stack = 1 << 20;  // the sanitizers' run-time needs more than the key reader itself
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  stack = 1 << 20;
#endif
#endif
  if (stack < static_cast<size_t>(PTHREAD_STACK_MIN)) stack = PTHREAD_STACK_MIN;
  pthread_attr_setstacksize(&attr, stack);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  rts::BreakSignalsBlocked blocked;
  int failed = pthread_create(&thread, &attr, ReadKeys, nullptr);
  pthread_attr_destroy(&attr);
  rts::Assert(failed == 0, 3);
}

// The oldest entry's pair, the scan code filled from the key's own when the pair has none.
// Under the queue lock.
void Oldest(uint8_t& ch, uint8_t& scan) {
  ch = gQueue[0].ch;
  scan = gQueue[0].scan != 0 ? gQueue[0].scan
                             : static_cast<uint8_t>(gQueue[0].event.wVirtualScanCode & 0xFF);
}

}  // namespace

bool Translate(const KeyEventRecord& event, uint8_t& ch, uint8_t& scan) {
  uint8_t c = static_cast<uint8_t>(event.uChar & 0xFF);
  uint16_t s = event.wVirtualScanCode;
  uint32_t m = event.dwControlKeyState & ~kLockFlags;

  uint8_t d;
  switch (m) {
    case 0x0010:
      d = s == 0x2A ? 0 : c;
      break;
    case 0x0100:
    case 0x0104:
    case 0x0108:
    case 0x0004:
    case 0x0008:
    case 0x0101:
    case 0x0102:
    case 0x0001:
    case 0x0002:
      d = 0;
      break;
    default:
      d = c;
      break;
  }
  if (d != 0) {
    ch = d;
    scan = 0;
    return true;
  }

  int col = kColNormal;
  if (m & kAlt) {
    col = kColAlt;
  } else if (m & kCtrl) {
    col = kColCtrl;
  } else if (m & platform::SHIFT_PRESSED) {
    col = kColShift;
  }

  Pair pair = {0, 0};
  if (m & platform::ENHANCED_KEY) {
    bool found = false;
    for (const EnhancedRow& row : EnhancedTable) {
      if (row.key == s) {
        pair = row.col[col];
        found = true;
      }
    }
    if (!found) return false;
  } else {
    if (s >= 0x59) return false;
    pair = MainTable[s][col];
    if (pair.ch == 0 && pair.scan == 0) return false;
  }
  ch = pair.ch;
  scan = pair.scan;
  return true;
}

void Init() {
  if (!rts::Starting(started)) return;
  kvrIGraph::Init();
  rts::AddFinaliser(RestoreMode);
  gCount.store(0);
  gInput = kvrIGraph::hConsoleInput;
  if (platform::ConGetMode(gInput, gSavedMode) && platform::ConSetMode(gInput, kModeOnStart)) {
    // The line input reader would become the default input channel here; the programs read
    // no lines, and IO's string reader takes keys from the queue itself.
  }
  StartReader();
}

bool getKey(uint8_t& ch, uint8_t& scan, bool wait) {
  if (gCount.load(std::memory_order_acquire) == 0 && !wait) return false;
  gNotEmpty.Wait();
  rts::Hold hold(gQueueLock);
  Oldest(ch, scan);
  uint8_t count = gCount.load(std::memory_order_relaxed);
  for (int i = 1; i < count; ++i) gQueue[i - 1] = gQueue[i];
  --count;
  gCount.store(count, std::memory_order_release);
  if (count == 0) gNotEmpty.Reset();
  gNotFull.Signal();
  return true;
}

uint64_t RecordsHandled() {
  return gHandled.load(std::memory_order_acquire);
}

bool Holding() {
  return gHolding.load();
}

uint32_t Refused() {
  return gRefused.load(std::memory_order_relaxed);
}

uint32_t Graces() {
  return gGraces.load(std::memory_order_relaxed);
}

void SetGrace(std::chrono::nanoseconds grace) {
  gGraceSetNs.store(grace.count() > 0 ? grace.count() : 0, std::memory_order_relaxed);
}

bool peekKey(uint8_t& ch, uint8_t& scan) {
  if (gCount.load(std::memory_order_acquire) == 0) return false;
  rts::Hold hold(gQueueLock);
  Oldest(ch, scan);
  return true;
}

}  // namespace kvrEvQue
