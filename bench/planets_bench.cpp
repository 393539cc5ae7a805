// Zentavor's frame under the offscreen driver: the whole frame (three planets stepped, moved,
// turned and redrawn), and its parts measured alone in the same run: the physics, the projection
// of the three meshes, the 720 line calls of a frame through Graph::Line, and an uncontended
// lock/unlock pair per line call (the locking inside those calls). Heap allocations per frame are
// counted. The state is put back to an early frame every 256 frames, so the planets stay in view.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench/alloc_count.h"
#include "engine/Engine.h"
#include "graph/Graph.h"
#include "planets/Zentavor.h"
#include "rts/Sync.h"

namespace {

constexpr int kWarmFrames = 10;
constexpr int kRestoreEvery = 256;

struct Snapshot {
  rts::Array<Zentavor::planeet, 1, 3> planeten;
  Engine::Fig3D meshes[3];
  Engine::Fig2D pictures[3];
};
Snapshot gEarly;

void Save(Snapshot& s) {
  s.planeten = Zentavor::planeten;
  for (uint32_t k = 1; k <= 3; ++k) {
    s.meshes[k - 1] = Engine::bollen3D[k];
    s.pictures[k - 1] = Engine::bollen2D[k];
  }
}

void Restore(const Snapshot& s) {
  Zentavor::planeten = s.planeten;
  for (uint32_t k = 1; k <= 3; ++k) {
    Engine::bollen3D[k] = s.meshes[k - 1];
    Engine::bollen2D[k] = s.pictures[k - 1];
  }
}

void SetUp() {
  static bool done = false;
  if (done) return;
  done = true;
  Graph::Init();
  if (!Graph::Init(1, 1, 1000, 750)) std::abort();
  Zentavor::SetInitialValues();
  for (uint32_t k = 1; k <= 3; ++k) {
    const Zentavor::planeet& p = Zentavor::planeten[k];
    Engine::Bol(5.0f * p.pos.x, 5.0f * p.pos.y, 0.0f, 5.0f * p.grootte, k);
  }
  for (int n = 0; n < kWarmFrames; ++n) Zentavor::Frame();
  Save(gEarly);
}

void BM_Frame(benchmark::State& state) {
  SetUp();
  Restore(gEarly);
  uint64_t allocations = 0;
  int64_t n = 0;
  for (auto _ : state) {
    if (++n % kRestoreEvery == 0) {
      state.PauseTiming();
      Restore(gEarly);
      state.ResumeTiming();
    }
    const uint64_t before = benchalloc::ThreadAllocations();
    Zentavor::Frame();
    allocations += benchalloc::ThreadAllocations() - before;
  }
  state.SetItemsProcessed(state.iterations());  // items/s = frames per second
  state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
}

// Frame steps 1-4, 6 and 7 for the three planets, with no engine call.
void BM_Physics(benchmark::State& state) {
  SetUp();
  Restore(gEarly);
  int64_t n = 0;
  for (auto _ : state) {
    if (++n % kRestoreEvery == 0) Zentavor::planeten = gEarly.planeten;
    for (Zentavor::i = 1; Zentavor::i <= 3; ++Zentavor::i) {
      Zentavor::PointRc d = Zentavor::Advance();
      benchmark::DoNotOptimize(d);
      Zentavor::ViewAngles();
      Zentavor::planeten[Zentavor::i].pos = Zentavor::planeten[Zentavor::i].nextpos;
    }
  }
}

// The three meshes projected through the viewer matrix (3 x 128 points).
void BM_Projection(benchmark::State& state) {
  SetUp();
  Restore(gEarly);
  Engine::Fig2D out;
  for (auto _ : state) {
    for (uint32_t k = 1; k <= 3; ++k) {
      Engine::ConvertRotFig(Engine::bollen3D[k], Engine::TransformatieMatrix, Engine::kijkerpunt,
                            out);
      benchmark::DoNotOptimize(out);
    }
  }
}

struct Segment {
  uint32_t x1, y1, x2, y2, colour;
};

// The line calls of one frame: each planet's stored picture erased and drawn again.
std::vector<Segment> FrameSegments() {
  std::vector<Segment> lines;
  auto on = [](float v) { return v > 0.0f && v < 4294967296.0f; };
  for (uint32_t k = 1; k <= 3; ++k) {
    const Engine::Fig2D& f = gEarly.pictures[k - 1];
    for (uint32_t colour : {0u, 3u * k}) {
      for (int h = 1; h <= 2; ++h) {
        for (int r = 1; r <= 8; ++r) {
          for (int c = 1; c <= (h == 1 ? 8 : 7); ++c) {
            const Engine::pt2D& p = f[h][r][c];
            const Engine::pt2D& q = f[h][r][c == 8 ? 1 : c + 1];
            if (on(p[1]) && on(p[2]) && on(q[1]) && on(q[2])) {
              lines.push_back(
                  {uint32_t(p[1]), uint32_t(p[2]), uint32_t(q[1]), uint32_t(q[2]), colour});
            }
          }
        }
      }
    }
  }
  return lines;
}

void BM_FrameLines(benchmark::State& state) {
  SetUp();
  const std::vector<Segment> lines = FrameSegments();
  for (auto _ : state) {
    for (const Segment& s : lines) Graph::Line(s.x1, s.y1, s.x2, s.y2, s.colour);
  }
  state.counters["lines_per_frame"] = double(lines.size());
}

void BM_FrameLocking(benchmark::State& state) {
  SetUp();
  static rts::Mutex lock;
  const size_t calls = FrameSegments().size();
  for (auto _ : state) {
    for (size_t n = 0; n < calls; ++n) {
      rts::Hold hold(lock);
      benchmark::ClobberMemory();
    }
  }
}

BENCHMARK(BM_Frame);
BENCHMARK(BM_Physics);
BENCHMARK(BM_Projection);
BENCHMARK(BM_FrameLines);
BENCHMARK(BM_FrameLocking);

}  // namespace

BENCHMARK_MAIN();
