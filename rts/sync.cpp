// The threading toolkit: timed waits on CLOCK_MONOTONIC and the events.
#include "rts/Sync.h"

#include <time.h>

#include <cerrno>

namespace rts {

namespace {

// An instant of the clock as the timespec that CLOCK_MONOTONIC calls take.
timespec ToTimespec(TimePoint t) noexcept {
  const int64_t ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  timespec out;
  out.tv_sec = static_cast<time_t>(ns / 1000000000);
  out.tv_nsec = static_cast<long>(ns % 1000000000);
  return out;
}

}  // namespace

void SleepFor(std::chrono::nanoseconds pause) noexcept {
  if (pause.count() <= 0) return;
  const timespec end = ToTimespec(Now() + pause);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
  }
}

bool Condition::WaitOnceUntil(Mutex& mutex, TimePoint deadline) noexcept {
  if (deadline <= Now()) return false;
  const timespec end = ToTimespec(deadline);
  // The clock is named in the call: a condition initialised statically would otherwise measure
  // its deadline on CLOCK_REALTIME.
  return pthread_cond_clockwait(&c_, &mutex.m_, CLOCK_MONOTONIC, &end) != ETIMEDOUT;
}

// Set and a sleeping waiter meet as in Dekker's algorithm, every access sequentially consistent:
// Set stores the flag, then looks for sleepers; a waiter counts itself a sleeper, then looks at the
// flag (under the mutex) before it sleeps. One of the two sees the other's store, so either the
// waiter does not sleep or Set wakes it under the mutex the waiter releases only by sleeping.
void Event::Set() noexcept {
  signalled_.store(true);
  if (sleepers_.load() == 0) return;
  Hold hold(m_);
  if (auto_) {
    c_.Signal();
  } else {
    c_.Broadcast();
  }
}

void Event::Reset() noexcept {
  signalled_.store(false, std::memory_order_release);
}

bool Event::TryTake() noexcept {
  if (!auto_) return signalled_.load();
  bool expected = true;
  return signalled_.compare_exchange_strong(expected, false);
}

void Event::Wait() noexcept {
  if (TryTake()) return;
  Hold hold(m_);
  sleepers_.fetch_add(1);
  c_.Wait(m_, [this] { return TryTake(); });
  sleepers_.fetch_sub(1);
}

void Event::SpinThenWait(std::chrono::nanoseconds spin) noexcept {
  const TimePoint end = Now() + spin;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (TryTake()) return;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (Now() >= end) return Wait();
  }
}

bool Event::WaitUntil(TimePoint deadline) noexcept {
  if (TryTake()) return true;
  Hold hold(m_);
  sleepers_.fetch_add(1);
  const bool got = c_.WaitUntil(m_, deadline, [this] { return TryTake(); });
  sleepers_.fetch_sub(1);
  return got;
}

bool Event::IsSet() noexcept {
  return signalled_.load();
}

}  // namespace rts
