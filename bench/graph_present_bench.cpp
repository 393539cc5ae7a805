// Graphics library: the cost of one present of a 1000 x 750 window (copying the whole back buffer
// into the window surface and showing it) through the window stand-in, under whatever video
// driver the environment selects (offscreen in run_benchmarks; X11 when run with DISPLAY set and
// SDL_VIDEODRIVER unset, e.g. under Xvfb).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/Window.h"

namespace {

void BM_Present1000x750(benchmark::State& state) {
  char why[256];
  if (!platform::WinVideoStart(why, sizeof why)) {
    state.SkipWithError(why);
    return;
  }
  const platform::WinHandle w =
      platform::WinCreate("Graph", 1, 1, 1000, 750, platform::WinStyle{false, false, 1});
  if (!w) {
    state.SkipWithError("no window");
    return;
  }
  std::vector<uint32_t> pixels(1000 * 750);
  uint32_t v = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (auto& p : pixels) p = v;
    v += 0x010203;
    platform::WinMessage m;
    while (platform::WinPeekMessage(w, m)) {
    }
    state.ResumeTiming();
    platform::WinCopyToWindow(w, pixels.data(), 1000, 1000, 750, 0, 0, 1000, 750);
    platform::WinUpdateWindow(w, 0, 0, 1000, 750);
  }
  platform::WinDestroy(w);
}
BENCHMARK(BM_Present1000x750)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
