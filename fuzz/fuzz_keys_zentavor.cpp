// Fuzz target: Zentavor's key translation (kvrEvQue's main and enhanced key tables) on any key
// record, and on the records typed terminal bytes become.
//
// Properties: a record with a pair never yields 00/00; a character the tables pass through comes
// out as itself; a record typed as a printable character reaches the queue as that character,
// and a grey or function key as 00 and its scan code.
#include <cstddef>
#include <cstdint>

#include "console/kvrEvQue.h"
#include "fuzz/check.h"
#include "fuzz/key_records.h"

namespace {

constexpr uint32_t kLocks = platform::NUMLOCK_ON | platform::SCROLLLOCK_ON | platform::CAPSLOCK_ON;

// The states in which the console's own character does not count (one Ctrl, one Alt, or the
// enhanced flag alone, as a PC keyboard reports them).
bool CharacterDropped(uint32_t m) {
  switch (m) {
    case 0x0100:
    case 0x0104:
    case 0x0108:
    case 0x0004:
    case 0x0008:
    case 0x0101:
    case 0x0102:
    case 0x0001:
    case 0x0002:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzkeys::ForEachRawRecord(data, size, [](const platform::KeyEventRecord& e) {
    uint8_t ch = 0xEE, scan = 0xEE;
    bool got = kvrEvQue::Translate(e, ch, scan);
    if (got) FUZZ_CHECK(ch != 0 || scan != 0);
    uint32_t m = e.dwControlKeyState & ~kLocks;
    uint8_t c = static_cast<uint8_t>(e.uChar & 0xFF);
    bool shiftKeyAlone = m == platform::SHIFT_PRESSED && e.wVirtualScanCode == 0x2A;
    if (c != 0 && !CharacterDropped(m) && !shiftKeyAlone) {
      FUZZ_CHECK(got && ch == c && scan == 0);
    }
    uint8_t ch2 = 0, scan2 = 0;
    FUZZ_CHECK(kvrEvQue::Translate(e, ch2, scan2) == got);
    if (got) FUZZ_CHECK(ch2 == ch && scan2 == scan);
  });
  fuzzkeys::ForEachTypedKey(data, size,
                            [](const platform::DecodedKey& key, const platform::KeyEventRecord& e) {
                              uint8_t ch = 0, scan = 0;
                              bool got = kvrEvQue::Translate(e, ch, scan);
                              if (fuzzkeys::PlainCharacter(key))
                                FUZZ_CHECK(got && ch == key.ch && scan == 0);
                              if (fuzzkeys::GreyOrFunctionKey(key))
                                FUZZ_CHECK(got && ch == 0 && scan == key.scan);
                            });
  return 0;
}
