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

// Holds a Lock for a scope.
class Hold {
 public:
  explicit Hold(Lock& lock) : lock_(lock) { lock_.Take(); }
  ~Hold() { lock_.Release(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  Lock& lock_;
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
