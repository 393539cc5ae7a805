// Module Lib: the library random generator, an additive lagged-Fibonacci generator over a table of
// 55 words that a linear congruential generator fills. All arithmetic is modulo 2^32. The module
// keeps no lock: every call belongs on the main thread.
#pragma once

#include <cstdint>

namespace Lib {

// Module start: leaves the table unseeded (j = k = 0). Main thread.
void Init();

// Advances the generator and returns its next raw value modulo `range`, or the raw 32-bit value
// when `range` is 0. On an unseeded table the first call seeds it with 12345 first. Main thread.
uint32_t RANDOM(uint32_t range);

// Seeds the table from the local time: its seconds (0..59) times its hundredths of a second
// (0..99), so the seed lies in 0..5841. Main thread.
void RANDOMIZE();

// Seeds the table from `seed` (the second half of RANDOMIZE), so runs with a known seed can be
// replayed. Main thread.
void Seed(uint32_t seed);

}  // namespace Lib
