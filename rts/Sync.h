// The threading toolkit of the whole tree: a mutex and a condition, manual- and auto-reset events,
// and storage that is never destroyed. Mutex, Condition and Event are constant-initialised and
// have no destructor, so a global one is ready before any code runs and a thread still waiting on
// it at process end never meets a destructor. Every timed wait runs on CLOCK_MONOTONIC, so a jump
// of the wall clock (or faketime) neither shortens nor stretches it. Every call may be made from
// any thread unless its comment says otherwise.
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <new>
#include <utility>

namespace rts {

// The clock of every deadline and timed wait: CLOCK_MONOTONIC, which a jump of the wall clock does
// not move. Durations that cross a function boundary are std::chrono durations, instants are
// TimePoints of this clock.
using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// The clock's present reading.
inline TimePoint Now() noexcept {
  return Clock::now();
}

// Sleeps for `pause` on CLOCK_MONOTONIC, the whole of it when a signal interrupts; nothing for a
// pause of zero or less. The one way to sleep: for what a user should see or hear take its time
// (a bell, a pause between tries), never in place of waiting for a condition.
void SleepFor(std::chrono::nanoseconds pause) noexcept;

namespace detail {
// A length of time, or an instant of the clock as the time since its epoch, as the timespec that
// the C library's calls take.
inline timespec TimespecOf(std::chrono::nanoseconds length) noexcept {
  const int64_t ns = length.count();
  timespec out;
  out.tv_sec = static_cast<time_t>(ns / 1000000000);
  out.tv_nsec = static_cast<long>(ns % 1000000000);
  return out;
}
}  // namespace detail

// A plain mutex (not recursive). Waits are unbounded.
class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Takes the mutex, waiting as long as another thread holds it.
  void Lock() noexcept { pthread_mutex_lock(&m_); }
  // Releases the mutex; only by the thread that holds it.
  void Unlock() noexcept { pthread_mutex_unlock(&m_); }

 private:
  friend class Condition;
  pthread_mutex_t m_ = PTHREAD_MUTEX_INITIALIZER;
};

// Holds a Mutex for a scope.
class Hold {
 public:
  explicit Hold(Mutex& mutex) noexcept : mutex_(mutex) { mutex_.Lock(); }
  ~Hold() { mutex_.Unlock(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  Mutex& mutex_;
};

// A condition variable waited on under a Mutex the caller holds.
class Condition {
 public:
  constexpr Condition() noexcept = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Wakes one waiter / every waiter.
  void Signal() noexcept { pthread_cond_signal(&c_); }
  void Broadcast() noexcept { pthread_cond_broadcast(&c_); }

  // Waits (the caller holds `mutex`) until `ready()` answers true.
  template <class Ready>
  void Wait(Mutex& mutex, Ready ready) noexcept {
    while (!ready()) pthread_cond_wait(&c_, &mutex.m_);
  }
  // As Wait, until `ready()` answers true or the clock reaches `deadline`; answers `ready()` as
  // it stands at the end.
  template <class Ready>
  bool WaitUntil(Mutex& mutex, TimePoint deadline, Ready ready) noexcept {
    while (!ready()) {
      if (!WaitOnceUntil(mutex, deadline)) return ready();
    }
    return true;
  }

 private:
  // One wait on the clock; false once the deadline has passed.
  bool WaitOnceUntil(Mutex& mutex, TimePoint deadline) noexcept;

#ifdef __EMSCRIPTEN__
  // The browser's C library has no pthread_cond_clockwait; its conditions carry their clock
  // instead. This is the condition pthread_cond_init makes from an attribute with
  // pthread_condattr_setclock(CLOCK_MONOTONIC) (the clock is the fifth word), so a constant-
  // initialised condition waits on the monotonic clock too; sync_wait_web.cpp checks the layout.
  pthread_cond_t c_ = {{{0, 0, 0, 0, CLOCK_MONOTONIC}}};
#else
  pthread_cond_t c_ = PTHREAD_COND_INITIALIZER;
#endif
};

// What an Event does when a waiter takes its signal.
enum class EventReset : uint8_t {
  kManual,  // stays signalled until Reset; wakes every waiter
  kAuto,    // releases exactly one waiter and resets itself
};

// An event in the sense of the window system: signalled or not. The state is one atomic flag, so
// setting, resetting and taking a signal need no lock while nobody sleeps; the mutex and the
// condition are used only by threads that go to sleep and by a Set that finds one asleep. Each
// event has cache lines of its own, so two threads handing work back and forth through two events
// do not slow each other down by writing next to what the other is watching.
class alignas(64) Event {
 public:
  constexpr explicit Event(EventReset kind = EventReset::kManual) noexcept
      : auto_(kind == EventReset::kAuto) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Signals the event: wakes every waiter (manual reset) or one (auto reset).
  void Set() noexcept;
  // Makes the event not signalled.
  void Reset() noexcept;
  // Waits until signalled; an auto-reset event's signal is taken.
  void Wait() noexcept;
  // As Wait, but first watches the event for up to `spin` without sleeping: a signal
  // that comes that soon spares both threads a sleep and a wake-up (about 9 microseconds against
  // a fraction of one). For hand-overs between two threads that each wait for the other at once.
  void SpinThenWait(std::chrono::nanoseconds spin) noexcept;
  // As Wait, until the clock reaches `deadline`; answers whether the signal came (and, auto
  // reset, was taken).
  bool WaitUntil(TimePoint deadline) noexcept;
  // As Wait, at most `timeout` from now.
  bool WaitFor(std::chrono::nanoseconds timeout) noexcept { return WaitUntil(Now() + timeout); }
  // Answers whether the event is signalled, without waiting or taking the signal.
  bool IsSet() noexcept;

 private:
  // Takes the signal if there is one (auto reset: clears it); answers whether there was.
  bool TryTake() noexcept;

  Mutex m_;
  Condition c_;
  std::atomic<bool> signalled_{false};
  std::atomic<int> sleepers_{0};  // threads that hold or wait on m_ to sleep
  bool auto_;
};

// Storage for an object that is built once and never destroyed: for objects with destructors
// (std::condition_variable, say) that threads may still use or wait on at process end. The
// object is built by the first Get (thread-safe, as a function-local static), or by Build.
template <class T>
class NeverDestroyed {
 public:
  constexpr NeverDestroyed() noexcept = default;
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;
  ~NeverDestroyed() = default;

  // The object, built on first use with `T()`.
  T& Get() noexcept {
    if (!built_.load(std::memory_order_acquire)) Build();
    return *std::launder(reinterpret_cast<T*>(storage_));
  }
  T* operator->() noexcept { return &Get(); }
  T& operator*() noexcept { return Get(); }

 private:
  void Build() noexcept {
    Hold hold(buildLock_);
    if (built_.load(std::memory_order_relaxed)) return;
    new (storage_) T();
    built_.store(true, std::memory_order_release);
  }

  alignas(T) unsigned char storage_[sizeof(T)] = {};
  std::atomic<bool> built_{false};
  Mutex buildLock_;
};

}  // namespace rts
