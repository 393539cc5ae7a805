// Key latency: the time from a byte written to the terminal (a pseudo-terminal on standard
// input) or a key record written into the console input (as the graphics window does) to
// IO.KeyPressed answering TRUE, with the median and the 99th percentile of the samples and the
// allocations made per key. Baselines measured in the same run: one byte through a bare
// pseudo-terminal to a thread blocked in read(2), and a bare condition-variable hand-over to a
// waiting thread.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "console/IO.h"
#include "platform/Console.h"
#include "rts/Sync.h"

// Every operator new is counted. GCC takes the malloc/free pair below for a mismatch once the
// replaced operators are inlined; they are the matching pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<long> gAllocations{0};

}  // namespace

void* operator new(std::size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using Clock = std::chrono::steady_clock;

int gTerminal = -1;  // master side of the pseudo-terminal on standard input

// Puts a pseudo-terminal on standard input before the console host opens it.
void OpenTerminal() {
  if (gTerminal >= 0) return;
  int slave;
  if (openpty(&gTerminal, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
  dup2(slave, STDIN_FILENO);
  close(slave);
  IO::Init();
}

// Median, 99th percentile and allocations per key as counters; iteration time is the sample.
void Report(benchmark::State& state, std::vector<double>& us, long allocations) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  state.counters["allocs_per_key"] = static_cast<double>(allocations) / us.size();
}

// Takes the key that KeyPressed saw, and lets its release record go (the direct reading drops
// it in KeyPressed, the key reader thread drops it by itself).
void Consume() {
  char c = IO::RdKey();
  benchmark::DoNotOptimize(c);
  for (int quiet = 0; quiet < 1000;) {
    if (platform::ConPendingInput() > 0) {
      quiet = 0;
      if (IO::KeyPressed()) std::abort();  // one key was sent: nothing else may come
    } else {
      ++quiet;
    }
  }
}

// The same gap between samples as Consume leaves, for the baselines.
void Pause() {
  for (int quiet = 0; quiet < 1000; ++quiet) benchmark::DoNotOptimize(platform::ConPendingInput());
}

// Times `send` (which hands one key 'a' to the console) until IO.KeyPressed sees it, per
// iteration, with the allocations made meanwhile.
template <class Send>
void KeyToKeyPressed(benchmark::State& state, Send send) {
  OpenTerminal();
  std::vector<double> us;
  us.reserve(1 << 20);
  long allocations = 0;
  for (auto _ : state) {
    long before = gAllocations.load();
    auto t0 = Clock::now();
    send();
    while (!IO::KeyPressed()) {
    }
    auto t1 = Clock::now();
    allocations += gAllocations.load() - before;
    double s = std::chrono::duration<double>(t1 - t0).count();
    state.SetIterationTime(s);
    if (us.size() < us.capacity()) us.push_back(s * 1e6);
    Consume();
  }
  Report(state, us, allocations);
}

void BM_TerminalByteToKeyPressed(benchmark::State& state) {
  KeyToKeyPressed(state, [] {
    if (write(gTerminal, "a", 1) != 1) std::abort();
  });
}
BENCHMARK(BM_TerminalByteToKeyPressed)->UseManualTime()->Iterations(5000);

void BM_WindowRecordToKeyPressed(benchmark::State& state) {
  platform::InputRecord r{};
  r.EventType = platform::KEY_EVENT;
  r.Event.bKeyDown = 1;
  r.Event.wRepeatCount = 1;
  r.Event.wVirtualScanCode = 0x1E;  // a, as the window forwards it: no character
  r.Event.uChar = 'a';              // the direct reading needs the character
  KeyToKeyPressed(state, [&r] { platform::ConWriteInput(r); });
}
BENCHMARK(BM_WindowRecordToKeyPressed)->UseManualTime()->Iterations(5000);

// Baseline: one byte through a bare pseudo-terminal to a thread blocked in read(2).
void BM_BarePtyByteToThread(benchmark::State& state) {
  int master, slave;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
  struct termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  std::atomic<long> seen{0};
  std::thread reader([&] {
    char b;
    while (read(slave, &b, 1) == 1 && b != 'x') seen.fetch_add(1);
  });
  std::vector<double> us;
  us.reserve(1 << 20);
  long expect = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    if (write(master, "a", 1) != 1) std::abort();
    ++expect;
    while (seen.load() < expect) {
    }
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(s);
    if (us.size() < us.capacity()) us.push_back(s * 1e6);
    Pause();
  }
  if (write(master, "x", 1) != 1) std::abort();
  reader.join();
  close(master);
  close(slave);
  Report(state, us, 0);
}
BENCHMARK(BM_BarePtyByteToThread)->UseManualTime()->Iterations(5000);

// Baseline: a bare condition-variable hand-over to a waiting thread.
void BM_BareCondvarHandOver(benchmark::State& state) {
  rts::Mutex lock;
  rts::Condition ready;
  long posted = 0;
  bool stop = false;
  std::atomic<long> seen{0};
  std::thread waiter([&] {
    rts::Hold hold(lock);
    for (;;) {
      ready.Wait(lock, [&] { return stop || posted > seen.load(); });
      if (stop) return;
      seen.store(posted);
    }
  });
  std::vector<double> us;
  us.reserve(1 << 20);
  for (auto _ : state) {
    auto t0 = Clock::now();
    long expect;
    {
      rts::Hold hold(lock);
      expect = ++posted;
    }
    ready.Signal();
    while (seen.load() < expect) {
    }
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    state.SetIterationTime(s);
    if (us.size() < us.capacity()) us.push_back(s * 1e6);
    Pause();
  }
  {
    rts::Hold hold(lock);
    stop = true;
  }
  ready.Signal();
  waiter.join();
  Report(state, us, 0);
}
BENCHMARK(BM_BareCondvarHandOver)->UseManualTime()->Iterations(5000);

}  // namespace

BENCHMARK_MAIN();
