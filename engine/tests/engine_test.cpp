// Sphere engine without drawing: the mesh, the matrices, the projection, moving and turning, and
// the traps for bad slots and axis selectors (in child processes).
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/support/child.h"

namespace {

using Engine::Fig3D;
using Engine::Matrix;
using Engine::pt2D;
using Engine::pt3D;

pt3D P3(float x, float y, float z) {
  pt3D p;
  p[1] = x;
  p[2] = y;
  p[3] = z;
  return p;
}

Matrix M3(std::initializer_list<float> rowMajor) {
  Matrix m{};
  auto v = rowMajor.begin();
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) m[i][j] = *v++;
  return m;
}

// q = m x p in double, for checking.
void Apply(const Matrix& m, const double p[3], double q[3]) {
  for (int i = 1; i <= 3; ++i) {
    q[i - 1] = 0;
    for (int j = 1; j <= 3; ++j) q[i - 1] += m[i][j] * p[j - 1];
  }
}

void ExpectPoint(const pt3D& p, double x, double y, double z, double tol) {
  EXPECT_NEAR(p[1], x, tol);
  EXPECT_NEAR(p[2], y, tol);
  EXPECT_NEAR(p[3], z, tol);
}

void ExpectScreen(const pt2D& p, float x, float y) {
  EXPECT_FLOAT_EQ(p[1], x);
  EXPECT_FLOAT_EQ(p[2], y);
}

TEST(Mesh, WorkedValuesTransposeRingsAndRadii) {
  Engine::bollen2D[1][1][1][1][1] = 7.0f;  // a picture that rebuilding must leave alone
  Engine::Bol(0, 0, 0, 1, 1);
  const Fig3D& f = Engine::bollen3D[1];
  const double six = 5e-7;  // "rounded to 6 places"
  ExpectPoint(f[1][1][1], 0.270576, 0.270360, 0.923956, six);
  ExpectPoint(f[1][1][2], 0.000305, 0.382499, 0.923956, six);
  ExpectPoint(f[1][1][8], 0.382498, -0.001218, 0.923956, six);
  ExpectPoint(f[1][8][1], 0.001127, 0.001126, -0.999999, six);
  EXPECT_EQ(Engine::middelpunt, P3(0, 0, 0));
  EXPECT_EQ(Engine::bollen2D[1][1][1][1][1], 7.0f);

  // A sphere off the origin: half 2 is half 1 transposed, ring 1 and ring 8 at their heights,
  // no point at the pole; every point at distance R from the centre.
  const float cx = 500, cy = 2000, cz = -40, radius = 250;
  Engine::Bol(cx, cy, cz, radius, 20);
  EXPECT_EQ(Engine::middelpunt, P3(cx, cy, cz));
  const Fig3D& g = Engine::bollen3D[20];
  for (int i = 1; i <= 8; ++i) {
    for (int j = 1; j <= 8; ++j) {
      for (int k = 1; k <= 3; ++k) {
        const float a = g[1][i][j][k], b = g[2][j][i][k];
        EXPECT_NEAR(a, b, 2 * std::abs(a) * 1.2e-7 + 1e-9) << i << " " << j << " " << k;
      }
      const double dx = g[1][i][j][1] - cx, dy = g[1][i][j][2] - cy, dz = g[1][i][j][3] - cz;
      EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), radius, 1e-3);
      EXPECT_LT(g[1][i][j][3], cz + radius);
    }
    EXPECT_NEAR(g[1][1][i][3], cz + 0.923956 * radius, 1e-4);
    EXPECT_NEAR(g[1][8][i][3], cz - 0.999999 * radius, 1e-4);
  }
  ExpectPoint(g[1][1][1], cx + 0.270576 * radius, cy + 0.270360 * radius, cz + 0.923956 * radius,
              1e-4);

  // Radius 0: 128 copies of the centre; a negative radius mirrors the sphere through it.
  Engine::Bol(3, 4, 5, 0, 2);
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c) EXPECT_EQ(Engine::bollen3D[2][h][r][c], P3(3, 4, 5));
  Engine::Bol(0, 0, 0, -1, 2);
  ExpectPoint(Engine::bollen3D[2][1][1][1], -0.270576, -0.270360, -0.923956, 5e-7);
}

