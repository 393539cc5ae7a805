// Graphics library: line throughput and a sphere redraw through Graph::Line, with the window open
// under the running window thread, against SDL2's software renderer drawing the same lines onto a
// surface of the same size in the same run. Built twice: graph_zentavor_bench with revision 2 (CPU
// time of the drawing thread, which is the caller's), graph_trabolix_bench with revision 1 (wall
// time, since the drawing thread does the work; each batch ends when the last request has been
// carried out).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "graph/Graph.h"
#include "graph/probe.h"

#ifdef GRAPH_BENCH_REAL_TIME
#define ZT_TIMING ->UseRealTime()
#else
#define ZT_TIMING
#endif

namespace {

constexpr int kWidth = 1000, kDepth = 750;
constexpr int kBatch = 1024;

struct Segment {
  int32_t x1, y1, x2, y2;
};

// Lines of `lo`..`hi` pixels in random directions, inside the area.
std::vector<Segment> Lines(int lo, int hi, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> len(lo, hi), x(hi, kWidth - 1 - hi), y(hi, kDepth - 1 - hi);
  std::uniform_real_distribution<double> angle(0, 6.283185307179586);
  std::vector<Segment> out;
  for (int i = 0; i < kBatch; ++i) {
    const double a = angle(random), l = len(random);
    const int x1 = x(random), y1 = y(random);
    out.push_back(
        {x1, y1, x1 + int(std::lround(l * std::cos(a))), y1 + int(std::lround(l * std::sin(a)))});
  }
  return out;
}

// Lines across the whole width, or from beyond the left edge to beyond the right one.
std::vector<Segment> Across(int left, int right, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> y(0, kDepth - 1);
  std::vector<Segment> out;
  for (int i = 0; i < kBatch; ++i) out.push_back({left, y(random), right, y(random)});
  return out;
}

// The 120 lines of one wireframe half-sphere of the engine's mesh (8 rows of 8 points, rows and
// columns joined) of radius 110 around (300, 300), turned by `turn`.
std::vector<Segment> Sphere(double turn) {
  int px[8][8], py[8][8];
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      const double lat = 3.14 / 2 * (r + 0.5) / 8;
      const double lon = 6.28 * c / 8 + turn;
      px[r][c] = int(300 + 110 * std::cos(lat) * std::cos(lon));
      py[r][c] = int(300 + 110 * std::sin(lat) + 30 * std::cos(lat) * std::sin(lon));
    }
  }
  std::vector<Segment> out;
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      out.push_back({px[r][c], py[r][c], px[r][(c + 1) % 8], py[r][(c + 1) % 8]});
      if (r < 7) out.push_back({px[r][c], py[r][c], px[r + 1][c], py[r + 1][c]});
    }
  }
  return out;  // 64 + 56 lines
}

int64_t Pixels(const std::vector<Segment>& lines) {
  int64_t n = 0;
  for (const Segment& s : lines) {
    n += std::max(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1)) + 1;
  }
  return n;
}

void OpenGraph() {
  static bool open = false;
  if (!open) {
    Graph::Init();
    if (!Graph::Init(1, 1, kWidth, kDepth)) std::abort();
    open = true;
  }
}

// SDL's software renderer on a surface of the window's size.
struct SdlTarget {
  SDL_Surface* surface;
  SDL_Renderer* renderer;
  SdlTarget() {
    surface = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kDepth, 32, SDL_PIXELFORMAT_RGB888);
    renderer = SDL_CreateSoftwareRenderer(surface);
    if (!surface || !renderer) std::abort();
  }
  ~SdlTarget() {
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
  }
};

