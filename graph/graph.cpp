// Module Graph, the parts both revisions share: public variables, the drawing and settings
// operations built on the request block, the common tail of Init, and the inspection views.
#include "graph/Graph.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "graph/core.h"
#include "graph/probe.h"
#include "rts/RTS.h"

namespace Graph {

uint32_t Width, Depth, Columns, Rows, NumPColor;

uint32_t PATSYM_HORIZ = 0, PATSYM_VERT = 1, PATSYM_DIAG2 = 2, PATSYM_DIAG1 = 3, PATSYM_DENSE2 = 4,
         PATSYM_DENSE1 = 5, PATSYM_SOLID = 8;

uint32_t LNSTYLE_SOLID = 0, LNSTYLE_SHORTDASH = 1, LNSTYLE_DOT = 2, LNSTYLE_DASHDOT = 3,
         LNSTYLE_DASHDOUBLEDOT = 4, LNSTYLE_INVISIBLE = 5;

uint32_t _GPSET = 0xCC0020, _GPRESET = 0x440328, _GAND = 0x8800C6, _GOR = 0xEE0086,
         _GXOR = 0x660046;

}  // namespace Graph

namespace graphcore {
namespace {

constexpr uint32_t kPatSolid = 8;

// The 16-colour standard palette.
constexpr uint32_t kStdPalette[16] = {0x000000, 0x0000B0, 0x00B000, 0x008080, 0xB00000, 0x800080,
                                      0xB06000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                      0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

// The one request filler: takes the request block for `kind` and puts `words` into its argument
// words from a0 on, in order. The caller adds what follows them and posts the request.
template <class... Words>
Request& Fill(uint8_t kind, Words... words) {
  Request& r = kTransport.beginRequest(kind);
  std::size_t i = 0;
  ((r.a[i++] = static_cast<uint32_t>(words)), ...);
  return r;
}

// Fills a request of `kind` with `words` and posts it.
template <class... Words>
void Post(uint8_t kind, Words... words) {
  Fill(kind, words...);
  kTransport.postRequest();
}

// Inverts the text cursor's cell on the surfaces.
void InvertCursorCell() {
  Device& d = Dev();
  Post(rqInvert, (d.pen.textCol - 1) * d.pen.charWidth, (d.pen.textRow - 1) * d.pen.charHeight,
       d.pen.textCol * d.pen.charWidth - 1, d.pen.textRow * d.pen.charHeight - 1);
}

// First step of a drawing operation: the cursor comes off the picture.
void HideCursor() {
  if (Dev().pen.cursorShown) {
    InvertCursorCell();
    Dev().pen.cursorShown = false;
  }
}

// Copies up to kMaxText characters of `text` into the request from word k, with a 0 byte after
// them when they are fewer; answers how many.
uint32_t PutText(Request& r, std::size_t k, const char* text) {
  const std::size_t n = text ? strnlen(text, kMaxText) : 0;
  char* to = reinterpret_cast<char*>(&r.a[k]);
  if (n > 0) std::memcpy(to, text, n);
  if (n < kMaxText) to[n] = 0;
  return static_cast<uint32_t>(n);
}

uint32_t Clamp(uint32_t v, uint32_t lo, uint32_t hi) {
  return std::max(lo, std::min(v, hi));
}

}  // namespace

void StartModule() {
  Device& d = Dev();
  ResetSurfaceState();
  d.pen.stdFillMode = true;
  d.pen.stdFillMask = kPatSolid;
  std::memset(d.pen.fillMask, 0, sizeof d.pen.fillMask);
  d.pen.cursorOn = false;
  d.pen.cursorShown = false;
  // The back buffer has 32 bits per pixel: 2 to that power is beyond any palette.
  d.pen.deviceColours = UINT32_MAX;
}

void LineStyle(uint32_t penCode) {
  Post(rqLineStyle, penCode);
}

void InitCommonTail() {
  Device& d = Dev();
  Graph::NumPColor = d.pen.deviceColours;
  // The new surfaces do not show the cursor.
  d.pen.cursorShown = false;
  Graph::InitStdPalette();
  LineStyle(kPsSolid);
  Graph::SetBkMix(true);
  Graph::SetBkColor(0);
  Graph::ClearScreen(0);
  d.pen.charHeight = kCharHeight;
  d.pen.charDescent = kCharDescent;
  d.pen.charWidth = kCharWidth;
  Graph::Rows = (Graph::Depth - d.pen.charDescent) / d.pen.charHeight;
  Graph::Columns = Graph::Width / d.pen.charWidth;
  Graph::SetTextWindow(1, 1, Graph::Columns, Graph::Rows);
}

void Fail(const char* text, const char* caption, const char* detail) {
  if (!detail || !*detail) {
    platform::WinMessageBox(text, caption);
    return;
  }
  // A reason is told on standard error too, before a box waits for its click: the user at the
  // terminal learns why, also when the box cannot be seen or clicked.
  char full[400];
  std::snprintf(full, sizeof full, "%s (%s)", text, detail);
  platform::WinMessageBoxAndLine(full, caption);
}

int StartThread(pthread_t& thread, void* (*body)(void*), bool detached) {
  return rts::StartThread(body, nullptr, std::size_t{1} << 20, detached ? nullptr : &thread);
}

bool ReserveForInit(uint32_t width, uint32_t depth) {
  if (ReserveBackBuffer(width, depth)) return true;
  // A line only: a box needs the display's libraries, and those need the memory that is missing.
  char line[128];
  std::snprintf(line, sizeof line,
                "Graph server not run (no memory for a back buffer of %u x %u pixels)", width,
                depth);
  platform::WinMessageLine(line, "Graph");
  return false;
}

void ResetDevice() {
  Graph::Exit();
  kTransport.waitIdle();
  kTransport.reset();
  Device& d = Dev();
  {
    rts::Hold hold(d.bufferLock);
    d.buffer = graphraster::Surface{};
    d.buffer.pixels = d.pixels;
    d.copies = 0;
  }
  {
    rts::Hold hold(d.postLock);
    std::fill(std::begin(d.posted), std::end(d.posted), 0u);
    d.postedCount = 0;
  }
  {
    rts::Hold hold(d.shownLock);
    d.shown = 0;
  }
  graphimages::FreeAll(d.images);
  d.request = Request{};
  std::fill(std::begin(d.paletteTable), std::end(d.paletteTable), 0u);
  d.paletteCount = 0;
  d.pen = Pen{};
  d.modifierState = 0;
  d.started = false;
  d.winX = d.winY = 0;
  for (std::atomic<uint64_t>& count : d.executed) count.store(0);
  d.presents.store(0);
  d.presenting.store(false);
  d.period.store({});
  d.lost.store(false);
  Graph::Width = Graph::Depth = Graph::Columns = Graph::Rows = Graph::NumPColor = 0;
}

uint32_t WindowScale() {
  return Dev().pen.scale == 0 ? 1 : Dev().pen.scale;
}

}  // namespace graphcore

namespace Graph {

using namespace graphcore;

void Flush() {
  graphcore::Flush();
}

std::chrono::microseconds RefreshPeriod() {
  return graphcore::RefreshPeriod();
}

void SetScale(uint32_t factor) {
  if (factor >= 1 && factor <= 4) Dev().pen.scale = factor;
}

void Line(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour) {
  Device& d = Dev();
  if (d.pen.cursorShown) HideCursor();
  Post(rqLine, x1, y1, x2, y2, colour);
  if (d.pen.cursorOn != d.pen.cursorShown) DisplayCursor(d.pen.cursorOn);
}

void Circle(uint32_t x, uint32_t y, uint32_t radius, uint32_t colour) {
  Ellipse(x, y, radius, radius, colour, false);
}

void Ellipse(uint32_t x, uint32_t y, uint32_t a, uint32_t b, uint32_t colour, bool fill) {
  HideCursor();
  Post(rqEllipse, x - a, y - b, x + a, y + b, colour, fill ? 1u : 0u);
  DisplayCursor(Dev().pen.cursorOn);
}

void ClearScreen(uint32_t mode) {
  Device& d = Dev();
  HideCursor();
  const uint32_t colour = d.pen.bkColor;
  uint32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  bool draw = true;
  if (mode == 0) {
    x2 = Width - 1;
    y2 = Depth - 1;
  } else if (mode == 2) {
    x1 = (d.pen.winLeft - 1) * d.pen.charWidth;
    y1 = (d.pen.winTop - 1) * d.pen.charHeight;
    x2 = d.pen.winRight * d.pen.charWidth;
    y2 = d.pen.winBottom * d.pen.charHeight + d.pen.charDescent;
  } else {
    draw = false;
  }
  if (draw) {
    // Solid whatever the current pattern.
    const bool wasStd = d.pen.stdFillMode;
    const uint32_t mask = d.pen.stdFillMask;
    SetStdFillMask(PATSYM_SOLID);
    Post(rqRectangle, x1, y1, x2, y2, colour, 1u);
    if (wasStd) {
      SetStdFillMask(mask);
    } else {
      uint8_t user[8];
      std::memcpy(user, d.pen.fillMask, sizeof user);
      SetFillMask(user);
    }
  }
  if (kTransport.revision.clearScreenHomesText) SetTextPosition(1, 1);
  DisplayCursor(d.pen.cursorOn);
}

// The frame of a drawing operation: the text cursor comes off the picture first and is shown
// again, if wanted, afterwards.
struct Frame {
  Frame() { HideCursor(); }
  ~Frame() { DisplayCursor(Dev().pen.cursorOn); }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
};

void Plot(uint32_t x, uint32_t y, uint32_t colour) {
  Frame frame;
  Post(rqPixel, x, y, colour);
}

void Rectangle(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t colour, bool fill) {
  Frame frame;
  Post(rqRectangle, x1, y1, x2, y2, colour, fill ? 1u : 0u);
}

bool Polygon(const Point* points, uint32_t count, uint32_t colour, bool fill) {
  if (count > kMaxPoints || (points == nullptr && count > 0)) return false;
  Frame frame;
  Request& r = Fill(rqPolygon, colour, fill ? 1u : 0u, count);
  for (uint32_t i = 0; i < count; ++i) {
    r.a[3 + 2 * i] = static_cast<uint32_t>(points[i].x);
    r.a[4 + 2 * i] = static_cast<uint32_t>(points[i].y);
  }
  kTransport.postRequest();
  return true;
}

void FloodFill(uint32_t x, uint32_t y, uint32_t colour, uint32_t border) {
  Frame frame;
  Post(rqFloodFill, x, y, colour, border);
}

void Arc(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t xs, uint32_t ys, uint32_t xe,
         uint32_t ye, uint32_t colour) {
  Frame frame;
  Post(rqArc, x1, y1, x2, y2, xs, ys, xe, ye, colour);
}

void Pie(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2, uint32_t xs, uint32_t ys, uint32_t xe,
         uint32_t ye, uint32_t colour, bool fill) {
  Frame frame;
  Post(rqPie, x1, y1, x2, y2, xs, ys, xe, ye, fill ? 1u : 0u, colour);
}

void OutTextXY(uint32_t x, uint32_t y, const char* text, uint32_t colour) {
  Frame frame;
  Request& r = Fill(rqText, x, y, colour);
  PutText(r, 3, text);
  kTransport.postRequest();
}

void OutText(const char* text, uint32_t colour, uint32_t boxColour) {
  Device& d = Dev();
  Frame frame;
  // The two heights (words 5 and 6) add up to charHeight - 1.
  Request& r = Fill(rqCellText, (d.pen.textCol - 1) * d.pen.charWidth,
                    (d.pen.textRow - 1) * d.pen.charHeight, colour, boxColour, d.pen.charWidth,
                    d.pen.charHeight - d.pen.charDescent - 1, d.pen.charDescent);
  const uint32_t length = PutText(r, 7, text);
  kTransport.postRequest();
  // The text position moves on; past the window's right column it continues one row down.
  const uint64_t col = uint64_t{d.pen.textCol} + length;
  if (col > d.pen.winRight) {
    d.pen.textCol = d.pen.winLeft;
    d.pen.textRow = std::min(d.pen.textRow + 1, d.pen.winBottom);
  } else {
    d.pen.textCol = static_cast<uint32_t>(col);
  }
}

uint32_t GetImage(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  Frame frame;  // the cursor is not part of the picture
  Request& r = Fill(rqGetImage, x1, y1, x2, y2, 0u);
  kTransport.postRequest();
  kTransport.waitIdle();  // revision 1: the drawing thread has answered
  return r.a[4];
}

void PutImage(uint32_t x, uint32_t y, uint32_t image, uint32_t rop) {
  Frame frame;
  Post(rqPutImage, x, y, image, rop);
}

void FreeImage(uint32_t image) {
  Post(rqFreeImage, image);
}

void SetClipRect(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  Frame frame;  // the cursor is shown and taken off under the same clip rectangle
  const int32_t l = static_cast<int32_t>(left), t = static_cast<int32_t>(top);
  const int32_t r = static_cast<int32_t>(right), b = static_cast<int32_t>(bottom);
  Post(rqClip, static_cast<uint32_t>(std::min(l, r)), static_cast<uint32_t>(std::min(t, b)),
       static_cast<uint32_t>(std::max(l, r)), static_cast<uint32_t>(std::max(t, b)));
}

void NoClip() {
  Frame frame;
  Post(rqNoClip);
}

void InitStdPalette() {
  RemapAllPalette(kStdPalette, 16);
}

int32_t RemapAllPalette(const uint32_t* palette, uint32_t count) {
  if (count > NumPColor || (palette == nullptr && count > 0)) return -1;
  const uint32_t n = std::min(count, kMaxPaletteLoad);
  kTransport.waitIdle();  // revision 1's drawing thread reads the table
  std::copy(palette, palette + n, Dev().paletteTable);
  Dev().paletteCount = n;
  Post(rqPalette);
  return 0;
}

uint32_t SetBkColor(uint32_t colour) {
  const uint32_t previous = Dev().pen.bkColor;
  Dev().pen.bkColor = colour;
  Post(rqBkColor, colour);
  return previous;
}

void SetBkMix(bool opaque) {
  Post(rqBkMode, opaque ? 2 : 1);
}

void SetStdFillMask(uint32_t pattern) {
  Dev().pen.stdFillMode = true;
  Dev().pen.stdFillMask = pattern;
  Post(rqStdFill, pattern);
}

uint32_t GetStdFillMask() {
  return Dev().pen.stdFillMask;
}

void SetFillMask(const uint8_t (&mask)[8]) {
  Device& d = Dev();
  // The pattern is the executing thread's: change it only while no request is pending.
  kTransport.waitIdle();
  d.pen.stdFillMode = false;
  std::memcpy(d.pen.fillMask, mask, sizeof d.pen.fillMask);
  SetUserPattern(mask);
}

bool DisplayCursor(bool on) {
  Device& d = Dev();
  const bool previous = d.pen.cursorOn;
  d.pen.cursorOn = on;
  if (on && !d.pen.cursorShown) {
    InvertCursorCell();
    d.pen.cursorShown = true;
  } else if (!on && d.pen.cursorShown) {
    InvertCursorCell();
    d.pen.cursorShown = false;
  }
  return previous;
}

TextPosition SetTextPosition(uint32_t col, uint32_t row) {
  Device& d = Dev();
  col = Clamp(col, d.pen.winLeft, d.pen.winRight);
  row = Clamp(row, d.pen.winTop, d.pen.winBottom);
  HideCursor();
  const TextPosition previous{d.pen.textRow, d.pen.textCol};
  d.pen.textCol = col;
  d.pen.textRow = row;
  DisplayCursor(d.pen.cursorOn);
  return previous;
}

void SetTextWindow(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  Device& d = Dev();
  x1 = Clamp(x1, 1, Columns);
  x2 = Clamp(x2, 1, Columns);
  y1 = Clamp(y1, 1, Rows);
  y2 = Clamp(y2, 1, Rows);
  d.pen.winLeft = std::min(x1, x2);
  d.pen.winRight = std::max(x1, x2);
  d.pen.winTop = std::min(y1, y2);
  d.pen.winBottom = std::max(y1, y2);
  SetTextPosition(d.pen.winLeft, d.pen.winTop);
}

}  // namespace Graph

namespace graphprobe {

uint32_t Pixel(uint32_t x, uint32_t y) {
  graphcore::kTransport.waitIdle();
  return graphcore::BufferPixel(x, y);
}

uint64_t CountPixels(uint32_t rgb) {
  graphcore::kTransport.waitIdle();
  return graphcore::CountBufferPixels(rgb);
}

uint64_t Checksum() {
  graphcore::kTransport.waitIdle();
  return graphcore::BufferChecksum();
}

void CopyPixels(uint32_t* out) {
  graphcore::ReadBuffer(out);
}

uint64_t Requests(unsigned kind) {
  return kind < graphcore::kKinds ? graphcore::Dev().executed[kind].load() : 0;
}

bool WaitPresented(std::chrono::milliseconds timeout) {
  graphcore::kTransport.waitIdle();
  const rts::TimePoint end = rts::Now() + timeout;
  for (;;) {
    if (!graphcore::DamagePending()) return true;
    if (rts::Now() >= end) return false;
    rts::SleepFor(std::chrono::milliseconds{1});  // a test's poll: the presenter signals nothing
  }
}

uint64_t Presents() {
  return graphcore::Dev().presents.load(std::memory_order_relaxed);
}

uint32_t WindowId() {
  return graphcore::Dev().window.load();
}

void Reset() {
  graphcore::ResetDevice();
}

}  // namespace graphprobe