uint32_t Bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// The mesh has one value per build: the same bits with and without optimisation and under the
// sanitizers. Half 2 holds a column's cosine and sine as floats, half 1 does not, so the halves
// differ in their last bits; a build that kept half 2's values in double (as one compiler's
// vectoriser did) would fail here.
TEST(Mesh, SameBitsInEveryBuild) {
  Engine::Bol(12.5f, -300, 7, 1, 3);
  const Fig3D& f = Engine::bollen3D[3];
  EXPECT_EQ(Bits(f[2][3][6][1]), 0x41400002u);  // 12.000002; half 1's copy is 12.000001
  EXPECT_EQ(Bits(f[1][6][3][1]), 0x41400001u);
  EXPECT_EQ(Bits(f[1][1][1][3]), 0x40fd910cu);
  Engine::Bol(12.5f, -300, 7, 50, 3);
  EXPECT_EQ(Bits(f[2][1][2][1]), 0x4215fffdu);

  // Every point of spheres of several sizes and centres, as one FNV-1a hash of the bits.
  uint64_t hash = 0xcbf29ce484222325u;
  const float spheres[][4] = {
      {0, 0, 0, 1},          {12.5f, -300, 7, 50},      {500, 2000, -40, 250},
      {-1e4f, 3, 1e4f, 150}, {0.1f, 0.2f, 0.3f, 37.5f}, {7, 8, 9, 1e6f}};
  for (const auto& s : spheres) {
    Engine::Bol(s[0], s[1], s[2], s[3], 3);
    for (int h = 1; h <= 2; ++h)
      for (int r = 1; r <= 8; ++r)
        for (int c = 1; c <= 8; ++c)
          for (int k = 1; k <= 3; ++k) {
            const uint32_t u = Bits(f[h][r][c][k]);
            for (int b = 0; b < 32; b += 8) hash = (hash ^ ((u >> b) & 0xffu)) * 0x100000001b3u;
          }
  }
  EXPECT_EQ(hash, 0x7a6ebabf12b4a046u);
}

TEST(Matrices, UnitProductAndAliasing) {
  const Matrix unit = Engine::UnitMatrix();
  EXPECT_EQ(unit, M3({1, 0, 0, 0, 1, 0, 0, 0, 1}));

  const Matrix a = M3({1, 2, 0, 0, 1, 3, 4, 0, 1});
  Matrix b = M3({2, 0, 1, 1, 1, 0, 0, 5, 1});
  Engine::MultMatrix(a, b);  // b := a x b, not b x a
  EXPECT_EQ(b, M3({4, 2, 1, 1, 16, 3, 8, 5, 5}));

  Matrix c = a;
  Engine::MultMatrix(c, c);  // the same matrix as both arguments: c := a x a
  EXPECT_EQ(c, M3({1, 4, 6, 12, 1, 6, 8, 8, 1}));
}

TEST(Matrices, RotationSensesAndCompositionOrder) {
  const float a = 0.3f;
  const double ca = std::cos(a), sa = std::sin(a);
  const Matrix some = M3({1, 2, 3, 4, 5, 6, 7, 8, 10});
  for (uint32_t as = 1; as <= 3; ++as) {
    Matrix m = some;
    Engine::RotMatrix(0.0f, as, m);
    EXPECT_EQ(m, some) << "selector " << as;
  }

  const double ex[3] = {1, 0, 0}, ey[3] = {0, 1, 0};
  double q[3];
  Matrix m = Engine::UnitMatrix();
  Engine::RotMatrix(a, 2, m);
  Apply(m, ex, q);
  EXPECT_NEAR(q[0], ca, 1e-7);
  EXPECT_NEAR(q[1], 0, 1e-7);
  EXPECT_NEAR(q[2], sa, 1e-7);
  m = Engine::UnitMatrix();
  Engine::RotMatrix(a, 3, m);
  Apply(m, ex, q);
  EXPECT_NEAR(q[0], ca, 1e-7);
  EXPECT_NEAR(q[1], sa, 1e-7);
  EXPECT_NEAR(q[2], 0, 1e-7);
  m = Engine::UnitMatrix();
  Engine::RotMatrix(a, 1, m);
  Apply(m, ey, q);
  EXPECT_NEAR(q[0], 0, 1e-7);
  EXPECT_NEAR(q[1], ca, 1e-7);
  EXPECT_NEAR(q[2], sa, 1e-7);

  // x first, then y, then z: M = Rz(az) Ry(ay) Rx(ax).
  const float ax = 0.4f, ay = -1.1f, az = 2.5f;
  m = Engine::UnitMatrix();
  Engine::RotMatrix(ax, 1, m);
  Engine::RotMatrix(ay, 2, m);
  Engine::RotMatrix(az, 3, m);
  const double cx = std::cos(ax), sx = std::sin(ax), cy = std::cos(ay), sy = std::sin(ay),
               cz = std::cos(az), sz = std::sin(az);
  const double rx[3][3] = {{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}};
  const double ry[3][3] = {{cy, 0, -sy}, {0, 1, 0}, {sy, 0, cy}};
  const double rz[3][3] = {{cz, -sz, 0}, {sz, cz, 0}, {0, 0, 1}};
  double ryx[3][3] = {}, want[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) ryx[i][j] += ry[i][k] * rx[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) want[i][j] += rz[i][k] * ryx[k][j];
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(m[i][j], want[i - 1][j - 1], 3e-7) << i << j;
}

