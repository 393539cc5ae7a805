// StandardLib: the reversed-range message byte for byte, the repeatable generator's values and
// its extremes, the library path, the whole 32-bit range, and the clock seed at start-up. Each
// case starts the modules in a freshly forked child (module start runs once per process), with
// the child's standard output captured.
#include "shooter/StandardLib.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "lib/Lib.h"
#include "tests/support/child.h"

namespace {

constexpr uint32_t kMax = 4294967295u;

using testchild::ChildResult;

// Runs `body` in a forked child (standard input /dev/null, output captured); the child's exit
// code is what `body` returns.
ChildResult RunFresh(int (*body)()) {
  return testchild::RunChild(body);
}

TEST(StandardLib, ReversedRangeReportsAndReturnsMin) {
  const ChildResult c = RunFresh([] {
    StandardLib::Init();
    if (StandardLib::RandomCard(7, 3) != 7) return 1;
    if (StandardLib::RandomCard(kMax, 0) != kMax) return 2;
    if (StandardLib::RandomCard(5, 5) != 5) return 3;
    // A reversed range draws nothing: the repeatable generator still gives its first value.
    StandardLib::gPseudoRandom = true;
    if (StandardLib::RandomCard(1, 0) != 1) return 4;
    if (StandardLib::RandomCard(0, 1000) != 708) return 5;
    return 0;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out,
            "ERROR calling RandomCardFromInterval: min 7 is bigger than max 3\r\n"
            "ERROR calling RandomCardFromInterval: min 4294967295 is bigger than max 0\r\n"
            "ERROR calling RandomCardFromInterval: min 1 is bigger than max 0\r\n");
}

// From 94 the repeatable generator gives 716, 230, 841, ...; it gives 1012 on call 25 and 0 on
// call 325, and repeats after 1012 calls. Those calls must give exactly max and exactly min,
// also over the whole 32-bit range, and every other call a value in between.
TEST(StandardLib, RepeatableGeneratorValuesAndExtremes) {
  const ChildResult c = RunFresh([] {
    StandardLib::Init();
    StandardLib::gPseudoRandom = true;
    const uint32_t first[] = {708, 227, 831};
    for (uint32_t want : first) {
      if (StandardLib::RandomCard(0, 1000) != want) return 1;
    }
    for (uint32_t call = 4; call <= 2 * 1012; ++call) {
      const bool whole = call > 1012;
      const uint32_t lo = whole ? 0 : 100, hi = whole ? kMax : 200;
      const uint32_t v = StandardLib::RandomCard(lo, hi);
      const uint32_t inCycle = (call - 1) % 1012 + 1;
      if (inCycle == 25 && v != hi) return 2;
      if (inCycle == 325 && v != lo) return 3;
      if (v < lo || v > hi) return 4;
    }
    return 0;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "");
}

// gPseudoRandom is FALSE after start: RandomCard is min + Lib.RANDOM(max - min + 1), and the
// whole range is Lib's raw value (no division by zero, nothing out of range).
TEST(StandardLib, LibraryPath) {
  const ChildResult c = RunFresh([] {
    StandardLib::Init();
    if (StandardLib::gPseudoRandom) return 1;
    Lib::Seed(12345);  // raw values 32068, 70994, 49645, 95759, 22801
    if (StandardLib::RandomCard(990, 1000) != 990 + 32068 % 11) return 2;
    if (StandardLib::RandomCard(0, kMax) != 70994) return 3;
    if (StandardLib::RandomCard(1, kMax) != 1 + 49645) return 4;
    if (StandardLib::RandomCard(10, 10) != 10) return 5;
    if (StandardLib::RandomCard(kMax - 1, kMax) != kMax - 1 + 22801 % 2) return 6;
    // Every value of 990..1000 turns up, and none outside.
    uint32_t seen = 0;
    for (int n = 0; n < 2000; ++n) {
      const uint32_t v = StandardLib::RandomCard(990, 1000);
      if (v < 990 || v > 1000) return 7;
      seen |= 1u << (v - 990);
    }
    return seen == 0x7FF ? 0 : 8;
  });
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(c.out, "");
}

// The wall clock in hundredths of a second since the epoch.
int64_t Hundredths() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 100 + now.tv_nsec / 10000000;
}

// Start-up seeds Lib from the clock: the local time's seconds times the hundredths. The seed is
// one of the hundredths the clock passed through while the modules started, however long that
// took, and one of them must give the values drawn after the start.
TEST(StandardLib, StartUpSeedsFromTheClock) {
  const ChildResult c = RunFresh([] {
    const int64_t before = Hundredths();
    StandardLib::Init();
    const int64_t after = Hundredths();
    uint32_t got[6];
    for (uint32_t& v : got) v = StandardLib::RandomCard(0, kMax);
    for (int64_t h = before; h <= after; ++h) {
      const time_t seconds = static_cast<time_t>(h / 100);
      tm local{};
      localtime_r(&seconds, &local);
      Lib::Seed(static_cast<uint32_t>(local.tm_sec) * static_cast<uint32_t>(h % 100));
      bool same = true;
      for (uint32_t v : got) same = same && Lib::RANDOM(0) == v;
      if (same) return 0;
    }
    return 1;
  });
  EXPECT_EQ(c.exitCode, 0);
}

}  // namespace
