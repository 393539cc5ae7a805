// Sphere engine: the figure store and sphere mesh, the matrix and projection arithmetic, and
// moving and turning spheres in place. Drawing (the calls of Graph) is in EngineDraw.cpp, the start
// body in EngineInit.cpp.
//
// Every named value is held as a 32-bit float; an expression is evaluated in double and rounded
// once where it is stored, the way a compiler with wide registers would evaluate it.
#include "engine/Engine.h"

#include <cmath>

namespace Engine {

rts::Array<Fig3D, 1, 20> bollen3D;
rts::Array<Fig2D, 1, 20> bollen2D;
pt3D kijkerpunt;
pt3D angle;
pt3D middelpunt;
Matrix TransformatieMatrix;

namespace {

// Steps of the mesh in each direction.
constexpr int kSteps = 8;
// The viewing distance of the wireframe projection.
constexpr float kDistance = 1000.0f;

// Sine and cosine of the mesh's angles, written out rather than computed. Ring k lies at the
// polar angle k/8 x 3.14 and column k at the azimuth k/8 x 6.28, each angle held as a float; the
// engine's pi and two pi are not the full-precision values on purpose (they settle the look of
// the sphere: no point at the pole, a tiny bottom ring, column 8 just short of a turn). The
// values are the correctly rounded doubles, which the C library also returns for these angles.
// Computed in place, the compiler would fold some calls at compile time and, at some
// optimisation levels, keep a column's sine and cosine in double where the mesh holds them as
// floats, so the mesh's last bits would depend on the build.
struct SinCos {
  double sin, cos;
};
constexpr SinCos kRing[kSteps + 1] = {
    {0, 1},  // unused: rings and columns count from 1
    {0x1.87adf38e4bdd9p-2, 0x1.d910b885453fbp-1},
    {0x1.69e4fe1908b92p-1, 0x1.6a2ecaf40f8ddp-1},
    {0x1.d8e8c27bdd8c1p-1, 0x1.886ecabdfa8e6p-2},
    {0x1.fffff55cc3942p-1, 0x1.a17a1f3262b21p-11},
    {0x1.d9389ba976874p-1, -0x1.86ed08655066cp-2},
    {0x1.6a788a2bec4fbp-1, -0x1.699b20c9d5361p-1},
    {0x1.892f97290c52bp-2, -0x1.d8c0b7a48e57bp-1},
    {0x1.a17a1685e670fp-10, -0x1.ffffd5730ec1cp-1},
};
constexpr SinCos kColumn[kSteps + 1] = {
    {0, 1},
    {0x1.69e4fe1908b92p-1, 0x1.6a2ecaf40f8ddp-1},
    {0x1.fffff55cc3942p-1, 0x1.a17a1f3262b21p-11},
    {0x1.6a788a2bec4fbp-1, -0x1.699b20c9d5361p-1},
    {0x1.a17a1685e670fp-10, -0x1.ffffd5730ec1cp-1},
    {-0x1.69513308a9a39p-1, -0x1.6ac23bbcb0ca6p-1},
    {-0x1.ffffa04070a14p-1, -0x1.391f860c1234bp-9},
    {-0x1.6b0bde3967d5fp-1, 0x1.69073642c7759p-1},
    {-0x1.a179f3d3f6811p-9, 0x1.ffff55cc42199p-1},
};

}  // namespace

void Kijker(float ptx, float pty, float ptz, float anglex, float angley, float anglez) {
  kijkerpunt[1] = ptx;
  kijkerpunt[2] = pty;
  kijkerpunt[3] = ptz;
  angle[1] = anglex;
  angle[2] = angley;
  angle[3] = anglez;
}

void Bol(float middelptx, float middelpty, float middelptz, float straal, uint32_t idnmbr) {
  middelpunt[1] = middelptx;
  middelpunt[2] = middelpty;
  middelpunt[3] = middelptz;
  SpBol(idnmbr, middelpunt, straal);
}

void SpBol(uint32_t idnmbr, pt3D midd, float R) {
  Fig3D& fig = bollen3D[idnmbr];  // the slot check comes before any store
  const double mx = midd[1], my = midd[2], mz = midd[3];

  // Half 1: ring omega, column theta.
  for (int omega = 1; omega <= kSteps; ++omega) {
    const float r = static_cast<float>(kRing[omega].sin * R);
    const float z = static_cast<float>(kRing[omega].cos * R + mz);
    for (int theta = 1; theta <= kSteps; ++theta) {
      pt3D& p = fig[1][omega][theta];
      p[1] = static_cast<float>(kColumn[theta].cos * r + mx);
      p[2] = static_cast<float>(kColumn[theta].sin * r + my);
      p[3] = z;
    }
  }

  // Half 2: meridian theta, point omega along it; the same points as half 1, transposed, except
  // that here the column's cosine and sine are held as floats.
  for (int theta = 1; theta <= kSteps; ++theta) {
    const float c = static_cast<float>(kColumn[theta].cos);
    const float s = static_cast<float>(kColumn[theta].sin);
    for (int omega = 1; omega <= kSteps; ++omega) {
      const float r = static_cast<float>(kRing[omega].sin * R);
      pt3D& p = fig[2][theta][omega];
      p[1] = static_cast<float>(double{r} * c + mx);
      p[2] = static_cast<float>(double{s} * r + my);
      p[3] = static_cast<float>(kRing[omega].cos * R + mz);
    }
  }
}

Matrix UnitMatrix() {
  Matrix m{};
  for (int i = 1; i <= 3; ++i) m[i][i] = 1.0f;
  return m;
}

void MultMatrix(Matrix first, Matrix& last) {
  Matrix t;
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) {
      t[i][j] = 0.0f;
      for (int k = 1; k <= 3; ++k) {
        t[i][j] = static_cast<float>(double{first[i][k]} * last[k][j] + t[i][j]);
      }
    }
  }
  last = t;
}