TEST(Projection, CentreScaleBehindViewerAndViewerTransform) {
  ExpectScreen(Engine::Pt3D2D(P3(0, 1000, 0), 1000), 300, 300);
  ExpectScreen(Engine::Pt3D2D(P3(100, 1000, 50), 1000), 400, 250);
  ExpectScreen(Engine::Pt3D2D(P3(-250, 500, 100), 1000), -200, 100);
  for (float depth : {0.0f, -0.0f, -3.0f, NAN}) {
    ExpectScreen(Engine::Pt3D2D(P3(5, depth, 5), 1000), 0, 0);
  }
  ExpectScreen(Engine::Pt3D2D(P3(5, 1e-37f, 5), 1000), INFINITY, -INFINITY);

  Matrix turn = Engine::UnitMatrix();
  Engine::RotMatrix(0.7f, 1, turn);
  Engine::RotMatrix(-0.2f, 3, turn);
  const pt3D viewer = P3(10, -1000, 20);
  ExpectScreen(Engine::Pt3D2DRot(viewer, viewer, turn, 1000), 0, 0);
  ExpectScreen(Engine::Pt3D2DRot(P3(110, 0, 70), viewer, Engine::UnitMatrix(), 1000), 400, 250);
  // With a turn: the point moved to the viewer, turned, then projected.
  const double rel[3] = {0 - 10, 0 + 1000, 100 - 20};
  double q[3];
  Apply(turn, rel, q);
  const pt2D s = Engine::Pt3D2DRot(P3(0, 0, 100), viewer, turn, 1000);
  EXPECT_NEAR(s[1], q[0] * 1000 / q[1] + 300, 1e-3);
  EXPECT_NEAR(s[2], 300 - q[2] * 1000 / q[1], 1e-3);
}

TEST(Moving, DisplaceAndTurnInPlace) {
  Engine::Bol(100, 200, 300, 50, 5);
  Engine::bollen2D[5][2][3][4][1] = 9.0f;
  const Fig3D before = Engine::bollen3D[5];
  Engine::Bol(1, 1, 1, 1, 6);  // middelpunt now (1, 1, 1)
  Engine::DisplaceBol(10, 0, 0, 5);
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c) {
        const pt3D &p = Engine::bollen3D[5][h][r][c], &o = before[h][r][c];
        EXPECT_EQ(p, P3(o[1] + 10, o[2], o[3]));
      }
  EXPECT_EQ(Engine::middelpunt, P3(1, 1, 1));
  EXPECT_EQ(Engine::bollen2D[5][2][3][4][1], 9.0f);

  // Turning about the vertical line through the centre keeps distances and heights, and turns
  // +x towards +y.
  const float cx = 110, cy = 200, cz = 300, a = 0.25f;
  const Fig3D moved = Engine::bollen3D[5];
  Engine::RotBol(a, 3, cx, cy, cz, 5);
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c) {
        const pt3D &p = Engine::bollen3D[5][h][r][c], &o = moved[h][r][c];
        EXPECT_NEAR(p[3], o[3], 1e-4);
        EXPECT_NEAR(std::hypot(p[1] - cx, p[2] - cy), std::hypot(o[1] - cx, o[2] - cy), 1e-3);
        if (std::hypot(o[1] - cx, o[2] - cy) > 1) {
          const double turned = std::atan2(p[2] - cy, p[1] - cx) - std::atan2(o[2] - cy, o[1] - cx);
          EXPECT_NEAR(std::remainder(turned, 2 * M_PI), a, 1e-4);
        }
      }
  EXPECT_EQ(Engine::bollen2D[5][2][3][4][1], 9.0f);

  // Angle 0: unchanged up to the rounding of the two opposite moves.
  const Fig3D turned = Engine::bollen3D[5];
  Engine::RotBol(0.0f, 2, 1234.5f, -77.25f, 3.0f, 5);
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c)
        ExpectPoint(Engine::bollen3D[5][h][r][c], turned[h][r][c][1], turned[h][r][c][2],
                    turned[h][r][c][3], 2e-4);

  // RotFig about y through the origin: +x turns towards +z.
  Fig3D f{};
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 8; ++c) f[h][r][c][1] = 1.0f;
  Engine::RotFig(a, 2, f);
  ExpectPoint(f[2][8][8], std::cos(a), 0, std::sin(a), 1e-7);
}

