// Module IO, Trabolix build: keys read from the console input directly, without a queue or a
// thread; a key without a character leaves its code pending for the next RdKey.
#include "console/IO.h"
#include "console/Str.h"
#include "console/io_internal.h"
#include "platform/Console.h"
#include "rts/RTS.h"

namespace IO {
namespace {

using platform::InputRecord;
using platform::KeyEventRecord;

// The codes of Ctrl and Alt with a key, by virtual-key code; 00 for every other key.
struct VkTable {
  uint8_t code[256];
};

constexpr VkTable MakeCtrlTable() {
  VkTable t{};
  t.code[0x09] = 0x94;                                                       // Tab
  t.code[0x21] = 0x84;                                                       // Page Up
  t.code[0x22] = 0x76;                                                       // Page Down
  t.code[0x23] = 0x75;                                                       // End
  t.code[0x24] = 0x77;                                                       // Home
  t.code[0x25] = 0x73;                                                       // Left
  t.code[0x26] = 0x8D;                                                       // Up
  t.code[0x27] = 0x74;                                                       // Right
  t.code[0x28] = 0x91;                                                       // Down
  t.code[0x2D] = 0x92;                                                       // Insert
  const uint8_t fkeys[] = {0x5F, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66};  // F2..F9
  for (int i = 0; i < 8; ++i) t.code[0x71 + i] = fkeys[i];
  return t;
}

constexpr VkTable MakeAltTable() {
  VkTable t{};
  t.code[0x24] = 0x97;  // Home
  t.code[0x2D] = 0xA2;  // Insert
  t.code[0x78] = 0x70;  // F9
  return t;
}

constexpr VkTable kCtrlTable = MakeCtrlTable();
constexpr VkTable kAltTable = MakeAltTable();

constexpr uint32_t kLockFlags =
    platform::NUMLOCK_ON | platform::SCROLLLOCK_ON | platform::CAPSLOCK_ON;

}  // namespace

namespace detail {

bool TranslateDirect(const KeyEventRecord& e, uint8_t& pending, char& result) {
  uint8_t c = static_cast<uint8_t>(e.uChar & 0xFF);
  uint16_t s = e.wVirtualScanCode;
  uint32_t m = e.dwControlKeyState & ~kLockFlags;
  switch (m) {
    case 0x0000:
    case 0x0100:
      if (c != 0) {
        result = s == 0x1C ? '\r' : static_cast<char>(c);
      } else if (m == 0 && s == 0x01) {
        result = '\x1b';
      } else {
        pending = static_cast<uint8_t>(s & 0xFF);
        result = '\0';
      }
      return true;
    case 0x0010:
      if (c == 0 || s == 0x2A) return false;
      result = static_cast<char>(c);
      return true;
    case 0x0004:
    case 0x0008:
    case 0x0104:
    case 0x0108:
      if (s == 0x1D) return false;
      pending = kCtrlTable.code[e.wVirtualKeyCode & 0xFF];
      result = '\0';
      return true;
    case 0x0001:
    case 0x0002:
    case 0x0101:
    case 0x0102:
      if (s == 0x38) return false;
      pending = kAltTable.code[e.wVirtualKeyCode & 0xFF];
      result = '\0';
      return true;
    default:
      if (c == 0) return false;
      result = static_cast<char>(c);
      return true;
  }
}

}  // namespace detail

namespace {

bool started;
platform::ConHandle gInput;  // the module's own console input handle (the host has one buffer)
uint8_t gPending;            // pending scan code, 0 for none

bool IsKeyDown(const InputRecord& r) {
  return r.EventType == platform::KEY_EVENT && r.Event.bKeyDown != 0;
}

// No record waits and none will come. The end is looked at first: records delivered before it
// are counted by then.
bool InputUsedUp() {
  return platform::ConInputEnded() && platform::ConPendingInput() == 0;
}

// The default string reader: the characters of key presses up to Enter or the capacity. At the
// end of piped input it stops with what it has.
void DefaultRdStr(char* s, std::size_t capacity) {
  detail::PromptForString();
  std::size_t length = 0;
  while (length < capacity) {
    if (InputUsedUp()) break;
    InputRecord r;
    platform::ConReadInput(r);
    if (!IsKeyDown(r)) continue;
    uint8_t c = static_cast<uint8_t>(r.Event.uChar & 0xFF);
    if (c == '\r') break;
    if (c != 0) s[length++] = static_cast<char>(c);
  }
  detail::CloseString(s, capacity, length);
}

}  // namespace

void Init() {
  if (!rts::Starting(started)) return;
  Str::Init();
  detail::InitCommon(DefaultRdStr);
  gPending = 0;
  gInput = platform::ConStdInput();
}

bool KeyPressed() {
  // The second code of a two-code key counts as a waiting key: otherwise a cursor key would act
  // only once the next key is typed, and a quitting key at the end of the input never would.
  if (gPending != 0) return true;
  InputRecord r;
  if (!platform::ConPeekInput(r)) return false;
  if (IsKeyDown(r)) return true;
  platform::ConReadInput(r);  // not a key press: drop it
  return false;
}

bool KeyComing() {
  return gPending != 0 || platform::ConPendingInput() > 0;
}

bool KeysEnded() {
  return gPending == 0 && InputUsedUp();
}

bool WaitKey(std::chrono::microseconds timeout) {
  if (gPending != 0) return true;
  return platform::ConWaitInputUntil(std::chrono::steady_clock::now() + timeout);
}

char RdKey() {
  if (gPending != 0) {
    char code = static_cast<char>(gPending);
    gPending = 0;
    return code;
  }
  for (;;) {
    // The last key of the input may be one the reading skips (Shift with a key that has no
    // character): then no key will come, and the read ends with 00 instead of waiting forever.
    if (InputUsedUp()) return '\0';
    InputRecord r;
    platform::ConReadInput(r);
    char result;
    if (IsKeyDown(r) && detail::TranslateDirect(r.Event, gPending, result)) return result;
  }
}

}  // namespace IO
