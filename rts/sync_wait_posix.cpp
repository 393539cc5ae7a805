// The timed wait of a condition on Linux: the clock is named in the call.
#include <pthread.h>
#include <time.h>

#include <cerrno>

#include "rts/Sync.h"

namespace rts {

bool Condition::WaitOnceUntil(Mutex& mutex, TimePoint deadline) noexcept {
  if (deadline <= Now()) return false;
  const timespec end = detail::TimespecOf(deadline.time_since_epoch());
  // The clock is named in the call: a condition initialised statically would otherwise measure
  // its deadline on CLOCK_REALTIME.
  return pthread_cond_clockwait(&c_, &mutex.m_, CLOCK_MONOTONIC, &end) != ETIMEDOUT;
}

}  // namespace rts
