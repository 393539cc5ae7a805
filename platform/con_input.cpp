// The console input buffer: a bounded ring of records under one lock, with conditions that wake
// readers when records arrive and the standard-input source when room is made.
#include <atomic>

#include "platform/Console.h"
#include "platform/con_internal.h"
#include "platform/con_state.h"
#include "rts/Sync.h"

namespace platform {

namespace detail {
constinit ConsoleHost gCon;
}  // namespace detail

namespace {

constexpr int kCapacity = detail::kInputCapacity;
constexpr detail::InputBuffer& gInput = detail::gCon.input;

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

uint32_t KeysRefused() {
  return gInput.keysRefused.load(std::memory_order_relaxed);
}

void WriteSourceInput(const InputRecord& record, bool keep) {
  {
    rts::Hold hold(gInput.lock);
    gInput.nonFull.Wait(gInput.lock, [] { return gInput.count < kCapacity; });
    Append(record, keep);
  }
  gInput.nonEmpty.Broadcast();
}

void WriteSourceKey(const DecodedKey& key, bool keep) {
  InputRecord record{};
  record.EventType = KEY_EVENT;
  record.Event.bKeyDown = 1;
  record.Event.wRepeatCount = 1;
  record.Event.wVirtualKeyCode = key.vk;
  record.Event.wVirtualScanCode = key.scan;
  record.Event.uChar = key.ch;
  record.Event.dwControlKeyState = key.state;
  WriteSourceInput(record, keep);
  record.Event.bKeyDown = 0;
  WriteSourceInput(record, keep);
}

}  // namespace detail

void ConFlushInput() {
  {
    rts::Hold hold(gInput.lock);
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
  gInput.nonFull.Broadcast();
  detail::FlushSource();
}

bool ConWriteInput(const InputRecord& record) {
  bool room;
  {
    rts::Hold hold(gInput.lock);
    room = gInput.count < kCapacity;
    if (room) Append(record, false);
  }
  if (room) {
    gInput.nonEmpty.Broadcast();
    return true;
  }
  // A key pressed while the buffer is full is lost: say so, as the key queue does with a key it
  // refuses. The bell does not wait: the window thread writes here and must go on at once.
  if (record.EventType == KEY_EVENT && record.Event.bKeyDown != 0) {
    gInput.keysRefused.fetch_add(1, std::memory_order_relaxed);
    detail::RingBell();
  }
  return false;
}

void ConReadInput(InputRecord& record) {
  ConReadInputPiped(record);
}

bool ConReadInputPiped(InputRecord& record) {
  bool piped;
  {
    rts::Hold hold(gInput.lock);
    gInput.nonEmpty.Wait(gInput.lock, [] { return gInput.count > 0; });
    record = gInput.ring[gInput.head];
    piped = gInput.keep[gInput.head];
    gInput.head = (gInput.head + 1) % kCapacity;
    --gInput.count;
    gInput.waiting.store(gInput.count, std::memory_order_release);
  }
  gInput.nonFull.Signal();
  return piped;
}

bool ConPeekInput(InputRecord& record) {
  if (gInput.waiting.load(std::memory_order_acquire) == 0) return false;
  rts::Hold hold(gInput.lock);
  if (gInput.count == 0) return false;
  record = gInput.ring[gInput.head];
  return true;
}

bool ConWaitInput(std::chrono::milliseconds timeout) {
  const rts::TimePoint deadline = rts::Now() + timeout;
  rts::Hold hold(gInput.lock);
  auto ready = [] { return gInput.count > 0; };
  if (timeout.count() < 0) {
    gInput.nonEmpty.Wait(gInput.lock, ready);
    return true;
  }
  return gInput.nonEmpty.WaitUntil(gInput.lock, deadline, ready);
}

bool ConWaitInputUntil(std::chrono::steady_clock::time_point deadline) {
  rts::Hold hold(gInput.lock);
  return gInput.nonEmpty.WaitUntil(gInput.lock, deadline, [] { return gInput.count > 0; });
}

int ConPendingInput() {
  return gInput.waiting.load(std::memory_order_acquire);
}

}  // namespace platform
