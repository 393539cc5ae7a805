// Request execution: the back buffer as a surface with its drawing state, and what each request
// kind does to it through the rasterizer. Shared by both revisions; the revision's rules come from
// its transport file (kRules).
#include <algorithm>
#include <cstring>

#include "graph/core.h"
#include "rts/RTS.h"

namespace graphcore {

Request gRequest;
uint32_t gPaletteTable[kPaletteEntries];
uint32_t gPaletteCount;
std::atomic<uint64_t> gExecuted[kKinds];
graphraster::Surface gBuffer;

namespace {

using graphraster::Rect;

// The back buffer's pixels (guarded by gBufferLock, through gBuffer).
uint32_t gPixels[static_cast<std::size_t>(kMaxWidth) * kMaxDepth];

int32_t S(uint32_t v) {
  return static_cast<int32_t>(v);
}

bool Flag(uint32_t word) {
  return (word & 0xFF) != 0;
}

// The requests that change pixels (kinds 5 and above), inside the buffer gate.
void Drawing(const Request& q) {
  graphraster::Surface& s = gBuffer;
  switch (q.kind) {
    case rqClip:
      s.clipped = true;
      s.clip = Rect{std::min(S(q.a[0]), S(q.a[2])), std::min(S(q.a[1]), S(q.a[3])),
                    std::max(S(q.a[0]), S(q.a[2])), std::max(S(q.a[1]), S(q.a[3]))};
      break;
    case rqNoClip:
      s.clipped = false;
      break;
    case rqBkColor:
      s.bkColour = q.a[0];
      break;
    case rqBkMode:
      s.opaque = q.a[0] == 2;
      break;
    case rqPixel:
      graphraster::Pixel(s, S(q.a[0]), S(q.a[1]), q.a[2]);
      break;
    case rqRectangle:
      graphraster::Rectangle(s, kRules, q.a[0], q.a[1], q.a[2], q.a[3], q.a[4], Flag(q.a[5]));
      break;
    case rqLine:
      graphraster::Line(s, kRules, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]), q.a[4]);
      break;
    case rqEllipse:
      graphraster::Ellipse(s, kRules, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]), q.a[4],
                           Flag(q.a[5]));
      break;
    case rqInvert:
      graphraster::Invert(s, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]));
      break;
    case rqPolygon:
    case rqFloodFill:
    case rqArc:
    case rqPie:
    case rqCellText:
    case rqText:
    case rqPutImage:
    case rqFreeImage:
    case rqSetup:
      // No public operation issues these yet.
      break;
    default:
      rts::CaseTrap();
  }
}

}  // namespace

void Execute(const Request& r) {
  if (r.kind >= kKinds) rts::CaseTrap();
  switch (r.kind) {
    case rqNone:
    case rqGetImage:  // no public operation captures images yet
      break;
    case rqLineStyle:
      gBuffer.penStyle = r.a[0];
      break;
    case rqStdFill:
      gBuffer.stdFill = true;
      gBuffer.hatch = r.a[0];
      break;
    case rqPalette:
      std::memcpy(gBuffer.palette, gPaletteTable, sizeof gBuffer.palette);
      break;
    default: {
      graphsync::Inside inside(gBufferLock);
      Drawing(r);
      break;
    }
  }
  // One thread executes requests at a time: a plain increment, atomic only for the readers.
  gExecuted[r.kind].store(gExecuted[r.kind].load(std::memory_order_relaxed) + 1,
                          std::memory_order_relaxed);
}

bool SetupBackBuffer(uint32_t width, uint32_t depth) {
  if (width > static_cast<uint32_t>(kMaxWidth) || depth > static_cast<uint32_t>(kMaxDepth)) {
    return false;
  }
  graphsync::Hold hold(gBufferLock);
  gBuffer.pixels = gPixels;
  gBuffer.width = static_cast<int32_t>(width);
  gBuffer.depth = static_cast<int32_t>(depth);
  gBuffer.stride = static_cast<int32_t>(width);
  std::fill(gPixels, gPixels + static_cast<std::size_t>(width) * depth, 0u);
  gBuffer.damage = Rect{0, 0, gBuffer.width, gBuffer.depth};
  gBuffer.clipped = false;
  return true;
}

void ResetSurfaceState() {
  gBuffer.penStyle = graphraster::kPsSolid;
  gBuffer.stdFill = true;
  gBuffer.hatch = graphraster::kPatSolid;
  std::memset(gBuffer.pattern, 0, sizeof gBuffer.pattern);
  gBuffer.bkColour = 0;
  gBuffer.opaque = true;
  gBuffer.clipped = false;
  gBuffer.damage = graphraster::kNoDamage;
}

void SetUserPattern(const uint8_t (&mask)[8]) {
  gBuffer.stdFill = false;
  std::memcpy(gBuffer.pattern, mask, sizeof mask);
}

uint32_t BufferPixel(uint32_t x, uint32_t y) {
  graphsync::Hold hold(gBufferLock);
  if (x >= static_cast<uint32_t>(gBuffer.width) || y >= static_cast<uint32_t>(gBuffer.depth)) {
    return 0;
  }
  return gBuffer.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(gBuffer.stride) + x];
}

uint64_t CountBufferPixels(uint32_t rgb) {
  graphsync::Hold hold(gBufferLock);
  const uint32_t* end =
      gPixels + static_cast<std::size_t>(gBuffer.stride) * static_cast<std::size_t>(gBuffer.depth);
  return static_cast<uint64_t>(std::count(static_cast<const uint32_t*>(gPixels), end, rgb));
}

void ReadBuffer(uint32_t* out) {
  WaitIdle();
  graphsync::Hold hold(gBufferLock);
  std::copy(
      gPixels,
      gPixels + static_cast<std::size_t>(gBuffer.stride) * static_cast<std::size_t>(gBuffer.depth),
      out);
}

}  // namespace graphcore
