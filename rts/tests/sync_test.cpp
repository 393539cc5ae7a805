// The threading toolkit: events wake their waiters (every one, or exactly one), timed waits end at
// their deadline, the mutex excludes, and never-destroyed storage survives the process's end.
// Deadlines here only guard against a hang; no case depends on how fast threads run.
#include "rts/Sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/child.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::seconds kGuard{30};  // a hang, not a slow machine

// Waits until `done()` answers true, at most the guard time.
template <class Done>
bool Eventually(Done done) {
  const rts::TimePoint end = rts::Now() + kGuard;
  while (!done()) {
    if (rts::Now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(Event, ManualResetWakesEveryWaiterAndStaysSet) {
  rts::Event event;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      woken.fetch_add(1);
    });
  }
  EXPECT_FALSE(event.IsSet());
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
  // Still signalled: waits return at once, spinning or not, until Reset.
  EXPECT_TRUE(event.IsSet());
  event.Wait();
  event.SpinThenWait(1us);
  EXPECT_TRUE(event.WaitFor(0ns));
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(0ns));
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSignal) {
  rts::Event event(rts::EventReset::kAuto);
  // A signal without a waiter is kept for the next one, and only for one.
  event.Set();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.WaitFor(0ns));
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(0ns));

  std::atomic<int> woken{0};
  std::atomic<int> started{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      started.fetch_add(1);
      event.Wait();
      woken.fetch_add(1);
    });
  }
  ASSERT_TRUE(Eventually([&] { return started.load() == 2; }));
  event.Set();
  ASSERT_TRUE(Eventually([&] { return woken.load() >= 1; }));
  // The one released took the signal: nothing is left to release the other.
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(woken.load(), 1);
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 2);
  EXPECT_FALSE(event.IsSet());

  // The spinning wait takes the signal as the blocking one does.
  std::thread setter([&] { event.Set(); });
  event.SpinThenWait(20us);
  setter.join();
  EXPECT_FALSE(event.IsSet());
}

// Two threads hand a turn back and forth through two events, as the drawing thread and the main
// thread do, both waiting at once and sleeping (no spin) or spinning: a wake-up lost between a Set
// and a waiter going to sleep would stop the exchange, which the guard turns into a failure.
TEST(Event, HandOversLoseNoWakeUp) {
  for (const std::chrono::nanoseconds spin : {0ns, 20'000ns}) {
    rts::Event posted;
    rts::Event ready;
    constexpr int kTurns = 20000;
    std::atomic<int> served{0};
    std::atomic<bool> stop{false};
    std::thread server([&] {
      while (true) {
        posted.SpinThenWait(spin);
        posted.Reset();
        if (stop.load()) return;
        served.fetch_add(1, std::memory_order_relaxed);
        ready.Set();
      }
    });
    ready.Set();
    int turn = 0;
    const rts::TimePoint end = rts::Now() + kGuard;
    for (; turn < kTurns && rts::Now() < end; ++turn) {
      if (!ready.WaitUntil(end)) break;
      ready.Reset();
      posted.Set();
    }
    EXPECT_EQ(turn, kTurns) << "spin " << spin.count() << " ns";
    ready.WaitUntil(end);
    stop.store(true);
    posted.Set();
    server.join();
    EXPECT_EQ(served.load(), turn) << "spin " << spin.count() << " ns";
  }
}

TEST(Event, TimedWaitsEndAtTheirDeadline) {
  rts::Event manual;
  rts::Event automatic(rts::EventReset::kAuto);
  for (rts::Event* e : {&manual, &automatic}) {
    const rts::TimePoint start = rts::Now();
    EXPECT_FALSE(e->WaitFor(20ms));
    EXPECT_GE(rts::Now() - start, 20ms);
    EXPECT_FALSE(e->WaitUntil(start - 1ns));  // a deadline already passed: no wait
  }
  // A signal during the wait ends it with true.
  std::thread setter([&] { automatic.Set(); });
  EXPECT_TRUE(automatic.WaitFor(kGuard));
  setter.join();

  rts::Mutex mutex;
  rts::Condition condition;
  rts::Hold hold(mutex);
  const rts::TimePoint start = rts::Now();
  EXPECT_FALSE(condition.WaitUntil(mutex, start + 10ms, [] { return false; }));
  EXPECT_GE(rts::Now() - start, 10ms);
  EXPECT_TRUE(condition.WaitUntil(mutex, start, [] { return true; }));
}

// Deadlines handed to the CLOCK_MONOTONIC calls are instants of rts::Clock: the two clocks must be
// the same one.
TEST(Clock, IsTheMonotonicClock) {
  timespec mono;
  const rts::TimePoint before = rts::Now();
  clock_gettime(CLOCK_MONOTONIC, &mono);
  const rts::TimePoint after = rts::Now();
  const rts::TimePoint reading{std::chrono::seconds{mono.tv_sec} +
                               std::chrono::nanoseconds{mono.tv_nsec}};
  EXPECT_LE(before, reading);
  EXPECT_LE(reading, after);
}

static std::atomic<int> gAlarms;
static void OnAlarm(int) {
  gAlarms.fetch_add(1);
}

// A signal that interrupts the sleep (its handler installed without SA_RESTART) neither ends it
// early nor restarts its whole length; a pause of zero or less does not sleep.
TEST(SleepFor, SleepsItsWholeLengthThroughSignals) {
  struct sigaction action {};
  struct sigaction saved {};
  action.sa_handler = OnAlarm;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);
  sigevent notify{};
  notify.sigev_notify = SIGEV_THREAD_ID;
  notify.sigev_signo = SIGALRM;
  notify._sigev_un._tid = gettid();  // this thread, whatever other threads the process has
  timer_t timer;
  ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &notify, &timer), 0);
  itimerspec in5ms{};
  in5ms.it_value.tv_nsec = 5'000'000;
  gAlarms.store(0);
  const rts::TimePoint start = rts::Now();
  ASSERT_EQ(timer_settime(timer, 0, &in5ms, nullptr), 0);
  rts::SleepFor(40ms);
  EXPECT_GE(rts::Now() - start, 40ms);
  EXPECT_EQ(gAlarms.load(), 1);
  timer_delete(timer);
  sigaction(SIGALRM, &saved, nullptr);

  const rts::TimePoint before = rts::Now();
  rts::SleepFor(0ns);
  rts::SleepFor(-1s);
  EXPECT_LT(rts::Now() - before, 1s);  // not the second of -1 s
}

