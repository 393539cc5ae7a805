// The threading toolkit: the monotonic clock, sleeping and the events (the timed wait of a
// condition is a platform piece: sync_wait_posix.cpp, sync_wait_web.cpp).
#include "rts/Sync.h"

#include <time.h>

#include <cerrno>

namespace rts {

void SleepFor(std::chrono::nanoseconds pause) noexcept {
  // Relative sleeps toward a deadline on the clock: a signal's interruption resumes with what is
  // left. (An absolute clock_nanosleep would do the same on Linux, but the browser's C library
  // takes its deadline as a length and would sleep for the clock's whole reading.)
  const TimePoint end = Now() + pause;
  for (std::chrono::nanoseconds left = pause; left.count() > 0; left = end - Now()) {
    const timespec length = detail::TimespecOf(left);
    nanosleep(&length, nullptr);
  }
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
