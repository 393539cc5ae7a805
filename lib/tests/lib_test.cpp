// Module Lib: the generator's known sequences, the unseeded path, index wrap-around over many
// calls, and the clock seed.
#include "lib/Lib.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

namespace {

uint32_t Next(uint32_t count, uint32_t* out) {
  for (uint32_t n = 0; n < count; ++n) out[n] = Lib::RANDOM(0);
  return count;
}

TEST(Lib, KnownSequencesAfterSeeding) {
  Lib::Init();
  Lib::Seed(12345);
  const uint32_t expected[] = {32068, 70994, 49645, 95759, 22801};
  for (uint32_t want : expected) EXPECT_EQ(Lib::RANDOM(0), want);

  // Seed 0: table[0] is 0, and the first value is table[53] + table[22].
  Lib::Seed(0);
  EXPECT_EQ(Lib::RANDOM(0), 38029u);

  // A range gives the raw value modulo the range; range 1 always 0.
  Lib::Seed(12345);
  EXPECT_EQ(Lib::RANDOM(1000), 68u);  // 32068
  EXPECT_EQ(Lib::RANDOM(11), 70994u % 11);
  EXPECT_EQ(Lib::RANDOM(1), 0u);
  EXPECT_EQ(Lib::RANDOM(0xFFFFFFFFu), 95759u);
}

// An unseeded table exists only before the first seeding, so this runs in a freshly started copy
// of the test binary (the threadsafe death-test style re-executes it).
// Counts the values that differ from the unseeded table's first six.
int UnseededSequenceMismatches() {
  Lib::Init();
  const uint32_t expected[] = {8683, 32068, 70994, 49645, 95759, 22801};
  int wrong = 0;
  for (uint32_t want : expected) wrong += Lib::RANDOM(0) != want;
  return wrong;
}

TEST(Lib, UnseededTableSeedsWith12345WithoutAdvancing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(UnseededSequenceMismatches()), ::testing::ExitedWithCode(0), "");
}

// The indices run down and wrap from 0 to 54; j - k stays 31 (mod 55). Seen from outside that is
// the recurrence v[t] = v[t - 55] + v[t - 24] over the freshly seeded entries, which this test
// checks independently of the index bookkeeping, across many wraps and a few seeds.
TEST(Lib, FollowsTheLaggedRecurrenceAcrossWraps) {
  constexpr int kInit = 55, kCount = 2000;
  for (uint32_t seed : {0u, 1u, 5841u, 0xFFFFFFFFu}) {
    static uint32_t v[kInit + kCount];
    // Fresh entries: table[n] = state_n >> 16. Call t (from 1) updates table[(54 - t) mod 55] and
    // v[kInit - 1 + t] is its value; v[kInit - 1 - s] is entry (54 + s) mod 55 before its first
    // update, the value the recurrence reads as v[-s].
    uint32_t state = seed;
    uint32_t fresh[kInit];
    for (int n = 0; n < kInit; ++n) {
      state = state * 3141592621u + 17u;
      fresh[n] = state >> 16;
      ASSERT_LT(fresh[n], 65536u);
    }
    for (int s = 0; s < kInit; ++s) v[kInit - 1 - s] = fresh[(54 + s) % kInit];
    Lib::Seed(seed);
    for (int t = 1; t <= kCount; ++t) {
      const int at = kInit - 1 + t;
      v[at] = v[at - 55] + v[at - 24];
      ASSERT_EQ(Lib::RANDOM(0), v[at]) << "seed " << seed << " call " << t;
    }
  }
}

// RANDOMIZE seeds with the local time's seconds times hundredths. The clock is read on both sides
// of the call; when it did not move to another hundredth in between, the seed is known.
TEST(Lib, RandomizeSeedsWithSecondsTimesHundredths) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto stamp = [] {
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);
      tm local{};
      localtime_r(&now.tv_sec, &local);
      return std::pair<uint32_t, uint32_t>(static_cast<uint32_t>(local.tm_sec),
                                           static_cast<uint32_t>(now.tv_nsec / 10000000));
    };
    const auto before = stamp();
    Lib::RANDOMIZE();
    const auto after = stamp();
    if (before != after) continue;
    uint32_t got[8], want[8];
    Next(8, got);
    Lib::Seed(before.first * before.second);
    Next(8, want);
    for (int n = 0; n < 8; ++n) EXPECT_EQ(got[n], want[n]);
    return;
  }
  FAIL() << "the clock moved across a hundredth in every attempt";
}

}  // namespace
