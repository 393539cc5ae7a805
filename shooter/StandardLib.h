// Module StandardLib: whole random numbers in a closed interval, from the clock-seeded library
// generator (Lib) or from a small repeatable generator of its own. No lock: main thread only.
#pragma once

#include <cstdint>

namespace StandardLib {

// TRUE: RandomCard draws from the repeatable generator; FALSE (after start): from Lib.RANDOM.
// Clients may set it. Main thread.
extern bool gPseudoRandom;

// Module start: starts Lib and IO, seeds Lib's generator from the local clock, sets the
// repeatable generator's state to 94 and gPseudoRandom to FALSE. Main thread, once.
void Init();

// A whole number from min to max inclusive. When max < min it writes "ERROR calling
// RandomCardFromInterval: min <min> is bigger than max <max>" and a line end, and returns min.
// The whole range (0, 4294967295) is drawn as Lib's raw 32-bit value. Main thread.
uint32_t RandomCard(uint32_t min, uint32_t max);

}  // namespace StandardLib
