// Request execution: the back buffer as a surface with its drawing state, and what each request
// kind does to it through the rasterizer. Shared by both revisions; the revision's rules come from
// its transport file (kTransport.revision.rules).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "graph/core.h"
#include "graph/images.h"
#include "rts/RTS.h"

namespace graphcore {

constinit Device gDevice;

namespace {

using graphraster::Rect;

int32_t S(uint32_t v) {
  return static_cast<int32_t>(v);
}

bool Flag(uint32_t word) {
  return (word & 0xFF) != 0;
}

// The text that starts at word k: up to kMaxText characters, ended by a 0 byte when shorter.
uint32_t TextAt(const Request& q, std::size_t k, const char*& text) {
  text = reinterpret_cast<const char*>(&q.a[k]);
  return static_cast<uint32_t>(strnlen(text, std::min<std::size_t>(kMaxText, (kWords - k) * 4)));
}

// The requests that change pixels (kinds 5 and above), under the buffer lock.
void Drawing(const Request& q) {
  graphraster::Surface& s = Dev().buffer;
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
      graphraster::Rectangle(s, kTransport.revision.rules, q.a[0], q.a[1], q.a[2], q.a[3], q.a[4],
                             Flag(q.a[5]));
      break;
    case rqLine:
      graphraster::Line(s, kTransport.revision.rules, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]),
                        q.a[4]);
      break;
    case rqEllipse:
      graphraster::Ellipse(s, kTransport.revision.rules, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]),
                           q.a[4], Flag(q.a[5]));
      break;
    case rqInvert:
      graphraster::Invert(s, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]));
      break;
    case rqPolygon: {
      graphraster::Point points[kMaxPoints];
      const uint32_t count = std::min(q.a[2], kMaxPoints);
      for (uint32_t i = 0; i < count; ++i) points[i] = {S(q.a[3 + 2 * i]), S(q.a[4 + 2 * i])};
      graphraster::Polygon(s, kTransport.revision.rules, points, count, q.a[0], Flag(q.a[1]));
      break;
    }
    case rqFloodFill:
      graphraster::FloodFill(s, S(q.a[0]), S(q.a[1]), q.a[2], q.a[3], Dev().fillScratch);
      break;
    case rqArc:
      graphraster::Arc(s, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]), S(q.a[4]), S(q.a[5]),
                       S(q.a[6]), S(q.a[7]), q.a[8]);
      break;
    case rqPie:
      graphraster::Pie(s, kTransport.revision.rules, S(q.a[0]), S(q.a[1]), S(q.a[2]), S(q.a[3]),
                       S(q.a[4]), S(q.a[5]), S(q.a[6]), S(q.a[7]), q.a[9], Flag(q.a[8]));
      break;
    case rqCellText: {
      const char* text;
      const uint32_t length = TextAt(q, 7, text);
      graphraster::CellText(s, S(q.a[0]), S(q.a[1]), text, length, q.a[2], q.a[3], q.a[4],
                            q.a[5] + q.a[6]);
      break;
    }
    case rqText: {
      const char* text;
      const uint32_t length = TextAt(q, 3, text);
      graphraster::Text(s, S(q.a[0]), S(q.a[1]), text, length, q.a[2]);
      break;
    }
    case rqPutImage:
      graphimages::Put(Dev().images, s, S(q.a[0]), S(q.a[1]), q.a[2], q.a[3]);
      break;
    case rqFreeImage:
      graphimages::Free(Dev().images, q.a[0]);
      break;
    case rqSetup:
      // Revision 1's drawing thread sets the surfaces up itself; here it is nothing.
      break;
    default:
      rts::CaseTrap();
  }
}

}  // namespace

void Execute(Request& r) {
  Device& d = Dev();
  if (r.kind >= kKinds) rts::CaseTrap();
  switch (r.kind) {
    case rqNone:
      break;
    case rqGetImage:  // reads the buffer, which only this thread writes
      r.a[4] = graphimages::Capture(d.images, d.buffer, S(r.a[0]), S(r.a[1]), S(r.a[2]), S(r.a[3]));
      break;
    case rqLineStyle:
      d.buffer.penStyle = r.a[0];
      break;
    case rqStdFill:
      d.buffer.stdFill = true;
      d.buffer.hatch = r.a[0];
      break;
    case rqPalette:
      std::memcpy(d.buffer.palette, d.paletteTable, sizeof d.buffer.palette);
      break;
    default: {
      rts::Hold hold(d.bufferLock);
      Drawing(r);
      break;
    }
  }
  // One thread executes requests at a time: a plain increment, atomic only for the readers.
  d.executed[r.kind].store(d.executed[r.kind].load(std::memory_order_relaxed) + 1,
                           std::memory_order_relaxed);
}

