// DrawBol (erase 120 lines, project 128 points, draw 120 lines through Graph::Line into the back
// buffer) for Zentavor's planet 2 in its first frame and for a radius-50 sphere, against the
// baseline of the same 240 line segments drawn by SDL's software renderer onto an SDL surface.
// Every benchmark counts the heap allocations its loop makes on the calling thread.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "bench/alloc_count.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "graph/probe.h"

namespace {

constexpr uint32_t kWidth = 1000, kDepth = 750;
constexpr float kColour = 6.0f;
constexpr uint32_t kPlanet2 = 2, kSmall = 1;

// Zentavor's first frame: planet 1 (radius 50) and planet 2 (radius 250) around their scaled
// positions, the viewer at (0, 0, 1000) looking after planet 2.
void SetUpScene() {
  static bool done = false;
  if (done) return;
  done = true;
  Graph::Init();
  if (!Graph::Init(1, 1, kWidth, kDepth)) std::abort();
  const float x = 500.0f, y = 2000.0f;
  const float hoekz = std::atan(x / y) - 0.2f;
  const float hoekx = std::atan(1000.0f / y);
  Engine::Kijker(0.0f, 0.0f, 1000.0f, hoekx, 0.0f, hoekz);
  Engine::Bol(505.0f, 1500.0f, 0.0f, 50.0f, kSmall);
  Engine::Bol(x, y, 0.0f, 250.0f, kPlanet2);
  Engine::DrawBol(kSmall, kColour);
  Engine::DrawBol(kPlanet2, kColour);
}

struct Segment {
  int x1, y1, x2, y2;
  bool erase;
};

// The segments one DrawBol of `slot` hands to Graph::Line once its picture is stored: the 120
// (or fewer) lines erased in colour 0, then the same lines drawn in the sphere's colour.
std::vector<Segment> SegmentsOf(uint32_t slot) {
  std::vector<Segment> lines;
  const Engine::Fig2D& f = Engine::bollen2D[slot];
  auto on = [](float v) { return v > 0.0f && v < 4294967296.0f; };
  for (bool erase : {true, false})
    for (int i = 1; i <= 2; ++i)
      for (int k = 1; k <= 8; ++k)
        for (int l = 1; l <= (i == 1 ? 8 : 7); ++l) {
          const Engine::pt2D &p = f[i][k][l], &q = f[i][k][l == 8 ? 1 : l + 1];
          if (on(p[1]) && on(p[2]) && on(q[1]) && on(q[2]))
            lines.push_back({int(p[1]), int(p[2]), int(q[1]), int(q[2]), erase});
        }
  return lines;
}

void BM_DrawBol(benchmark::State& state) {
  SetUpScene();
  const uint32_t slot = static_cast<uint32_t>(state.range(0));
  const uint64_t lines = graphprobe::Requests(graphprobe::kLine);
  const uint64_t allocations = benchalloc::ThreadAllocations();
  for (auto _ : state) Engine::DrawBol(slot, kColour);
  state.counters["allocs_per_iter"] = benchmark::Counter(
      double(benchalloc::ThreadAllocations() - allocations) / double(state.iterations()));
  state.counters["lines_per_iter"] = benchmark::Counter(
      double(graphprobe::Requests(graphprobe::kLine) - lines) / double(state.iterations()));
}

void BM_SdlSoftwareRenderer(benchmark::State& state) {
  SetUpScene();
  const std::vector<Segment> lines = SegmentsOf(static_cast<uint32_t>(state.range(0)));
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, kWidth, kDepth, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
  if (renderer == nullptr) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  const uint64_t allocations = benchalloc::ThreadAllocations();
  for (auto _ : state) {
    for (const Segment& s : lines) {
      if (s.erase) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
      } else {
        SDL_SetRenderDrawColor(renderer, 0xB0, 0x60, 0x00, 255);  // colour 6, brown
      }
      SDL_RenderDrawLine(renderer, s.x1, s.y1, s.x2, s.y2);
    }
    SDL_RenderFlush(renderer);
  }
  state.counters["allocs_per_iter"] = benchmark::Counter(
      double(benchalloc::ThreadAllocations() - allocations) / double(state.iterations()));
  state.counters["lines_per_iter"] = benchmark::Counter(double(lines.size()));
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface);
}

// The engine's own share of DrawBol: the viewer matrix and the projection of the 128 points.
void BM_Projection(benchmark::State& state) {
  SetUpScene();
  const uint32_t slot = static_cast<uint32_t>(state.range(0));
  Engine::Fig2D picture{};
  for (auto _ : state) {
    Engine::Matrix m = Engine::UnitMatrix();
    for (uint32_t as = 1; as <= 3; ++as) Engine::RotMatrix(Engine::angle[as], as, m);
    Engine::ConvertRotFig(Engine::bollen3D[slot], m, Engine::kijkerpunt, picture);
    benchmark::DoNotOptimize(picture);
  }
}

BENCHMARK(BM_DrawBol)->Arg(kPlanet2)->Arg(kSmall)->ArgName("slot");
BENCHMARK(BM_SdlSoftwareRenderer)->Arg(kPlanet2)->Arg(kSmall)->ArgName("slot");
BENCHMARK(BM_Projection)->Arg(kPlanet2)->ArgName("slot");

}  // namespace

BENCHMARK_MAIN();
