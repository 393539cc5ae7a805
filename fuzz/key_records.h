// Key records for the key translation fuzz targets, made two ways from the same input: as raw
// records (any field values at all, as a forwarded or hostile record may carry), and as the
// records the console host delivers for the input read as terminal bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Console.h"
#include "platform/con_decode.h"

namespace fuzzkeys {

// Calls raw(record) for each 10-byte slice: character, scan code, virtual-key code (16 bits
// each) and control-key state (32 bits).
template <class F>
void ForEachRawRecord(const uint8_t* data, size_t size, F raw) {
  for (size_t i = 0; i + 10 <= size; i += 10) {
    platform::KeyEventRecord e{};
    e.bKeyDown = 1;
    e.wRepeatCount = 1;
    std::memcpy(&e.uChar, data + i, 2);
    std::memcpy(&e.wVirtualScanCode, data + i + 2, 2);
    std::memcpy(&e.wVirtualKeyCode, data + i + 4, 2);
    std::memcpy(&e.dwControlKeyState, data + i + 6, 4);
    raw(e);
  }
}

// Calls typed(key, record) for each key the decoder makes of the input as terminal bytes, with
// the press record the console host delivers for it.
template <class F>
void ForEachTypedKey(const uint8_t* data, size_t size, F typed) {
  static platform::ConDecoder decoder;
  decoder.Reset();
  platform::DecodedKey key;
  auto deliver = [&] {
    while (decoder.Take(key)) {
      platform::KeyEventRecord e{};
      e.bKeyDown = 1;
      e.wRepeatCount = 1;
      e.wVirtualKeyCode = key.vk;
      e.wVirtualScanCode = key.scan;
      e.uChar = key.ch;
      e.dwControlKeyState = key.state;
      typed(key, e);
    }
  };
  for (size_t i = 0; i < size; ++i) {
    decoder.Push(data[i]);
    deliver();
  }
  decoder.Expire();
  deliver();
}

// A key the program receives as its character: a printable character typed alone or with Shift.
inline bool PlainCharacter(const platform::DecodedKey& key) {
  return key.ch >= 0x20 && key.ch < 0x7F &&
         (key.state == 0 || key.state == platform::SHIFT_PRESSED);
}

// A key without a character that the program receives as 00 and its scan code: the grey cursor
// and editing block and F1..F10, typed alone. (F11 and F12 have codes of their own.)
inline bool GreyOrFunctionKey(const platform::DecodedKey& key) {
  if (key.ch != 0) return false;
  if (key.state == platform::ENHANCED_KEY) return true;
  return key.state == 0 && key.vk >= 0x70 && key.vk <= 0x79;
}

}  // namespace fuzzkeys
