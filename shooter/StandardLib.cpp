// Module StandardLib: RandomCard over the library generator or the repeatable generator.
#include "shooter/StandardLib.h"

#include <limits>

#include "console/IO.h"
#include "lib/Lib.h"
#include "rts/RTS.h"

namespace StandardLib {

bool gPseudoRandom;

namespace {

bool started;
uint32_t gSeed;  // the repeatable generator's state

// The repeatable generator: gSeed := (gSeed * 351 + 138) mod 1013, a value from 0 to 1012. From
// 94 it runs 716, 230, 841, ... and repeats after 1012 values.
uint32_t PseudoRandomCardGenerator() {
  gSeed = (gSeed * 351 + 138) % 1013;
  return gSeed;
}

}  // namespace

void Init() {
  if (!rts::Starting(started)) return;
  Lib::Init();
  IO::Init();
  Lib::RANDOMIZE();
  gSeed = 94;
  gPseudoRandom = false;
}

uint32_t RandomCard(uint32_t min, uint32_t max) {
  if (max < min) {
    IO::WrStr("ERROR calling RandomCardFromInterval: min ");
    IO::WrCard(min, 0);
    IO::WrStr(" is bigger than max ");
    IO::WrCard(max, 0);
    IO::WrLn();
    return min;
  }
  const uint32_t span = max - min;
  if (gPseudoRandom) {
    // Worked in double: (span + 0.99999f) / 1012 * g stays below span + 1 for every span and
    // every g <= 1012, so the result never passes max.
    const double w = (static_cast<double>(span) + static_cast<double>(0.99999f)) / 1012.0;
    const double g = PseudoRandomCardGenerator();
    return min + static_cast<uint32_t>(w * g);
  }
  // span + 1 needs 33 bits only for the whole range; there every 32-bit value is a valid answer,
  // which is exactly Lib's raw value (range 0).
  if (span == std::numeric_limits<uint32_t>::max()) return Lib::RANDOM(0);
  return min + Lib::RANDOM(span + 1);
}

}  // namespace StandardLib
