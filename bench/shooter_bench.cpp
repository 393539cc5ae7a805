// Trabolix's main loop: passes per second of the real pass (win check, viewer, aim circle, six
// spheres erased and redrawn through the drawing thread, key poll) with the window open under
// whatever video driver is set (the bench target runs them offscreen); the cost of one drawing
// request handed from the main thread to the drawing thread (a one-pixel line); and, as the
// baseline, the same two-event hand-over between two bare threads with no drawing at all.
// The pass benchmark also counts heap allocations on the main thread and requests per pass.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/alloc_count.h"
#include "graph/Graph.h"
#include "graph/probe.h"
#include "lib/Lib.h"
#include "rts/RTS.h"
#include "rts/Sync.h"
#include "shooter/Trabolix.h"

namespace {

void BM_Pass(benchmark::State& state) {
  graphprobe::Pixel(0, 0);
  const uint64_t lines = graphprobe::Requests(graphprobe::kLine);
  const uint64_t circles = graphprobe::Requests(graphprobe::kEllipse);
  uint64_t allocations = 0;  // counted around the passes only, not the framework's own work
  for (auto _ : state) {
    const uint64_t before = benchalloc::ThreadAllocations();
    const bool going = Trabolix::Pass();
    allocations += benchalloc::ThreadAllocations() - before;
    if (!going) {
      state.SkipWithError("the pass ended the game");
      return;
    }
  }
  graphprobe::Pixel(0, 0);
  const double n = static_cast<double>(state.iterations());
  state.counters["passes_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.counters["requests_per_pass"] =
      benchmark::Counter(double(graphprobe::Requests(graphprobe::kLine) - lines +
                                graphprobe::Requests(graphprobe::kEllipse) - circles) /
                         n);
  state.counters["allocs_per_pass"] = benchmark::Counter(double(allocations) / n);
}

// One request: a one-pixel line, so the drawing thread's own work is as small as it gets and
// the figure is the hand-over (wait for the server, post, wake, execute, signal back).
void BM_RequestHandOver(benchmark::State& state) {
  for (auto _ : state) Graph::Line(20, 20, 21, 20, 5);
  graphprobe::Pixel(0, 0);
  state.counters["requests_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The drawing thread's events watch for a signal this long before they sleep.
constexpr std::chrono::microseconds kSpin{20};

// Waits for a manual-reset event as the library's hand-over does, and resets it.
void WaitAndReset(rts::Event& event) {
  event.SpinThenWait(kSpin);
  event.Reset();
}

// Baseline: the same protocol as the drawing thread's (wait for ready, reset, post; the server
// waits for posted, resets, signals ready) between two bare threads, with an empty request.
void BM_BareTwoEventHandOver(benchmark::State& state) {
  rts::Event posted, ready;
  std::atomic<bool> stop{false};
  std::thread server;
  {
    rts::BreakSignalsBlocked blocked;
    server = std::thread([&] {
      ready.Set();
      for (;;) {
        WaitAndReset(posted);
        if (stop.load(std::memory_order_relaxed)) return;
        ready.Set();
      }
    });
  }
  for (auto _ : state) {
    WaitAndReset(ready);
    posted.Set();
  }
  WaitAndReset(ready);
  stop.store(true);
  posted.Set();
  server.join();
  state.counters["handovers_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BareTwoEventHandOver)->UseRealTime();
BENCHMARK(BM_RequestHandOver)->UseRealTime();
BENCHMARK(BM_Pass)->UseRealTime();

}  // namespace

// Starts the program's modules as Trabolix does, with standard input from /dev/null (no key may
// end the loop), opens the window and places the spheres from a fixed seed, then runs the
// benchmarks.
int main(int argc, char** argv) {
  const int devnull = open("/dev/null", O_RDONLY);
  if (devnull >= 0) dup2(devnull, STDIN_FILENO);
  rts::Start(argc, argv, STDOUT_FILENO);
  Trabolix::Init();
  Lib::Seed(371);  // a fixed placement (the frozen clock of the end-to-end test), so runs compare
  if (!Trabolix::StartUp()) {
    std::fprintf(stderr, "shooter_bench: the window could not be opened\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rts::End();
}
