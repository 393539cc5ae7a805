// Locks and events of the graphics library: thin wrappers over POSIX threads that live in static,
// zero-filled storage and are never destroyed, so a thread still waiting at process end cannot
// trip over a destructor. Every call may be made from any thread.
#pragma once

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

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

// Guards the back buffer between the one thread that executes drawing requests, which enters it
// for every request, and the other uses that come now and then (the presenter, setup and
// inspection), which claim it. Entering costs two plain stores and a load: the executing thread
// announces itself and then checks for a claim, while a claimant announces its claim and then
// checks whether the executing thread is inside. That store-then-load handshake needs a full
// memory barrier on both sides; here the claimant's side pays for both with the kernel's
// expedited process-wide barrier (membarrier), so the executing thread's side is a compiler
// barrier only. Where the kernel lacks that barrier both sides use sequentially consistent
// operations (the executing thread's store then costs an atomic exchange).
//
// A claimant gets the buffer within one request of the executing thread (which steps aside until
// the claim is withdrawn), however often that thread enters: a fair hand-over, unlike a mutex
// that a thread releases and retakes at once. Claimants take turns under a mutex; the executing
// thread may claim too, outside a request. Zero-filled storage is a valid gate without claims;
// Start must have run before the process has a second thread.
struct Gate {
  std::atomic<uint32_t> inside;   // the executing thread is inside a request
  std::atomic<uint32_t> claimed;  // a claimant holds the gate or waits for the thread to leave
  pthread_mutex_t claimants;

  // Chooses the barriers, once for the process. Main thread, before any other thread exists.
  static void Start();

  // Executing thread: around each request.
  void Enter() {
    if (sExpedited.load(std::memory_order_relaxed)) {
      inside.store(1, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);  // the claimant's barrier does the rest
    } else {
      inside.store(1, std::memory_order_seq_cst);
    }
    if (claimed.load(std::memory_order_seq_cst) != 0) StepAside();
  }
  void Leave() { inside.store(0, std::memory_order_release); }

  // Any thread but the executing one while inside a request: waits until the executing thread is
  // outside, and keeps it outside until Unclaim.
  void Claim() {
    pthread_mutex_lock(&claimants);
    claimed.store(1, std::memory_order_seq_cst);
    ProcessBarrier();
    WaitOutside();
  }
  void Unclaim() {
    claimed.store(0, std::memory_order_release);
    claimed.notify_all();
    pthread_mutex_unlock(&claimants);
  }
  // The names Hold expects.
  void Take() { Claim(); }
  void Release() { Unclaim(); }

 private:
  static void ProcessBarrier();
  [[gnu::cold]] void StepAside();
  [[gnu::cold]] void WaitOutside();

  static inline std::atomic<bool> sExpedited;
};

inline void Gate::Start() {
  const long commands = syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
  const bool expedited =
      commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
      syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  sExpedited.store(expedited, std::memory_order_relaxed);
}

// Makes the executing thread's relaxed store of `inside` visible before its load of `claimed`, as a
// fence on its side would, when it entered without one.
inline void Gate::ProcessBarrier() {
  if (sExpedited.load(std::memory_order_relaxed) &&
      syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) != 0) {
    // Registered, so this cannot fail; were it to, no order would be guaranteed.
    __builtin_trap();
  }
}

inline void Gate::StepAside() {
  for (;;) {
    inside.store(0, std::memory_order_release);
    for (uint32_t c; (c = claimed.load(std::memory_order_acquire)) != 0;) {
      claimed.wait(c, std::memory_order_acquire);
    }
    if (sExpedited.load(std::memory_order_relaxed)) {
      inside.store(1, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      inside.store(1, std::memory_order_seq_cst);
    }
    if (claimed.load(std::memory_order_seq_cst) == 0) return;
  }
}

// A request takes well under a millisecond: spin first, then sleep in short steps (Leave does not
// wake anyone, so that it stays a plain store).
inline void Gate::WaitOutside() {
  for (int i = 0; inside.load(std::memory_order_seq_cst) != 0; ++i) {
    if (i < 4000) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      timespec pause{0, 20000};
      nanosleep(&pause, nullptr);
    }
  }
}

// Holds an ordinary turn of the executing thread at a Gate for a scope.
class Inside {
 public:
  explicit Inside(Gate& gate) : gate_(gate) { gate_.Enter(); }
  ~Inside() { gate_.Leave(); }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;

 private:
  Gate& gate_;
};

// Holds a Lock, or a claim of a Gate, for a scope.
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
