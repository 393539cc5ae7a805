// Fuzz target: Trabolix's direct key translation (RdKey's reading of one record, with its Ctrl
// and Alt tables) on any key record, and on the records typed terminal bytes become.
//
// Properties: a code other than 00 leaves nothing pending; a record without modifiers always
// gives a code; a record typed as a printable character reaches the program as that character,
// and a grey or function key as 00 with its scan code pending.
#include <cstddef>
#include <cstdint>

#include "console/io_internal.h"
#include "fuzz/check.h"
#include "fuzz/key_records.h"

namespace {

constexpr uint32_t kLocks = platform::NUMLOCK_ON | platform::SCROLLLOCK_ON | platform::CAPSLOCK_ON;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzkeys::ForEachRawRecord(data, size, [](const platform::KeyEventRecord& e) {
    uint8_t pending = 0;
    char result = 0x55;
    bool got = IO::detail::TranslateDirect(e, pending, result);
    if (got && result != 0) FUZZ_CHECK(pending == 0);
    uint32_t m = e.dwControlKeyState & ~kLocks;
    if (m == 0 || m == platform::ENHANCED_KEY) FUZZ_CHECK(got);
    uint8_t c = static_cast<uint8_t>(e.uChar & 0xFF);
    if (m == 0 && c != 0) {
      FUZZ_CHECK(static_cast<uint8_t>(result) == (e.wVirtualScanCode == 0x1C ? 0x0D : c));
    }
  });
  fuzzkeys::ForEachTypedKey(
      data, size, [](const platform::DecodedKey& key, const platform::KeyEventRecord& e) {
        uint8_t pending = 0;
        char result = 0x55;
        bool got = IO::detail::TranslateDirect(e, pending, result);
        if (fuzzkeys::PlainCharacter(key)) {
          FUZZ_CHECK(got && static_cast<uint8_t>(result) == key.ch && pending == 0);
        }
        if (fuzzkeys::GreyOrFunctionKey(key)) {
          FUZZ_CHECK(got && result == 0 && pending == key.scan);
        }
      });
  return 0;
}
