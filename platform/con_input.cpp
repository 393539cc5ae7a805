// The console input buffer: a bounded ring of records under one lock, with conditions that wake
// readers when records arrive and the standard-input source when room is made.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/con_host.h"
#include "platform/con_internal.h"

namespace platform {
namespace {

constexpr int kCapacity = 512;

struct InputBuffer {
  std::mutex lock;
  std::condition_variable nonEmpty;
  std::condition_variable nonFull;
  InputRecord ring[kCapacity];
  bool keep[kCapacity];         // the record came from a pipe or a file: a flush keeps it
  int head = 0;                 // oldest record
  int count = 0;                // records waiting
  std::atomic<int> waiting{0};  // count, readable without the lock: a poll of an empty buffer
                                // does not contend with the writers
};

// Never destroyed: the source thread and the key reader wait on it until the process ends, and
// destroying a condition variable with waiters blocks the exit.
union Forever {
  InputBuffer buffer;
  Forever() : buffer() {}
  ~Forever() {}
};
Forever gForever;
InputBuffer& gInput = gForever.buffer;

// Appends under the lock; the caller has made sure there is room.
void Append(const InputRecord& record, bool keep) {
  int at = (gInput.head + gInput.count) % kCapacity;
  gInput.ring[at] = record;
  gInput.keep[at] = keep;
  ++gInput.count;
  gInput.waiting.store(gInput.count, std::memory_order_release);
}

}  // namespace

namespace detail {

void WriteSourceInput(const InputRecord& record, bool keep) {
  {
    std::unique_lock<std::mutex> hold(gInput.lock);
    gInput.nonFull.wait(hold, [] { return gInput.count < kCapacity; });
    Append(record, keep);
  }
  gInput.nonEmpty.notify_all();
}

}  // namespace detail

void ConFlushInput() {
  {
    std::lock_guard<std::mutex> hold(gInput.lock);
    // Keep, in order, the records that came from a pipe or a file: they were not typed ahead.
    int kept = 0;
    for (int i = 0; i < gInput.count; ++i) {
      int from = (gInput.head + i) % kCapacity;
      if (!gInput.keep[from]) continue;
      int to = (gInput.head + kept) % kCapacity;
      gInput.ring[to] = gInput.ring[from];
      gInput.keep[to] = true;
      ++kept;
    }
    gInput.count = kept;
    gInput.waiting.store(kept, std::memory_order_release);
  }
  gInput.nonFull.notify_all();
  detail::FlushSource();
}

bool ConWriteInput(const InputRecord& record) {
  {
    std::lock_guard<std::mutex> hold(gInput.lock);
    if (gInput.count == kCapacity) return false;
    Append(record, false);
  }
  gInput.nonEmpty.notify_all();
  return true;
}

void ConReadInput(InputRecord& record) {
  ConReadInputPiped(record);
}

bool ConReadInputPiped(InputRecord& record) {
  bool piped;
  {
    std::unique_lock<std::mutex> hold(gInput.lock);
    gInput.nonEmpty.wait(hold, [] { return gInput.count > 0; });
    record = gInput.ring[gInput.head];
    piped = gInput.keep[gInput.head];
    gInput.head = (gInput.head + 1) % kCapacity;
    --gInput.count;
    gInput.waiting.store(gInput.count, std::memory_order_release);
  }
  gInput.nonFull.notify_one();
  return piped;
}

bool ConPeekInput(InputRecord& record) {
  if (gInput.waiting.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard<std::mutex> hold(gInput.lock);
  if (gInput.count == 0) return false;
  record = gInput.ring[gInput.head];
  return true;
}

bool ConWaitInput(int timeoutMs) {
  std::unique_lock<std::mutex> hold(gInput.lock);
  auto ready = [] { return gInput.count > 0; };
  if (timeoutMs < 0) {
    gInput.nonEmpty.wait(hold, ready);
    return true;
  }
  return gInput.nonEmpty.wait_for(hold, std::chrono::milliseconds(timeoutMs), ready);
}

bool ConWaitInputUntil(int64_t deadlineNs) {
  const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
  std::unique_lock<std::mutex> hold(gInput.lock);
  return gInput.nonEmpty.wait_until(hold, deadline, [] { return gInput.count > 0; });
}

int64_t ConNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int ConPendingInput() {
  return gInput.waiting.load(std::memory_order_acquire);
}

}  // namespace platform
