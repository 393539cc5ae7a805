// Fuzz target: the terminal key decoder on any bytes, split into reads at any points, with or
// without the Escape time-out between reads.
//
// Input: a run of chunks, each a control byte and then (control & 0x3F) bytes of terminal input.
// Control bit 0x40 pushes the chunk 64 times over (long runs reach the counters' limits), bit
// 0x80 lets the time-out expire after the chunk. The input ends with a time-out.
//
// Properties: every call returns and answers what it left (a key, a pending prefix, or nothing);
// every key is a valid key record; a push makes at most two keys, and outside a prefix every byte
// but ESC makes exactly one (printable ones their own character); a time-out leaves nothing
// pending and turns a prefix that could have been typed into at least one key.
#include <cstddef>
#include <cstdint>

#include "fuzz/check.h"
#include "platform/Console.h"
#include "platform/con_decode.h"

namespace {

using platform::ConDecoder;
using platform::DecodedKey;
using platform::DecodeResult;

constexpr uint32_t kKnownState = platform::SHIFT_PRESSED | platform::LEFT_CTRL_PRESSED |
                                 platform::LEFT_ALT_PRESSED | platform::ENHANCED_KEY;

void CheckKey(const DecodedKey& k) {
  FUZZ_CHECK(k.vk != 0 || k.ch != 0);
  FUZZ_CHECK(k.vk <= 0xFF);
  FUZZ_CHECK((k.state & ~kKnownState) == 0);
  if (k.vk == 0) {
    FUZZ_CHECK(k.scan == 0 && k.ch >= 0x80);  // a character without a key
  } else {
    FUZZ_CHECK(k.scan >= 0x01 && k.scan <= 0x58);  // a key of the PC keyboard
  }
}

// Takes every ready key; checks each and the answer that announced them.
int TakeAll(ConDecoder& d, DecodeResult r, DecodedKey* first) {
  int n = 0;
  DecodedKey k;
  while (d.Take(k)) {
    CheckKey(k);
    if (n == 0 && first != nullptr) *first = k;
    ++n;
    FUZZ_CHECK(n <= ConDecoder::kMaxReady);
  }
  FUZZ_CHECK((r == DecodeResult::kKey) == (n > 0));
  if (n == 0) FUZZ_CHECK((r == DecodeResult::kMore) == d.Pending());
  return n;
}

struct Run {
  ConDecoder decoder;
  uint64_t sinceEsc = ~uint64_t{0} >> 1;  // bytes pushed since the last ESC

  void Push(uint8_t byte) {
    bool before = decoder.Pending();
    DecodeResult r = decoder.Push(byte);
    DecodedKey first{};
    int n = TakeAll(decoder, r, &first);
    FUZZ_CHECK(n <= 2);
    if (!before) {
      if (byte == 0x1B) {
        FUZZ_CHECK(n == 0 && decoder.Pending());
      } else {
        FUZZ_CHECK(n == 1 && !decoder.Pending());
        if (byte >= 0x20 && byte < 0x7F) FUZZ_CHECK(first.ch == byte);
      }
    }
    sinceEsc = byte == 0x1B ? 0 : sinceEsc + 1;
  }

  void Expire() {
    bool before = decoder.Pending();
    DecodeResult r = decoder.Expire();
    int n = TakeAll(decoder, r, nullptr);
    FUZZ_CHECK(!decoder.Pending());
    if (!before) FUZZ_CHECK(n == 0);
    // ESC, '[' or 'O', and up to kMaxLength parameter bytes: typing, so never silence.
    if (before && sinceEsc <= ConDecoder::kMaxLength + 1) FUZZ_CHECK(n >= 1);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Run run;
  run.decoder.Reset();
  run.sinceEsc = ~uint64_t{0} >> 1;
  size_t i = 0;
  while (i < size) {
    uint8_t control = data[i++];
    size_t n = control & 0x3F;
    if (n > size - i) n = size - i;
    int repeats = (control & 0x40) != 0 ? 64 : 1;
    for (int r = 0; r < repeats; ++r) {
      for (size_t k = 0; k < n; ++k) run.Push(data[i + k]);
    }
    i += n;
    if ((control & 0x80) != 0) run.Expire();
  }
  run.Expire();
  return 0;
}
