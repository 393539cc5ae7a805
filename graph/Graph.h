// Module Graph: a graphics window beside the console, with a back buffer from which the window
// repaints itself, and the drawing primitives and palette on top of it. Both revisions of the
// library declare this interface; graph_zentavor (Zentavor) draws on the caller's thread,
// graph_trabolix (Trabolix) hands each request to a drawing thread of its own. Operations marked
// "rev. 1" or "rev. 2" exist only in that revision.
//
// Threads: the module start, Init, Exit and every drawing and settings operation are called from
// the program's main thread (one thread at a time in any case: the request block is shared). The
// library's own threads own the window. The public variables are written by Init on the main
// thread and read there.
#pragma once

#include <chrono>
#include <cstdint>

namespace Graph {

// Module start body: creates the buffer lock state, computes the device colour count and sets the
// drawing-state defaults. In revision 2 it starts kvrIGraph first. Main thread, once (later calls
// do nothing).
void Init();

// Opens the graphics window at screen position (x, y) with a drawing area of width x depth pixels,
// then loads the standard palette, solid lines, opaque background mix, background colour 0,
// clears the area and sets the text window to the whole area. Revision 2 reopens an open window
// with the new geometry; revision 1 refuses a second window ("Graph window was already created").
// Answers TRUE when the window is open and ready, FALSE after a failure message. Main thread.
bool Init(int32_t x, int32_t y, uint32_t width, uint32_t depth);

// Shows the window `factor` times larger on the screen (1 to 4; other values leave it as it is),
// each drawing-area pixel an n x n block; the drawing area, the picture and the keys are unchanged.
// Takes effect at the next Init. Main thread. (An addition of this project for large screens.)
void SetScale(uint32_t factor);

// Closes the window; revision 2 can open it again with Init. Does nothing before the first Init
// (revision 2: nor while the window is already closed). Main thread.
void Exit();

// Waits until everything drawn so far is on the window: the service thread has copied it and
// updated the window. Returns at once when no window is open; waits at most about three refresh
// periods. Main thread.
void Flush();

// The window's display refresh period: the time between two updates of the window (16667
// microseconds, 60 Hz, before a window has been served). Any thread.
std::chrono::microseconds RefreshPeriod();

// Line from (x1, y1) to (x2, y2) in colour number `colour` (low 8 bits). Revision 2 draws both
// end points (a lone pixel when they are equal, whatever the line style); revision 1 leaves out
// the last pixel. Coordinates are read as signed: parts outside the drawing area are clipped
// exactly (the visible pixels are those of the unclipped line). Main thread.
void Line(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour);

// Outline of the circle of `radius` around (x, y): Ellipse(x, y, radius, radius, colour, FALSE).
// Main thread.
void Circle(uint32_t x, uint32_t y, uint32_t radius, uint32_t colour);

// Ellipse inscribed in the box (x - a, y - b) to (x + a, y + b), the box's right column and bottom
// row excluded: its outline in the line style, or with `fill` its area in the fill pattern (with a
// solid outline in revision 2). Main thread.
void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill);

// Fills the drawing area (mode 0) or the text window (mode 2) with the background colour, solid;
// other modes draw nothing. Revision 2 then puts the text position at the text window's top left.
// Main thread.
void ClearScreen(uint32_t mode);

// Loads the 16-colour standard palette: RemapAllPalette(standard, 16). Main thread.
void InitStdPalette();

// Loads palette[0 .. min(count, 1024) - 1] (0x00RRGGBB each) into the palette table and hands the
// table to the surfaces. Answers -1 and changes nothing when count > NumPColor, else 0.
// Main thread.
int32_t RemapAllPalette(const uint32_t* palette, uint32_t count);

// Sets the background colour number (used by ClearScreen, styled lines and hatches) and answers
// the previous one. Main thread.
uint32_t SetBkColor(uint32_t colour);

// Background mix for styled lines and hatches: opaque (TRUE) or transparent. Main thread.
void SetBkMix(bool opaque);

// Rev. 2: line style by number 0..5 (solid, dotted, dashed, dash-dot, dash-dot-dot, invisible);
// other numbers select solid. Main thread.
void SetLinestyle(uint32_t style);

// Rev. 1: line style by pen style code (the LNSTYLE_ values); other codes select solid.
// Main thread.
void SetLineStyle(uint32_t style);