void RotMatrix(float angle, uint32_t As, Matrix& theMatrix) {
  const float c = static_cast<float>(std::cos(double{angle}));
  const float s = static_cast<float>(std::sin(double{angle}));
  Matrix r = UnitMatrix();
  switch (As) {
    case 1:  // about x: +y towards +z
      r[2][2] = c;
      r[2][3] = -s;
      r[3][2] = s;
      r[3][3] = c;
      break;
    case 2:  // about y: +x towards +z
      r[1][1] = c;
      r[1][3] = -s;
      r[3][1] = s;
      r[3][3] = c;
      break;
    case 3:  // about z: +x towards +y
      r[1][1] = c;
      r[1][2] = -s;
      r[2][1] = s;
      r[2][2] = c;
      break;
    default:
      rts::CaseTrap();
  }
  MultMatrix(r, theMatrix);
}

namespace {

// Pt3D2D, visible to the compiler where it is used, so a figure's points are projected without
// a call per point (the arithmetic is the same).
inline pt2D Project(const pt3D& pt1, float d) {
  const float x = pt1[1], y = pt1[2], z = pt1[3];
  pt2D screen{};
  if (y > 0.0f) {  // strictly in front of the viewer; -0.0 and NaN are not
    screen[1] = static_cast<float>(double{x} * d / y + 300.0);
    screen[2] = static_cast<float>(300.0 - double{z} * d / y);
  }
  return screen;
}

// Pt3D2DRot, likewise: p := thePt - offset; q[i] := sum over j of theMatrix[i][j] x p[j],
// accumulated from 0 for j = 1, 2, 3 with each partial sum held as a float.
inline pt2D ProjectRot(const pt3D& thePt, const pt3D& offset, const Matrix& theMatrix, float d) {
  const float p[3] = {thePt[1] - offset[1], thePt[2] - offset[2], thePt[3] - offset[3]};
  pt3D q;
  for (int i = 1; i <= 3; ++i) {
    const auto& row = theMatrix[i];
    float sum = 0.0f;
    for (int j = 1; j <= 3; ++j) sum = static_cast<float>(double{row[j]} * p[j - 1] + sum);
    q[i] = sum;
  }
  return Project(q, d);
}

}  // namespace

pt2D Pt3D2D(pt3D pt1, float d) {
  return Project(pt1, d);
}

pt2D Pt3D2DRot(pt3D thePt, pt3D offset, Matrix theMatrix, float d) {
  return ProjectRot(thePt, offset, theMatrix, d);
}

void ConvertRotFig(Fig3D tempFig3D, Matrix transfMatrix, pt3D offset, Fig2D& tempFig2D) {
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= kSteps; ++r)
      for (int c = 1; c <= kSteps; ++c)
        tempFig2D[h][r][c] = ProjectRot(tempFig3D[h][r][c], offset, transfMatrix, kDistance);
}

void DisplaceBol(float x, float y, float z, uint32_t idnmbr) {
  pt3D offset;
  offset[1] = x;
  offset[2] = y;
  offset[3] = z;
  DisplaceFig(offset, bollen3D[idnmbr]);
}

void DisplaceFig(pt3D offset, Fig3D& TempArray3D) {
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= kSteps; ++r)
      for (int c = 1; c <= kSteps; ++c)
        for (int j = 1; j <= 3; ++j) {
          float& v = TempArray3D[h][r][c][j];
          v = offset[j] + v;
        }
}

void RotFig(float angle, uint32_t As, Fig3D& TempArray3D) {
  Matrix m = UnitMatrix();
  RotMatrix(angle, As, m);
  for (int h = 1; h <= 2; ++h)
    for (int r = 1; r <= kSteps; ++r)
      for (int c = 1; c <= kSteps; ++c) {
        pt3D& p = TempArray3D[h][r][c];
        const double x = p[1], y = p[2], z = p[3];
        for (int j = 1; j <= 3; ++j) {
          p[j] = static_cast<float>(m[j][1] * x + m[j][2] * y + m[j][3] * z);
        }
      }
}

void RotBol(float angle, uint32_t As, float ptx, float pty, float ptz, uint32_t idnmbr) {
  DisplaceBol(-ptx, -pty, -ptz, idnmbr);  // checks the slot before any point changes
  RotFig(angle, As, bollen3D[idnmbr]);
  DisplaceBol(ptx, pty, ptz, idnmbr);
}

}  // namespace Engine
