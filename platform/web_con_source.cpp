// The standard-input source of the console host in a browser: the page's terminal. The bytes
// typed there (the same sequences a terminal sends) are handed in by the page's main thread into
// a ring; the source thread waits on it, decodes the bytes with the desktop's decoder and appends
// a press and a release record per key to the input buffer. With processed input on, Ctrl+C and
// Ctrl+\ are the break keys, as on a terminal that is not the controlling one: the source thread
// raises the break signal, whose handler in a browser runs on the thread that raises it. Text
// out goes to standard output, which the page writes into its terminal.
#include <emscripten/emscripten.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/Console.h"
#include "platform/con_decode.h"
#include "platform/con_internal.h"
#include "platform/con_state.h"
#include "rts/RTS.h"
#include "rts/Sync.h"

namespace platform {
namespace {

constexpr detail::Source& gSource = detail::gCon.source;

constexpr uint8_t kInterrupt = 0x03;  // Ctrl+C
constexpr uint8_t kQuit = 0x1C;       // Ctrl+backslash
constexpr uint8_t kSuspend = 0x1A;    // Ctrl+Z
constexpr int kTypedCapacity = 4096;
constexpr int kStagingCapacity = 1024;

// The bytes typed in the page's terminal on their way to the source thread.
struct Typed {
  rts::Mutex lock;
  rts::Condition arrived;
  uint8_t ring[kTypedCapacity] = {};
  int head = 0;
  int count = 0;
  uint8_t staging[kStagingCapacity] = {};  // where the page's main thread puts them first
  std::atomic<uint32_t> dropped{0};        // bytes lost to a full ring
  std::atomic<uint32_t> bells{0};          // bells rung
};
constinit Typed gTyped;

// With processed input on: the interrupt and quit bytes break the program, the suspend byte is
// dropped (a page has no job control). Answers whether `byte` was one of them.
bool SignalKey(uint8_t byte) {
  if (!gSource.signalKeys.load()) return false;
  if (byte == kInterrupt) {
    kill(getpid(), SIGINT);
  } else if (byte == kQuit) {
    kill(getpid(), SIGQUIT);
  } else if (byte != kSuspend) {
    return false;
  }
  return true;
}

void DeliverReady(ConDecoder& decoder) {
  DecodedKey key;
  while (decoder.Take(key)) detail::WriteSourceKey(key, false);
}

// The source thread: wait for typed bytes, decode, deliver; a pending prefix is forced out after
// the Escape time-out without a byte. Runs as long as the page.
void* ReadTyped(void*) {
  ConDecoder& decoder = gSource.decoder;
  uint8_t bytes[kStagingCapacity];
  rts::TimePoint lastByte{};
  for (;;) {
    int n = 0;
    {
      rts::Hold hold(gTyped.lock);
      auto typed = [] { return gTyped.count > 0; };
      if (decoder.Pending()) {
        const std::chrono::milliseconds timeout{gSource.escapeTimeoutMs.load()};
        gTyped.arrived.WaitUntil(gTyped.lock, lastByte + timeout, typed);
      } else {
        gTyped.arrived.Wait(gTyped.lock, typed);
      }
      n = std::min(gTyped.count, kStagingCapacity);
      for (int i = 0; i < n; ++i) bytes[i] = gTyped.ring[(gTyped.head + i) % kTypedCapacity];
      gTyped.head = (gTyped.head + n) % kTypedCapacity;
      gTyped.count -= n;
    }
    if (n == 0) {
      decoder.Expire();
      DeliverReady(decoder);
      continue;
    }
    lastByte = rts::Now();
    gSource.bytesRead.fetch_add(static_cast<uint64_t>(n));
    for (int i = 0; i < n; ++i) {
      if (SignalKey(bytes[i])) continue;
      if (decoder.Push(bytes[i]) == DecodeResult::kKey) DeliverReady(decoder);
    }
  }
  return nullptr;
}

}  // namespace

namespace detail {

void RingBell() {
  gTyped.bells.fetch_add(1, std::memory_order_relaxed);
  MAIN_THREAD_ASYNC_EM_ASM({ ztHost.bell(); });
}

void FlushSource() {
  rts::Hold hold(gTyped.lock);
  gTyped.count = 0;
}

}  // namespace detail

ConHandle ConStdInput() {
  if (!gSource.opened) {
    gSource.opened = true;
    gSource.terminal.store(true);
    detail::StartSource(ReadTyped, nullptr);
  }
  return kConInput;
}

bool ConSetMode(ConHandle handle, uint32_t mode) {
  if (handle != kConInput || !gSource.terminal.load() || (mode & ~0x3FFu) != 0) return false;
  gSource.mode.store(mode);
  gSource.signalKeys.store((mode & ENABLE_PROCESSED_INPUT) != 0);
  return true;
}

}  // namespace platform

// Calls from the page's main thread.
extern "C" {

// Where the page puts the bytes typed in its terminal before web_con_typed.
EMSCRIPTEN_KEEPALIVE uint8_t* web_con_staging() {
  return platform::gTyped.staging;
}

EMSCRIPTEN_KEEPALIVE int web_con_staging_size() {
  return platform::kStagingCapacity;
}

// The page put `length` typed bytes into the staging area: on to the source thread. Bytes that
// find the ring full are lost, with the bell. Answers how many were taken.
EMSCRIPTEN_KEEPALIVE int web_con_typed(int length) {
  using platform::gTyped;
  const int n = std::clamp(length, 0, platform::kStagingCapacity);
  int taken;
  {
    rts::Hold hold(gTyped.lock);
    taken = std::min(n, platform::kTypedCapacity - gTyped.count);
    for (int i = 0; i < taken; ++i) {
      gTyped.ring[(gTyped.head + gTyped.count + i) % platform::kTypedCapacity] = gTyped.staging[i];
    }
    gTyped.count += taken;
  }
  gTyped.arrived.Broadcast();
  if (taken < n) {
    gTyped.dropped.fetch_add(static_cast<uint32_t>(n - taken), std::memory_order_relaxed);
    platform::detail::RingBell();
  }
  return taken;
}

// Bells rung so far (the page's test interface).
EMSCRIPTEN_KEEPALIVE uint32_t web_con_bells() {
  return platform::gTyped.bells.load(std::memory_order_relaxed);
}

}  // extern "C"
