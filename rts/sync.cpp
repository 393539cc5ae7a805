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

bool Condition::WaitOnceUntil(Mutex& mutex, int64_t deadlineNs) noexcept {
  if (deadlineNs <= MonotonicNs()) return false;
  timespec deadline;
  deadline.tv_sec = static_cast<time_t>(deadlineNs / 1000000000);
  deadline.tv_nsec = static_cast<long>(deadlineNs % 1000000000);
  // The clock is named in the call: a condition initialised statically would otherwise measure
  // its deadline on CLOCK_REALTIME.
  return pthread_cond_clockwait(&c_, &mutex.m_, CLOCK_MONOTONIC, &deadline) != ETIMEDOUT;
}

void Event::Set() noexcept {
  Hold hold(m_);
  signalled_ = true;
  hint_.store(true, std::memory_order_release);
  if (auto_) {
    c_.Signal();
  } else {
    c_.Broadcast();
  }
}

void Event::Reset() noexcept {
  Hold hold(m_);
  signalled_ = false;
  hint_.store(false, std::memory_order_relaxed);
}

void Event::Wait() noexcept {
  Hold hold(m_);
  c_.Wait(m_, [this] { return signalled_; });
  if (auto_) {
    signalled_ = false;
    hint_.store(false, std::memory_order_relaxed);
  }
}

void Event::SpinThenWait(int64_t spinNs) noexcept {
  const int64_t end = MonotonicNs() + spinNs;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (hint_.load(std::memory_order_acquire)) return Wait();
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (MonotonicNs() >= end) return Wait();
  }
}

bool Event::WaitUntil(int64_t deadlineNs) noexcept {
  Hold hold(m_);
  const bool got = c_.WaitUntil(m_, deadlineNs, [this] { return signalled_; });
  if (got && auto_) {
    signalled_ = false;
    hint_.store(false, std::memory_order_relaxed);
  }
  return got;
}

bool Event::IsSet() noexcept {
  Hold hold(m_);
  return signalled_;
}

}  // namespace rts