// Selects a standard fill pattern (a PATSYM_ value) for the next fills. Main thread.
void SetStdFillMask(uint32_t pattern);

// Answers the current standard fill pattern. Main thread.
uint32_t GetStdFillMask();

// Selects the user fill pattern: 8 rows, top first, most significant bit leftmost; set bits paint
// in the fill colour, clear bits in the background colour. Main thread.
void SetFillMask(const uint8_t (&mask)[8]);

// Shows (TRUE) or hides the text cursor, an inverted character cell at the text position, and
// answers whether it was wanted before. Main thread.
bool DisplayCursor(bool on);

// A text position in character cells counted from 1.
struct TextPosition {
  uint32_t row;
  uint32_t col;
};

// Moves the text position to (col, row), clamped to the text window, and answers the previous
// position (revision 1 callers ignore it). Main thread.
TextPosition SetTextPosition(uint32_t col, uint32_t row);

// Sets the text window to the cells between the given corners (each clamped to 1..Columns and
// 1..Rows, in any order) and moves the text position to its top-left cell. Main thread.
void SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);

// The drawing vocabulary. Coordinates are 32-bit values read as signed, clipped to the drawing area
// and the clip rectangle; colours are colour numbers (low 8 bits). Main thread, after Init.

// Sets the pixel (x, y) to the colour.
void Plot(uint32_t x, uint32_t y, uint32_t colour);

// Rectangle outlined in the line style or filled; rev. 2 includes the corner (x2, y2), rev. 1 not.
void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill);

// A polygon vertex.
struct Point {
  int32_t x, y;
};

// Polyline (fill FALSE) or filled polygon (even-odd); over 100 points: FALSE and nothing drawn.
bool Polygon(const Point* points, uint32_t count, uint32_t colour, bool fill);

// Fills the 4-connected area around (x, y) up to pixels of colour `border` with the fill pattern.
void FloodFill(uint32_t x, uint32_t y, uint32_t colour, uint32_t border);

// Arc of the ellipse in the box (as Ellipse), counter-clockwise from ray (xs, ys) to ray (xe, ye).
void Arc(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t xs, uint32_t ys, uint32_t xe,
         uint32_t ye, uint32_t colour);

// Pie wedge: Arc's arc and its two radii in the line style, or with fill its area filled.
void Pie(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t xs, uint32_t ys, uint32_t xe,
         uint32_t ye, uint32_t colour, bool fill);

// Text (at most 257 characters) from (x, y); opaque mix: on cells of the background colour.
void OutTextXY(uint32_t x, uint32_t y, const char* text, uint32_t colour);

// Text on boxColour cells at the text position, which moves on (a row down past the window).
void OutText(const char* text, uint32_t colour, uint32_t boxColour);

// Image of the box (corners in any order); 0 when the pool (64 images, 4096^2 pixels) is full.
uint32_t GetImage(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2);

// Combines the image onto (x, y) with _GPSET, _GPRESET, _GAND, _GOR or _GXOR (others: nothing).
void PutImage(uint32_t x, uint32_t y, uint32_t image, uint32_t rop);

// Frees the image for a later GetImage; an unknown or freed image is left alone.
void FreeImage(uint32_t image);

// Limits drawing to the rectangle between the corners, its right column and bottom row excluded.
void SetClipRect(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);

// Removes the clip rectangle: drawing reaches the whole drawing area again.
void NoClip();

// Drawing area and text grid of the latest Init, and the number of colours the display shows
// (0 until the first Init; the largest cardinal on a display of 32 bits per pixel).
extern uint32_t Width, Depth, Columns, Rows, NumPColor;

// Fill patterns (the window system's hatch codes) and solid fill.
extern uint32_t PATSYM_HORIZ, PATSYM_VERT, PATSYM_DIAG2, PATSYM_DIAG1, PATSYM_DENSE2, PATSYM_DENSE1,
    PATSYM_SOLID;

// Pen style codes for SetLineStyle (rev. 1).
extern uint32_t LNSTYLE_SOLID, LNSTYLE_SHORTDASH, LNSTYLE_DOT, LNSTYLE_DASHDOT,
    LNSTYLE_DASHDOUBLEDOT, LNSTYLE_INVISIBLE;

// Raster operations for putting images: copy, erase, and, or, exclusive or.
extern uint32_t _GPSET, _GPRESET, _GAND, _GOR, _GXOR;

}  // namespace Graph