void Counters(benchmark::State& state, int64_t linesPerIteration, int64_t pixelsPerIteration) {
  state.SetItemsProcessed(state.iterations() * linesPerIteration);
  state.counters["per_line"] =
      benchmark::Counter(double(state.iterations() * linesPerIteration),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["per_pixel"] =
      benchmark::Counter(double(state.iterations() * pixelsPerIteration),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RunOurs(benchmark::State& state, const std::vector<Segment>& lines) {
  OpenGraph();
  uint32_t colour = 1;
  for (auto _ : state) {
    for (const Segment& s : lines) {
      Graph::Line(uint32_t(s.x1), uint32_t(s.y1), uint32_t(s.x2), uint32_t(s.y2), colour);
    }
    colour = colour % 15 + 1;
    graphprobe::Pixel(0, 0);  // waits for the last request
  }
  Counters(state, int64_t(lines.size()), Pixels(lines));
}

void RunSdl(benchmark::State& state, const std::vector<Segment>& lines) {
  SdlTarget t;
  uint8_t c = 1;
  for (auto _ : state) {
    SDL_SetRenderDrawColor(t.renderer, c, 255, 0, 255);
    for (const Segment& s : lines) SDL_RenderDrawLine(t.renderer, s.x1, s.y1, s.x2, s.y2);
    SDL_RenderFlush(t.renderer);
    ++c;
  }
  Counters(state, int64_t(lines.size()), Pixels(lines));
}

const std::vector<Segment>& Short() {
  static const auto v = Lines(30, 30, 1);
  return v;
}
const std::vector<Segment>& Medium() {
  static const auto v = Lines(20, 80, 2);
  return v;
}
const std::vector<Segment>& Full() {
  static const auto v = Across(0, kWidth - 1, 3);
  return v;
}
const std::vector<Segment>& Clipped() {
  static const auto v = Across(-500, kWidth + 499, 4);
  return v;
}

void BM_Line30_Ours(benchmark::State& s) {
  RunOurs(s, Short());
}
void BM_Line30_Sdl(benchmark::State& s) {
  RunSdl(s, Short());
}
void BM_Line20to80_Ours(benchmark::State& s) {
  RunOurs(s, Medium());
}
void BM_Line20to80_Sdl(benchmark::State& s) {
  RunSdl(s, Medium());
}
void BM_LineFullWidth_Ours(benchmark::State& s) {
  RunOurs(s, Full());
}
void BM_LineFullWidth_Sdl(benchmark::State& s) {
  RunSdl(s, Full());
}
void BM_LineClipped_Ours(benchmark::State& s) {
  RunOurs(s, Clipped());
}
void BM_LineClipped_Sdl(benchmark::State& s) {
  RunSdl(s, Clipped());
}
BENCHMARK(BM_Line30_Ours) ZT_TIMING;
BENCHMARK(BM_Line30_Sdl) ZT_TIMING;
BENCHMARK(BM_Line20to80_Ours) ZT_TIMING;
BENCHMARK(BM_Line20to80_Sdl) ZT_TIMING;
BENCHMARK(BM_LineFullWidth_Ours) ZT_TIMING;
BENCHMARK(BM_LineFullWidth_Sdl) ZT_TIMING;
BENCHMARK(BM_LineClipped_Ours) ZT_TIMING;
BENCHMARK(BM_LineClipped_Sdl) ZT_TIMING;

// One sphere redraw as the engine does it: the previous 120 lines again in colour 0, then the
// new 120 in the sphere's colour.
void BM_SphereRedraw240_Ours(benchmark::State& state) {
  OpenGraph();
  const auto a = Sphere(0), b = Sphere(0.01);
  bool flip = false;
  for (auto _ : state) {
    const auto& old = flip ? b : a;
    const auto& now = flip ? a : b;
    for (const Segment& s : old) {
      Graph::Line(uint32_t(s.x1), uint32_t(s.y1), uint32_t(s.x2), uint32_t(s.y2), 0);
    }
    for (const Segment& s : now) {
      Graph::Line(uint32_t(s.x1), uint32_t(s.y1), uint32_t(s.x2), uint32_t(s.y2), 14);
    }
    flip = !flip;
    graphprobe::Pixel(0, 0);
  }
  Counters(state, 240, Pixels(a) + Pixels(b));
}

void BM_SphereRedraw240_Sdl(benchmark::State& state) {
  SdlTarget t;
  const auto a = Sphere(0), b = Sphere(0.01);
  bool flip = false;
  for (auto _ : state) {
    const auto& old = flip ? b : a;
    const auto& now = flip ? a : b;
    SDL_SetRenderDrawColor(t.renderer, 0, 0, 0, 255);
    for (const Segment& s : old) SDL_RenderDrawLine(t.renderer, s.x1, s.y1, s.x2, s.y2);
    SDL_SetRenderDrawColor(t.renderer, 255, 255, 0, 255);
    for (const Segment& s : now) SDL_RenderDrawLine(t.renderer, s.x1, s.y1, s.x2, s.y2);
    SDL_RenderFlush(t.renderer);
    flip = !flip;
  }
  Counters(state, 240, Pixels(a) + Pixels(b));
}
BENCHMARK(BM_SphereRedraw240_Ours) ZT_TIMING;
BENCHMARK(BM_SphereRedraw240_Sdl) ZT_TIMING;

// The presenter's share of the back buffer while the executing thread draws without a pause:
// presents per refresh period, measured over 20 periods a round. A back-buffer lock that let the
// executing thread take it again ahead of a waiting presenter would show as a figure well below 1
// (a starving presenter); 1 is a present at every refresh.
void BM_PresentsWhileDrawing(benchmark::State& state) {
  OpenGraph();
  const auto& lines = Short();
  const auto period = Graph::RefreshPeriod();
  uint64_t presents = 0;
  std::chrono::steady_clock::duration spent{};
  uint32_t colour = 1;
  for (auto _ : state) {
    const uint64_t before = graphprobe::Presents();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + 20 * period;
    while (std::chrono::steady_clock::now() < end) {
      for (const Segment& s : lines) {
        Graph::Line(uint32_t(s.x1), uint32_t(s.y1), uint32_t(s.x2), uint32_t(s.y2), colour);
      }
      colour = colour % 15 + 1;
    }
    spent += std::chrono::steady_clock::now() - start;
    presents += graphprobe::Presents() - before;
  }
  state.counters["presents_per_refresh"] = benchmark::Counter(
      double(presents) * double(period.count()) /
      double(std::chrono::duration_cast<std::chrono::microseconds>(spent).count()));
}
BENCHMARK(BM_PresentsWhileDrawing)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