// --- Traps: each case runs in a child; the child's restore hook (run by the trap before the
// report) copies the store into shared memory so the test can see it was left alone. ---

struct StoreCopy {
  rts::Array<Fig3D, 1, 20> store;
  bool saved;
};
StoreCopy* gCopy;

void SaveStore() {
  gCopy->store = Engine::bollen3D;
  gCopy->saved = true;
}

const char kIndexTrap[] = "#RTS: unhandled exception #0: invalid index\r\n";
const char kCaseTrap[] = "#RTS: unhandled exception #2: invalid case in CASE statement\r\n";

void ExpectTrap(const testchild::ChildResult& r, const char* line) {
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.err.rfind(line, 0), 0u) << r.err;
}

TEST(Traps, BadSlotsStopBeforeAnyPointIsWritten) {
  gCopy = testchild::Shared<StoreCopy>();
  Engine::Bol(10, 20, 30, 40, 1);
  Engine::Bol(-5, 0, 5, 2, 20);
  const auto store = Engine::bollen3D;
  const std::function<void()> cases[] = {
      [] { Engine::Bol(1, 2, 3, 4, 0); },
      [] { Engine::Bol(1, 2, 3, 4, 21); },
      [] { Engine::SpBol(21, P3(1, 2, 3), 4); },
      [] { Engine::SpBol(0xFFFFFFFFu, P3(1, 2, 3), 4); },
      [] { Engine::DisplaceBol(1, 2, 3, 21); },
      [] { Engine::RotBol(0.5f, 3, 1, 2, 3, 0); },
      [] { Engine::RotBol(0.5f, 3, 1, 2, 3, 21); },
  };
  int n = 0;
  for (const auto& body : cases) {
    gCopy->saved = false;
    const auto r = testchild::RunProgram([&] {
      rts::AddRestoreHook(SaveStore);
      body();
    });
    SCOPED_TRACE(n++);
    ExpectTrap(r, kIndexTrap);
    EXPECT_TRUE(gCopy->saved);
    EXPECT_TRUE(gCopy->store == store);
  }
}

TEST(Traps, BadAxisSelectorStopsBeforeTheMatrixOrFigureChanges) {
  auto* m = testchild::Shared<Matrix>();
  *m = M3({1, 2, 3, 4, 5, 6, 7, 8, 9});
  const Matrix before = *m;
  for (uint32_t as : {0u, 4u, 0x80000000u}) {
    const auto r = testchild::RunProgram([&] { Engine::RotMatrix(0.5f, as, *m); });
    ExpectTrap(r, kCaseTrap);
    EXPECT_EQ(*m, before) << "selector " << as;
  }

  auto* f = testchild::Shared<Fig3D>();
  (*f)[1][2][3] = P3(1, 2, 3);
  const Fig3D fig = *f;
  const auto r = testchild::RunProgram([&] { Engine::RotFig(0.5f, 4, *f); });
  ExpectTrap(r, kCaseTrap);
  EXPECT_TRUE(*f == fig);
}

}  // namespace
