// Module Str: string conversions. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Str {

// Module start body.
void Init();

// Trabolix build: writes x in `base` (clamped to 2..16, digits 0-9A-F) into str, closed with 00
// when there is room; ok FALSE when the digits do not fit.
void CardToStr(uint32_t x, char* str, std::size_t capacity, uint32_t base, bool& ok);
template <std::size_t N>
void CardToStr(uint32_t x, char (&str)[N], uint32_t base, bool& ok) {
  CardToStr(x, str, N, base, ok);
}

}  // namespace Str
