// Locks and events of the graphics library: thin wrappers over POSIX threads that live in static,
// zero-filled storage and are never destroyed, so a thread still waiting at process end cannot
// trip over a destructor. Every call may be made from any thread.
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace graphsync {

// A mutex ("CreateMutex", unnamed, initially unowned). Zero-filled storage is a valid unlocked
// mutex. Waits are unbounded.
struct Lock {
  pthread_mutex_t m;
  void Take() { pthread_mutex_lock(&m); }
  void Release() { pthread_mutex_unlock(&m); }
};

// A lock with one priority taker, the window's presenter, which takes it a few dozen times a
// second and must get it within one ordinary holder's turn however often the others take it
// (mutexes are not fair: a thread that releases and retakes at once can keep a waiter out for a
// long time). The priority taker announces its claim before it waits for the mutex; an ordinary
// taker that finds a claim steps aside until the claimant has released the lock. Zero-filled
// storage is a valid unlocked lock without claims. Waits are unbounded.
struct PriorityLock {
  pthread_mutex_t m;
  std::atomic<uint32_t> claims;

  // Ordinary taker: waits while a claim is announced, then takes the mutex. A taker that has
  // passed the check before the claim came goes first; there is one such taker per thread at most.
  void Take() {
    for (uint32_t c; (c = claims.load(std::memory_order_acquire)) != 0;) {
      claims.wait(c, std::memory_order_acquire);
    }
    pthread_mutex_lock(&m);
  }
  void Release() { pthread_mutex_unlock(&m); }
  // Priority taker.
  void TakeFirst() {
    claims.fetch_add(1, std::memory_order_acq_rel);
    pthread_mutex_lock(&m);
  }
  void ReleaseFirst() {
    pthread_mutex_unlock(&m);
    claims.fetch_sub(1, std::memory_order_acq_rel);
    claims.notify_all();
  }
};

// Holds a Lock or an ordinary turn of a PriorityLock for a scope.
template <class L>
class Hold {
 public:
  explicit Hold(L& lock) : lock_(lock) { lock_.Take(); }
  ~Hold() { lock_.Release(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  L& lock_;
};

// Holds a PriorityLock as its priority taker for a scope.
class HoldFirst {
 public:
  explicit HoldFirst(PriorityLock& lock) : lock_(lock) { lock_.TakeFirst(); }
  ~HoldFirst() { lock_.ReleaseFirst(); }
  HoldFirst(const HoldFirst&) = delete;
  HoldFirst& operator=(const HoldFirst&) = delete;

 private:
  PriorityLock& lock_;
};

// A counter that only grows, with waiting for it to reach a value. Zero-filled storage is a valid
// counter at 0.
struct Sequence {
  pthread_mutex_t m;
  pthread_cond_t c;
  uint64_t value;

  // Raises the counter to `v` (never lowers it) and wakes every waiter.
  void Advance(uint64_t v) {
    pthread_mutex_lock(&m);
    if (v > value) value = v;
    pthread_cond_broadcast(&c);
    pthread_mutex_unlock(&m);
  }
  // Wakes every waiter so it checks its stop condition again.
  void Wake() {
    pthread_mutex_lock(&m);
    pthread_cond_broadcast(&c);
    pthread_mutex_unlock(&m);
  }
  // Waits until the counter reaches `target`, `stop()` answers true (checked under the counter's
  // mutex, so a Wake after the condition changed is never missed) or `us` microseconds have
  // passed; answers whether the counter reached `target`.
  template <class Stop>
  bool WaitAtLeast(uint64_t target, int64_t us, Stop stop) {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    const int64_t ns = deadline.tv_nsec + (us % 1000000) * 1000;
    deadline.tv_sec += static_cast<time_t>(us / 1000000 + ns / 1000000000);
    deadline.tv_nsec = static_cast<long>(ns % 1000000000);
    pthread_mutex_lock(&m);
    while (value < target && !stop()) {
      if (pthread_cond_timedwait(&c, &m, &deadline) != 0) break;
    }
    const bool reached = value >= target;
    pthread_mutex_unlock(&m);
    return reached;
  }
};

// An event in the sense of the window system: signalled or not. A manual-reset event stays
// signalled until Reset; an auto-reset event releases exactly one waiter and resets itself.
// Zero-filled storage is a valid manual-reset event that is not signalled;
// GRAPHSYNC_AUTO_RESET_EVENT gives a constant initialiser for the other kind.
struct Event {
  pthread_mutex_t m;
  pthread_cond_t c;
  bool signalled;
  bool autoReset;
  std::atomic<bool> hint;  // mirrors `signalled` for waiters that spin before they block

  void Set() {
    pthread_mutex_lock(&m);
    signalled = true;
    hint.store(true, std::memory_order_release);
    if (autoReset) {
      pthread_cond_signal(&c);
    } else {
      pthread_cond_broadcast(&c);
    }
    pthread_mutex_unlock(&m);
  }
  void Reset() {
    pthread_mutex_lock(&m);
    signalled = false;
    hint.store(false, std::memory_order_relaxed);
    pthread_mutex_unlock(&m);
  }
  // Waits until signalled (and, for an auto-reset event, takes the signal). A signal that comes
  // within about 20 microseconds is caught by spinning, which spares both threads a sleep and a
  // wake-up (a drawing request is handed over in a fraction of a microsecond); then it blocks.
  void Wait() {
    Spin();
    pthread_mutex_lock(&m);
    while (!signalled) pthread_cond_wait(&c, &m);
    if (autoReset) {
      signalled = false;
      hint.store(false, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&m);
  }
  void Spin() {
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      for (int i = 0; i < 64; ++i) {
        if (hint.load(std::memory_order_acquire)) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
      }
      clock_gettime(CLOCK_MONOTONIC, &now);
      if ((now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec) > 20000) return;
    }
  }
  // As Wait, at most `us` microseconds; answers whether the event was signalled.
  bool WaitForUs(int64_t us) {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    int64_t ns = deadline.tv_nsec + (us % 1000000) * 1000;
    deadline.tv_sec += static_cast<time_t>(us / 1000000 + ns / 1000000000);
    deadline.tv_nsec = static_cast<long>(ns % 1000000000);
    pthread_mutex_lock(&m);
    while (!signalled) {
      if (pthread_cond_timedwait(&c, &m, &deadline) != 0) break;
    }
    bool got = signalled;
    if (got && autoReset) {
      signalled = false;
      hint.store(false, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&m);
    return got;
  }
  // Answers whether the event is signalled, without waiting or taking the signal.
  bool IsSet() {
    pthread_mutex_lock(&m);
    bool s = signalled;
    pthread_mutex_unlock(&m);
    return s;
  }
};

// Initialiser of an auto-reset event that is not signalled.
#define GRAPHSYNC_AUTO_RESET_EVENT \
  { PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, false, true, false }

}  // namespace graphsync
