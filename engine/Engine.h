// Sphere engine: a store of 20 wireframe spheres of 128 points each, one viewer (a position and
// three viewing angles), 3x3 rotation matrices, the perspective projection onto the fixed screen
// centre (300, 300), and erase-and-redraw wireframe drawing through Graph::Line.
//
// Arithmetic: every value the engine stores (a variable, an array element, a result) is a 32-bit
// float; within one expression the engine computes in double and rounds once when it stores. The
// engine's pi is 3.14 and its two pi 6.28. All arrays are 1-based and checked: a slot outside
// 1..20 is trap 0, an axis selector outside 1..3 is trap 2, each raised before anything changes.
//
// Threads: the engine is used from the program's main thread only and takes no locks.
#pragma once

#include <cstdint>

#include "rts/Array.h"

namespace Engine {

// A world point (x, y, z), or a triple of angles about x, y and z.
using pt3D = rts::Array<float, 1, 3>;
// A screen point in pixels, x to the right and y downwards; (0, 0) marks a point that cannot be
// shown.
using pt2D = rts::Array<float, 1, 2>;
// The 128-point mesh of one figure, indexed [half][row][column]. Half 1 holds the 8 rings of
// latitude (row 1 the top one), half 2 the same points transposed: 8 meridians.
using Fig3D = rts::Array<rts::Array<rts::Array<pt3D, 1, 8>, 1, 8>, 1, 2>;
// The projection of a Fig3D, point for point.
using Fig2D = rts::Array<rts::Array<rts::Array<pt2D, 1, 8>, 1, 8>, 1, 2>;
// A 3x3 matrix [row][column], acting on column vectors.
using Matrix = rts::Array<rts::Array<float, 1, 3>, 1, 3>;

// Module state, zero-filled at program start. Programs change it only through the operations
// below; tests read it. Main thread only.
extern rts::Array<Fig3D, 1, 20> bollen3D;  // the spheres' meshes in world coordinates
extern rts::Array<Fig2D, 1, 20> bollen2D;  // per slot, the projection DrawBol drew last
extern pt3D kijkerpunt;                    // the viewer's position
extern pt3D angle;                         // the viewer's angles about x, y and z (radians)
extern pt3D middelpunt;                    // the centre given to the latest Bol
extern Matrix TransformatieMatrix;         // the viewer transform of the latest DrawFig

// Module start: the floating-point unit (round to nearest), then Graph, Lib, the mathematics
// support and IO. The engine itself sets nothing. Main thread, once (later calls do nothing).
void Init();

// --- Figure store and sphere mesh ---

// Sets the viewer: kijkerpunt := (ptx, pty, ptz), angle := (anglex, angley, anglez). Nothing is
// redrawn until the next DrawBol. Main thread.
void Kijker(float ptx, float pty, float ptz, float anglex, float angley, float anglez);

// middelpunt := (middelptx, middelpty, middelptz), then SpBol(idnmbr, middelpunt, straal).
// Leaves bollen2D[idnmbr] alone, so the next DrawBol erases the old picture. Slot outside 1..20:
// trap 0 before anything is written. Main thread.
void Bol(float middelptx, float middelpty, float middelptz, float straal, uint32_t idnmbr);

// Fills bollen3D[idnmbr] with the 128-point sphere of centre midd and radius R (rows at polar
// angles k/8 x 3.14, columns at azimuths k/8 x 6.28, k = 1..8). Slot outside 1..20: trap 0
// before anything is written. Main thread.
void SpBol(uint32_t idnmbr, pt3D midd, float R);

// --- Matrices and projection (pure; any thread) ---

// The identity matrix.
Matrix UnitMatrix();

// last := first x last, built in a temporary, so last may be the same matrix as first.
void MultMatrix(Matrix first, Matrix& last);

// theMatrix := R(As, angle) x theMatrix, with As 1 (about x), 2 (about y) or 3 (about z). Any
// other selector is trap 2 before theMatrix changes.
void RotMatrix(float angle, uint32_t As, Matrix& theMatrix);

// The screen point of pt1 seen from the origin along +y at viewing distance d:
// (x d / y + 300, 300 - z d / y) when y > 0, else (0, 0).
pt2D Pt3D2D(pt3D pt1, float d);

// Pt3D2D of theMatrix x (thePt - offset) at distance d.
pt2D Pt3D2DRot(pt3D thePt, pt3D offset, Matrix theMatrix, float d);

// --- Wireframe drawing (main thread; the graphics window must be open) ---

// DrawFig(bollen3D[idnmbr], bollen2D[idnmbr], Color). Slot outside 1..20: trap 0 before
// anything is erased or drawn.
void DrawBol(uint32_t idnmbr, float Color);

// Erases the picture held in TempArray2D (its lines drawn again in colour 0), rebuilds
// TransformatieMatrix from angle (about x, then y, then z), projects TempArray3D into
// TempArray2D as seen from kijkerpunt, and draws it in colour Color truncated toward zero.
// A row's columns are joined in order (the start point is the lower column); the rows of half 1
// are closed from column 8 back to column 1. A line is drawn only when all four end coordinates
// are strictly positive.
void DrawFig(Fig3D TempArray3D, Fig2D& TempArray2D, float Color);

// tempFig2D[h][r][c] := Pt3D2DRot(tempFig3D[h][r][c], offset, transfMatrix, 1000) for every
// point, half, then row, then column.
void ConvertRotFig(Fig3D tempFig3D, Matrix transfMatrix, pt3D offset, Fig2D& tempFig2D);

// --- Moving and turning (main thread; nothing is drawn, middelpunt and bollen2D stay) ---

// DisplaceFig((x, y, z), bollen3D[idnmbr]). Slot outside 1..20: trap 0 before any change.
void DisplaceBol(float x, float y, float z, uint32_t idnmbr);

// Adds offset to every point of TempArray3D.
void DisplaceFig(pt3D offset, Fig3D& TempArray3D);

// Turns every point of TempArray3D by angle about axis As (1 x, 2 y, 3 z) through the world
// origin, with the matrix of RotMatrix. Any other selector is trap 2 before any point changes.
void RotFig(float angle, uint32_t As, Fig3D& TempArray3D);

// Turns the sphere in slot idnmbr by angle about the line through (ptx, pty, ptz) parallel to
// axis As: moves the pivot to the origin, turns, moves it back. Slot outside 1..20: trap 0
// before any point changes.
void RotBol(float angle, uint32_t As, float ptx, float pty, float ptz, uint32_t idnmbr);

}  // namespace Engine