TEST(Mutex, ExcludesAndConditionWakes) {
  rts::Mutex mutex;
  rts::Condition changed;
  long counter = 0;  // only under the mutex
  auto add = [&] {
    for (int i = 0; i < 100000; ++i) {
      rts::Hold hold(mutex);
      ++counter;
      if (counter == 200000) changed.Broadcast();
    }
  };
  std::thread a(add), b(add);
  {
    rts::Hold hold(mutex);
    changed.Wait(mutex, [&] { return counter == 200000; });
    EXPECT_EQ(counter, 200000);
  }
  a.join();
  b.join();
}

// Counts destructor runs; shared with the child.
int* gDestroyed;

struct Tracked {
  long value = 42;
  ~Tracked() { ++*gDestroyed; }
};

TEST(NeverDestroyed, OutlivesStaticDestructionAtExit) {
  gDestroyed = testchild::Shared<int>();
  const auto result = testchild::RunChild([] {
    static Tracked control;  // an ordinary static: destroyed by exit
    static rts::NeverDestroyed<Tracked> kept;
    if (kept->value != 42 || control.value != 42) return 1;
    // Threads may build it at once: all see the one object.
    Tracked* seen[4] = {};
    std::thread threads[4];
    static rts::NeverDestroyed<Tracked> shared;
    for (int i = 0; i < 4; ++i) threads[i] = std::thread([&seen, i] { seen[i] = &shared.Get(); });
    for (auto& t : threads) t.join();
    for (Tracked* p : seen) {
      if (p != seen[0]) return 2;
    }
    std::exit(0);  // runs static destructors
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(*gDestroyed, 1);  // the control only
}

// The toolkit's objects need no constructor or destructor to run: ready before main, and
// nothing to tear down under a thread still waiting at exit.
static_assert(std::is_trivially_destructible_v<rts::Mutex>);
static_assert(std::is_trivially_destructible_v<rts::Condition>);
static_assert(std::is_trivially_destructible_v<rts::Event>);
static_assert(std::is_trivially_destructible_v<rts::NeverDestroyed<std::vector<int>>>);
constinit rts::Mutex gConstantMutex;
constinit rts::Event gConstantEvent(rts::EventReset::kAuto);

TEST(Event, ConstantInitialisedGlobalsNeedNoSetUp) {
  rts::Hold hold(gConstantMutex);
  EXPECT_FALSE(gConstantEvent.IsSet());
  gConstantEvent.Set();
  EXPECT_TRUE(gConstantEvent.WaitFor(0ns));
  EXPECT_FALSE(gConstantEvent.IsSet());
}

}  // namespace
