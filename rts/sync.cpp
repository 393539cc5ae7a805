// The threading toolkit: timed waits on CLOCK_MONOTONIC and the events.
#include "rts/Sync.h"

#include <time.h>

#include <cerrno>

namespace rts {

int64_t MonotonicNs() noexcept {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void SleepFor(std::chrono::nanoseconds pause) noexcept {
  if (pause.count() <= 0) return;
  const int64_t endNs = MonotonicNs() + pause.count();
  timespec end;
  end.tv_sec = static_cast<time_t>(endNs / 1000000000);
  end.tv_nsec = static_cast<long>(endNs % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
  }
}

bool Condition::WaitOnceUntil(Mutex& mutex, int64_t deadlineNs) noexcept {
  if (deadlineNs <= MonotonicNs()) return false;
  timespec deadline;
  deadline.tv_sec = static_cast<time_t>(deadlineNs / 1000000000);
  deadline.tv_nsec = static_cast<long>(deadlineNs % 1000000000);
  // The clock is named in the call: a condition initialised statically would otherwise measure
  // its deadline on CLOCK_REALTIME.
  return pthread_cond_clockwait(&c_, &mutex.m_, CLOCK_MONOTONIC, &deadline) != ETIMEDOUT;
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

void Event::SpinThenWait(int64_t spinNs) noexcept {
  const int64_t end = MonotonicNs() + spinNs;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (TryTake()) return;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (MonotonicNs() >= end) return Wait();
  }
}

bool Event::WaitUntil(int64_t deadlineNs) noexcept {
  if (TryTake()) return true;
  Hold hold(m_);
  sleepers_.fetch_add(1);
  const bool got = c_.WaitUntil(m_, deadlineNs, [this] { return TryTake(); });
  sleepers_.fetch_sub(1);
  return got;
}

bool Event::IsSet() noexcept {
  return signalled_.load();
}

}  // namespace rts
