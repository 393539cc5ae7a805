// The timed wait of a condition in a browser: the condition carries CLOCK_MONOTONIC itself (see
// Condition in Sync.h), and pthread_cond_timedwait measures the deadline on it.
#include <pthread.h>
#include <string.h>
#include <time.h>

#include <cerrno>

#include "rts/RTS.h"
#include "rts/Sync.h"

namespace rts {

namespace {

// True when a condition made with a CLOCK_MONOTONIC attribute has the layout Sync.h writes out
// for its constant-initialised conditions.
bool MonotonicLayoutMatches() noexcept {
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  pthread_cond_t made;
  pthread_cond_init(&made, &attr);
  pthread_condattr_destroy(&attr);
  const pthread_cond_t written = {{{0, 0, 0, 0, CLOCK_MONOTONIC}}};
  const bool same = memcmp(&made, &written, sizeof made) == 0;
  pthread_cond_destroy(&made);
  return same;
}

}  // namespace

bool Condition::WaitOnceUntil(Mutex& mutex, TimePoint deadline) noexcept {
  // A C library whose conditions differ would measure every deadline on the wrong clock.
  static const bool layoutMatches = MonotonicLayoutMatches();
  Assert(layoutMatches, 4);
  if (deadline <= Now()) return false;
  const timespec end = detail::TimespecOf(deadline.time_since_epoch());
  return pthread_cond_timedwait(&c_, &mutex.m_, &end) != ETIMEDOUT;
}

}  // namespace rts
