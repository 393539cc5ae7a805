// The console input buffer: a bounded ring of records under one lock, with a condition that
// wakes readers when records arrive.
#include <condition_variable>
#include <mutex>

#include "platform/con_host.h"

namespace platform {
namespace {

constexpr int kCapacity = 512;

struct InputBuffer {
  std::mutex lock;
  std::condition_variable nonEmpty;
  InputRecord ring[kCapacity];
  int head = 0;   // oldest record
  int count = 0;  // records waiting
};

InputBuffer gInput;

}  // namespace

ConHandle ConStdInput() { return kConInput; }

void ConFlushInput() {
  std::lock_guard<std::mutex> hold(gInput.lock);
  gInput.head = 0;
  gInput.count = 0;
}

bool ConWriteInput(const InputRecord& record) {
  {
    std::lock_guard<std::mutex> hold(gInput.lock);
    if (gInput.count == kCapacity) return false;
    gInput.ring[(gInput.head + gInput.count) % kCapacity] = record;
    ++gInput.count;
  }
  gInput.nonEmpty.notify_all();
  return true;
}

void ConReadInput(InputRecord& record) {
  std::unique_lock<std::mutex> hold(gInput.lock);
  gInput.nonEmpty.wait(hold, [] { return gInput.count > 0; });
  record = gInput.ring[gInput.head];
  gInput.head = (gInput.head + 1) % kCapacity;
  --gInput.count;
}

bool ConPeekInput(InputRecord& record) {
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

int ConPendingInput() {
  std::lock_guard<std::mutex> hold(gInput.lock);
  return gInput.count;
}

}  // namespace platform