bool ReserveBackBuffer(uint32_t width, uint32_t depth) {
  Device& d = Dev();
  if (width > static_cast<uint32_t>(kMaxWidth) || depth > static_cast<uint32_t>(kMaxDepth)) {
    return true;  // SetupBackBuffer refuses the size
  }
  const std::size_t need = std::size_t{width} * depth;
  if (need <= d.capacity) return true;
  auto* pixels = static_cast<uint32_t*>(std::malloc(need * sizeof(uint32_t)));
  if (!pixels) return false;
  kTransport.waitIdle();  // revision 1's drawing thread may still be drawing into the old block
  uint32_t* old;
  {
    rts::Hold hold(d.bufferLock);
    old = d.pixels;
    d.pixels = pixels;
    d.capacity = need;
    // Nothing is shown from the new block before SetupBackBuffer gives it a size.
    d.buffer.pixels = pixels;
    d.buffer.width = d.buffer.depth = d.buffer.stride = 0;
    d.buffer.damage = graphraster::kNoDamage;
  }
  std::free(old);
  return true;
}

bool SetupBackBuffer(uint32_t width, uint32_t depth) {
  Device& d = Dev();
  if (width > static_cast<uint32_t>(kMaxWidth) || depth > static_cast<uint32_t>(kMaxDepth)) {
    return false;
  }
  rts::Hold hold(d.bufferLock);
  if (std::size_t{width} * depth > d.capacity) return false;
  d.buffer.pixels = d.pixels;
  d.buffer.width = static_cast<int32_t>(width);
  d.buffer.depth = static_cast<int32_t>(depth);
  d.buffer.stride = static_cast<int32_t>(width);
  std::fill(d.pixels, d.pixels + static_cast<std::size_t>(width) * depth, 0u);
  d.buffer.damage = Rect{0, 0, d.buffer.width, d.buffer.depth};
  d.buffer.clipped = false;
  return true;
}

void ResetSurfaceState() {
  Device& d = Dev();
  d.buffer.penStyle = graphraster::kPsSolid;
  d.buffer.stdFill = true;
  d.buffer.hatch = graphraster::kPatSolid;
  std::memset(d.buffer.pattern, 0, sizeof d.buffer.pattern);
  d.buffer.bkColour = 0;
  d.buffer.opaque = true;
  d.buffer.clipped = false;
  d.buffer.damage = graphraster::kNoDamage;
}

void SetUserPattern(const uint8_t (&mask)[8]) {
  Dev().buffer.stdFill = false;
  std::memcpy(Dev().buffer.pattern, mask, sizeof mask);
}

uint32_t BufferPixel(uint32_t x, uint32_t y) {
  Device& d = Dev();
  rts::Hold hold(d.bufferLock);
  if (x >= static_cast<uint32_t>(d.buffer.width) || y >= static_cast<uint32_t>(d.buffer.depth)) {
    return 0;
  }
  return Dev()
      .buffer.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.buffer.stride) + x];
}

uint64_t CountBufferPixels(uint32_t rgb) {
  Device& d = Dev();
  rts::Hold hold(d.bufferLock);
  const uint32_t* end = d.pixels + static_cast<std::size_t>(d.buffer.stride) *
                                       static_cast<std::size_t>(d.buffer.depth);
  return static_cast<uint64_t>(std::count(static_cast<const uint32_t*>(d.pixels), end, rgb));
}

uint64_t BufferChecksum() {
  Device& d = Dev();
  rts::Hold hold(d.bufferLock);
  uint64_t h = 14695981039346656037ull;  // 64-bit FNV-1a over the pixels, row by row
  const uint32_t* end = d.pixels + static_cast<std::size_t>(d.buffer.stride) *
                                       static_cast<std::size_t>(d.buffer.depth);
  for (const uint32_t* p = d.pixels; p != end; ++p) h = (h ^ *p) * 1099511628211ull;
  return h;
}

void ReadBuffer(uint32_t* out) {
  Device& d = Dev();
  kTransport.waitIdle();
  rts::Hold hold(d.bufferLock);
  std::copy(d.pixels,
            d.pixels + static_cast<std::size_t>(d.buffer.stride) *
                           static_cast<std::size_t>(d.buffer.depth),
            out);
}

}  // namespace graphcore
