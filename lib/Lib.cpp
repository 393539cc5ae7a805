// Module Lib: the 55-word lagged-Fibonacci table, its seeding and the clock seed.
#include "lib/Lib.h"

#include <time.h>

#include "rts/Array.h"

namespace Lib {
namespace {

constexpr uint32_t kLast = 54;  // the table is indexed 0..54
constexpr uint32_t kMultiplier = 3141592621u;
constexpr uint32_t kIncrement = 17;
constexpr uint32_t kUnseededSeed = 12345;

bool started;
rts::Array<uint32_t, 0, kLast> table;
// j is the entry updated and returned, k the entry added to it; j = k = 0 means unseeded. After
// seeding j - k = 31 (mod 55) for good, so both are never 0 again.
uint32_t j;
uint32_t k;

}  // namespace

void Init() {
  if (!rts::Starting(started)) return;
  j = 0;
  k = 0;
}

void Seed(uint32_t seed) {
  uint32_t state = seed;
  for (uint32_t n = 0; n <= kLast; ++n) {
    state = state * kMultiplier + kIncrement;
    table[n] = state >> 16;
  }
  j = kLast;
  k = 23;
}

uint32_t RANDOM(uint32_t range) {
  if (j != 0) {
    --j;
    k = k != 0 ? k - 1 : kLast;
  } else if (k != 0) {
    --k;
    j = kLast;
  } else {
    Seed(kUnseededSeed);  // the freshly seeded j and k are used as they are
  }
  table[j] += table[k];
  return range != 0 ? table[j] % range : table[j];
}

void RANDOMIZE() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const uint32_t seconds = static_cast<uint32_t>(local.tm_sec);
  const uint32_t hundredths = static_cast<uint32_t>(now.tv_nsec / 10000000);
  Seed(seconds * hundredths);
}

}  // namespace Lib
